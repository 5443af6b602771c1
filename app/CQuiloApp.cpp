#include "app/CQuiloApp.h"

#include <commctrl.h>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>
#include <objidl.h>

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include "app/CQuiloDlg.h"
#include "app/StartUp.h"
#include "fan/CFanGuard.h"
#include "framework/Resources.h"
#include "profile/AutoRun.h"
#include "profile/IniFile.h"
#include "res/resource.h"

namespace {
constexpr DWORD kHandBackTimeLimit = 2000;  // ms

DWORD WINAPI HandBackThread(void*)
{
    CFanGuard::HandBackNow();
    return 0;
}

// A program dying of an error hands its fans back on a thread of its own, so
// a hand-back that hangs in a faulted driver cannot keep it alive, then ends at
// once: no error box waits on screen while its timers could still write to the
// fan, and the guard gets its turn with whatever was not handed back.
[[noreturn]] void EndAfterHandBack(UINT exitCode)
{
    if (HANDLE thread = ::CreateThread(nullptr, 0, &HandBackThread, nullptr, 0, nullptr)) {
        ::WaitForSingleObject(thread, kHandBackTimeLimit);
        ::CloseHandle(thread);
    }
    ::TerminateProcess(::GetCurrentProcess(), exitCode);
    for (;;) ::Sleep(INFINITE);  // TerminateProcess of the calling process does not return
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception)
{
    EndAfterHandBack(exception && exception->ExceptionRecord ? exception->ExceptionRecord->ExceptionCode : 3);
}

[[noreturn]] void OnTerminate() { EndAfterHandBack(3); }
void OnAbortSignal(int) { EndAfterHandBack(3); }
void OnPureCall() { EndAfterHandBack(3); }
void OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) { EndAfterHandBack(3); }

}  // namespace

BOOL CQuiloApp::InitInstance()
{
    // One copy per user session: a later start hands its command line over.
    CCommandLine command;
    CSingleInstance instance;
    int exitCode = kExitDone;
    if (!GoesOnRunning(command, instance, exitCode)) {
        SetExitCode(exitCode);
        return FALSE;
    }
    // Earlier versions wrote the start-with-Windows value without the logon mark.
    AddLogonMarkToAutoRun();
    RegisterForRestart();
    // One copy on the machine writes to the cards: the first to ask.
    CCardOwnership cards;
    // The guard lives beside the program.
    const std::wstring self = ProgramPath();
    if (!self.empty()) CFanGuard::SetGuardProgram(self.substr(0, self.rfind(L'\\') + 1) + CFanGuard::kGuardImage);
    ::SetUnhandledExceptionFilter(&OnUnhandledException);
    std::set_terminate(&OnTerminate);
    std::signal(SIGABRT, &OnAbortSignal);
    _set_purecall_handler(&OnPureCall);
    _set_invalid_parameter_handler(&OnInvalidParameter);
    // The numbers' digital face, for systems that lack "DigifaceWide"; it is
    // wider, and at this share of the size the widest numbers fit their boxes.
    RegisterCarriedFace(IDR_NUMBER_FONT, L"DSEG7 Classic", "DigifaceWide", 0.78f);

    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);
    SetRegistryKey("应用程序向导生成的本地应用程序");

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    {
        CQuiloDlg dlg;
        dlg.SetStart(command, instance);
        dlg.SetCardOwnership(cards);
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        SetExitCode(dlg.StartResult());
    }
    Gdiplus::GdiplusShutdown(token);
    return FALSE;
}
