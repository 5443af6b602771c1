#pragma once
// The fan guard the build made, beside qsurge.exe, as the program finds its own.
#include <windows.h>

#include <string>

#include "fan/CFanGuard.h"

inline std::wstring BuiltProgramFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring tests = path;
    tests = tests.substr(0, tests.rfind(L'\\'));
    return tests.substr(0, tests.rfind(L'\\')) + L"\\app\\";
}

inline void UseBuiltFanGuard() { CFanGuard::SetGuardProgram(BuiltProgramFolder() + CFanGuard::kGuardImage); }
