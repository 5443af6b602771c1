#include "app/CSingleInstance.h"

#include <sddl.h>

#include <memory>

namespace {
// A copy that has just started may take this long before its window takes commands.
constexpr DWORD kStartingWait = 15000;
constexpr DWORD kPollPeriod = 50;
// A running copy answers at once; this only bounds a copy that is stuck.
constexpr UINT kAnswerWait = 5000;
constexpr UINT kReplyWait = 2000;
// The running copy's answer: this tag with the exit code in the low byte, so
// that a window that does not know the message (result 0) is told apart.
constexpr LRESULT kAnswerTag = 0x51530000;
constexpr LRESULT kAnswerCodeMask = 0xFF;
constexpr ULONG_PTR kReplyTag = 0x51534352;  // "QSCR": the text of an answer
constexpr DWORD kLongestReply = 64 * 1024;
constexpr wchar_t kReplyClass[] = L"Q-Surge.Reply";

// The user's identity as text, so that users sharing a session each get their
// own copy; empty when it cannot be read.
std::wstring UserSid()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::wstring sid;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<BYTE[]> buffer(new BYTE[size ? size : 1]);
    wchar_t* text = nullptr;
    if (size && ::GetTokenInformation(token, TokenUser, buffer.get(), size, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid, &text)) {
        sid = text;
        ::LocalFree(text);
    }
    ::CloseHandle(token);
    return sid;
}

// Local\: the session's namespace.
std::wstring ObjectName(const wchar_t* what) { return L"Local\\Q-Surge." + UserSid() + what; }

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

CSingleInstance::CSingleInstance()
{
    m_mutex = ::CreateMutexW(nullptr, FALSE, ObjectName(L"").c_str());
    m_mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Published),
                                     ObjectName(L".Window").c_str());
    if (m_mapping)
        m_published = static_cast<Published*>(::MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Published)));
}

CSingleInstance::~CSingleInstance()
{
    Publish(nullptr);
    if (m_published) ::UnmapViewOfFile(m_published);
    if (m_mapping) ::CloseHandle(m_mapping);
    if (m_owner) ::ReleaseMutex(m_mutex);
    if (m_mutex) ::CloseHandle(m_mutex);
}

// A copy that ended without letting go (it crashed) leaves the mutex abandoned: it is ours then.
bool CSingleInstance::Own(DWORD waitResult)
{
    m_owner = waitResult == WAIT_OBJECT_0 || waitResult == WAIT_ABANDONED;
    return m_owner;
}

bool CSingleInstance::Claim(const CCommandLine& command, int& exitCode, std::string& text)
{
    // Without the mutex there is no telling another copy apart: this one runs.
    if (!m_mutex || !m_published || Own(::WaitForSingleObject(m_mutex, 0))) return true;
    exitCode = kExitDone;
    if (command.Has(CCommandLine::kLogon)) return false;
    const ULONGLONG deadline = ::GetTickCount64() + kStartingWait;
    do {
        DWORD process = 0;
        if (const HWND window = RunningWindow(process)) {
            if (Forward(window, process, command, exitCode, text)) return false;
            // A window that goes away is a copy that ends: the mutex follows.
            if (::IsWindow(window)) break;
        }
        if (Own(::WaitForSingleObject(m_mutex, kPollPeriod))) return true;
    } while (::GetTickCount64() < deadline);
    exitCode = kExitRefused;
    text = "Q-Surge is running but does not answer.\r\n";
    return false;
}

void CSingleInstance::Publish(HWND window)
{
    if (!m_owner || !m_published) return;
    ::InterlockedExchange(&m_published->process, static_cast<LONG>(::GetCurrentProcessId()));
    ::InterlockedExchange64(&m_published->window, reinterpret_cast<LONG_PTR>(window));
}

// A window named by a copy that crashed may since belong to another process.
HWND CSingleInstance::RunningWindow(DWORD& process) const
{
    const HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(m_published->window));
    process = static_cast<DWORD>(m_published->process);
    DWORD owner = 0;
    if (!window || !::GetWindowThreadProcessId(window, &owner) || owner != process) return nullptr;
    return window;
}

bool CSingleInstance::Forward(HWND window, DWORD process, const CCommandLine& command, int& exitCode,
                              std::string& text)
{
    // This start was the user's: the running copy may come to the front.
    ::AllowSetForegroundWindow(process);
    ReplyWindow reply;
    CCommandLine::Record record = command.ToRecord();
    COPYDATASTRUCT data{CCommandLine::kRecordTag, sizeof record, &record};
    DWORD_PTR answer = 0;
    // Not SMTO_BLOCK: the answer's text arrives while this thread waits.
    if (!::SendMessageTimeoutW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(reply.Handle()),
                               reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kAnswerWait, &answer) ||
        (static_cast<LRESULT>(answer) & ~kAnswerCodeMask) != kAnswerTag)
        return false;
    exitCode = static_cast<int>(answer & kAnswerCodeMask);
    text = reply.Text();
    return true;
}

LRESULT CSingleInstance::Answer(HWND window, WPARAM sender, LPARAM copyData, CommandTarget& target)
{
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(copyData);
    CCommandLine command;
    if (!data || data->dwData != CCommandLine::kRecordTag || !command.FromRecord(data->lpData, data->cbData))
        return 0;
    std::string text;
    const int code = command.Run(target, text);
    const HWND reply = reinterpret_cast<HWND>(sender);
    if (!text.empty() && reply && text.size() <= kLongestReply) {
        COPYDATASTRUCT answer{kReplyTag, static_cast<DWORD>(text.size()), &text[0]};
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(reply, WM_COPYDATA, reinterpret_cast<WPARAM>(window), reinterpret_cast<LPARAM>(&answer),
                              SMTO_ABORTIFHUNG, kReplyWait, &ignored);
    }
    return kAnswerTag | code;
}
