#pragma once
// CWnd: a C++ object attached to a window handle. Attaching subclasses the
// window (its procedure is replaced and kept), so every message reaches
// WindowProc, which reflects child notifications to the child's object, then
// looks the message up in the class's table (MessageMap.h) and otherwise hands
// it to the window's previous procedure.
#include <windows.h>

#include <string>

#include "framework/MessageMap.h"
#include "framework/Rect.h"

// Answers WM_GETTEXT for a window that keeps its text itself: as much of the
// text as fits the buffer of size characters, terminated; the count copied.
LRESULT AnswerGetText(const std::string& text, WPARAM size, LPARAM buffer);

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    static const MessageMap* Messages();
    // The object attached to a window of this thread, or null.
    static CWnd* FromHandle(HWND hWnd);

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Attaches to an existing window (a template control, or a dialog being created).
    bool SubclassWindow(HWND hWnd);
    bool SubclassDlgItem(UINT id, CWnd* parent);
    HWND Detach();

    // The message being handled, and its processing by the window's previous procedure.
    const MSG& CurrentMessage() const { return m_current; }
    LRESULT Default();

    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    LONG GetStyle() const { return static_cast<LONG>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    CRect GetClientRect() const;
    CRect GetWindowRect() const;
    std::string GetWindowText() const;
    void SetWindowText(const std::string& text) { ::SetWindowTextA(m_hWnd, text.c_str()); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) { return ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
    BOOL SetWindowPos(HWND after, int x, int y, int w, int h, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, after, x, y, w, h, flags);
    }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(const RECT& r, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, &r, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms) { return ::SetTimer(m_hWnd, id, ms, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return ::SendMessageA(m_hWnd, msg, wp, lp); }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return ::PostMessageA(m_hWnd, msg, wp, lp); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    // The DPI the window is laid out for: the one its top-level window of
    // ours keeps, else the system's for the window (Dpi.h).
    UINT Dpi() const;

protected:
    virtual const MessageMap* GetMessageMap() const { return Messages(); }
    // Called before the window is subclassed.
    virtual void PreSubclassWindow() {}
    // Called after the window's last message (WM_NCDESTROY); the object is detached by then.
    virtual void PostNcDestroy() {}
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

    // Default colouring: offers the colouring to the child's own object first.
    HBRUSH OnCtlColor(HDC dc, HWND child, UINT ctlType);

    MSG m_current{};
    // Kept by a top-level window of ours: the DPI it is laid out for (0: none).
    UINT m_layoutDpi = 0;

private:
    WNDPROC m_superProc = nullptr;  // the window's procedure before it was attached
    static LRESULT CALLBACK WindowProcedure(HWND, UINT, WPARAM, LPARAM) noexcept;
    const MessageEntry* FindEntry(MessageEntry::Kind kind, UINT message, UINT id) const;
    bool ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
};
