// Current clocks, temperatures and the P-state table with its clock offsets.
#include "nvsim/Entries.h"
#include "nvsim/Simulator.h"

#include <vector>

namespace nvsim {

namespace {
constexpr int32_t kSlotDomain[kClockSlots] = {kNvClockGraphics, kNvClockMemory, kNvClockProcessor};
// Memory and board sensors read a little above and below the GPU core.
constexpr int kSensorOffset[kNvMaxThermalSensors] = {0, 8, -6};
constexpr int32_t kSensorTarget[kNvMaxThermalSensors] = {kNvThermalTargetGpu, kNvThermalTargetMemory,
                                                         kNvThermalTargetBoard};
constexpr uint32_t kPstates20V2 = 0x00021CF8;   // v1 plus an over-voltage block, as v3
constexpr uint32_t kPstates20V3 = 0x00031CF8;

int SlotOfDomain(int32_t domain)
{
    for (int slot = 0; slot < kClockSlots; ++slot) {
        if (kSlotDomain[slot] == domain) return slot;
    }
    return -1;
}

bool AnyEditable(const GpuConfig& gpu)
{
    for (const ClockConfig& clock : gpu.clocks) {
        if (clock.present && clock.editable) return true;
    }
    return false;
}

void FillClock(NvPstateClock& out, const ClockConfig& clock, int32_t domain, int32_t offset)
{
    out.domainId = domain;
    out.typeId = clock.type;
    out.editable = clock.editable ? kNvEditableBit : 0;
    out.offset = offset;
    out.offsetMin = clock.offsetMin;
    out.offsetMax = clock.offsetMax;
    if (clock.type == kNvPstateClockSingle) {
        out.data.single.freq = clock.freq;
    } else {
        out.data.range = {clock.minFreq, clock.maxFreq, clock.voltageDomain, clock.minVoltage, clock.maxVoltage};
    }
}

struct OffsetChange {
    int entry;
    ClockSlot slot;
    int32_t offset;
};
} // namespace

NvStatus GetAllClockFrequencies(NvGpuHandle handle, NvClockFrequencies* record)
{
    DriverCall call(NvId::GetAllClockFrequencies, handle);
    if (NvStatus status = call.BeginRecord(record, {0x00010108, NvVer::ClockFrequencies, 0x00030108})) return status;
    // Version 1 has no clock-type selector: it always asks for current clocks.
    uint32_t type = record->version == 0x00010108 ? kNvClockTypeCurrent : record->flags & kNvClockTypeMask;
    if (type > kNvClockTypeBoost) return call.Done(kNvInvalidArgument);
    std::memset(record->domain, 0, sizeof record->domain);
    const GpuModel& gpu = call.Gpu();
    for (int slot = 0; slot < kClockSlots; ++slot) {
        if (!gpu.Config().clocks[slot].present) continue;
        NvClockDomain& domain = record->domain[kSlotDomain[slot]];
        domain.present = 1;
        domain.frequency = gpu.Clock(static_cast<ClockSlot>(slot), type, call.Sim().tickedMs);
    }
    return call.Done(kNvOk);
}

NvStatus GetThermalSettings(NvGpuHandle handle, uint32_t sensorIndex, NvThermalSettings* record)
{
    DriverCall call(NvId::GetThermalSettings, handle);
    call.Value(sensorIndex);
    if (NvStatus status = call.BeginRecord(record, {0x00010044, NvVer::ThermalSettings})) return status;
    const GpuModel& gpu = call.Gpu();
    uint32_t sensors = gpu.Config().sensors;
    bool all = sensorIndex == kNvThermalTargetAll;
    if (!all && sensorIndex >= sensors) return call.Done(kNvInvalidArgument);
    ClearBody(record);
    record->count = all ? sensors : 1;
    for (uint32_t k = 0; k < record->count; ++k) {
        uint32_t sensor = all ? k : sensorIndex;
        record->sensor[k] = {kNvThermalControllerGpu, 0, 127, gpu.Temperature() + kSensorOffset[sensor],
                             kSensorTarget[sensor]};
    }
    return call.Done(kNvOk);
}

NvStatus GetCurrentPstate(NvGpuHandle handle, int32_t* pstate)
{
    DriverCall call(NvId::GetCurrentPstate, handle);
    if (NvStatus status = call.Begin({pstate})) return status;
    *pstate = call.Gpu().Config().currentPstate;
    return call.Done(kNvOk);
}

NvStatus GetPstates20(NvGpuHandle handle, NvPstates20Info* record)
{
    DriverCall call(NvId::GetPstates20, handle);
    if (NvStatus status = call.BeginRecord(record, {NvVer::Pstates20, kPstates20V2, kPstates20V3})) return status;
    ClearBody(record, NvVer::Size(record->version));
    const GpuModel& gpu = call.Gpu();
    const GpuConfig& config = gpu.Config();
    uint32_t editable = AnyEditable(config) ? kNvEditableBit : 0;
    record->editable = editable;
    record->numPstates = static_cast<uint32_t>(config.pstates.size());
    for (size_t p = 0; p < config.pstates.size(); ++p) {
        NvPstateEntry& entry = record->pstates[p];
        entry.pstateId = config.pstates[p];
        entry.editable = editable;
        uint32_t clocks = 0;
        for (int slot = 0; slot < kClockSlots; ++slot) {
            if (!config.clocks[slot].present) continue;
            FillClock(entry.clocks[clocks++], config.clocks[slot], kSlotDomain[slot],
                      gpu.Offset(static_cast<int>(p), static_cast<ClockSlot>(slot)));
        }
        record->numClocks = clocks;
    }
    return call.Done(kNvOk);
}

NvStatus SetPstates20(NvGpuHandle handle, NvPstates20Info* record)
{
    DriverCall call(NvId::SetPstates20, handle);
    if (NvStatus status = call.BeginRecord(record, {NvVer::Pstates20, kPstates20V2, kPstates20V3})) return status;
    uint32_t pstates = record->numPstates, clocks = record->numClocks, voltages = record->numBaseVoltages;
    for (uint32_t p = 0; p < pstates && p < kNvMaxPstates20; ++p) {
        call.Value(record->pstates[p].pstateId);
        for (uint32_t c = 0; c < clocks && c < kNvMaxPstate20Clocks; ++c) {
            call.Value(record->pstates[p].clocks[c].domainId);
            call.Value(record->pstates[p].clocks[c].offset);
        }
    }
    if (pstates == 0 || pstates > kNvMaxPstates20 || clocks > kNvMaxPstate20Clocks ||
        voltages > kNvMaxPstate20BaseVoltages)
        return call.Done(kNvInvalidArgument);

    // Check the whole request before changing anything: a refused write leaves every offset as it was.
    GpuModel& gpu = call.Gpu();
    std::vector<OffsetChange> changes;
    for (uint32_t p = 0; p < pstates; ++p) {
        const NvPstateEntry& entry = record->pstates[p];
        int index = gpu.PstateEntry(entry.pstateId);
        if (index < 0) return call.Done(kNvInvalidArgument);
        for (uint32_t v = 0; v < voltages; ++v) {
            if (entry.baseVoltages[v].offset != 0) return call.Done(kNvInvalidArgument);  // voltages are fixed
        }
        for (uint32_t c = 0; c < clocks; ++c) {
            const NvPstateClock& clock = entry.clocks[c];
            int slot = SlotOfDomain(clock.domainId);
            if (slot < 0) return call.Done(kNvInvalidArgument);
            const ClockConfig& config = gpu.Config().clocks[slot];
            bool unchanged = clock.offset == gpu.Offset(index, static_cast<ClockSlot>(slot));
            if (!config.present || clock.offset < config.offsetMin || clock.offset > config.offsetMax ||
                (!config.editable && !unchanged))
                return call.Done(kNvInvalidArgument);
            changes.push_back({index, static_cast<ClockSlot>(slot), clock.offset});
        }
    }
    for (const OffsetChange& change : changes) gpu.SetOffset(change.entry, change.slot, change.offset);
    return call.Done(kNvOk);
}

} // namespace nvsim
