#include "gpu/GpuControl.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

const char* const kMemoryTypes[] = {"UNKNOWN", "SDRAM", "DDR1", "DDR2", "GDDR2", "GDDR3", "GDDR4", "DDR3", "GDDR5"};

uint16_t Low16(uint32_t word) { return static_cast<uint16_t>(word & 0xFFFFu); }
uint16_t High16(uint32_t word) { return static_cast<uint16_t>(word >> 16); }

void ReadOffset(const NvPstateClock& clock, int32_t& offset, int32_t& offsetMin, int32_t& offsetMax,
                uint32_t& editable)
{
    offset = clock.offset;
    offsetMin = clock.offsetMin;
    offsetMax = clock.offsetMax;
    editable = clock.editable & kNvEditableBit;
}

// Range entries carry voltages only for the core voltage domain.
void ReadRange(const NvPstateClock& clock, uint32_t& minClock, uint32_t& maxClock, uint32_t* minVoltage,
               uint32_t* maxVoltage)
{
    minClock = clock.data.range.minFreq;
    maxClock = clock.data.range.maxFreq;
    if (minVoltage && clock.data.range.voltageDomain == kNvVoltageDomainCore) {
        *minVoltage = clock.data.range.minVoltage;
        *maxVoltage = clock.data.range.maxVoltage;
    }
}

void ReadPstateClock(const NvPstateClock& clock, GpuClockInfo& info)
{
    const bool single = clock.typeId == kNvPstateClockSingle;
    const bool range = clock.typeId == kNvPstateClockRange;
    switch (clock.domainId) {
    case kNvClockGraphics:
        ReadOffset(clock, info.gfxOffset, info.gfxOffsetMin, info.gfxOffsetMax, info.gfxOffsetEditable);
        if (single) info.gfxClock = clock.data.single.freq;
        if (range) ReadRange(clock, info.gfxMinClock, info.gfxMaxClock, &info.gfxMinVoltage, &info.gfxMaxVoltage);
        break;
    case kNvClockMemory:
        ReadOffset(clock, info.memOffset, info.memOffsetMin, info.memOffsetMax, info.memOffsetEditable);
        if (single) info.memClock = info.memBaseClock = clock.data.single.freq;
        if (range) ReadRange(clock, info.memMinClock, info.memMaxClock, &info.memMinVoltage, &info.memMaxVoltage);
        break;
    case kNvClockProcessor:
        if (single) info.procClock = clock.data.single.freq;
        if (range) ReadRange(clock, info.procMinClock, info.procMaxClock, nullptr, nullptr);
        break;
    default:
        break;
    }
}

}  // namespace

CGpuControl::CGpuControl(const char* driverFile) : m_driverFile(driverFile ? driverFile : "") {}

int CGpuControl::Initialize()
{
    m_gpuCount = 0;
    m_displayCount = 0;
    m_lost = false;
    if (!m_driver.Load(m_driverFile.c_str())) {
        m_status = kNvLibraryNotFound;
        return 1;
    }
    const int result = Start();
    if (result == 0) {
        GetPCIIdentifiers(m_pciIds[0], m_pciIds[1], m_pciIds[2], m_pciIds[3], -1);
        DetectAllFans();
    } else
        m_lost = true;  // a driver that is not ready yet (early in a session's start) may come later
    return result;
}

int CGpuControl::Start()
{
    m_status = Raw<NvInitializeFn>(NvId::Initialize);
    if (m_status != kNvOk)
        return 1;

    NvGpuHandle handles[kNvMaxPhysicalGpus] = {};
    uint32_t count = 0;
    m_status = Raw<NvEnumPhysicalGpusFn>(NvId::EnumPhysicalGpus, handles, &count);
    if (m_status != kNvOk)
        return 2;
    m_gpuCount = std::min(count, kNvMaxPhysicalGpus);
    std::copy(handles, handles + m_gpuCount, m_gpuHandles);

    // Enumeration ends with the driver's first refusal (normally end of enumeration).
    m_displayCount = 0;
    for (uint32_t index = 0; index < kNvMaxDisplays; ++index) {
        NvDisplayHandle display = nullptr;
        m_status = Raw<NvEnumDisplayHandleFn>(NvId::EnumDisplayHandle, index, &display);
        if (m_status != kNvOk)
            break;
        m_displayHandles[m_displayCount++] = display;
    }
    return 0;
}

bool CGpuControl::Recover()
{
    constexpr uint64_t kPaceMs = 1000;
    const uint64_t now = m_now ? m_now() : ::GetTickCount64();
    if (m_attempted && now - m_lastAttempt < kPaceMs) return false;
    m_attempted = true;
    m_lastAttempt = now;
    // Until it succeeds no handle of the old enumeration may be used.
    m_gpuCount = 0;
    m_displayCount = 0;
    if (Start() != 0) return false;
    const bool gpuGone = m_gpuIndex < 0 || static_cast<uint32_t>(m_gpuIndex) >= m_gpuCount;
    if (gpuGone) m_gpuIndex = 0;
    if (m_displayIndex < 0 || static_cast<uint32_t>(m_displayIndex) >= m_displayCount) m_displayIndex = 0;
    m_lost = false;
    m_attempted = false;
    // The new handles may answer another fan interface (an updated driver).
    DetectAllFans();
    ++m_recoveries;
    // Told once the driver is back, so a listener may call it at once.
    if (gpuGone) TellSelectionListeners();
    return true;
}

bool CGpuControl::SelectGpu(int gpuIndex)
{
    if (gpuIndex < 0 || static_cast<uint32_t>(gpuIndex) >= m_gpuCount) return false;
    if (gpuIndex == m_gpuIndex) return true;
    m_gpuIndex = gpuIndex;
    TellSelectionListeners();
    return true;
}

void CGpuControl::AddSelectionListener(GpuSelectionListener* listener)
{
    if (listener && std::find(m_selectionListeners.begin(), m_selectionListeners.end(), listener) ==
                        m_selectionListeners.end())
        m_selectionListeners.push_back(listener);
}

void CGpuControl::RemoveSelectionListener(GpuSelectionListener* listener)
{
    m_selectionListeners.erase(std::remove(m_selectionListeners.begin(), m_selectionListeners.end(), listener),
                               m_selectionListeners.end());
}

// A copy: a listener may take itself off while it is told.
void CGpuControl::TellSelectionListeners()
{
    const std::vector<GpuSelectionListener*> listeners = m_selectionListeners;
    for (GpuSelectionListener* listener : listeners) listener->SelectedGpuChanged(m_gpuIndex);
}

int CGpuControl::GetPCIIdentifiers(uint16_t& vendor, uint16_t& device, uint16_t& subVendor, uint16_t& subsystem,
                                   int gpuIndex)
{
    uint32_t deviceId = 0, subSystemId = 0, revisionId = 0, extDeviceId = 0;
    m_status = CallGpu<NvGetPciIdentifiersFn>(NvId::GetPciIdentifiers, gpuIndex, &deviceId, &subSystemId,
                                              &revisionId, &extDeviceId);
    if (m_status != kNvOk)
        return 0;
    vendor = Low16(deviceId);
    device = Low16(extDeviceId);
    subVendor = Low16(subSystemId);
    subsystem = High16(subSystemId);
    return 1;
}

int CGpuControl::GetShortString(uint32_t id, char* text, int gpuIndex)
{
    char buffer[kNvShortStringSize] = {};
    m_status = CallGpu<NvGetShortStringFn>(id, gpuIndex, buffer);
    if (m_status != kNvOk)
        return 0;
    buffer[kNvShortStringSize - 1] = '\0';
    std::memcpy(text, buffer, kNvShortStringSize);
    return 1;
}

int CGpuControl::GetFullName(char* name, int gpuIndex)
{
    return GetShortString(NvId::GetFullName, name, gpuIndex);
}

int CGpuControl::GetBiosVersion(char* text, int gpuIndex)
{
    return GetShortString(NvId::GetVbiosVersionString, text, gpuIndex);
}

int CGpuControl::GetGpuWord(uint32_t id, uint32_t& value, int gpuIndex)
{
    uint32_t word = 0;
    m_status = CallGpu<NvGetGpuWordFn>(id, gpuIndex, &word);
    if (m_status != kNvOk)
        return 0;
    value = word;
    return 1;
}

int CGpuControl::GetMemorySize(uint32_t& megabytes, int gpuIndex)
{
    uint32_t kilobytes = 0;
    if (!GetGpuWord(NvId::GetFrameBufferSize, kilobytes, gpuIndex))
        return 0;
    megabytes = kilobytes >> 10;
    return 1;
}

int CGpuControl::GetCoreCount(uint32_t& count, int gpuIndex)
{
    return GetGpuWord(NvId::GetCoreCount, count, gpuIndex);
}

int CGpuControl::GetMemoryBusWidth(uint32_t& width, uint32_t& location, int gpuIndex)
{
    location = 0;
    uint32_t bits = 0, where = 0;
    m_status = CallGpu<NvGetMemoryBusWidthFn>(NvId::GetMemoryBusWidth, gpuIndex, &bits, &where);
    if (m_status != kNvOk)
        return 0;
    width = bits;
    location = where;
    return 1;
}

int CGpuControl::GetMemoryType(std::string& text, int gpuIndex)
{
    uint32_t code = 0;  // a failed call names the type "UNKNOWN"
    m_status = CallGpu<NvGetGpuWordFn>(NvId::GetMemoryType, gpuIndex, &code);
    if (code < sizeof(kMemoryTypes) / sizeof(kMemoryTypes[0]))
        text = kMemoryTypes[code];
    return m_status == kNvOk ? 1 : 0;
}

int CGpuControl::GetDriverVersion(NvDriverVersion& record, int displayIndex)
{
    const int index = displayIndex == -1 ? m_displayIndex : displayIndex;
    if (index < 0 || static_cast<uint32_t>(index) >= m_displayCount) {
        m_status = kNvInvalidArgument;
        return 0;
    }
    record = NvDriverVersion{};
    record.version = NvVer::DriverVersion;
    m_status = Call<NvGetDisplayDriverVersionFn>(NvId::GetDisplayDriverVersion, m_displayHandles[index], &record);
    return m_status == kNvOk ? 1 : 0;
}

int CGpuControl::GetCurrentClocks(GpuClockInfo& info, int gpuIndex)
{
    NvClockFrequencies record = {};
    record.version = NvVer::ClockFrequencies;  // clock type 0: current
    if (CallGpu<NvGetAllClockFrequenciesFn>(NvId::GetAllClockFrequencies, gpuIndex, &record) != kNvOk)
        return 0;
    info.gfxClock = record.domain[kNvClockGraphics].frequency;
    info.memClock = record.domain[kNvClockMemory].frequency;
    info.procClock = record.domain[kNvClockProcessor].frequency;
    return 1;
}

int CGpuControl::GetTemperature(uint32_t& celsius, int gpuIndex)
{
    NvThermalSettings record = {};
    record.version = NvVer::ThermalSettings;
    m_status = CallGpu<NvGetThermalSettingsFn>(NvId::GetThermalSettings, gpuIndex, kNvThermalTargetAll, &record);
    if (m_status != kNvOk)
        return 0;
    const uint32_t sensors = std::min(record.count, kNvMaxThermalSensors);
    for (uint32_t i = 0; i < sensors; ++i)
        celsius = static_cast<uint32_t>(record.sensor[i].currentTemp);
    return 1;
}

uint32_t CGpuControl::GetCurrentPstate(int gpuIndex)
{
    int32_t pstate = kNvPstateUndefined;
    m_status = CallGpu<NvGetCurrentPstateFn>(NvId::GetCurrentPstate, gpuIndex, &pstate);
    m_pstate = m_status == kNvOk ? static_cast<uint32_t>(pstate) : kNvPstateUndefined;
    return m_pstate;
}

int CGpuControl::GetPstateClocks(GpuClockInfo& info, int gpuIndex, uint32_t pstate)
{
    GetCurrentPstate(gpuIndex);
    if (pstate != kNvPstateUndefined)
        m_pstate = pstate;
    NvPstates20Info record = {};
    record.version = NvVer::Pstates20;
    m_status = CallGpu<NvPstates20Fn>(NvId::GetPstates20, gpuIndex, &record);
    if (m_status != kNvOk)
        return 0;
    const uint32_t pstates = std::min(record.numPstates, kNvMaxPstates20);
    const uint32_t clocks = std::min(record.numClocks, kNvMaxPstate20Clocks);
    for (uint32_t p = 0; p < pstates; ++p) {
        const NvPstateEntry& entry = record.pstates[p];
        if (static_cast<uint32_t>(entry.pstateId) != m_pstate)
            continue;
        for (uint32_t c = 0; c < clocks; ++c)
            ReadPstateClock(entry.clocks[c], info);
    }
    return 1;
}

bool CGpuControl::MayWrite()
{
    if (!m_gate || m_gate->MayWrite()) return true;
    m_status = kGpuWriteHeldBack;
    return false;
}

int CGpuControl::SetClockOffsets(GpuClockInfo info, int gpuIndex)
{
    if (!MayWrite()) return 0;
    NvPstates20Info record = {};
    record.version = NvVer::Pstates20;
    record.numPstates = 1;
    record.numClocks = 2;
    NvPstateEntry& p0 = record.pstates[0];
    p0.pstateId = 0;
    p0.clocks[0].domainId = kNvClockGraphics;
    p0.clocks[0].typeId = kNvPstateClockSingle;
    p0.clocks[0].offset = info.gfxOffset;
    p0.clocks[1].domainId = kNvClockMemory;
    p0.clocks[1].typeId = kNvPstateClockSingle;
    p0.clocks[1].offset = info.memOffset;
    if (CallGpu<NvPstates20Fn>(NvId::SetPstates20, gpuIndex, &record) != kNvOk)
        return 0;
    if (m_observer)
        m_observer->ClockOffsetsWritten(ResolvedIndex(gpuIndex), info.gfxOffset, info.memOffset);
    return 1;
}
