// Power policies (limits and targets) and coolers (levels and policies).
#include "nvsim/Entries.h"

#include <algorithm>

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
    if (config.fanInterface != GpuConfig::FanInterface::Cooler) return call.Done(kNvNotSupported);
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
    if (config.fanInterface != GpuConfig::FanInterface::Cooler) return call.Done(kNvNotSupported);
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

namespace {
bool AnswersClientFans(const GpuConfig& config) { return config.fanInterface == GpuConfig::FanInterface::Client; }
// Fan ids count from 1, as the status lists them; 0 or an id past the last is no fan.
uint32_t FanIndexOf(uint32_t coolerId) { return coolerId - 1; }
}  // namespace

// Both reads list every fan by its id; fill gives each item the rest.
template <typename Record, typename Fill>
NvStatus ReadClientFans(uint32_t id, uint32_t version, NvGpuHandle handle, Record* record, Fill fill)
{
    DriverCall call(id, handle);
    if (NvStatus status = call.BeginRecord(record, {version})) return status;
    call.Sim().shared.LoadCoolers(call.Sim().gpus);
    const GpuModel& gpu = call.Gpu();
    const GpuConfig& config = gpu.Config();
    if (!AnswersClientFans(config)) return call.Done(kNvNotSupported);
    ClearBody(record);
    record->count = config.coolers;
    for (uint32_t c = 0; c < config.coolers; ++c) {
        record->items[c].coolerId = c + 1;
        fill(record->items[c], gpu, c);
    }
    return call.Done(kNvOk);
}

NvStatus ClientFanCoolersGetStatus(NvGpuHandle handle, NvFanCoolersStatus* record)
{
    return ReadClientFans(NvId::ClientFanCoolersGetStatus, NvVer::FanCoolersStatus, handle, record,
                          [](NvFanCoolerStatusEntry& fan, const GpuModel& gpu, uint32_t c) {
                              const GpuConfig& config = gpu.Config();
                              fan.currentLevel = static_cast<uint32_t>(gpu.CoolerLevel(c));
                              fan.currentRpm = fan.currentLevel * config.fanRpmPerPercent;
                              fan.currentMinLevel = config.coolerMin;
                              fan.currentMaxLevel = config.coolerMax;
                          });
}

NvStatus ClientFanCoolersGetControl(NvGpuHandle handle, NvFanCoolersControl* record)
{
    return ReadClientFans(NvId::ClientFanCoolersGetControl, NvVer::FanCoolersControl, handle, record,
                          [](NvFanCoolerControlEntry& fan, const GpuModel& gpu, uint32_t c) {
                              fan.level = static_cast<uint32_t>(gpu.CoolerLevel(c));
                              fan.controlMode = gpu.CoolerPolicy(c) == kNvCoolerPolicyManual ? kNvFanControlManual
                                                                                              : kNvFanControlAuto;
                          });
}

// Logged: the count, then id, level and mode of each item. Every item is
// checked before any is applied; a manual level below the fan's minimum is
// raised to it, as drivers do.
NvStatus ClientFanCoolersSetControl(NvGpuHandle handle, NvFanCoolersControl* record)
{
    DriverCall call(NvId::ClientFanCoolersSetControl, handle);
    if (NvStatus status = call.BeginRecord(record, {NvVer::FanCoolersControl})) return status;
    const uint32_t count = record->count;
    call.Value(count);
    for (uint32_t i = 0; i < count && i < kNvMaxFanCoolers; ++i) {
        call.Value(record->items[i].coolerId);
        call.Value(record->items[i].level);
        call.Value(record->items[i].controlMode);
    }
    call.Sim().shared.LoadCoolers(call.Sim().gpus);
    GpuModel& gpu = call.Gpu();
    const GpuConfig& config = gpu.Config();
    if (!AnswersClientFans(config)) return call.Done(kNvNotSupported);
    if (count == 0 || count > kNvMaxFanCoolers) return call.Done(kNvInvalidArgument);
    for (uint32_t i = 0; i < count; ++i) {
        const NvFanCoolerControlEntry& fan = record->items[i];
        if (FanIndexOf(fan.coolerId) >= config.coolers || fan.controlMode > kNvFanControlManual ||
            (fan.controlMode == kNvFanControlManual && fan.level > config.coolerMax))
            return call.Done(kNvInvalidArgument);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const NvFanCoolerControlEntry& fan = record->items[i];
        const uint32_t index = FanIndexOf(fan.coolerId);
        if (fan.controlMode == kNvFanControlManual) {
            gpu.SetCoolerLevel(index, std::max(fan.level, config.coolerMin));
            gpu.SetCoolerPolicy(index, kNvCoolerPolicyManual);
        } else {
            gpu.SetCoolerPolicy(index, kNvCoolerPolicyAuto);
        }
    }
    call.Sim().shared.SaveCoolers(call.Sim().gpus);
    return call.Done(kNvOk);
}

} // namespace nvsim
