#include "app/CTrayIcon.h"

#include <algorithm>
#include <cwchar>

#include "app/TrayIconArt.h"
#include "framework/Dpi.h"

namespace {
CTrayIcon::NotifyHook g_hook = nullptr;
ULONGLONG (*g_clock)() = &::GetTickCount64;
constexpr UINT kBalloonShownMs = 15000;
constexpr ULONGLONG kUpdatePeriodMs = 1000;

// The text, cut to fit the record's field with its terminator.
template <size_t N> void CopyText(wchar_t (&field)[N], const std::wstring& text)
{
    const size_t length = std::min(text.size(), N - 1);
    std::wmemcpy(field, text.data(), length);
    field[length] = L'\0';
}
}  // namespace

void CTrayIcon::SetNotifyHook(NotifyHook hook) { g_hook = hook; }

void CTrayIcon::SetClock(ULONGLONG (*now)()) { g_clock = now ? now : &::GetTickCount64; }

CTrayIcon::~CTrayIcon()
{
    if (m_shown) Remove();
}

void CTrayIcon::Attach(HWND owner, HICON appIcon)
{
    m_owner = owner;
    m_appIcon = appIcon;
}

void CTrayIcon::SetDpi(UINT dpi)
{
    const int size = SystemMetricForDpi(SM_CXSMICON, dpi);
    if (size <= 0 || size == m_iconSize) return;
    m_iconSize = size;
    // The next readings carry the new picture without waiting for the period.
    m_updated = false;
}

void CTrayIcon::FollowTaskbar() { SetDpi(TaskbarDpi()); }

NOTIFYICONDATAW CTrayIcon::Record(UINT flags) const
{
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = m_owner;
    nid.uID = kIconId;
    nid.uFlags = flags;
    nid.uCallbackMessage = kCallbackMessage;
    nid.hIcon = ShownIcon();
    CopyText(nid.szTip, m_tip);
    return nid;
}

BOOL CTrayIcon::Notify(DWORD message, UINT flags, NOTIFYICONDATAW* record) const
{
    NOTIFYICONDATAW nid = record ? *record : Record(flags);
    return g_hook ? g_hook(message, &nid) : ::Shell_NotifyIconW(message, &nid);
}

bool CTrayIcon::Add()
{
    if (!m_owner) return false;
    if (m_shown && m_temporary) {
        // The icon that carried a warning stays, now as the window's own.
        m_balloonTimer.Stop();
        m_temporary = false;
        return true;
    }
    // A refused add may still have added the icon (the shell answers late at
    // logon): an icon that takes a change is there.
    if (!m_shown)
        m_shown = Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP) != FALSE ||
                  Notify(NIM_MODIFY, NIF_MESSAGE | NIF_ICON | NIF_TIP) != FALSE;
    return m_shown;
}

void CTrayIcon::Remove()
{
    if (!m_owner || !m_shown) return;
    Notify(NIM_DELETE, 0);
    m_shown = false;
    m_temporary = false;
    m_balloonTimer.Stop();
}

void CTrayIcon::Restore()
{
    if (!m_shown) return;
    m_shown = false;
    const bool temporary = m_temporary;
    m_temporary = false;
    Add();
    m_temporary = temporary && m_shown;
}

void CTrayIcon::ShowReadings(const GpuReading& readings)
{
    if (readings.temperature) {
        const int celsius = static_cast<int>(std::min(*readings.temperature, 999u));
        if (celsius >= m_warningAt && !m_warned) Warn(*readings.temperature);
        if (celsius <= m_warningAt - kWarningRearm) m_warned = false;
    }
    // A temporary icon only carries its warning: updating it would cost the
    // shell's round trips at every refresh for an icon that is about to go.
    if (!IsShown()) return;
    const ULONGLONG now = g_clock();
    if (m_updated && now - m_updateTime < kUpdatePeriodMs) return;
    m_updated = true;
    m_updateTime = now;
    UINT flags = 0;
    // The shell takes its own copy: the old picture may go once the new one is in.
    CIcon replaced;
    if (UpdatePicture(readings, replaced)) flags |= NIF_ICON;
    const std::wstring tip = L"Quilo\n" + ReadingsLine(readings);
    if (tip != m_tip) {
        m_tip = tip;
        flags |= NIF_TIP;
    }
    if (flags) Notify(NIM_MODIFY, flags);
}

bool CTrayIcon::UpdatePicture(const GpuReading& readings, CIcon& replaced)
{
    const int number = readings.temperature ? static_cast<int>(std::min(*readings.temperature, 999u)) : -1;
    const COLORREF colour = readings.temperature ? TemperatureColour(number) : 0;
    const bool sameSize = number < 0 || m_iconSize == m_pictureSize;
    if (number == m_pictureNumber && colour == m_pictureColour && sameSize) return false;
    CIcon picture = number >= 0 ? MakeTemperatureIcon(number, m_iconSize) : CIcon();
    if (number >= 0 && !picture) return false;  // keep what is shown
    replaced = std::move(m_temperatureIcon);
    m_temperatureIcon = std::move(picture);
    m_pictureNumber = number;
    m_pictureColour = colour;
    m_pictureSize = m_iconSize;
    return true;
}

void CTrayIcon::Warn(unsigned temperature)
{
    m_warned = true;
    wchar_t title[64], text[256];
    std::swprintf(title, std::size(title), L"Q-Surge: GPU %u \u00B0C", temperature);
    std::swprintf(text, std::size(text),
                  L"The graphics card has reached %u \u00B0C (warning at %d \u00B0C). Check its cooling.", temperature,
                  m_warningAt);
    ShowBalloon(title, text, NIIF_WARNING);
}

void CTrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text, DWORD icon)
{
    if (!m_owner) return;
    if (!m_shown) {
        // The window is shown: a temporary icon carries the balloon.
        if (!Add()) return;
        m_temporary = true;
        m_balloonTimer.Start(kBalloonShownMs);
    }
    NOTIFYICONDATAW nid = Record(NIF_INFO);
    CopyText(nid.szInfoTitle, title);
    CopyText(nid.szInfo, text);
    nid.dwInfoFlags = icon;
    Notify(NIM_MODIFY, NIF_INFO, &nid);
}

void CTrayIcon::OnBalloonTimer()
{
    m_balloonTimer.Stop();
    if (m_temporary) Remove();
}

// A reading that could not be taken is a dash.
std::wstring CTrayIcon::ReadingsLine(const GpuReading& r)
{
    const auto number = [](const std::optional<unsigned>& value) {
        return value ? std::to_wstring(*value) : std::wstring(L"\u2013");
    };
    return L"GPU " + (r.temperature ? number(r.temperature) + L" \u00B0C" : number(r.temperature)) + L" \u00B7 fan " +
           number(r.fanLevel) + L" % \u00B7 " + number(r.engineClock) + L" / " + number(r.memoryClock) + L" MHz";
}
