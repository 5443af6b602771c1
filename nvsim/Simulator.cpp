#include "nvsim/Simulator.h"

#include "nvsim/IniDocument.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint64_t kMaxCatchUpMs = 600000;   // after a long pause the model is settled anyway
constexpr uintptr_t kHandleStride = 0x40;
constexpr uintptr_t kGpuHandleBase = 0x6A000000;
constexpr uintptr_t kDisplayHandleBase = 0x7D000000;
constexpr uintptr_t kSessionHandleBase = 0x5E000000;

SRWLOCK g_lock = SRWLOCK_INIT;
Simulator g_sim;
bool g_loaded = false;

std::string ModuleDirectory()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ModuleDirectory), &module);
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    std::string directory(path, length < MAX_PATH ? length : 0);
    return directory.substr(0, directory.find_last_of("\\/") + 1);
}

// NVSIM_SCENARIO, else nvsim.ini beside the DLL. A Unix path (the test
// scripts' view) is reached through Wine's Z: drive.
std::string StartupScenarioPath()
{
    char value[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("NVSIM_SCENARIO", value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ModuleDirectory() + "nvsim.ini";
    std::string path(value, length);
    if (path[0] == '/') {
        std::replace(path.begin(), path.end(), '/', '\\');
        path = "Z:" + path;
    }
    return path;
}

// "C:\x\run.ini" -> "C:\x\run-drs.ini"
std::string SettingsPath(const std::string& scenarioPath)
{
    size_t slash = scenarioPath.find_last_of("\\/");
    size_t dot = scenarioPath.find_last_of('.');
    size_t stemEnd = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? dot : scenarioPath.size();
    return scenarioPath.substr(0, stemEnd) + "-drs.ini";
}

// Handles carry the driver's generation: after a reset the same GPUs answer to new ones.
uintptr_t MakeHandle(uintptr_t base, size_t slots, unsigned generation, int index)
{
    return base + (generation * slots + static_cast<uintptr_t>(index) + 1) * kHandleStride;
}

// The index a handle of this generation stands for, -1 for anything else;
// stale is set for a handle of an earlier generation.
int HandleIndex(const void* handle, uintptr_t base, size_t slots, unsigned generation, size_t count,
                bool* stale = nullptr)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value <= base || (value - base) % kHandleStride != 0) return -1;
    uintptr_t slot = (value - base) / kHandleStride - 1;
    uintptr_t index = slot % slots;
    if (index >= count) return -1;
    if (slot / slots != generation) {
        if (stale && slot / slots < generation) *stale = true;
        return -1;
    }
    return static_cast<int>(index);
}

// Serial number of a session handle; 0 (never issued) for anything else.
uintptr_t SessionSerial(const void* handle)
{
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value <= kSessionHandleBase || (value - kSessionHandleBase) % kHandleStride != 0) return 0;
    return (value - kSessionHandleBase) / kHandleStride;
}

} // namespace

bool Simulator::Load(const char* path)
{
    bool ok = true;
    if (path) {
        ok = LoadScenarioFile(path, scenario);
    } else {
        scenario = DefaultScenario();
        scenario.path = ModuleDirectory() + "nvsim.ini";
    }
    gpus.clear();
    for (const GpuConfig& config : scenario.gpus) gpus.emplace_back(config);
    shared.Open();
    faults = scenario.faults;
    initCount = 0;
    generation = 0;
    timeMs = tickedMs = 0;
    lastRealMs = GetTickCount64();
    log.clear();
    sessions.clear();
    saved.clear();
    IniDocument settings;
    if (settings.Load(SettingsPath(scenario.path))) {
        if (const auto* values = settings.Section("BaseProfile")) {
            for (const auto& [key, value] : *values) {
                long long id, number;
                if (IniDocument::ParseNumber(key, id) && IniDocument::ParseNumber(value, number))
                    saved[static_cast<uint32_t>(id)] = static_cast<uint32_t>(number);
            }
        }
    }
    return ok;
}

bool Simulator::SaveSettings(const std::map<uint32_t, uint32_t>& settings)
{
    std::string path = SettingsPath(scenario.path);
    std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool written = std::fputs("[BaseProfile]\r\n", file) >= 0;
    for (const auto& [id, value] : settings) written = written && std::fprintf(file, "0x%08X=0x%08X\r\n", id, value) > 0;
    written = (std::fclose(file) == 0) && written;
    if (!written || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    saved = settings;
    return true;
}

void Simulator::Advance(uint64_t extraMs)
{
    if (!frozen) {
        uint64_t now = GetTickCount64();
        timeMs += std::min(now - lastRealMs, kMaxCatchUpMs);
        lastRealMs = now;
    }
    timeMs += extraMs;
    while (tickedMs + GpuModel::kTickMs <= timeMs) {
        tickedMs += GpuModel::kTickMs;
        for (GpuModel& gpu : gpus) gpu.Tick(tickedMs);
    }
}

void Simulator::Freeze(bool freeze)
{
    Advance();
    frozen = freeze;
    lastRealMs = GetTickCount64();
}

GpuModel* Simulator::Gpu(int index)
{
    return index >= 0 && static_cast<size_t>(index) < gpus.size() ? &gpus[index] : nullptr;
}

int Simulator::GpuIndex(const void* handle, bool* stale) const
{
    return HandleIndex(handle, kGpuHandleBase, kNvMaxPhysicalGpus, generation, gpus.size(), stale);
}

NvGpuHandle Simulator::GpuHandle(int index) const
{
    return reinterpret_cast<NvGpuHandle>(MakeHandle(kGpuHandleBase, kNvMaxPhysicalGpus, generation, index));
}

int Simulator::DisplayIndex(const void* handle) const
{
    return HandleIndex(handle, kDisplayHandleBase, kNvMaxDisplays, generation, scenario.displays);
}

NvDisplayHandle Simulator::DisplayHandle(int index) const
{
    return reinterpret_cast<NvDisplayHandle>(MakeHandle(kDisplayHandleBase, kNvMaxDisplays, generation, index));
}

void Simulator::Reset(bool needsInit)
{
    ++generation;
    sessions.clear();
    if (needsInit) initCount = 0;
}

DrsSessionState* Simulator::Session(NvDrsSession handle)
{
    auto found = sessions.find(SessionSerial(handle));
    return found == sessions.end() ? nullptr : &found->second;
}

bool Simulator::EndSession(NvDrsSession handle)
{
    return sessions.erase(SessionSerial(handle)) > 0;
}

NvDrsSession Simulator::NewSession()
{
    uintptr_t serial = nextSession++;
    sessions[serial] = DrsSessionState();
    return reinterpret_cast<NvDrsSession>(kSessionHandleBase + serial * kHandleStride);
}

NvDrsProfile Simulator::BaseProfile(NvDrsSession session)
{
    return reinterpret_cast<NvDrsProfile>(reinterpret_cast<uintptr_t>(session) + kHandleStride / 2);
}

SimLock::SimLock() : sim(g_sim)
{
    AcquireSRWLockExclusive(&g_lock);
    if (!g_loaded) {
        g_sim.Load(StartupScenarioPath().c_str());
        g_loaded = true;
    }
    sim.Advance();
}

SimLock::~SimLock()
{
    ReleaseSRWLockExclusive(&g_lock);
}

DriverCall::DriverCall(uint32_t id) : m_gpuCall(false)
{
    m_entry.interfaceId = id;
    m_entry.gpu = -1;
}

DriverCall::DriverCall(uint32_t id, NvGpuHandle gpu) : m_gpuCall(true)
{
    m_entry.interfaceId = id;
    m_entry.gpu = m_lock.sim.GpuIndex(gpu, &m_staleHandle);
}

void CallLog::push_back(const NvSimCall& call)
{
    if (m_calls.empty()) m_calls.resize(kCapacity);
    m_calls[(m_first + m_count) % kCapacity] = call;
    if (m_count < kCapacity)
        ++m_count;
    else
        m_first = (m_first + 1) % kCapacity;
}

DriverCall::~DriverCall()
{
    m_lock.sim.shared.AppendCall(m_entry);
    m_lock.sim.log.push_back(m_entry);
}

NvStatus DriverCall::Begin(std::initializer_list<const void*> required, bool needsInit)
{
    Simulator& sim = m_lock.sim;
    auto fault = sim.faults.find(m_entry.interfaceId);
    if (fault != sim.faults.end() && fault->second != kNvOk && fault->second != NVSIM_FAULT_MISSING)
        return Done(fault->second);
    if (needsInit && sim.initCount == 0) return Done(kNvNotInitialized);
    for (const void* pointer : required) {
        if (!pointer) return Done(kNvInvalidArgument);
    }
    if (m_gpuCall && m_staleHandle) return Done(kNvHandleInvalidated);
    if (m_gpuCall && m_entry.gpu < 0) return Done(kNvInvalidHandle);
    return Done(kNvOk);
}

void DriverCall::Value(int64_t value)
{
    if (m_entry.count < NVSIM_MAX_CALL_VALUES) m_entry.values[m_entry.count++] = static_cast<int>(value);
}
