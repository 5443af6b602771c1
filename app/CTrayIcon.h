#pragma once
// The main window's notification-area icon. It is removed when the object
// ends, so the program never leaves a dead icon behind, also when it ends hidden.
#include <windows.h>
#include <shellapi.h>

class CTrayIcon {
public:
    static constexpr UINT kIconId = 128;
    static constexpr UINT kCallbackMessage = WM_USER + 100;  // WM_TRAYNOTIFY

    CTrayIcon() = default;
    ~CTrayIcon()
    {
        if (m_shown) Remove();
    }
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Adds the icon with the tip "Quilo"; notifications go to the owner.
    bool Add(HWND owner, HICON icon);
    void Remove();
    bool IsShown() const { return m_shown; }

private:
    NOTIFYICONDATAA Record() const;

    HWND m_owner = nullptr;
    HICON m_icon = nullptr;
    bool m_shown = false;
};
