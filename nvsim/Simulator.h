// The one simulated driver of the process: its scenario and GPUs, the model
// clock, injected faults, the call log and the driver-settings store. All of
// it is reached with the lock held, through a DriverCall or a SimLock.
#pragma once

#include "gpu/NvApiTypes.h"
#include "nvsim/GpuModel.h"
#include "nvsim/NvSimControl.h"
#include "nvsim/Scenario.h"
#include "nvsim/SharedState.h"

#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// The newest calls, oldest first, in room taken once: a driver allocates
// nothing per call, and neither does its stand-in.
class CallLog {
public:
    static constexpr size_t kCapacity = 4096;

    size_t size() const { return m_count; }
    const NvSimCall& operator[](size_t index) const { return m_calls[(m_first + index) % kCapacity]; }
    void push_back(const NvSimCall& call);
    void clear() { m_first = m_count = 0; }

private:
    std::vector<NvSimCall> m_calls;
    size_t m_first = 0;
    size_t m_count = 0;
};

struct DrsSessionState {
    bool loaded = false;
    std::map<uint32_t, uint32_t> settings;   // base profile as this session sees it
};

struct Simulator {
    Scenario scenario;
    std::vector<GpuModel> gpus;
    std::map<uint32_t, int32_t> faults;
    int initCount = 0;
    unsigned generation = 0;         // of the handles handed out; a reset starts a new one
    uint64_t timeMs = 0;             // model time
    uint64_t tickedMs = 0;           // model time the GPUs have reached
    bool frozen = false;
    uint64_t lastRealMs = 0;
    CallLog log;
    std::map<uint32_t, uint32_t> saved;      // committed base-profile settings
    std::map<uintptr_t, DrsSessionState> sessions;
    SharedState shared;                       // with the other processes, when asked for
    uintptr_t nextSession = 1;

    // null: the built-in scenario. Resets everything but the freeze setting and
    // the saved settings, which are read back from beside the scenario.
    bool Load(const char* path);
    // Brings the model up to real time (unless frozen) plus extra milliseconds.
    void Advance(uint64_t extraMs = 0);
    void Freeze(bool frozen);

    GpuModel* Gpu(int index);
    // -1 for a handle that is not one of this generation's; stale, when given,
    // is set for a handle of an earlier generation.
    int GpuIndex(const void* handle, bool* stale = nullptr) const;
    NvGpuHandle GpuHandle(int index) const;
    int DisplayIndex(const void* handle) const;
    NvDisplayHandle DisplayHandle(int index) const;
    // A driver reset: every handle and session becomes invalid and the same
    // GPUs answer to new handles; with needsInit the driver must be initialised again.
    void Reset(bool needsInit);
    DrsSessionState* Session(NvDrsSession handle);
    NvDrsSession NewSession();
    bool EndSession(NvDrsSession handle);   // false for an unknown session
    static NvDrsProfile BaseProfile(NvDrsSession session);

    bool SaveSettings(const std::map<uint32_t, uint32_t>& settings);
};

// Holds the lock and the (loaded, up-to-date) simulator for a control function.
class SimLock {
public:
    SimLock();
    ~SimLock();
    SimLock(const SimLock&) = delete;
    SimLock& operator=(const SimLock&) = delete;
    Simulator& sim;
};

// One driver call: holds the lock, applies faults and the initialisation
// rule, and logs the call with its status and values when it ends.
class DriverCall {
public:
    explicit DriverCall(uint32_t id);               // not GPU-specific
    DriverCall(uint32_t id, NvGpuHandle gpu);
    ~DriverCall();
    DriverCall(const DriverCall&) = delete;
    DriverCall& operator=(const DriverCall&) = delete;

    // First refusal among: injected fault, not initialised, a null pointer in
    // required, an unknown GPU handle (when one was given); 0 if none.
    NvStatus Begin(std::initializer_list<const void*> required, bool needsInit = true);
    // Begin with the record required, then its version word must be one of accepted.
    template <typename Record> NvStatus BeginRecord(Record* record, std::initializer_list<uint32_t> accepted)
    {
        if (NvStatus status = Begin({record})) return status;
        for (uint32_t version : accepted) {
            if (record->version == version) return kNvOk;
        }
        return Done(kNvIncompatibleVersion);
    }
    NvStatus Done(NvStatus status) { return m_entry.status = status; }
    void Value(int64_t value);
    Simulator& Sim() { return m_lock.sim; }
    GpuModel& Gpu() { return *m_lock.sim.Gpu(m_entry.gpu); }

private:
    SimLock m_lock;
    bool m_gpuCall;
    bool m_staleHandle = false;
    NvSimCall m_entry = {};
};

// Zero-fills a record after its version word; size is what its version promises.
template <typename Record> void ClearBody(Record* record, size_t size = sizeof(Record))
{
    std::memset(reinterpret_cast<char*>(record) + sizeof(uint32_t), 0, size - sizeof(uint32_t));
}
