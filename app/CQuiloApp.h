#pragma once
// The application object: starts the common controls and GDI+, runs the main
// window modally, and ends the process when it closes.
#include "framework/WinApp.h"

class CQuiloApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
