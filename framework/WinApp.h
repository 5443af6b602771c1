#pragma once
// CWinApp: the one application object. WinMain (WinApp.cpp) calls its
// InitInstance; when that returns FALSE the process ends without a message pump.
#include <windows.h>

#include <string>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    static CWinApp* Current();
    virtual BOOL InitInstance() { return FALSE; }
    // The message pump, for an application that keeps running after InitInstance.
    virtual int Run();
    // Names the key under which the application's own settings would live;
    // the name is code page 936 text and is kept as Windows would read it.
    void SetRegistryKey(const char* key);
    const std::wstring& RegistryKey() const { return m_registryKey; }
    // The process's exit code when InitInstance returns FALSE.
    void SetExitCode(int code) { m_exitCode = code; }
    int ExitCode() const { return m_exitCode; }

    CWnd* m_pMainWnd = nullptr;

private:
    std::wstring m_registryKey;
    int m_exitCode = 0;
};
