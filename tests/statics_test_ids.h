#pragma once
// The text and picture statics' test template and pictures; the pictures come
// from images/make_dial_and_picture_images.py.
#define IDD_STATICS_TEST 920
#define IDC_READOUT_TEST 1920
#define IDC_LABEL_TEST 1921
#define IDC_PICTURE_TEST 1922
#define IDB_PICTURE_PLAIN 921
#define IDB_PICTURE_HALVES 922

#ifndef RC_INVOKED
// Colours of the test pictures.
constexpr COLORREF kPlainColour = RGB(200, 40, 40);
constexpr COLORREF kLeftColour = RGB(40, 200, 40);
constexpr COLORREF kRightColour = RGB(40, 40, 200);
#endif
