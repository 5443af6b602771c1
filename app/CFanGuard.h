#pragma once
// CFanGuard: while the program drives a fan at a level of its own, a second
// copy of the program waits on this process. If the process ends without
// having handed the fan back (it was ended from outside, or died where none of
// its code ran), the guard hands the fan back to the driver and ends. The
// guard waits without using the processor and lives only while a fan is held.
#include <windows.h>

#include <string>

class CFanGuard {
public:
    // The guard is this program started with kArgument; tests name the executable.
    explicit CFanGuard(std::string executable = {});
    ~CFanGuard();
    CFanGuard(const CFanGuard&) = delete;
    CFanGuard& operator=(const CFanGuard&) = delete;

    // Guards cooler 0 of that GPU; a guard of another GPU is ended first.
    bool Hold(int gpuIndex);
    // The fan is the driver's again: the guard ends without touching it.
    void Release();
    bool IsHolding() const { return m_guard != nullptr; }

    // The guard's side. commandLine: what follows kArgument. Waits until the
    // program ends or releases it; returns the exit code.
    static constexpr const char* kArgument = "--fan-guard";
    static int RunGuard(const char* commandLine);

private:
    std::string m_executable;
    HANDLE m_guard = nullptr;    // the guard process
    HANDLE m_release = nullptr;  // set when the fan has been handed back
    int m_gpuIndex = -1;
};
