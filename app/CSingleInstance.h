#pragma once
// CSingleInstance: one running copy of the program per user session. The copy
// that runs holds a named mutex and, once its window takes commands, names
// that window in a small named mapping; both live in the session's namespace
// under the user's identity. A later start finds the copy there, hands it its
// command line by WM_COPYDATA (CCommandLine::Record) and takes its answer
// back: the exit code as the message's result, and any text sent to a window
// of the later start's own while it waits.
#include <windows.h>

#include <string>

#include "app/CCommandLine.h"

class CSingleInstance {
public:
    CSingleInstance();
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when this process is the one copy from now on. Otherwise the
    // command went to the copy that runs (waited for while it starts) and
    // exitCode and text hold its answer; a start at logon hands it nothing.
    bool Claim(const CCommandLine& command, int& exitCode, std::string& text);
    // The one copy's window takes commands from now on; null: no longer.
    void Publish(HWND window);

    // The running copy's side of WM_COPYDATA sent to window: a valid command
    // is carried out on the target, its text sent back to the sender's
    // window, and the exit code answered; anything else is answered 0.
    static LRESULT Answer(HWND window, WPARAM sender, LPARAM copyData, CommandTarget& target);

private:
    // Where the running copy names its window.
    struct Published {
        volatile LONG64 window;
        volatile LONG process;
    };

    bool Own(DWORD waitResult);
    // The running copy's window and process, when it has named a live one.
    HWND RunningWindow(DWORD& process) const;
    // False when the window did not answer.
    static bool Forward(HWND window, DWORD process, const CCommandLine& command, int& exitCode, std::string& text);

    HANDLE m_mutex = nullptr;
    bool m_owner = false;
    HANDLE m_mapping = nullptr;
    Published* m_published = nullptr;
};
