#pragma once
// Real key presses, as the keyboard gives them to the window in front, run
// through the program's own message loop (CDialog::PreTranslate first).
#include <windows.h>

#include <initializer_list>
#include <vector>

#include "framework/Dialog.h"

namespace keys {

// Runs the thread's messages as the program's loops do for a while.
inline void RunMessages(DWORD milliseconds = 60)
{
    const DWORD end = ::GetTickCount() + milliseconds;
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!CDialog::PreTranslate(msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
        ::Sleep(2);
    } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
}

inline void Send(WORD key, bool up)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = key;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ::SendInput(1, &in, sizeof in);
}

// Presses the key with the others held down, then runs what it brought.
inline void Press(WORD key, std::initializer_list<WORD> held = {})
{
    for (WORD h : held) Send(h, false);
    Send(key, false);
    Send(key, true);
    for (auto h = std::rbegin(held); h != std::rend(held); ++h) Send(*h, true);
    RunMessages();
}

// The window in front, with the keyboard focus in it.
inline void BringToFront(HWND window)
{
    ::SetForegroundWindow(window);
    RunMessages(20);
}

inline int FocusedId() { return ::GetDlgCtrlID(::GetFocus()); }

// The controls Tab reaches from the focused one, one full round.
inline std::vector<int> TabRound(size_t count, bool backwards = false)
{
    std::vector<int> ids;
    for (size_t i = 0; i < count; ++i) {
        if (backwards)
            Press(VK_TAB, {VK_SHIFT});
        else
            Press(VK_TAB);
        ids.push_back(FocusedId());
    }
    return ids;
}

}  // namespace keys
