// What a scenario file describes: the driver, its displays, faults, and 1 to
// 64 GPUs with their identity, P0 clocks, power, sensors, coolers and the
// parameters of their thermal model.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum ClockSlot { kSlotGraphics, kSlotMemory, kSlotProcessor, kClockSlots };

struct ClockConfig {
    bool present = false;
    int32_t type = 0;                // single 0, range 1
    uint32_t freq = 0;               // kHz, single
    uint32_t minFreq = 0, maxFreq = 0;
    int32_t voltageDomain = 0;
    uint32_t minVoltage = 0, maxVoltage = 0;
    int32_t offsetMin = 0, offsetMax = 0;
    bool editable = false;
};

struct GpuConfig {
    std::string name, vbios;
    uint32_t deviceId = 0, subSystemId = 0, revisionId = 0, extDeviceId = 0;
    uint32_t memoryKb = 0, memoryType = 0, busWidth = 0, busLocation = 0, cores = 0;
    ClockConfig clocks[kClockSlots];
    std::vector<int32_t> pstates;    // P-state numbers in table order, all with the clocks above
    int32_t currentPstate = 0;
    bool powerValid = true;
    uint32_t powerPolicies = 1;      // policy ids 0 .. count-1, all with the limits below
    uint32_t powerMin = 0, powerDefault = 0, powerMax = 0;
    uint32_t sensors = 1;
    uint32_t coolers = 1, coolerMin = 0, coolerMax = 100;
    // Which fan interface the card answers: the older cooler one, the client
    // one of cards with several fans (each fan by id 1, 2, ...), or neither.
    enum class FanInterface { Cooler, Client, None } fanInterface = FanInterface::Cooler;
    uint32_t fanRpmPerPercent = 30;  // the speed the client interface reports, per per cent of level
    // Thermal model.
    double startTemp = 0, ambient = 0, heatRise = 0, thermalTauMs = 1;
    double fanCurveLow = 0, fanCurveHigh = 1;   // driver curve: minimum level up to low, maximum from high
    double load = 0, loadAmplitude = 0;         // per cent
    uint32_t loadPeriodMs = 0, loadPhaseMs = 0; // period 0: constant load
};

struct Scenario {
    std::string path;                // file the scenario came from, or where it would be
    std::vector<GpuConfig> gpus;
    uint32_t driverVersion = 0, changeList = 0;
    std::string branch;
    uint32_t displays = 1;
    std::map<uint32_t, int32_t> faults;   // interface id -> status
};

// The built-in scenario: one current high-end GPU.
Scenario DefaultScenario();
// Reads path over the built-in values; false when the file cannot be read.
bool LoadScenarioFile(const std::string& path, Scenario& scenario);
