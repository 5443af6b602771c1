#include "framework/MessageBox.h"

#include "framework/Resources.h"

namespace {
MessageBoxHook g_hook = nullptr;
int g_open = 0;  // the system's boxes now on screen
}  // namespace

// The program's texts are code page 936; the box shows them whatever the system's code page.
int AppMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    if (g_hook) return g_hook(owner, text, caption, type);
    ++g_open;
    const int answer = ::MessageBoxW(owner, WideFromCp936(text).c_str(), WideFromCp936(caption).c_str(), type);
    --g_open;
    return answer;
}

void SetMessageBoxHook(MessageBoxHook hook) { g_hook = hook; }

bool MessageBoxOpen() { return g_open > 0; }
