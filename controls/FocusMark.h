#pragma once
// The keyboard focus mark of the skinned controls, and the system's high
// contrast setting, under which the program's own drawing keeps to the
// system's colours.
#include <windows.h>

// A ring just inside the area: two pixels of the skins' cyan over one dark
// pixel, so it shows on the dark skin and on the bright keys alike. Under
// high contrast, the system's highlight colours.
void DrawFocusMark(HDC dc, const RECT& area);
bool HighContrastOn();
