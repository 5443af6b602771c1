// The simulated driver's entry points, one per interface identifier; reached
// by callers only through nvapi_QueryInterface.
#pragma once

#include "gpu/NvApiTypes.h"

namespace nvsim {
// Identity and enumeration.
NvStatus Initialize();
NvStatus EnumPhysicalGpus(NvGpuHandle handles[kNvMaxPhysicalGpus], uint32_t* count);
NvStatus EnumDisplayHandle(uint32_t index, NvDisplayHandle* display);
NvStatus GetPciIdentifiers(NvGpuHandle gpu, uint32_t* deviceId, uint32_t* subSystemId, uint32_t* revisionId,
                           uint32_t* extDeviceId);
NvStatus GetFullName(NvGpuHandle gpu, char* name);
NvStatus GetVbiosVersionString(NvGpuHandle gpu, char* text);
NvStatus GetFrameBufferSize(NvGpuHandle gpu, uint32_t* kb);
NvStatus GetCoreCount(NvGpuHandle gpu, uint32_t* count);
NvStatus GetMemoryBusWidth(NvGpuHandle gpu, uint32_t* width, uint32_t* location);
NvStatus GetMemoryType(NvGpuHandle gpu, uint32_t* type);
NvStatus GetDisplayDriverVersion(NvDisplayHandle display, NvDriverVersion* record);
// Clocks, P-states and temperatures.
NvStatus GetAllClockFrequencies(NvGpuHandle gpu, NvClockFrequencies* record);
NvStatus GetThermalSettings(NvGpuHandle gpu, uint32_t sensorIndex, NvThermalSettings* record);
NvStatus GetCurrentPstate(NvGpuHandle gpu, int32_t* pstate);
NvStatus GetPstates20(NvGpuHandle gpu, NvPstates20Info* record);
NvStatus SetPstates20(NvGpuHandle gpu, NvPstates20Info* record);
// Power and coolers.
NvStatus GetPowerPolicyInfo(NvGpuHandle gpu, NvPowerPolicyInfo* record);
NvStatus GetPowerPolicyStatus(NvGpuHandle gpu, NvPowerPolicyStatus* record);
NvStatus SetPowerPolicyStatus(NvGpuHandle gpu, NvPowerPolicyStatus* record);
NvStatus GetCoolerSettings(NvGpuHandle gpu, uint32_t coolerTarget, NvCoolerSettings* record);
NvStatus SetCoolerLevels(NvGpuHandle gpu, uint32_t coolerIndex, NvCoolerLevels* record);
NvStatus ClientFanCoolersGetStatus(NvGpuHandle gpu, NvFanCoolersStatus* record);
NvStatus ClientFanCoolersGetControl(NvGpuHandle gpu, NvFanCoolersControl* record);
NvStatus ClientFanCoolersSetControl(NvGpuHandle gpu, NvFanCoolersControl* record);
// Driver settings.
NvStatus DrsCreateSession(NvDrsSession* session);
NvStatus DrsLoadSettings(NvDrsSession session);
NvStatus DrsGetBaseProfile(NvDrsSession session, NvDrsProfile* profile);
NvStatus DrsSetSetting(NvDrsSession session, NvDrsProfile profile, NvDrsSetting* setting);
NvStatus DrsSaveSettings(NvDrsSession session);
NvStatus DrsDestroySession(NvDrsSession session);
} // namespace nvsim
