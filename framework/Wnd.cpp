#include "framework/Wnd.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "framework/Dpi.h"

namespace {
// The attached objects by window, with the procedure each window had before.
// A window property would do, but under Wine every read of one is a round
// trip to the server, and it would be read on every message.
struct Attachment {
    CWnd* object;    // null once detached while another procedure sits above ours
    WNDPROC super;
};
std::mutex g_attachmentsLock;
std::unordered_map<HWND, Attachment>& Attachments()
{
    static std::unordered_map<HWND, Attachment> attachments;
    return attachments;
}

Attachment FindAttachment(HWND h)
{
    std::lock_guard<std::mutex> lock(g_attachmentsLock);
    auto it = Attachments().find(h);
    return it == Attachments().end() ? Attachment{nullptr, nullptr} : it->second;
}

bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }
}  // namespace

LRESULT AnswerGetText(const std::string& text, WPARAM size, LPARAM buffer)
{
    char* target = reinterpret_cast<char*>(buffer);
    if (!target || size == 0) return 0;
    const size_t count = std::min<size_t>(text.size(), size - 1);
    std::copy_n(text.data(), count, target);
    target[count] = '\0';
    return static_cast<LRESULT>(count);
}

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

CWnd* CWnd::FromHandle(HWND hWnd) { return hWnd ? FindAttachment(hWnd).object : nullptr; }

UINT CWnd::Dpi() const
{
    if (m_layoutDpi) return m_layoutDpi;
    if (!m_hWnd) return SystemDpi();
    // Controls ask at every paint: the chain of parents is walked through the
    // window's own style and parent, which the process keeps, where
    // GetAncestor asks Wine's server each time.
    HWND top = m_hWnd;
    while (::GetWindowLongPtrW(top, GWL_STYLE) & WS_CHILD) {
        HWND parent = ::GetParent(top);
        if (!parent) break;
        top = parent;
    }
    const CWnd* object = FromHandle(top);
    if (object && object->m_layoutDpi) return object->m_layoutDpi;
    return WindowDpi(m_hWnd);
}

bool CWnd::SubclassWindow(HWND hWnd)
{
    if (!hWnd || m_hWnd || FromHandle(hWnd)) return false;
    m_hWnd = hWnd;
    PreSubclassWindow();
    WNDPROC super = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_attachmentsLock);
        Attachment& a = Attachments()[hWnd];
        a.object = this;
        super = a.super;  // set when our procedure is still in the window's chain
    }
    if (!super) {
        super = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WindowProcedure)));
        std::lock_guard<std::mutex> lock(g_attachmentsLock);
        if (!super) {
            Attachments().erase(hWnd);
            m_hWnd = nullptr;
            return false;
        }
        Attachments()[hWnd].super = super;
    }
    m_superProc = super;
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    if (h && FromHandle(h) == this) {
        // Our procedure can leave the chain only while it is on top of it;
        // otherwise it stays there and passes every message on.
        const bool onTop = ::GetWindowLongPtrA(h, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&CWnd::WindowProcedure);
        if (onTop) ::SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
        std::lock_guard<std::mutex> lock(g_attachmentsLock);
        if (onTop)
            Attachments().erase(h);
        else
            Attachments()[h].object = nullptr;
    }
    m_hWnd = nullptr;
    m_superProc = nullptr;
    return h;
}

LRESULT CWnd::Default()
{
    if (!m_superProc) return 0;
    return ::CallWindowProcA(m_superProc, m_current.hwnd, m_current.message, m_current.wParam, m_current.lParam);
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
LRESULT CALLBACK CWnd::WindowProcedure(HWND h, UINT msg, WPARAM wp, LPARAM lp) noexcept
{
    const Attachment a = FindAttachment(h);
    LRESULT result = 0;
    if (CWnd* self = a.object) {
        const MSG saved = self->m_current;
        self->m_current = MSG{h, msg, wp, lp, 0, {0, 0}};
        result = self->WindowProc(msg, wp, lp);
        self->m_current = saved;
        if (msg == WM_NCDESTROY) {
            self->Detach();
            self->PostNcDestroy();
        }
    } else {
        // Detached while another procedure sat above ours: pass the message on.
        result = a.super ? ::CallWindowProcA(a.super, h, msg, wp, lp) : ::DefWindowProcA(h, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        std::lock_guard<std::mutex> lock(g_attachmentsLock);
        Attachments().erase(h);
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
            // A registration that failed leaves 0, which must not stand for WM_NULL.
            const bool same = e->registered ? *e->registered == message && message != 0 : e->message == message;
            if (e->kind == kind && same &&
                (kind != MessageEntry::Kind::Command || (id >= e->id && id <= e->lastId)))
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
