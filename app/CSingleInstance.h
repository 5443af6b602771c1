#pragma once
// CSingleInstance: one running copy of the program per user session. The copy
// that runs holds a named mutex and, once its window takes commands, names
// that window in a small named mapping; both live in the session's namespace
// under the user's identity. A later start finds the copy there, hands it its
// command line by WM_COPYDATA (CCommandLine::Record) and takes its answer
// back: the exit code as the message's result, and any text sent to a window
// of the later start's own while it waits.
//
// The copy and a later start may run with different tokens (one of them "as
// administrator"): the objects are made with a security that lets any start
// of the user at medium integrity or above use them, and a later start opens
// them asking only what it needs, so that a refusal is never taken for a copy
// that is not there. The running copy also waits on a named close event that
// any such start, or the installer, may set: a window of higher integrity
// drops the close message of a program below it.
#include <windows.h>

#include <string>

#include "app/CCommandLine.h"
#include "access/ObjectSecurity.h"

class CSingleInstance {
public:
    // The names' endings after the user's identity (see ObjectName).
    static constexpr wchar_t kMutex[] = L"";
    static constexpr wchar_t kWindowMapping[] = L".Window";
    static constexpr wchar_t kCloseEvent[] = L".Close";

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
    // From now on the close event sends the window WM_CLOSE; null: no longer.
    void ListenForClose(HWND window);

    // The running copy's side of WM_COPYDATA sent to window: a valid command
    // from a window of the user's own programs (at medium integrity or above)
    // is carried out on the target, its text sent back to the sender's window,
    // and the exit code answered. A command from any other sender is refused,
    // one that comes while the target starts up is answered "busy" unless it
    // only shows or hides the window, and anything else is answered 0.
    static LRESULT Answer(HWND window, WPARAM sender, LPARAM copyData, CommandTarget& target);

    // The name of one of the user's objects in this session.
    static std::wstring ObjectName(const wchar_t* ending);
    // What the mapping holds: the running copy's window and process.
    struct Published {
        volatile LONG64 window;
        volatile LONG process;
    };

private:
    enum class Reply { None, Done, Busy };

    bool Own(DWORD waitResult);
    // The one copy's objects: the mapping to write to and the close event.
    void MakeOwnObjects();
    // The mapping as a later start reads it; null until a copy has made it.
    const Published* ReadPublished();
    // The running copy's window and process, when it has named a live one.
    HWND RunningWindow(DWORD& process);
    static Reply Forward(HWND window, DWORD process, const CCommandLine& command, int& exitCode, std::string& text);
    void CloseMapping();

    CKernelHandle m_mutex;
    bool m_mutexRefused = false;  // the mutex is there, but with rights this start does not have
    bool m_owner = false;
    CKernelHandle m_mapping;
    Published* m_published = nullptr;
    bool m_writable = false;
    bool m_mappingRefused = false;
    CKernelHandle m_closeEvent;
    HANDLE m_closeWait = nullptr;
};
