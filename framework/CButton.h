#pragma once
#include "framework/Wnd.h"

// A button control of a dialog template.
class CButton : public CWnd {
public:
    UINT GetButtonStyle() const { return static_cast<UINT>(GetStyle()) & BS_TYPEMASK; }
};
