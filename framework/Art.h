#pragma once
// The program's images at the scale a window is shown at.
//
// Each image is carried as PNG at five scales, one resource type per scale
// (ART100 for 96 DPI, ART125, ART150, ART175, ART200 for 192 DPI) under the
// image's identifier. At a scale an image measures its size at 96 DPI through
// ScaleToDpi, pieces cut from a skin included. Only the scale asked for is
// decoded. A DPI between the carried ones takes the next larger scale,
// reduced; above 200 % the 200 % art is enlarged. Skins keep their key colour
// exact through either.
//
// Decoding uses GDI+, which these functions start for themselves.
#include <windows.h>

#include <memory>

#include "framework/Gdi.h"

namespace Gdiplus {
class Bitmap;
}

// Image id at dpi, as a 32-bit top-down DIB section the caller owns, holding
// the image's own colours. An image the program does not carry as art comes
// from the BITMAP resource of that id (test programs carry such), stretched.
// Empty when there is neither.
CBitmap LoadArt(UINT id, UINT dpi);

// Image id at dpi with its alpha (the dial's needles), as LoadArt sizes it.
// Where the art is missing, a PNG at 96 DPI in a resource of type standIn
// and that id stands in (test programs carry such). Null when there is neither.
std::unique_ptr<Gdiplus::Bitmap> LoadArtImage(UINT id, UINT dpi, const char* standIn = "PNG");
