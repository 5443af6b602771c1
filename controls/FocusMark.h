#pragma once
// The keyboard focus mark of the skinned controls, and the system's high
// contrast setting, under which the program's own drawing keeps to the
// system's colours.
#include <windows.h>

#include "framework/Dpi.h"

// A ring just inside the area: two pixels of the skins' cyan over one dark
// pixel (at 96 DPI; thicker at larger scales), so it shows on the dark skin
// and on the bright keys alike. Under high contrast, the system's highlight
// colours.
void DrawFocusMark(HDC dc, const RECT& area, UINT dpi = kBaseDpi);
bool HighContrastOn();
