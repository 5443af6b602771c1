#include "framework/Wnd.h"

#include <commctrl.h>

#include <vector>

namespace {
constexpr UINT_PTR kSubclassId = 0x51534647;  // identifies our subclass among others
// The attached object, kept as a window property: comctl32 exports the lookup
// of a subclass's data by ordinal only.
constexpr const char* kObjectProperty = "QSurge.CWnd";

bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }
}  // namespace

UINT msgmap::CurrentCtlType(const CWnd& w) { return w.CurrentMessage().message - WM_CTLCOLORMSGBOX; }

const MessageMap* CWnd::Messages()
{
    static const MessageEntry entries[] = {
        msgmap::CtlColor<&CWnd::OnCtlColor>(),
    };
    static const MessageMap map = {nullptr, std::begin(entries), std::end(entries)};
    return &map;
}

CWnd::~CWnd()
{
    if (m_hWnd) Detach();
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    return hWnd ? static_cast<CWnd*>(::GetPropA(hWnd, kObjectProperty)) : nullptr;
}

bool CWnd::SubclassWindow(HWND hWnd)
{
    if (!hWnd || m_hWnd || FromHandle(hWnd)) return false;
    m_hWnd = hWnd;
    PreSubclassWindow();
    if (!::SetPropA(hWnd, kObjectProperty, this) ||
        !::SetWindowSubclass(hWnd, &CWnd::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        ::RemovePropA(hWnd, kObjectProperty);
        m_hWnd = nullptr;
        return false;
    }
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    if (h) {
        ::RemoveWindowSubclass(h, &CWnd::SubclassProc, kSubclassId);
        ::RemovePropA(h, kObjectProperty);
    }
    m_hWnd = nullptr;
    return h;
}

LRESULT CWnd::Default()
{
    return ::DefSubclassProc(m_current.hwnd, m_current.message, m_current.wParam, m_current.lParam);
}

CRect CWnd::GetClientRect() const
{
    CRect r;
    ::GetClientRect(m_hWnd, &r);
    return r;
}

CRect CWnd::GetWindowRect() const
{
    CRect r;
    ::GetWindowRect(m_hWnd, &r);
    return r;
}

std::string CWnd::GetWindowText() const
{
    int n = ::GetWindowTextLengthA(m_hWnd);
    std::vector<char> buf(static_cast<size_t>(n) + 1, '\0');
    ::GetWindowTextA(m_hWnd, buf.data(), n + 1);
    return buf.data();
}

// An exception must not unwind through the system's window procedures: noexcept
// turns one into an immediate, diagnosable termination instead.
LRESULT CALLBACK CWnd::SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) noexcept
{
    CWnd* self = reinterpret_cast<CWnd*>(ref);
    const MSG saved = self->m_current;
    self->m_current = MSG{h, msg, wp, lp, 0, {0, 0}};
    LRESULT result = self->WindowProc(msg, wp, lp);
    self->m_current = saved;
    if (msg == WM_NCDESTROY) {
        self->Detach();
        self->PostNcDestroy();
    }
    return result;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result = 0;
    if (ReflectToChild(msg, wp, lp, result)) return result;
    if (msg == WM_COMMAND) {
        if (auto e = FindEntry(MessageEntry::Kind::Command, HIWORD(wp), LOWORD(wp))) return e->call(*this, wp, lp);
    } else if (auto e = FindEntry(MessageEntry::Kind::Message, IsCtlColor(msg) ? kCtlColorMessage : msg, 0)) {
        return e->call(*this, wp, lp);
    }
    return Default();
}

const MessageEntry* CWnd::FindEntry(MessageEntry::Kind kind, UINT message, UINT id) const
{
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageEntry* e = map->first; e != map->last; ++e) {
            if (e->kind == kind && e->message == message && (kind != MessageEntry::Kind::Command || e->id == id))
                return e;
        }
    }
    return nullptr;
}

// Commands and owner drawing go to the control's own object first, as the
// controls that draw themselves need (colouring is offered in OnCtlColor).
bool CWnd::ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)
{
    if (msg == WM_COMMAND && lp) {
        CWnd* child = FromHandle(reinterpret_cast<HWND>(lp));
        auto e = child ? child->FindEntry(MessageEntry::Kind::ReflectedCommand, HIWORD(wp), 0) : nullptr;
        if (e && e->call(*child, wp, lp)) {
            result = 0;
            return true;
        }
    } else if (msg == WM_DRAWITEM && wp) {
        auto dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        CWnd* child = FromHandle(dis->hwndItem);
        if (auto e = child ? child->FindEntry(MessageEntry::Kind::Reflected, WM_DRAWITEM, 0) : nullptr) {
            result = e->call(*child, wp, lp);
            return true;
        }
    }
    return false;
}

HBRUSH CWnd::OnCtlColor(HDC dc, HWND child, UINT ctlType)
{
    CWnd* obj = FromHandle(child);
    if (auto e = obj ? obj->FindEntry(MessageEntry::Kind::Reflected, kCtlColorMessage, 0) : nullptr) {
        if (LRESULT brush = e->call(*obj, reinterpret_cast<WPARAM>(dc), ctlType))
            return reinterpret_cast<HBRUSH>(brush);
    }
    return reinterpret_cast<HBRUSH>(Default());
}
