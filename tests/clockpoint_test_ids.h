#pragma once
// The dial test's template and resources. The program's own gauge resources
// are 216 (face), 224 (engine needle) and 225 (memory needle); the test images
// come from images/make_dial_and_picture_images.py.
#define IDD_DIAL_TEST 910
#define IDC_DIAL_TEST 1910
#define IDR_NOT_AN_IMAGE 911

#ifndef RC_INVOKED
// Colours of the test images.
constexpr COLORREF kFaceColour = RGB(64, 96, 128);
constexpr COLORREF kEngineColour = RGB(255, 0, 0);
constexpr COLORREF kMemoryColour = RGB(0, 255, 0);
#endif
