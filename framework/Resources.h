#pragma once
// Loading from the program's own resources.
#include <windows.h>

#include "framework/Gdi.h"

// The module whose resources the program uses: the executable itself.
HINSTANCE ResourceInstance();

// A device-dependent bitmap at its natural size; empty when the resource is missing.
CBitmap LoadBitmapResource(UINT id);
// Width and height of a bitmap, or false when its header cannot be read.
bool GetBitmapSize(HBITMAP bitmap, int& width, int& height);
// A point font (size in tenths of a point) for the screen.
CFont CreatePointFont(int pointSizeTenths, const char* face);
