// A misbehaving NVAPI driver for tests: every count it reports is larger than
// the record's array, and display enumeration never ends. The last entry that
// fits each array carries the values a bounded reader must end with.
#include <cstdint>

#include "gpu/NvApiTypes.h"

namespace {

template <typename T> T Handle(uintptr_t index) { return reinterpret_cast<T>((index + 1) * 0x100); }

NvStatus Initialize() { return kNvOk; }

NvStatus EnumPhysicalGpus(NvGpuHandle handles[kNvMaxPhysicalGpus], uint32_t* count)
{
    for (uint32_t i = 0; i < kNvMaxPhysicalGpus; ++i)
        handles[i] = Handle<NvGpuHandle>(i);
    *count = 1000;
    return kNvOk;
}

NvStatus EnumDisplayHandle(uint32_t index, NvDisplayHandle* display)
{
    *display = Handle<NvDisplayHandle>(index);
    return kNvOk;
}

NvStatus GetPciIdentifiers(NvGpuHandle, uint32_t* deviceId, uint32_t* subSystemId, uint32_t* revisionId,
                           uint32_t* extDeviceId)
{
    *deviceId = 0x1B8010DE;
    *subSystemId = 0;
    *revisionId = 0;
    *extDeviceId = 0x1B80;
    return kNvOk;
}

NvStatus GetThermalSettings(NvGpuHandle, uint32_t, NvThermalSettings* record)
{
    record->count = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < kNvMaxThermalSensors; ++i)
        record->sensor[i].currentTemp = static_cast<int32_t>(40 + i);
    return kNvOk;
}

NvStatus GetCurrentPstate(NvGpuHandle, int32_t* pstate)
{
    *pstate = 0;
    return kNvOk;
}

// Every clock of every entry is a P0 graphics clock of 1, 2, ... 128 kHz.
NvStatus GetPstates20(NvGpuHandle, NvPstates20Info* record)
{
    record->numPstates = 0xFFFFFFFFu;
    record->numClocks = 0xFFFFFFFFu;
    record->numBaseVoltages = 0xFFFFFFFFu;
    for (uint32_t p = 0; p < kNvMaxPstates20; ++p) {
        record->pstates[p].pstateId = 0;
        for (uint32_t c = 0; c < kNvMaxPstate20Clocks; ++c) {
            NvPstateClock& clock = record->pstates[p].clocks[c];
            clock.domainId = kNvClockGraphics;
            clock.typeId = kNvPstateClockSingle;
            clock.data.single.freq = p * kNvMaxPstate20Clocks + c + 1;
        }
    }
    return kNvOk;
}

NvStatus GetPowerPolicyInfo(NvGpuHandle, NvPowerPolicyInfo* record)
{
    record->valid = 1;
    record->count = 255;
    for (uint32_t i = 0; i < kNvMaxPowerPolicies; ++i)
        record->entries[i] = {i, {}, 1000 + i, {}, 2000 + i, {}, 3000 + i, 0};
    return kNvOk;
}

// Refuses a request naming more entries than the record holds.
NvStatus GetPowerPolicyStatus(NvGpuHandle, NvPowerPolicyStatus* record)
{
    if (record->count > kNvMaxPowerPolicies)
        return kNvInvalidArgument;
    record->count = 255;
    for (uint32_t i = 0; i < kNvMaxPowerPolicies; ++i)
        record->entries[i].powerTarget = 5000 + i;
    return kNvOk;
}

template <typename Fn> void* Address(Fn fn) { return reinterpret_cast<void*>(fn); }

}  // namespace

extern "C" __declspec(dllexport) void* nvapi_QueryInterface(unsigned int id)
{
    switch (id) {
    case NvId::Initialize: return Address(&Initialize);
    case NvId::EnumPhysicalGpus: return Address(&EnumPhysicalGpus);
    case NvId::EnumDisplayHandle: return Address(&EnumDisplayHandle);
    case NvId::GetPciIdentifiers: return Address(&GetPciIdentifiers);
    case NvId::GetThermalSettings: return Address(&GetThermalSettings);
    case NvId::GetCurrentPstate: return Address(&GetCurrentPstate);
    case NvId::GetPstates20: return Address(&GetPstates20);
    case NvId::GetPowerPolicyInfo: return Address(&GetPowerPolicyInfo);
    case NvId::GetPowerPolicyStatus: return Address(&GetPowerPolicyStatus);
    default: return nullptr;
    }
}
