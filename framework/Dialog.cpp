#include "framework/Dialog.h"

#include <algorithm>
#include <cstdlib>

#include "framework/Dpi.h"
#include "framework/Keyboard.h"
#include "framework/Resources.h"
#include "framework/WinApp.h"

namespace {
// The dialog whose window is being created on this thread: its first message
// arrives before CreateDialogParam returns.
thread_local CDialog* t_creating = nullptr;
// Whether the user's last press was on the keyboard rather than the mouse:
// a window opened from the keyboard shows its keyboard cues at once.
bool g_keyboardInUse = false;

bool IsMousePress(UINT msg)
{
    switch (msg) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN: case WM_NCRBUTTONDOWN: case WM_NCMBUTTONDOWN:
        return true;
    default:
        return false;
    }
}

bool IsModifier(WPARAM key)
{
    return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN || key == VK_RWIN;
}

// A modal dialog given no parent is owned by the window the user works in:
// the application window's last active pop-up while it is shown, else the
// application window itself. An owned window stays above its owner and has
// no taskbar button of its own.
HWND DefaultModalOwner(const CDialog& dialog)
{
    CWinApp* app = CWinApp::Current();
    CWnd* main = app ? app->m_pMainWnd : nullptr;
    if (!main || main == &dialog || !main->m_hWnd) return nullptr;
    HWND popup = ::GetLastActivePopup(main->m_hWnd);
    return popup && ::IsWindowVisible(popup) && ::IsWindowEnabled(popup) ? popup : main->m_hWnd;
}

// Disables the windows that take input while a modal dialog runs, and gives
// it back to exactly those when it ends.
class InputBlock {
public:
    InputBlock(HWND dialog, HWND owner, bool wholeThread)
    {
        if (wholeThread)
            ::EnumThreadWindows(::GetCurrentThreadId(), &InputBlock::Add, reinterpret_cast<LPARAM>(&m_windows));
        else if (owner)
            m_windows.push_back(owner);
        m_windows.erase(std::remove_if(m_windows.begin(), m_windows.end(),
                                       [dialog](HWND h) { return h == dialog || !::IsWindowEnabled(h); }),
                        m_windows.end());
        for (HWND h : m_windows) ::EnableWindow(h, FALSE);
    }
    // Before the dialog goes, so that activation passes back to its owner.
    ~InputBlock()
    {
        for (auto h = m_windows.rbegin(); h != m_windows.rend(); ++h)
            if (::IsWindow(*h)) ::EnableWindow(*h, TRUE);
    }
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

private:
    static BOOL CALLBACK Add(HWND h, LPARAM list)
    {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
        return TRUE;
    }
    std::vector<HWND> m_windows;
};
}  // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_MESSAGE(WM_INITDIALOG, OnInitDialogMessage)
    ON_MESSAGE(WM_CHANGEUISTATE, OnChangeUIState)
    ON_MESSAGE(WM_QUERYUISTATE, OnQueryUIState)
    ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
    ON_MESSAGE(WM_ACTIVATE, OnActivate)
    ON_MESSAGE(WM_DPICHANGED, OnDpiChangedMessage)
    ON_MESSAGE(WM_SYSCOLORCHANGE, OnSystemChange)
    ON_MESSAGE(WM_SETTINGCHANGE, OnSystemChange)
    ON_COMMAND(IDOK, OnOKCommand)
    ON_COMMAND(IDCANCEL, OnCancelCommand)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParent(parent) {}

CDialog::~CDialog()
{
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

INT_PTR CALLBACK CDialog::StartProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    if (t_creating && !FromHandle(h)) {
        CDialog* self = t_creating;
        t_creating = nullptr;
        self->SubclassWindow(h);
        // This message has passed the point where the subclass now sits.
        if (msg == WM_INITDIALOG) {
            self->m_current = MSG{h, msg, wp, lp, 0, {0, 0}};
            return self->OnInitDialogMessage(wp, lp);
        }
    }
    return FALSE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    if (m_hWnd) return FALSE;
    m_templateId = templateId;
    m_pParent = parent;
    return CreateOwned(parent ? parent->m_hWnd : nullptr);
}

BOOL CDialog::CreateOwned(HWND owner)
{
    t_creating = this;
    HWND h = ::CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(m_templateId), owner, &CDialog::StartProc, 0);
    t_creating = nullptr;
    return h != nullptr;
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd) return -1;
    HWND parent = m_pParent ? m_pParent->m_hWnd : DefaultModalOwner(*this);
    m_endModal = false;
    m_modalResult = -1;
    if (!CreateOwned(parent)) return -1;
    m_modal = true;
    // As with the system's modal dialogs, a template without the visible style is shown too.
    if (!::IsWindowVisible(m_hWnd)) ::ShowWindow(m_hWnd, SW_SHOW);
    {
        const InputBlock block(m_hWnd, parent, m_taskModal);
        MSG msg;
        while (!m_endModal && m_hWnd) {
            BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0) {  // WM_QUIT: leave the loop and let the caller's loop see it too
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got < 0) break;
            if (!PreTranslate(msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
        m_modal = false;
    }
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    return m_modalResult;
}

bool CDialog::RunMessagesWhile(const std::function<bool()>& waiting, DWORD timeoutMs)
{
    constexpr DWORD kLookEveryMs = 50;
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (waiting() && ::GetTickCount64() < end) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, kLookEveryMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return false;
            }
            if (!PreTranslate(msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
    }
    return true;
}

bool CDialog::PreTranslate(MSG& msg)
{
    if (IsMousePress(msg.message)) g_keyboardInUse = false;
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
    if (!root || !dynamic_cast<CDialog*>(FromHandle(root))) return false;
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && !IsModifier(msg.wParam)) {
        g_keyboardInUse = true;
        ::SendMessageA(root, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    }
    return HandleDialogKey(root, msg) || ::IsDialogMessageA(root, &msg);
}

void CDialog::EndDialog(int result)
{
    if (m_modal) {
        m_modalResult = result;
        m_endModal = true;
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wake the loop
    } else if (m_hWnd) {
        // A modeless dialog is hidden, not destroyed; the system's EndDialog is for modal ones only.
        ShowWindow(SW_HIDE);
    }
}

LRESULT CDialog::OnInitDialogMessage(WPARAM, LPARAM)
{
    m_hideFocusCues = !g_keyboardInUse;
    m_layoutDpi = WindowDpi(m_hWnd);
    KeepDialogLayoutOnDpiChange(m_hWnd);
    const BOOL result = OnInitDialog();
    // The controls have their places now; the system gives the first focus after this.
    ArrangeTabOrder(m_hWnd);
    return result;
}

// Windows keeps the cues of every window itself (DefWindowProc), Wine (8.0)
// keeps none and answers that every cue shows. The dialog keeps them for
// itself and its controls, which ask it (FocusMarkShown), and tells its
// controls of each change as Windows does.
LRESULT CDialog::OnChangeUIState(WPARAM wParam, LPARAM)
{
    if (!(HIWORD(wParam) & UISF_HIDEFOCUS)) return 0;
    switch (LOWORD(wParam)) {
    case UIS_SET: HideFocusCues(true); break;
    case UIS_CLEAR: HideFocusCues(false); break;
    case UIS_INITIALIZE: HideFocusCues(!g_keyboardInUse); break;
    default: break;
    }
    return 0;
}

LRESULT CDialog::OnQueryUIState(WPARAM, LPARAM) { return m_hideFocusCues ? UISF_HIDEFOCUS | UISF_HIDEACCEL : 0; }

void CDialog::HideFocusCues(bool hide)
{
    if (hide == m_hideFocusCues) return;
    m_hideFocusCues = hide;
    const WPARAM update = MAKEWPARAM(hide ? UIS_SET : UIS_CLEAR, UISF_HIDEFOCUS);
    for (HWND h = ::GetWindow(m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT))
        ::SendMessageA(h, WM_UPDATEUISTATE, update, 0);
    // Only the focused control draws a mark.
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(m_hWnd, focus)) ::InvalidateRect(focus, nullptr, TRUE);
}

void CDialog::SaveFocus()
{
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(m_hWnd, focus)) m_savedFocus = focus;
}

LRESULT CDialog::OnShowWindow(WPARAM shown, LPARAM)
{
    if (!shown) SaveFocus();
    return Default();
}

// The system's dialogs do the same; done here it holds on every system.
LRESULT CDialog::OnActivate(WPARAM wParam, LPARAM)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        SaveFocus();
        return Default();
    }
    const LRESULT result = Default();
    if (!HIWORD(wParam) && m_savedFocus && ::IsChild(m_hWnd, m_savedFocus) && ::IsWindowVisible(m_savedFocus) &&
        ::IsWindowEnabled(m_savedFocus))
        ::SetFocus(m_savedFocus);
    return result;
}

namespace {
BOOL CALLBACK TellDpiChanged(HWND control, LPARAM)
{
    ::SendMessageA(control, kDpiChangedAfterParent, 0, 0);
    return TRUE;
}
}  // namespace

// Moved to a monitor of another scale. Windows tells the controls itself
// after this message (WM_DPICHANGED_AFTERPARENT); they are told here first,
// since the window lays them out from their new art; a control takes its
// art for a DPI only once. The window is painted once, at the end.
LRESULT CDialog::OnDpiChangedMessage(WPARAM wParam, LPARAM lParam)
{
    const UINT told = LOWORD(wParam);
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    // Without a place to go the window stays as it is, shown as it was.
    if (!told || !suggested) return 0;
    // A scale beyond the largest Windows offers would make art and buffers
    // of gigabytes: the window takes the largest, and a size for it.
    const UINT dpi = told > kLargestDpi ? kLargestDpi : told < kBaseDpi ? kBaseDpi : told;
    const int width = ::MulDiv(suggested->right - suggested->left, static_cast<int>(dpi), static_cast<int>(told));
    const int height = ::MulDiv(suggested->bottom - suggested->top, static_cast<int>(dpi), static_cast<int>(told));
    m_layoutDpi = dpi;
    const bool shown = IsWindowVisible() != FALSE;
    if (shown) SendMessage(WM_SETREDRAW, FALSE);
    ::EnumChildWindows(m_hWnd, &TellDpiChanged, 0);
    OnDpiChanged();
    SetWindowPos(nullptr, suggested->left, suggested->top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (shown) {
        SendMessage(WM_SETREDRAW, TRUE);
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
    return 0;
}

LRESULT CDialog::OnSystemChange(WPARAM wParam, LPARAM lParam)
{
    const UINT message = CurrentMessage().message;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        ::SendMessageA(child, message, wParam, lParam);
    return Default();
}

void CDialog::PlaceControl(HWND control, int left, int top, int width, int height) const
{
    const CRect r = CScale(Dpi()).Rect(left, top, width, height);
    ::SetWindowPos(control, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDialog::PlaceControlAt(HWND control, int left, int top) const
{
    const POINT p = CScale(Dpi()).Point(left, top);
    ::SetWindowPos(control, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx{this, saveAndValidate};
    DoDataExchange(&dx);
    return TRUE;
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (!control.m_hWnd) control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
}

HWND CDialog::Item(int id)
{
    auto known = std::find_if(m_items.begin(), m_items.end(), [id](const auto& i) { return i.first == id; });
    if (known != m_items.end() && ::IsWindow(known->second) && ::GetDlgCtrlID(known->second) == id)
        return known->second;
    HWND item = GetDlgItem(id);
    if (known != m_items.end())
        known->second = item;
    else if (item)
        m_items.emplace_back(id, item);
    return item;
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value)
{
    HWND item = pDX->m_pDlgWnd->Item(id);
    if (!item) return;
    // One message for the text in all but rare cases; a text that fills the
    // buffer is read again at its full length.
    char shortText[64];
    const int length = ::GetWindowTextA(item, shortText, static_cast<int>(sizeof shortText));
    std::string current(shortText, static_cast<size_t>(std::max(length, 0)));
    if (length >= static_cast<int>(sizeof shortText) - 1) {
        current.assign(static_cast<size_t>(::GetWindowTextLengthA(item)) + 1, '\0');
        current.resize(static_cast<size_t>(::GetWindowTextA(item, &current[0], static_cast<int>(current.size()))));
    }
    if (pDX->m_bSaveAndValidate)
        value = current;
    else if (value != current)
        ::SetWindowTextA(item, value.c_str());
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    std::string text = std::to_string(value);
    DDX_Text(pDX, id, text);
    if (pDX->m_bSaveAndValidate) value = std::atoi(text.c_str());
}

void DDX_Text(CDataExchange* pDX, int id, unsigned& value)
{
    std::string text = std::to_string(value);
    DDX_Text(pDX, id, text);
    if (pDX->m_bSaveAndValidate) value = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
}
