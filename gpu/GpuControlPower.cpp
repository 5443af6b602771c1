// CGpuControl: power target, coolers and driver settings.
#include "gpu/GpuControl.h"

#include <algorithm>

bool CGpuControl::ReadPowerInfo(NvPowerPolicyInfo& record, int gpuIndex)
{
    record = NvPowerPolicyInfo{};
    record.version = NvVer::PowerPolicyInfo;
    return CallGpu<NvGetPowerPolicyInfoFn>(NvId::GetPowerPolicyInfo, gpuIndex, &record) == kNvOk &&
           record.valid != 0;
}

int CGpuControl::GetPowerTarget(GpuClockInfo& info, int gpuIndex)
{
    NvPowerPolicyInfo policies;
    if (!ReadPowerInfo(policies, gpuIndex))
        return 0;
    const uint32_t count = std::min<uint32_t>(policies.count, kNvMaxPowerPolicies);
    NvPowerPolicyStatus status = {};
    status.version = NvVer::PowerPolicyStatus;
    status.count = static_cast<uint8_t>(count);
    for (uint32_t i = 0; i < count; ++i) {
        const NvPowerPolicyInfoEntry& entry = policies.entries[i];
        info.powerMin = entry.minPower;
        info.powerMax = entry.maxPower;
        info.powerDefault = entry.defaultPower;
        status.entries[i].policyId = entry.policyId;
    }
    if (CallGpu<NvPowerPolicyStatusFn>(NvId::GetPowerPolicyStatus, gpuIndex, &status) != kNvOk)
        return 0;
    const uint32_t targets = std::min<uint32_t>(status.count, kNvMaxPowerPolicies);
    for (uint32_t i = 0; i < targets; ++i)
        info.powerTarget = status.entries[i].powerTarget;
    return 1;
}

int CGpuControl::SetPowerTarget(GpuClockInfo info, int gpuIndex)
{
    if (!MayWrite()) return 0;
    NvPowerPolicyInfo policies;
    if (!ReadPowerInfo(policies, gpuIndex))
        return 0;
    NvPowerPolicyStatus status = {};
    status.version = NvVer::PowerPolicyStatus;
    status.count = 1;
    status.entries[0].policyId = 0;
    status.entries[0].flags = 0;
    status.entries[0].powerTarget = info.powerTarget;
    if (CallGpu<NvPowerPolicyStatusFn>(NvId::SetPowerPolicyStatus, gpuIndex, &status) != kNvOk)
        return 0;
    if (m_observer)
        m_observer->PowerTargetWritten(ResolvedIndex(gpuIndex), info.powerTarget);
    return 1;
}

int CGpuControl::GetCoolerSettings(NvCoolerSettings& record, int gpuIndex, int coolerIndex)
{
    if (coolerIndex < 0 || static_cast<uint32_t>(coolerIndex) >= kNvMaxCoolers) {
        m_status = kNvInvalidArgument;
        return 0;
    }
    record.version = NvVer::CoolerSettings;
    m_status = CallGpu<NvGetCoolerSettingsFn>(NvId::GetCoolerSettings, gpuIndex, kNvCoolerTargetAll, &record);
    if (m_status == kNvOk)
        return 1;
    NvCoolerEntry& cooler = record.cooler[coolerIndex];
    cooler.currentLevel = 0;
    cooler.defaultMinLevel = 0;
    cooler.defaultMaxLevel = 100;
    return 0;
}

uint32_t CGpuControl::GetCoolerLevel(int gpuIndex, int coolerIndex)
{
    if (!GetCoolerSettings(m_coolerSettings, gpuIndex, coolerIndex))
        return 0;
    return m_coolerSettings.cooler[coolerIndex].currentLevel;
}

int CGpuControl::SetCoolerLevel(uint32_t level, uint32_t policy, int gpuIndex, int coolerIndex)
{
    if (!MayWrite()) return 0;
    if (coolerIndex < 0 || static_cast<uint32_t>(coolerIndex) >= kNvMaxCoolers) {
        m_status = kNvInvalidArgument;
        return 0;
    }
    NvCoolerLevels record = {};
    record.version = NvVer::CoolerLevels;
    record.cooler[coolerIndex].level = level;
    record.cooler[coolerIndex].policy = policy;
    m_status = CallGpu<NvSetCoolerLevelsFn>(NvId::SetCoolerLevels, gpuIndex, static_cast<uint32_t>(coolerIndex),
                                           &record);
    if (m_status != kNvOk)
        return 0;
    if (m_observer)
        m_observer->FanLevelWritten(ResolvedIndex(gpuIndex), level, policy == kNvCoolerPolicyManual);
    return 1;
}

int CGpuControl::SetDriverSetting(uint32_t value)
{
    if (!MayWrite()) return 0;
    NvDrsSession session = nullptr;
    if (Call<NvDrsCreateSessionFn>(NvId::DrsCreateSession, &session) != kNvOk)
        return 0;
    NvDrsProfile profile = nullptr;
    bool ok = Call<NvDrsSessionFn>(NvId::DrsLoadSettings, session) == kNvOk &&
              Call<NvDrsGetBaseProfileFn>(NvId::DrsGetBaseProfile, session, &profile) == kNvOk;
    if (ok) {
        NvDrsSetting setting = {};
        setting.version = NvVer::DrsSetting;
        setting.settingId = kNvDrsFrameRateLimiter;
        setting.settingType = kNvDrsTypeDword;
        setting.currentValue.dword = value + kNvDrsFrameRateEnabled;  // wraps modulo 2^32
        ok = Call<NvDrsSetSettingFn>(NvId::DrsSetSetting, session, profile, &setting) == kNvOk &&
             Call<NvDrsSessionFn>(NvId::DrsSaveSettings, session) == kNvOk;
    }
    // The session is released on every path once it exists.
    Call<NvDrsSessionFn>(NvId::DrsDestroySession, session);
    if (ok && m_observer)
        m_observer->FrameRateTargetWritten(value);
    return ok ? 1 : 0;
}
