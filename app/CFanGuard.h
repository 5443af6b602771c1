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
    CFanGuard() = default;
    // A holder that goes without the fan handed back leaves its guard waiting:
    // the guard hands the fan back once this process has ended.
    ~CFanGuard();
    CFanGuard(const CFanGuard&) = delete;
    CFanGuard& operator=(const CFanGuard&) = delete;

    // Guards cooler 0 of that GPU; a guard of another GPU is ended first.
    bool Hold(int gpuIndex);
    // The fan is the driver's again: the guard ends without touching it.
    void Release();
    bool IsHolding() const { return m_guard != nullptr; }

    // The program that is started as the guard, with kArgument: the
    // application names itself. Without one no guard is started.
    static void SetGuardProgram(const std::string& executable);

    // The guard's side. commandLine: what follows kArgument. Waits until the
    // program ends or releases it; returns the exit code.
    static constexpr const char* kArgument = "--fan-guard";
    static int RunGuard(const char* commandLine);

    // For a program about to die of an error: hands back the fan a guard of
    // this process holds, through a driver access of its own, and ends the guard.
    static void HandBackNow();

private:
    // Cooler 0 of the GPU back to the driver's own curve, at its current level.
    static bool HandBackToDriver(int gpuIndex);

    void CloseHandles();

    HANDLE m_guard = nullptr;    // the guard process
    HANDLE m_release = nullptr;  // set when the fan has been handed back
    int m_gpuIndex = -1;
};
