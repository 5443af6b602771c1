#pragma once
// Loading from the program's own resources.
#include <windows.h>

#include <string>

#include "framework/Gdi.h"

// The module whose resources the program uses: the executable itself.
HINSTANCE ResourceInstance();

// A device-dependent bitmap at its natural size; empty when the resource is missing.
CBitmap LoadBitmapResource(UINT id);
// An icon at the system's large icon size; empty when the resource is missing.
CIcon LoadIconResource(UINT id);
// Width and height of a bitmap, or false when its header cannot be read.
bool GetBitmapSize(HBITMAP bitmap, int& width, int& height);
// The program's own strings are narrow text in code page 936; Windows reads
// narrow text in the system's code page, which is 936 only on Chinese-locale
// systems, so names that reach Windows (font faces) go through this first.
std::wstring WideFromCp936(const char* text);
// A face name into a LOGFONTW's face field, truncated to fit.
void SetFaceName(LOGFONTW& font, const char* face);
// A point font (size in tenths of a point) for the screen; the face is code page 936 text.
CFont CreatePointFont(int pointSizeTenths, const char* face);
