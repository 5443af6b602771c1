#pragma once
// The main window's notification-area icon. While it is there it shows the
// selected card's temperature (or the application icon when there is no
// reading) and every reading in its tip, and a card that reaches the warning
// temperature raises a balloon from it, through a temporary icon when the
// window is shown; so does any other notice the program has for the user. The
// icon is removed when the object ends, so the program never leaves a dead one
// behind.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "framework/CTimer.h"
#include "framework/Gdi.h"
#include "gpu/GpuReading.h"

class CTrayIcon {
public:
    static constexpr UINT kIconId = 128;
    static constexpr UINT kCallbackMessage = WM_USER + 100;  // WM_TRAYNOTIFY
    static constexpr int kDefaultWarning = 90;
    // Degrees under the warning temperature the card must fall to before it can warn again.
    static constexpr int kWarningRearm = 5;

    // Every notification call goes through here; tests record them (null: the shell).
    using NotifyHook = BOOL (*)(DWORD message, NOTIFYICONDATAW* data);
    static void SetNotifyHook(NotifyHook hook);

    CTrayIcon() = default;
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Notifications go to the owner; the application icon stands in for a reading.
    void Attach(HWND owner, HICON appIcon);
    // The picture is drawn at the small-icon size of this DPI; a new size
    // draws it again at the next readings.
    void SetDpi(UINT dpi);
    // The same at the DPI of the taskbar's monitor, where the notification
    // area shows the picture, whatever monitor the owner is on; asked again
    // whenever the taskbar or the monitors may have changed.
    void FollowTaskbar();
    // True once the icon is in the notification area (which may not exist yet).
    bool Add();
    void Remove();
    bool IsShown() const { return m_shown && !m_temporary; }
    // The shell restarted and forgot its icons: the one that should be there comes back.
    void Restore();

    void SetWarningTemperature(int celsius) { m_warningAt = celsius; }
    // Each refresh: the warning once per crossing; the picture, when its number
    // or colour changed, and the tip at most once a second, in one call to the
    // shell (each call is a round trip to another process).
    void ShowReadings(const GpuReading& readings);
    // The clock that paces the updates, in milliseconds; tests give their own.
    static void SetClock(ULONGLONG (*now)());
    // Ends a temporary icon once its balloon has been shown long enough.
    void OnBalloonTimer();
    // A balloon from the icon, through a temporary one while the window is
    // shown; icon: NIIF_INFO, NIIF_WARNING ...
    void ShowBalloon(const std::wstring& title, const std::wstring& text, DWORD icon);

    // The tip's second line for these readings.
    static std::wstring ReadingsLine(const GpuReading& readings);

private:
    NOTIFYICONDATAW Record(UINT flags) const;
    BOOL Notify(DWORD message, UINT flags, NOTIFYICONDATAW* record = nullptr) const;
    HICON ShownIcon() const { return m_temperatureIcon ? m_temperatureIcon.get() : m_appIcon; }
    // A new picture when the readings need one; the one it replaces is handed out.
    bool UpdatePicture(const GpuReading& readings, CIcon& replaced);
    void Warn(unsigned temperature);
    void ShowBalloon(const wchar_t* title, const wchar_t* text);

    HWND m_owner = nullptr;
    HICON m_appIcon = nullptr;
    bool m_shown = false;
    bool m_temporary = false;       // added only to carry a warning while the window is shown
    CIcon m_temperatureIcon;        // empty: the application icon is shown
    int m_pictureNumber = -1;       // the temperature the picture shows; -1 none
    int m_pictureSize = 0;          // of the picture shown, and of the next
    int m_iconSize = 16;
    COLORREF m_pictureColour = 0;
    std::wstring m_tip = L"Quilo";
    ULONGLONG m_updateTime = 0;  // of the last update of picture and tip
    bool m_updated = false;
    int m_warningAt = kDefaultWarning;
    bool m_warned = false;          // since the last fall below the warning temperature
    CTimer m_balloonTimer{[this] { OnBalloonTimer(); }};  // while a temporary icon is up
};
