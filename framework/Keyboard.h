#pragma once
// The keyboard in our dialogs, beyond what the system's dialog manager does:
// Tab, Shift+Tab and the arrows move through the controls in reading order,
// Enter presses the focused key (never the dialog's OK), and the focus mark
// shows only once the keyboard is used in a window.
#include <windows.h>

#include <vector>

// The controls Tab visits, in reading order: left to right, row by row from
// the top. A control belongs to the row of the first control above it when it
// starts above that one's middle.
std::vector<HWND> ReadingOrder(HWND dialog);
// Puts the tab stops of the dialog into reading order in the window order,
// which the system's Tab and first focus follow too.
void ArrangeTabOrder(HWND dialog);
// Tab, the arrows and Enter for the dialog the message goes to; true when the
// key was used up.
bool HandleDialogKey(HWND dialog, const MSG& msg);
// Whether a control draws its focus mark: its window shows keyboard cues.
bool FocusMarkShown(HWND control);
