// The driver's one named export: interface identifier -> entry point.
#include "nvsim/Entries.h"
#include "nvsim/Simulator.h"

#include <type_traits>

namespace {

struct InterfaceEntry {
    uint32_t id;
    void* function;
};

template <typename Function> void* Address(Function* function)
{
    return reinterpret_cast<void*>(function);
}

const InterfaceEntry kInterfaces[] = {
    {NvId::Initialize, Address(nvsim::Initialize)},
    {NvId::EnumPhysicalGpus, Address(nvsim::EnumPhysicalGpus)},
    {NvId::EnumDisplayHandle, Address(nvsim::EnumDisplayHandle)},
    {NvId::GetPciIdentifiers, Address(nvsim::GetPciIdentifiers)},
    {NvId::GetFullName, Address(nvsim::GetFullName)},
    {NvId::GetVbiosVersionString, Address(nvsim::GetVbiosVersionString)},
    {NvId::GetFrameBufferSize, Address(nvsim::GetFrameBufferSize)},
    {NvId::GetCoreCount, Address(nvsim::GetCoreCount)},
    {NvId::GetDisplayDriverVersion, Address(nvsim::GetDisplayDriverVersion)},
    {NvId::GetAllClockFrequencies, Address(nvsim::GetAllClockFrequencies)},
    {NvId::GetThermalSettings, Address(nvsim::GetThermalSettings)},
    {NvId::GetCurrentPstate, Address(nvsim::GetCurrentPstate)},
    {NvId::GetPstates20, Address(nvsim::GetPstates20)},
    {NvId::SetPstates20, Address(nvsim::SetPstates20)},
    {NvId::GetMemoryBusWidth, Address(nvsim::GetMemoryBusWidth)},
    {NvId::GetMemoryType, Address(nvsim::GetMemoryType)},
    {NvId::GetPowerPolicyInfo, Address(nvsim::GetPowerPolicyInfo)},
    {NvId::GetPowerPolicyStatus, Address(nvsim::GetPowerPolicyStatus)},
    {NvId::SetPowerPolicyStatus, Address(nvsim::SetPowerPolicyStatus)},
    {NvId::GetCoolerSettings, Address(nvsim::GetCoolerSettings)},
    {NvId::SetCoolerLevels, Address(nvsim::SetCoolerLevels)},
    {NvId::ClientFanCoolersGetStatus, Address(nvsim::ClientFanCoolersGetStatus)},
    {NvId::ClientFanCoolersGetControl, Address(nvsim::ClientFanCoolersGetControl)},
    {NvId::ClientFanCoolersSetControl, Address(nvsim::ClientFanCoolersSetControl)},
    {NvId::DrsCreateSession, Address(nvsim::DrsCreateSession)},
    {NvId::DrsLoadSettings, Address(nvsim::DrsLoadSettings)},
    {NvId::DrsGetBaseProfile, Address(nvsim::DrsGetBaseProfile)},
    {NvId::DrsSetSetting, Address(nvsim::DrsSetSetting)},
    {NvId::DrsSaveSettings, Address(nvsim::DrsSaveSettings)},
    {NvId::DrsDestroySession, Address(nvsim::DrsDestroySession)},
};
static_assert(sizeof kInterfaces / sizeof kInterfaces[0] == sizeof NvId::kAll / sizeof NvId::kAll[0],
              "every interface has an entry point");

// Each entry point must have exactly the parameter list callers cast it to.
static_assert(std::is_same_v<decltype(&nvsim::Initialize), NvInitializeFn>);
static_assert(std::is_same_v<decltype(&nvsim::EnumPhysicalGpus), NvEnumPhysicalGpusFn>);
static_assert(std::is_same_v<decltype(&nvsim::EnumDisplayHandle), NvEnumDisplayHandleFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetPciIdentifiers), NvGetPciIdentifiersFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetFullName), NvGetShortStringFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetVbiosVersionString), NvGetShortStringFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetFrameBufferSize), NvGetGpuWordFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetCoreCount), NvGetGpuWordFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetMemoryType), NvGetGpuWordFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetMemoryBusWidth), NvGetMemoryBusWidthFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetDisplayDriverVersion), NvGetDisplayDriverVersionFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetAllClockFrequencies), NvGetAllClockFrequenciesFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetThermalSettings), NvGetThermalSettingsFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetCurrentPstate), NvGetCurrentPstateFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetPstates20), NvPstates20Fn>);
static_assert(std::is_same_v<decltype(&nvsim::SetPstates20), NvPstates20Fn>);
static_assert(std::is_same_v<decltype(&nvsim::GetPowerPolicyInfo), NvGetPowerPolicyInfoFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetPowerPolicyStatus), NvPowerPolicyStatusFn>);
static_assert(std::is_same_v<decltype(&nvsim::SetPowerPolicyStatus), NvPowerPolicyStatusFn>);
static_assert(std::is_same_v<decltype(&nvsim::GetCoolerSettings), NvGetCoolerSettingsFn>);
static_assert(std::is_same_v<decltype(&nvsim::SetCoolerLevels), NvSetCoolerLevelsFn>);
static_assert(std::is_same_v<decltype(&nvsim::ClientFanCoolersGetStatus), NvFanCoolersStatusFn>);
static_assert(std::is_same_v<decltype(&nvsim::ClientFanCoolersGetControl), NvFanCoolersControlFn>);
static_assert(std::is_same_v<decltype(&nvsim::ClientFanCoolersSetControl), NvFanCoolersControlFn>);
static_assert(std::is_same_v<decltype(&nvsim::DrsCreateSession), NvDrsCreateSessionFn>);
static_assert(std::is_same_v<decltype(&nvsim::DrsLoadSettings), NvDrsSessionFn>);
static_assert(std::is_same_v<decltype(&nvsim::DrsGetBaseProfile), NvDrsGetBaseProfileFn>);
static_assert(std::is_same_v<decltype(&nvsim::DrsSetSetting), NvDrsSetSettingFn>);
static_assert(std::is_same_v<decltype(&nvsim::DrsSaveSettings), NvDrsSessionFn>);
static_assert(std::is_same_v<decltype(&nvsim::DrsDestroySession), NvDrsSessionFn>);

} // namespace

extern "C" __declspec(dllexport) void* nvapi_QueryInterface(unsigned int id)
{
    SimLock lock;
    auto fault = lock.sim.faults.find(id);
    if (fault != lock.sim.faults.end() && fault->second == NVSIM_FAULT_MISSING) return nullptr;
    for (const InterfaceEntry& entry : kInterfaces) {
        if (entry.id == id) return entry.function;
    }
    return nullptr;
}
