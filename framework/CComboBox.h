#pragma once
#include <string>

#include "framework/Accessible.h"
#include "framework/Wnd.h"

// A drop-down list control of a dialog template. To assistive technology a
// combo box named by its window, its value the entry chosen.
class CComboBox : public CWnd, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    int AddString(const std::string& s)
    {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str())));
    }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCount() { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }

    void Describe(AccessibleFacts& facts) const override;
    bool DoDefaultAction() override;
};
