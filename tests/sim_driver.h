#pragma once
// The simulated driver's control exports, resolved from the same nvapi64.dll
// the program loads from the system directory.
#include <string>
#include <vector>

#include "nvsim/NvSimControl.h"

// Two cards with known cooler limits, 35..90 and 45..90.
inline const char* const kTwoCardsScenario =
    "[Simulator]\nGpuCount=2\n"
    "[Gpu]\nDeviceId=0x2684\nExtDeviceId=0x2684\nCoolerMin=35\nCoolerMax=90\nTemperature=45\n"
    "Load=0\nLoadAmplitude=0\n"
    "[Gpu1]\nDeviceId=0x1C03\nExtDeviceId=0x1C03\nCoolerMin=45\n";

struct SimDriver {
    NvSim_LoadScenarioFn load;
    NvSim_SetTemperatureFn setTemperature;
    NvSim_SetLoadFn setLoad;
    NvSim_SetFanLevelFn setFanLevel;
    NvSim_FreezeFn freeze;
    NvSim_StepTimeFn stepTime;
    NvSim_GetCallCountFn callCount;
    NvSim_GetCallFn getCall;
    NvSim_ClearLogFn clearLog;
    NvSim_SetFaultFn setFault;
    NvSim_GetSavedSettingFn savedSetting;
    NvSim_ResetDriverFn resetDriver;

    // Null members when the driver or an export is missing.
    static const SimDriver& Get();
    // The scenario file of this process; saved driver settings go beside it.
    static std::string ScenarioPath();
    // Writes the scenario to ScenarioPath(), loads it and freezes the model;
    // processes started from here on load it too.
    static bool UseScenario(const std::string& ini);
    static std::vector<NvSimCall> Calls();
    // The calls of one interface, in order.
    static std::vector<NvSimCall> Calls(unsigned int interfaceId);
};
