#pragma once
// Owners for GDI objects and device contexts. Each is move-only and releases
// exactly what it acquired; selections put back what they replaced.
#include <windows.h>

#include <memory>
#include <optional>
#include <utility>

// A GDI object (bitmap, font, brush, pen, region) deleted with DeleteObject.
template <class H>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H h) : m_h(h) {}
    ~GdiObject() { reset(); }
    GdiObject(GdiObject&& o) noexcept : m_h(o.release()) {}
    GdiObject& operator=(GdiObject&& o) noexcept
    {
        if (this != &o) reset(o.release());
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    H get() const { return m_h; }
    operator H() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    H release() { return std::exchange(m_h, nullptr); }
    void reset(H h = nullptr)
    {
        if (m_h && m_h != h) ::DeleteObject(m_h);
        m_h = h;
    }

private:
    H m_h = nullptr;
};

using CBitmap = GdiObject<HBITMAP>;
using CFont = GdiObject<HFONT>;
using CBrush = GdiObject<HBRUSH>;
using CPen = GdiObject<HPEN>;
using CRgn = GdiObject<HRGN>;

// A device context handle that this object does not own.
class CDC {
public:
    CDC() = default;
    explicit CDC(HDC dc) : m_hDC(dc) {}
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    HDC m_hDC = nullptr;
};

// GetDC / ReleaseDC of a window.
class CClientDC : public CDC {
public:
    explicit CClientDC(HWND wnd) : CDC(::GetDC(wnd)), m_wnd(wnd) {}
    // A context of the client area with GetDCEx's clipping flags.
    CClientDC(HWND wnd, DWORD flags) : CDC(::GetDCEx(wnd, nullptr, flags)), m_wnd(wnd) {}
    ~CClientDC() override
    {
        if (m_hDC) ::ReleaseDC(m_wnd, m_hDC);
    }

private:
    HWND m_wnd;
};

// BeginPaint / EndPaint, for WM_PAINT handlers.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(HWND wnd) : m_wnd(wnd) { m_hDC = ::BeginPaint(wnd, &m_ps); }
    ~CPaintDC() override { ::EndPaint(m_wnd, &m_ps); }
    const PAINTSTRUCT& Paint() const { return m_ps; }

private:
    HWND m_wnd;
    PAINTSTRUCT m_ps{};
};

// A memory context compatible with another, deleted with DeleteDC.
class CCompatibleDC : public CDC {
public:
    explicit CCompatibleDC(HDC like) : CDC(::CreateCompatibleDC(like)) {}
    ~CCompatibleDC() override
    {
        if (m_hDC) ::DeleteDC(m_hDC);
    }
};

// A top-down 32-bit DIB section; bits receives its pixels, rows of width * 4
// bytes. Under Wine, unlike a compatible bitmap, it is selected into a context
// without asking the server.
inline CBitmap CreateTopDownDib(int width, int height, void** bits)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    return CBitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

// Selects an object into a context for a scope and puts the previous one back.
class CSelect {
public:
    CSelect(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~CSelect()
    {
        if (m_old) ::SelectObject(m_dc, m_old);
    }
    CSelect(const CSelect&) = delete;
    CSelect& operator=(const CSelect&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

// A memory context kept for good with one bitmap selected, for a bitmap drawn
// from or into at every refresh: making a context costs more than most copies,
// and under Wine selecting a device-dependent bitmap asks the server. Declare
// it after the bitmaps it holds, so that it lets go of them first.
class CKeptDC {
public:
    // Makes the context, compatible with like, on first use; false when it cannot.
    bool Select(HDC like, HBITMAP bitmap)
    {
        m_selected.reset();
        if (!m_dc || !m_dc->GetSafeHdc()) m_dc = std::make_unique<CCompatibleDC>(like);
        if (!m_dc->GetSafeHdc()) return false;
        m_selected.emplace(m_dc->GetSafeHdc(), bitmap);
        return true;
    }
    void Release()
    {
        m_selected.reset();
        m_dc.reset();
    }
    // Whether a bitmap is held.
    explicit operator bool() const { return m_selected.has_value(); }
    operator HDC() const { return m_dc ? m_dc->GetSafeHdc() : nullptr; }

private:
    std::unique_ptr<CCompatibleDC> m_dc;
    std::optional<CSelect> m_selected;
};

// Owners for the USER handles the windows load.
template <class H, BOOL(WINAPI* Destroy)(H)>
class UserHandle {
public:
    UserHandle() = default;
    explicit UserHandle(H h) : m_h(h) {}
    ~UserHandle() { reset(); }
    UserHandle(UserHandle&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    UserHandle& operator=(UserHandle&& o) noexcept
    {
        if (this != &o) reset(std::exchange(o.m_h, nullptr));
        return *this;
    }
    UserHandle(const UserHandle&) = delete;
    UserHandle& operator=(const UserHandle&) = delete;
    H get() const { return m_h; }
    operator H() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void reset(H h = nullptr)
    {
        if (m_h && m_h != h) Destroy(m_h);
        m_h = h;
    }

private:
    H m_h = nullptr;
};

using CIcon = UserHandle<HICON, ::DestroyIcon>;
using CCursor = UserHandle<HCURSOR, ::DestroyCursor>;
using CMenu = UserHandle<HMENU, ::DestroyMenu>;
