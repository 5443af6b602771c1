#pragma once
// The program's images at the scale a window is shown at.
#include <windows.h>

#include "framework/Gdi.h"

// Image id at dpi, as a bitmap the caller owns: the image's size at 96 DPI
// scaled by ScaleToDpi. Empty when the program has no such image.
CBitmap LoadArt(UINT id, UINT dpi);
