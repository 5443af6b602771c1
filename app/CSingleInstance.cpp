#include "app/CSingleInstance.h"

#include "fan/CFanGuard.h"

namespace {
// A copy that has just started may take this long before its window takes commands.
constexpr DWORD kStartingWait = 15000;
constexpr DWORD kPollPeriod = 50;
// A running copy answers at once, but for `--fan curve`, which waits for the
// fan guard to answer (the copy's window answering meanwhile); this bounds a
// copy that is stuck.
constexpr UINT kAnswerWait = static_cast<UINT>(CFanGuard::kReadyLimitMs) + 5000;
constexpr UINT kReplyWait = 2000;
// The running copy's answer: this tag with the exit code in the low byte, so
// that a window that does not know the message (result 0) is told apart.
constexpr LRESULT kAnswerTag = 0x51530000;
constexpr LRESULT kAnswerTagMask = ~LRESULT{0xFFFF};
constexpr LRESULT kAnswerCodeMask = 0xFF;
// Beside the exit code: the command was not carried out because it came from
// a sender the copy does not take commands from, or while it was starting.
constexpr LRESULT kAnswerRefused = 0x100;
constexpr LRESULT kAnswerBusy = 0x200;

constexpr char kNoAnswer[] = "Q-Surge is running but does not answer.\r\n";
constexpr char kStillStarting[] = "Q-Surge is still starting and cannot take the command yet; try again in a moment.\r\n";
constexpr char kUnreachable[] =
    "Q-Surge is already running with rights this start does not have, and cannot be reached from it.\r\n";
constexpr char kRefused[] = "The running copy of Q-Surge takes commands only from its own user's programs.\r\n";
constexpr ULONG_PTR kReplyTag = 0x51534352;  // "QSCR": the text of an answer
constexpr DWORD kLongestReply = 64 * 1024;
constexpr wchar_t kReplyClass[] = L"Q-Surge.Reply";

LRESULT CALLBACK ReplyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
    auto* text = reinterpret_cast<std::string*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (!text || !data || data->dwData != kReplyTag || !data->lpData || data->cbData > kLongestReply) return FALSE;
    text->assign(static_cast<const char*>(data->lpData), data->cbData);
    return TRUE;
}

// A message-only window that receives the text of the running copy's answer.
class ReplyWindow {
public:
    ReplyWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &ReplyProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kReplyClass;
        ::RegisterClassW(&windowClass);  // fails harmlessly when it is registered already
        m_window = ::CreateWindowExW(0, kReplyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     windowClass.hInstance, nullptr);
        if (!m_window) return;
        ::SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_text));
        // A running copy with fewer rights than this start may still answer.
        ::ChangeWindowMessageFilterEx(m_window, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    }
    ~ReplyWindow()
    {
        if (m_window) ::DestroyWindow(m_window);
    }
    ReplyWindow(const ReplyWindow&) = delete;
    ReplyWindow& operator=(const ReplyWindow&) = delete;
    HWND Handle() const { return m_window; }
    const std::string& Text() const { return m_text; }

private:
    HWND m_window = nullptr;
    std::string m_text;
};
}  // namespace

std::wstring CSingleInstance::ObjectName(const wchar_t* ending)
{
    // Local\: the session's namespace; the user's identity, so that users
    // sharing a session each get their own copy.
    return L"Local\\Q-Surge." + UserSidText() + ending;
}

CSingleInstance::CSingleInstance()
{
    CObjectSecurity security(MUTEX_ALL_ACCESS);
    m_mutex.reset(::CreateMutexExW(security.Attributes(), ObjectName(kMutex).c_str(), 0, kMutexUse));
    m_mutexRefused = !m_mutex && ::GetLastError() == ERROR_ACCESS_DENIED;
}

CSingleInstance::~CSingleInstance()
{
    ListenForClose(nullptr);
    Publish(nullptr);
    CloseMapping();
    if (m_owner && m_mutex) ::ReleaseMutex(m_mutex);
}

void CSingleInstance::CloseMapping()
{
    if (m_published) ::UnmapViewOfFile(m_published);
    m_published = nullptr;
    m_writable = false;
    m_mapping.reset();
}

// A copy that ended without letting go (it crashed) leaves the mutex abandoned: it is ours then.
bool CSingleInstance::Own(DWORD waitResult)
{
    m_owner = waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED;
    if (m_owner) MakeOwnObjects();
    return m_owner;
}

void CSingleInstance::MakeOwnObjects()
{
    // A view this start opened to read is of no use to the copy that writes.
    CloseMapping();
    CObjectSecurity mappingSecurity(FILE_MAP_ALL_ACCESS);
    m_mapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, mappingSecurity.Attributes(), PAGE_READWRITE, 0,
                                         sizeof(Published), ObjectName(kWindowMapping).c_str()));
    if (m_mapping)
        m_published = static_cast<Published*>(::MapViewOfFile(m_mapping, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0,
                                                               sizeof(Published)));
    m_writable = m_published != nullptr;
    CObjectSecurity eventSecurity(EVENT_ALL_ACCESS);
    m_closeEvent.reset(::CreateEventW(eventSecurity.Attributes(), FALSE, FALSE, ObjectName(kCloseEvent).c_str()));
}

const CSingleInstance::Published* CSingleInstance::ReadPublished()
{
    if (!m_published) {
        m_mapping.reset(::OpenFileMappingW(FILE_MAP_READ, FALSE, ObjectName(kWindowMapping).c_str()));
        m_mappingRefused = !m_mapping && ::GetLastError() == ERROR_ACCESS_DENIED;
        if (m_mapping)
            m_published = static_cast<Published*>(::MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, sizeof(Published)));
    }
    return m_published;
}

bool CSingleInstance::Claim(const CCommandLine& command, int& exitCode, std::string& text)
{
    exitCode = kExitDone;
    // Without the mutex there is no telling another copy apart: this one runs.
    // A mutex there but refused to this start is a copy that runs.
    if (!m_mutex && !m_mutexRefused) {
        m_owner = true;
        MakeOwnObjects();
        return true;
    }
    if (m_mutex && Own(::WaitForSingleObject(m_mutex, 0))) return true;
    if (command.Has(CCommandLine::kLogon)) return false;
    const ULONGLONG deadline = ::GetTickCount64() + kStartingWait;
    bool busy = false;
    do {
        DWORD process = 0;
        if (const HWND window = RunningWindow(process)) {
            const Reply reply = Forward(window, process, command, exitCode, text);
            if (reply == Reply::Done) return false;
            busy = reply == Reply::Busy;
            // A window that goes away is a copy that ends: the mutex follows.
            if (reply == Reply::None && ::IsWindow(window)) break;
        } else if (m_mutexRefused && m_mappingRefused) {
            break;  // neither can be reached: waiting changes nothing
        }
        if (!m_mutex)
            ::Sleep(kPollPeriod);
        else if (Own(::WaitForSingleObject(m_mutex, kPollPeriod)))
            return true;
    } while (::GetTickCount64() < deadline);
    exitCode = kExitRefused;
    text = busy ? kStillStarting : m_mutexRefused ? kUnreachable : kNoAnswer;
    return false;
}

void CSingleInstance::Publish(HWND window)
{
    if (!m_owner || !m_writable) return;
    ::InterlockedExchange(&m_published->process, static_cast<LONG>(::GetCurrentProcessId()));
    ::InterlockedExchange64(&m_published->window, reinterpret_cast<LONG_PTR>(window));
}

namespace {
void CALLBACK OnCloseEvent(void* window, BOOLEAN) { ::PostMessageW(static_cast<HWND>(window), WM_CLOSE, 0, 0); }
}  // namespace

void CSingleInstance::ListenForClose(HWND window)
{
    if (m_closeWait) {
        // Waits for a callback under way, so that none outlives the window.
        ::UnregisterWaitEx(m_closeWait, INVALID_HANDLE_VALUE);
        m_closeWait = nullptr;
    }
    if (window && m_closeEvent)
        ::RegisterWaitForSingleObject(&m_closeWait, m_closeEvent, &OnCloseEvent, window, INFINITE,
                                      WT_EXECUTEONLYONCE);
}

// A window named by a copy that crashed may since belong to another process.
HWND CSingleInstance::RunningWindow(DWORD& process)
{
    const Published* published = ReadPublished();
    if (!published) return nullptr;
    const HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(published->window));
    process = static_cast<DWORD>(published->process);
    DWORD owner = 0;
    if (!window || !::GetWindowThreadProcessId(window, &owner) || owner != process) return nullptr;
    return window;
}

CSingleInstance::Reply CSingleInstance::Forward(HWND window, DWORD process, const CCommandLine& command,
                                                int& exitCode, std::string& text)
{
    // This start was the user's: the running copy may come to the front.
    ::AllowSetForegroundWindow(process);
    ReplyWindow reply;
    CCommandLine::Record record = command.ToRecord();
    COPYDATASTRUCT data{CCommandLine::kRecordTag, sizeof record, &record};
    DWORD_PTR result = 0;
    // Not SMTO_BLOCK: the answer's text arrives while this thread waits.
    if (!::SendMessageTimeoutW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(reply.Handle()),
                               reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kAnswerWait, &result))
        return Reply::None;
    const auto answer = static_cast<LRESULT>(result);
    if ((answer & kAnswerTagMask) != kAnswerTag) return Reply::None;
    if (answer & kAnswerBusy) return Reply::Busy;
    exitCode = static_cast<int>(answer & kAnswerCodeMask);
    text = answer & kAnswerRefused ? kRefused : reply.Text();
    return Reply::Done;
}

LRESULT CSingleInstance::Answer(HWND window, WPARAM sender, LPARAM copyData, CommandTarget& target)
{
    const HWND reply = reinterpret_cast<HWND>(sender);
    // Any process of the desktop may find the window and send it a command:
    // a sandboxed one must not apply an overclock without the warning.
    if (!IsOwnUsersWindow(reply)) return kAnswerTag | kAnswerRefused | kExitRefused;
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(copyData);
    CCommandLine command;
    if (!data || data->dwData != CCommandLine::kRecordTag || !command.FromRecord(data->lpData, data->cbData))
        return 0;
    // Commands follow the start's own; the window may show or hide at once.
    if (!command.OnlyWindow() && !target.StartedUp()) return kAnswerTag | kAnswerBusy;
    std::string text;
    const int code = command.Run(target, text);
    if (!text.empty() && text.size() <= kLongestReply) {
        COPYDATASTRUCT answer{kReplyTag, static_cast<DWORD>(text.size()), &text[0]};
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(reply, WM_COPYDATA, reinterpret_cast<WPARAM>(window), reinterpret_cast<LPARAM>(&answer),
                              SMTO_ABORTIFHUNG, kReplyWait, &ignored);
    }
    return kAnswerTag | code;
}
