#include "framework/WinApp.h"

#include <objbase.h>

#include "framework/Dialog.h"
#include "framework/Resources.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp()
{
    if (g_app == this) g_app = nullptr;
}

CWinApp* CWinApp::Current() { return g_app; }

void CWinApp::SetRegistryKey(const char* key) { m_registryKey = WideFromCp936(key); }

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!CDialog::PreTranslate(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CWinApp* app = CWinApp::Current();
    if (!app) return 1;
    // The windows hand their accessible objects to assistive technology
    // through COM, from this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = app->InitInstance() ? app->Run() : app->ExitCode();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
