#include "framework/CComboBox.h"

#include <oleacc.h>

#include <vector>

BEGIN_MESSAGE_MAP(CComboBox, CWnd)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

void CComboBox::Describe(AccessibleFacts& facts) const
{
    facts.name = AccessibleName();
    facts.role = ROLE_SYSTEM_COMBOBOX;
    const bool open = ::SendMessageA(m_hWnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
    facts.states = open ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
    facts.defaultAction = open ? "Close" : "Open";
    const LRESULT chosen = ::SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0);
    const LRESULT length = chosen == CB_ERR ? CB_ERR : ::SendMessageA(m_hWnd, CB_GETLBTEXTLEN, chosen, 0);
    if (length == CB_ERR) return;
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    ::SendMessageA(m_hWnd, CB_GETLBTEXT, chosen, reinterpret_cast<LPARAM>(text.data()));
    facts.value = text.data();
}

bool CComboBox::DoDefaultAction()
{
    const bool open = ::SendMessageA(m_hWnd, CB_GETDROPPEDSTATE, 0, 0) != 0;
    return PostMessage(CB_SHOWDROPDOWN, !open);
}
