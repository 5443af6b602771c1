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

    // How far a guard of a set has come.
    enum class Guarding { Ready, Starting, Failed };
    // Guards every fan of each GPU of the set, and no other, without holding
    // up the caller: a guard of another set is replaced, the new one started
    // before the old one goes, so no moment is unguarded. Starting: the new
    // guard has not said yet that it holds this process; ask again (each
    // call looks, the first waits a moment). Failed: none could be started,
    // or it did not answer within kReadyLimitMs (it is ended); the old guard
    // then stays. An empty set releases.
    Guarding Hold(GpuSet gpus);
    // The fans are the driver's again: the guards end without touching them.
    void Release();
    bool IsHolding() const { return m_guard != nullptr; }
    GpuSet Held() const { return m_gpus; }
    // A guard in force that has ended (from outside, or crashed) guards
    // nothing: it is let go, so that Hold starts another. True when no guard
    // in force waits now.
    bool ForgetEnded();
    static constexpr ULONGLONG kReadyLimitMs = 10000;
    // What the guard takes of its events and of this process.
    static constexpr DWORD kGuardEventRights = SYNCHRONIZE | EVENT_MODIFY_STATE;
    static constexpr DWORD kGuardProcessRights = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

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

    // One guard process with its events.
    struct Guard {
        HANDLE process = nullptr;
        HANDLE release = nullptr;  // set when the fans have been handed back
        HANDLE ready = nullptr;    // set by the guard once it holds this process
        GpuSet gpus = 0;
        ULONGLONG started = 0;
        void Close();
    };
    bool StartGuard(GpuSet gpus);
    // The starting guard: what it has come to, waiting at most waitMs.
    Guarding LookAtStarting(DWORD waitMs);
    // A starting guard no longer wanted, or that never answered, is ended.
    void AbandonStarting();
    void ReleaseInForce();
    void CloseHandles();

    HANDLE m_guard = nullptr;    // the guard process in force
    HANDLE m_release = nullptr;  // set when the fans have been handed back
    GpuSet m_gpus = 0;
    Guard m_starting;  // on its way to replace it
};
