#include "app/CQuiloApp.h"

#include <commctrl.h>
#include <objidl.h>

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include "app/CQuiloDlg.h"

BOOL CQuiloApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);
    SetRegistryKey("应用程序向导生成的本地应用程序");

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        CQuiloDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    Gdiplus::GdiplusShutdown(token);
    return FALSE;
}
