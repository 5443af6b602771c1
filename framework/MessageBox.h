#pragma once
// Message boxes go through one function so tests can see them without a modal loop.
#include <windows.h>

using MessageBoxHook = int (*)(HWND owner, const char* text, const char* caption, UINT type);

int AppMessageBox(HWND owner, const char* text, const char* caption, UINT type);
// Replaces the real message box (null restores it).
void SetMessageBoxHook(MessageBoxHook hook);
// Whether a box of the system's is open: its own loop runs until it closes.
bool MessageBoxOpen();
