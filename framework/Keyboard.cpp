#include "framework/Keyboard.h"

#include <algorithm>

namespace {
struct Placed {
    HWND window;
    RECT rect;
};

bool IsTabStop(HWND h)
{
    const LONG style = static_cast<LONG>(::GetWindowLongPtrA(h, GWL_STYLE));
    return (style & WS_TABSTOP) != 0;
}

bool CanTakeFocus(HWND h) { return IsTabStop(h) && ::IsWindowVisible(h) && ::IsWindowEnabled(h); }

// What the focused control wants of the key; see WM_GETDLGCODE.
LRESULT DialogCode(HWND focus, const MSG& msg)
{
    MSG copy = msg;
    return ::SendMessageA(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&copy));
}

// The tab stop after (or before) the focused one in reading order, wrapping round.
HWND Neighbour(HWND dialog, HWND focus, bool backwards)
{
    std::vector<HWND> order = ReadingOrder(dialog);
    order.erase(std::remove_if(order.begin(), order.end(), [&](HWND h) { return h != focus && !CanTakeFocus(h); }),
                order.end());
    if (order.empty()) return nullptr;
    auto at = std::find(order.begin(), order.end(), focus);
    const ptrdiff_t count = static_cast<ptrdiff_t>(order.size());
    if (at == order.end()) return backwards ? order.back() : order.front();
    const ptrdiff_t index = (at - order.begin() + (backwards ? count - 1 : 1)) % count;
    return order[static_cast<size_t>(index)];
}

void MoveFocus(HWND dialog, HWND to)
{
    // The dialog's own way of moving the focus: it keeps its default key and
    // the focus it restores in step.
    if (to) ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(to), TRUE);
}

bool Down(int key) { return ::GetKeyState(key) < 0; }
}  // namespace

std::vector<HWND> ReadingOrder(HWND dialog)
{
    std::vector<Placed> controls;
    for (HWND h = ::GetWindow(dialog, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        if (!IsTabStop(h)) continue;
        Placed p{h, {}};
        ::GetWindowRect(h, &p.rect);
        controls.push_back(p);
    }
    std::stable_sort(controls.begin(), controls.end(),
                     [](const Placed& a, const Placed& b) { return a.rect.top < b.rect.top; });
    std::vector<HWND> order;
    for (size_t first = 0; first < controls.size();) {
        const RECT& lead = controls[first].rect;
        const LONG middle = lead.top + (lead.bottom - lead.top) / 2;
        size_t end = first + 1;
        while (end < controls.size() && controls[end].rect.top < middle) ++end;
        std::stable_sort(controls.begin() + static_cast<ptrdiff_t>(first), controls.begin() + static_cast<ptrdiff_t>(end),
                         [](const Placed& a, const Placed& b) { return a.rect.left < b.rect.left; });
        for (size_t i = first; i < end; ++i) order.push_back(controls[i].window);
        first = end;
    }
    return order;
}

void ArrangeTabOrder(HWND dialog)
{
    HWND after = HWND_TOP;
    for (HWND h : ReadingOrder(dialog)) {
        ::SetWindowPos(h, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
        after = h;
    }
}

bool HandleDialogKey(HWND dialog, const MSG& msg)
{
    if (msg.message != WM_KEYDOWN) return false;
    HWND focus = ::GetFocus();
    if (focus && focus != dialog && !::IsChild(dialog, focus)) return false;
    const LRESULT code = focus ? DialogCode(focus, msg) : 0;
    switch (msg.wParam) {
    case VK_TAB:
        if ((code & DLGC_WANTTAB) || Down(VK_CONTROL) || Down(VK_MENU)) return false;
        MoveFocus(dialog, Neighbour(dialog, focus, Down(VK_SHIFT)));
        return true;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
        if (code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
        MoveFocus(dialog, Neighbour(dialog, focus, msg.wParam == VK_LEFT || msg.wParam == VK_UP));
        return true;
    case VK_RETURN:
        // A control that takes Enter itself (an open list) gets it; a key is
        // pressed; anywhere else Enter does nothing. It is never the dialog's
        // OK, which would end it whatever had the focus.
        if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
        if ((code & (DLGC_BUTTON | DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) && ::IsWindowEnabled(focus))
            ::SendMessageA(focus, BM_CLICK, 0, 0);
        return true;
    default:
        return false;
    }
}

bool FocusMarkShown(HWND control)
{
    HWND root = ::GetAncestor(control, GA_ROOT);
    return root && !(::SendMessageA(root, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
}
