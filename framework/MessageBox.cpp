#include "framework/MessageBox.h"

namespace {
MessageBoxHook g_hook = nullptr;
}

int AppMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    return g_hook ? g_hook(owner, text, caption, type) : ::MessageBoxA(owner, text, caption, type);
}

void SetMessageBoxHook(MessageBoxHook hook) { g_hook = hook; }
