#include "app/CQuiloApp.h"

#include <commctrl.h>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <objidl.h>

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include "app/CQuiloDlg.h"
#include "app/StartUp.h"
#include "fan/CFanGuard.h"
#include "framework/Resources.h"
#include "res/resource.h"

namespace {
// A program dying of an error hands its fan back before it goes.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS*)
{
    CFanGuard::HandBackNow();
    return EXCEPTION_CONTINUE_SEARCH;
}

[[noreturn]] void OnTerminate()
{
    CFanGuard::HandBackNow();
    std::abort();
}

// The arguments after the program's name, which may be quoted.
const char* Arguments(const char* commandLine)
{
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}
}  // namespace

BOOL CQuiloApp::InitInstance()
{
    // Started as the guard of a fan this program holds: nothing else runs.
    const char* arguments = Arguments(::GetCommandLineA());
    const size_t guardLength = std::strlen(CFanGuard::kArgument);
    if (std::strncmp(arguments, CFanGuard::kArgument, guardLength) == 0) {
        CFanGuard::RunGuard(arguments + guardLength);
        return FALSE;
    }
    // One copy per user session: a later start hands its command line over.
    CCommandLine command;
    CSingleInstance instance;
    int exitCode = kExitDone;
    if (!GoesOnRunning(command, instance, exitCode)) {
        SetExitCode(exitCode);
        return FALSE;
    }
    char self[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length > 0 && length < MAX_PATH) CFanGuard::SetGuardProgram(self);
    ::SetUnhandledExceptionFilter(&OnUnhandledException);
    // The numbers' digital face, for systems that lack "DigifaceWide"; it is
    // wider, and at this share of the size the widest numbers fit their boxes.
    RegisterCarriedFace(IDR_NUMBER_FONT, L"DSEG7 Classic", "DigifaceWide", 0.78f);
    std::set_terminate(&OnTerminate);

    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);
    SetRegistryKey("应用程序向导生成的本地应用程序");

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        CQuiloDlg dlg;
        dlg.SetStart(command, instance);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        SetExitCode(dlg.StartResult());
    }
    Gdiplus::GdiplusShutdown(token);
    return FALSE;
}
