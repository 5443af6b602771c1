// Power policies (limits and targets) and coolers (levels and policies).
#include "nvsim/Entries.h"
#include "nvsim/Simulator.h"

namespace nvsim {

NvStatus GetPowerPolicyInfo(NvGpuHandle handle, NvPowerPolicyInfo* record)
{
    DriverCall call(NvId::GetPowerPolicyInfo, handle);
    if (NvStatus status = call.BeginRecord(record, {NvVer::PowerPolicyInfo})) return status;
    const GpuConfig& gpu = call.Gpu().Config();
    ClearBody(record);
    record->valid = gpu.powerValid ? 1 : 0;
    if (!gpu.powerValid) return call.Done(kNvOk);
    record->count = static_cast<uint8_t>(gpu.powerPolicies);
    for (uint32_t i = 0; i < gpu.powerPolicies; ++i) {
        NvPowerPolicyInfoEntry& entry = record->entries[i];
        entry.policyId = i;
        entry.minPower = gpu.powerMin;
        entry.defaultPower = gpu.powerDefault;
        entry.maxPower = gpu.powerMax;
    }
    return call.Done(kNvOk);
}

NvStatus GetPowerPolicyStatus(NvGpuHandle handle, NvPowerPolicyStatus* record)
{
    DriverCall call(NvId::GetPowerPolicyStatus, handle);
    if (NvStatus status = call.BeginRecord(record, {NvVer::PowerPolicyStatus})) return status;
    const GpuModel& gpu = call.Gpu();
    if (!gpu.Config().powerValid) return call.Done(kNvNotSupported);
    ClearBody(record);
    record->count = static_cast<uint8_t>(gpu.Config().powerPolicies);
    for (uint32_t i = 0; i < record->count; ++i) {
        record->entries[i].policyId = i;
        record->entries[i].powerTarget = gpu.PowerTarget(i);
    }
    return call.Done(kNvOk);
}

NvStatus SetPowerPolicyStatus(NvGpuHandle handle, NvPowerPolicyStatus* record)
{
    DriverCall call(NvId::SetPowerPolicyStatus, handle);
    if (NvStatus status = call.BeginRecord(record, {NvVer::PowerPolicyStatus})) return status;
    uint32_t count = record->count;
    for (uint32_t i = 0; i < count && i < kNvMaxPowerPolicies; ++i) {
        call.Value(record->entries[i].policyId);
        call.Value(record->entries[i].flags);
        call.Value(record->entries[i].powerTarget);
    }
    GpuModel& gpu = call.Gpu();
    const GpuConfig& config = gpu.Config();
    if (!config.powerValid) return call.Done(kNvNotSupported);
    if (count == 0 || count > kNvMaxPowerPolicies) return call.Done(kNvInvalidArgument);
    // All entries are checked before any is applied.
    for (uint32_t i = 0; i < count; ++i) {
        const NvPowerPolicyStatusEntry& entry = record->entries[i];
        if (entry.policyId >= config.powerPolicies || entry.powerTarget < config.powerMin ||
            entry.powerTarget > config.powerMax)
            return call.Done(kNvInvalidArgument);
    }
    for (uint32_t i = 0; i < count; ++i) gpu.SetPowerTarget(record->entries[i].policyId, record->entries[i].powerTarget);
    return call.Done(kNvOk);
}

NvStatus GetCoolerSettings(NvGpuHandle handle, uint32_t coolerTarget, NvCoolerSettings* record)
{
    DriverCall call(NvId::GetCoolerSettings, handle);
    call.Value(coolerTarget);
    if (NvStatus status = call.BeginRecord(record, {NvVer::CoolerSettings})) return status;
    call.Sim().shared.LoadCoolers(call.Sim().gpus);
    const GpuModel& gpu = call.Gpu();
    const GpuConfig& config = gpu.Config();
    if (coolerTarget != kNvCoolerTargetAll && coolerTarget >= config.coolers) return call.Done(kNvInvalidArgument);
    ClearBody(record);
    record->count = config.coolers;
    for (uint32_t c = 0; c < config.coolers; ++c) {
        record->cooler[c].defaultMinLevel = config.coolerMin;
        record->cooler[c].defaultMaxLevel = config.coolerMax;
        record->cooler[c].currentLevel = static_cast<uint32_t>(gpu.CoolerLevel(c));
    }
    return call.Done(kNvOk);
}

NvStatus SetCoolerLevels(NvGpuHandle handle, uint32_t coolerIndex, NvCoolerLevels* record)
{
    DriverCall call(NvId::SetCoolerLevels, handle);
    call.Value(coolerIndex);
    if (NvStatus status = call.BeginRecord(record, {NvVer::CoolerLevels})) return status;
    call.Sim().shared.LoadCoolers(call.Sim().gpus);
    GpuModel& gpu = call.Gpu();
    const GpuConfig& config = gpu.Config();
    if (coolerIndex >= config.coolers) return call.Done(kNvInvalidArgument);
    const NvCoolerLevel& wanted = record->cooler[coolerIndex];
    call.Value(wanted.level);
    call.Value(wanted.policy);
    if (wanted.policy == kNvCoolerPolicyManual) {
        if (wanted.level < config.coolerMin || wanted.level > config.coolerMax) return call.Done(kNvInvalidArgument);
        gpu.SetCoolerLevel(coolerIndex, wanted.level);
    } else if (wanted.policy != kNvCoolerPolicyAuto) {
        return call.Done(kNvInvalidArgument);
    }
    gpu.SetCoolerPolicy(coolerIndex, wanted.policy);
    call.Sim().shared.SaveCoolers(call.Sim().gpus);
    return call.Done(kNvOk);
}

} // namespace nvsim
