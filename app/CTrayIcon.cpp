#include "app/CTrayIcon.h"

#include <cstring>

NOTIFYICONDATAA CTrayIcon::Record() const
{
    NOTIFYICONDATAA nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = m_owner;
    nid.uID = kIconId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kCallbackMessage;
    nid.hIcon = m_icon;
    std::strncpy(nid.szTip, "Quilo", sizeof nid.szTip - 1);
    return nid;
}

bool CTrayIcon::Add(HWND owner, HICON icon)
{
    m_owner = owner;
    m_icon = icon;
    NOTIFYICONDATAA nid = Record();
    m_shown = ::Shell_NotifyIconA(NIM_ADD, &nid) != FALSE;
    return m_shown;
}

void CTrayIcon::Remove()
{
    if (!m_owner) return;
    NOTIFYICONDATAA nid = Record();
    ::Shell_NotifyIconA(NIM_DELETE, &nid);
    m_shown = false;
}
