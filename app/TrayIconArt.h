#pragma once
// The notification-area icon that shows the card's temperature: its number
// in seven-segment digits on a dark square, in a colour for cool, warm or hot.
#include <windows.h>

#include "framework/Gdi.h"

// Below kWarmFrom degrees the number is cool, from kHotFrom it is hot.
constexpr int kWarmFrom = 60;
constexpr int kHotFrom = 80;

// The colour the number is drawn in at that temperature.
COLORREF TemperatureColour(int celsius);

// Where the digits of an icon size x size showing so many digits stand, and
// how thick their strokes are; the art and whoever checks it share this.
struct DigitLayout {
    int left, top;   // of the first digit
    int width, height, stroke, gap;
};
DigitLayout LayoutDigits(int size, int digits);

// Which of the seven segments (bit 0 top, then clockwise: 1 upper right,
// 2 lower right, 3 bottom, 4 lower left, 5 upper left, 6 middle) a digit lights.
unsigned SegmentsOf(int digit);

// The icon for a temperature (0..999 degrees; others are held to that range)
// at size x size pixels; empty when it cannot be made.
CIcon MakeTemperatureIcon(int celsius, int size);
