#pragma once
// CFanGuard: while the program drives fans at levels of its own, a small
// program of its own image name (qsurge-guard.exe), started outside this
// process's tree, waits on this process. If the process ends without having
// handed those fans back (it was ended from outside, with its whole tree or
// every process of its name, or died where none of its code ran), the guard
// hands them back to the driver and ends. The guard waits without using the
// processor and lives only while a fan is held.
#include <windows.h>

#include <cstdint>
#include <string>

// A set of GPU indices, bit i for GPU i (the driver knows at most 64 GPUs).
using GpuSet = uint64_t;
constexpr int kMaxGuardedGpus = 64;
constexpr GpuSet GpuBit(int gpuIndex) { return GpuSet{1} << gpuIndex; }

class CFanGuard {
public:
    CFanGuard() = default;
    // A holder that goes without the fans handed back leaves its guard
    // waiting: the guard hands them back once this process has ended.
    ~CFanGuard();
    CFanGuard(const CFanGuard&) = delete;
    CFanGuard& operator=(const CFanGuard&) = delete;

    // Guards every fan of each GPU of the set, and no other: a guard of
    // another set is replaced, the new one started before the old one goes,
    // so no moment is unguarded. An empty set releases. False when no guard
    // of that set could be started (the old one then stays).
    bool Hold(GpuSet gpus);
    // The fans are the driver's again: the guard ends without touching them.
    void Release();
    bool IsHolding() const { return m_guard != nullptr; }
    // Whether the guard still runs: one ended from outside (or crashed)
    // guards nothing.
    bool IsWaiting() const;
    // A new guard of the set in place of one that ended.
    bool Restart(GpuSet gpus);
    GpuSet Held() const { return m_gpus; }

    // The guard's image, which the application finds beside itself. Without
    // one no guard is started.
    static void SetGuardProgram(const std::wstring& executable);
    static constexpr const wchar_t* kGuardImage = L"qsurge-guard.exe";

    // The guard's side: its command line as the guard program gets it. Waits
    // until the program ends or releases it; returns the exit code.
    static int RunGuard(const char* commandLine);

    // For a program about to die of an error: hands back the fans a guard of
    // this process holds, through a driver access of its own, and ends the
    // guard once all of them are the driver's.
    static void HandBackNow();

private:
    // Every fan of each GPU of the set back to the driver's own control; the
    // GPUs that refused.
    static GpuSet HandBackToDriver(GpuSet gpus);

    void CloseHandles();

    HANDLE m_guard = nullptr;    // the guard process
    HANDLE m_release = nullptr;  // set when the fans have been handed back
    GpuSet m_gpus = 0;
};
