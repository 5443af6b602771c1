// Binary interface of the NVIDIA driver API as this program (and the simulated
// driver) use it: statuses, interface identifiers, handles, records and the
// parameter lists of the entry points reached through nvapi_QueryInterface.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- statuses

using NvStatus = int32_t;

constexpr NvStatus kNvOk = 0;
constexpr NvStatus kNvError = -1;
constexpr NvStatus kNvLibraryNotFound = -2;
constexpr NvStatus kNvNoImplementation = -3;
constexpr NvStatus kNvNotInitialized = -4;
constexpr NvStatus kNvInvalidArgument = -5;
constexpr NvStatus kNvDeviceNotFound = -6;
constexpr NvStatus kNvEndEnumeration = -7;
constexpr NvStatus kNvInvalidHandle = -8;
constexpr NvStatus kNvIncompatibleVersion = -9;
constexpr NvStatus kNvHandleInvalidated = -10;
constexpr NvStatus kNvInvalidPointer = -14;
constexpr NvStatus kNvNotSupported = -104;
constexpr NvStatus kNvSettingNotFound = -160;
constexpr NvStatus kNvProfileNotFound = -163;

// ---------------------------------------------------- interface identifiers

namespace NvId {
constexpr uint32_t Initialize = 0x0150E828;
constexpr uint32_t EnumPhysicalGpus = 0xE5AC921F;
constexpr uint32_t EnumDisplayHandle = 0x9ABDD40D;
constexpr uint32_t GetPciIdentifiers = 0x2DDFB66E;
constexpr uint32_t GetFullName = 0xCEEE8E9F;
constexpr uint32_t GetVbiosVersionString = 0xA561FD7D;
constexpr uint32_t GetFrameBufferSize = 0x46FBEB03;
constexpr uint32_t GetCoreCount = 0xC7026A87;
constexpr uint32_t GetDisplayDriverVersion = 0xF951A4D1;
constexpr uint32_t GetAllClockFrequencies = 0xDCB616C3;
constexpr uint32_t GetThermalSettings = 0xE3640A56;
constexpr uint32_t GetCurrentPstate = 0x927DA4F6;
constexpr uint32_t GetPstates20 = 0x6FF81213;
constexpr uint32_t SetPstates20 = 0x0F4DAE6B;
constexpr uint32_t GetMemoryBusWidth = 0x11104158;
constexpr uint32_t GetMemoryType = 0x57F7CAAC;
constexpr uint32_t GetPowerPolicyInfo = 0x34206D86;
constexpr uint32_t GetPowerPolicyStatus = 0x70916171;
constexpr uint32_t SetPowerPolicyStatus = 0xAD95F5ED;
constexpr uint32_t GetCoolerSettings = 0xDA141340;
constexpr uint32_t SetCoolerLevels = 0x891FA0AE;
constexpr uint32_t ClientFanCoolersGetStatus = 0x35AED5E8;
constexpr uint32_t ClientFanCoolersGetControl = 0x814B209F;
constexpr uint32_t ClientFanCoolersSetControl = 0xA58971A5;
constexpr uint32_t DrsCreateSession = 0x0694D52E;
constexpr uint32_t DrsLoadSettings = 0x375DBD6B;
constexpr uint32_t DrsGetBaseProfile = 0xDA8466A0;
constexpr uint32_t DrsSetSetting = 0x577DD202;
constexpr uint32_t DrsSaveSettings = 0xFCBC7E14;
constexpr uint32_t DrsDestroySession = 0xDAD9CFF8;

// Every interface the program uses, in the order above.
constexpr uint32_t kAll[] = {
    Initialize, EnumPhysicalGpus, EnumDisplayHandle, GetPciIdentifiers, GetFullName,
    GetVbiosVersionString, GetFrameBufferSize, GetCoreCount, GetDisplayDriverVersion,
    GetAllClockFrequencies, GetThermalSettings, GetCurrentPstate, GetPstates20, SetPstates20,
    GetMemoryBusWidth, GetMemoryType, GetPowerPolicyInfo, GetPowerPolicyStatus,
    SetPowerPolicyStatus, GetCoolerSettings, SetCoolerLevels, ClientFanCoolersGetStatus,
    ClientFanCoolersGetControl, ClientFanCoolersSetControl, DrsCreateSession,
    DrsLoadSettings, DrsGetBaseProfile, DrsSetSetting, DrsSaveSettings, DrsDestroySession};
static_assert(sizeof(kAll) / sizeof(kAll[0]) == 30, "one identifier per interface");
} // namespace NvId

// ------------------------------------------------------------ version words
// (version << 16) | record size in bytes.

namespace NvVer {
constexpr uint32_t DriverVersion = 0x0001008C;
constexpr uint32_t ClockFrequencies = 0x00020108;
constexpr uint32_t ThermalSettings = 0x00020044;
constexpr uint32_t Pstates20 = 0x00011C94;
constexpr uint32_t DrsSetting = 0x00013020;
constexpr uint32_t CoolerSettings = 0x00030508;
constexpr uint32_t CoolerLevels = 0x000100A4;
constexpr uint32_t FanCoolersStatus = 0x000106A8;
constexpr uint32_t FanCoolersControl = 0x000105AC;
constexpr uint32_t PowerPolicyInfo = 0x000100B8;
constexpr uint32_t PowerPolicyStatus = 0x00010048;

constexpr uint32_t Size(uint32_t version) { return version & 0xFFFFu; }
} // namespace NvVer

// ---------------------------------------------------------- other constants

constexpr uint32_t kNvMaxPhysicalGpus = 64;
constexpr uint32_t kNvMaxDisplays = 128;
constexpr uint32_t kNvShortStringSize = 64;     // char buffers of names and version strings
constexpr uint32_t kNvMaxClockDomains = 32;
constexpr uint32_t kNvMaxThermalSensors = 3;
constexpr uint32_t kNvMaxPstates20 = 16;
constexpr uint32_t kNvMaxPstate20Clocks = 8;
constexpr uint32_t kNvMaxPstate20BaseVoltages = 4;
constexpr uint32_t kNvMaxCoolers = 20;
constexpr uint32_t kNvMaxFanCoolers = 32;       // items of the client fan records
constexpr uint32_t kNvMaxPowerPolicies = 4;

constexpr int32_t kNvClockGraphics = 0;         // public clock domain ids
constexpr int32_t kNvClockMemory = 4;
constexpr int32_t kNvClockProcessor = 7;
constexpr int32_t kNvClockVideo = 8;
constexpr uint32_t kNvClockTypeMask = 0x0000000Fu;  // low bits of NvClockFrequencies::flags
constexpr uint32_t kNvClockTypeCurrent = 0;
constexpr uint32_t kNvClockTypeBase = 1;
constexpr uint32_t kNvClockTypeBoost = 2;

constexpr int32_t kNvPstateUndefined = 16;
constexpr int32_t kNvPstateClockSingle = 0;     // NvPstateClock::typeId
constexpr int32_t kNvPstateClockRange = 1;
constexpr int32_t kNvVoltageDomainCore = 0;
constexpr int32_t kNvVoltageDomainUndefined = 16;
constexpr uint32_t kNvEditableBit = 0x1u;       // bit 0 of every editable word

constexpr uint32_t kNvThermalTargetAll = 15;    // sensor index: every sensor
constexpr int32_t kNvThermalTargetGpu = 1;
constexpr int32_t kNvThermalTargetMemory = 2;
constexpr int32_t kNvThermalTargetBoard = 8;
constexpr int32_t kNvThermalControllerGpu = 1;

constexpr uint32_t kNvCoolerTargetAll = 7;      // cooler settings read: every cooler
constexpr uint32_t kNvCoolerPolicyManual = 1;   // the fan runs at the written level
constexpr uint32_t kNvCoolerPolicyAuto = 32;    // the driver's own fan curve
constexpr uint32_t kNvFanControlAuto = 0;       // client fan control mode: the driver's
constexpr uint32_t kNvFanControlManual = 1;     // the fan runs at the written level

constexpr uint32_t kNvDrsFrameRateLimiter = 0x10834FEE;
constexpr uint32_t kNvDrsFrameRateEnabled = 0xF0000000u;  // added to the frame rate
constexpr int32_t kNvDrsTypeDword = 0;

// ----------------------------------------------------------------- handles
// Opaque pointers; the driver picks the values, callers never index with them.

struct NvGpuObject;
struct NvDisplayObject;
struct NvDrsSessionObject;
struct NvDrsProfileObject;
using NvGpuHandle = NvGpuObject*;
using NvDisplayHandle = NvDisplayObject*;
using NvDrsSession = NvDrsSessionObject*;
using NvDrsProfile = NvDrsProfileObject*;

// ----------------------------------------------------------------- records

struct NvDriverVersion {
    uint32_t version;
    uint32_t driverVersion;      // e.g. 55123 for 551.23
    uint32_t changeList;
    char branch[64];
    char adapter[64];
};

struct NvClockDomain {
    uint32_t present;            // bit 0: the GPU has this domain
    uint32_t frequency;          // kHz
};

struct NvClockFrequencies {
    uint32_t version;
    uint32_t flags;              // bits 0-3 clock type, others reserved (0)
    NvClockDomain domain[kNvMaxClockDomains];   // indexed by clock domain id
};

struct NvThermalSensor {
    int32_t controller;
    int32_t defaultMinTemp;
    int32_t defaultMaxTemp;
    int32_t currentTemp;         // degrees C
    int32_t target;
};

struct NvThermalSettings {
    uint32_t version;
    uint32_t count;
    NvThermalSensor sensor[kNvMaxThermalSensors];
};

struct NvPstateSingle {
    uint32_t freq;               // kHz
    uint32_t unused[4];
};

struct NvPstateRange {
    uint32_t minFreq;            // kHz
    uint32_t maxFreq;
    int32_t voltageDomain;       // core 0, undefined 16
    uint32_t minVoltage;         // microvolts
    uint32_t maxVoltage;
};

union NvPstateClockData {
    NvPstateSingle single;
    NvPstateRange range;
};

struct NvPstateClock {
    int32_t domainId;            // public clock domain id
    int32_t typeId;              // single 0, range 1
    uint32_t editable;           // bit 0
    int32_t offset;              // kHz, current offset from nominal
    int32_t offsetMin;
    int32_t offsetMax;
    NvPstateClockData data;
};

struct NvPstateBaseVoltage {
    int32_t domainId;
    uint32_t editable;
    uint32_t voltage;            // microvolts
    int32_t offset;
    int32_t offsetMin;
    int32_t offsetMax;
};

struct NvPstateEntry {
    int32_t pstateId;            // P-state number, not the array index
    uint32_t editable;
    NvPstateClock clocks[kNvMaxPstate20Clocks];
    NvPstateBaseVoltage baseVoltages[kNvMaxPstate20BaseVoltages];
};

struct NvPstates20Info {
    uint32_t version;
    uint32_t editable;
    uint32_t numPstates;
    uint32_t numClocks;          // valid clock entries in each P-state
    uint32_t numBaseVoltages;
    NvPstateEntry pstates[kNvMaxPstates20];
};

union NvDrsValue {
    uint32_t dword;
    struct {
        uint32_t length;         // bytes
        uint8_t data[4096];
    } binary;
    uint16_t wideString[2048];
};

struct NvDrsSetting {
    uint32_t version;
    uint16_t name[2048];         // UTF-16
    uint32_t settingId;
    int32_t settingType;         // DWORD 0, binary 1, string 2, wide string 3
    int32_t settingLocation;
    uint32_t isCurrentPredefined;
    uint32_t isPredefinedValid;
    NvDrsValue predefinedValue;
    NvDrsValue currentValue;
};

// Cooler, cooler-level and power-policy records are not published; only the
// words named here have a known meaning, the rest are kept as reserved.

struct NvCoolerEntry {
    uint32_t reserved0[2];
    uint32_t defaultMinLevel;    // per cent
    uint32_t defaultMaxLevel;
    uint32_t reserved1[2];
    uint32_t currentLevel;
    uint32_t reserved2[9];
};

struct NvCoolerSettings {
    uint32_t version;
    uint32_t count;
    NvCoolerEntry cooler[kNvMaxCoolers];
};

struct NvCoolerLevel {
    uint32_t level;              // per cent
    uint32_t policy;             // manual 1, driver curve 32
};

struct NvCoolerLevels {
    uint32_t version;
    NvCoolerLevel cooler[kNvMaxCoolers];
};

// The client fan interface of cards with several fans (and of every card
// since RTX 30): each fan by the id its status lists.
struct NvFanCoolerStatusEntry {
    uint32_t coolerId;
    uint32_t currentRpm;
    uint32_t currentMinLevel;    // per cent
    uint32_t currentMaxLevel;
    uint32_t currentLevel;
    uint32_t reserved[8];
};

struct NvFanCoolersStatus {
    uint32_t version;
    uint32_t count;
    uint32_t reserved[8];
    NvFanCoolerStatusEntry items[kNvMaxFanCoolers];
};

struct NvFanCoolerControlEntry {
    uint32_t coolerId;
    uint32_t level;              // per cent
    uint32_t controlMode;        // kNvFanControlAuto or kNvFanControlManual
    uint32_t reserved[8];
};

struct NvFanCoolersControl {
    uint32_t version;
    uint32_t reserved0;
    uint32_t count;
    uint32_t reserved[8];
    NvFanCoolerControlEntry items[kNvMaxFanCoolers];
};

struct NvPowerPolicyInfoEntry {
    uint32_t policyId;
    uint32_t reserved0[2];
    uint32_t minPower;           // thousandths of a per cent
    uint32_t reserved1[2];
    uint32_t defaultPower;
    uint32_t reserved2[2];
    uint32_t maxPower;
    uint32_t reserved3;
};

struct NvPowerPolicyInfo {
    uint32_t version;
    uint8_t valid;
    uint8_t count;
    uint8_t reserved[2];
    NvPowerPolicyInfoEntry entries[kNvMaxPowerPolicies];
};

struct NvPowerPolicyStatusEntry {
    uint32_t policyId;
    uint32_t flags;
    uint32_t powerTarget;        // thousandths of a per cent
    uint32_t reserved;
};

struct NvPowerPolicyStatus {
    uint32_t version;
    uint8_t count;
    uint8_t reserved[3];
    NvPowerPolicyStatusEntry entries[kNvMaxPowerPolicies];
};

// ------------------------------------------------------------- layout checks

static_assert(sizeof(NvDriverVersion) == NvVer::Size(NvVer::DriverVersion), "driver version size");
static_assert(offsetof(NvDriverVersion, branch) == 12 && offsetof(NvDriverVersion, adapter) == 76, "");
static_assert(sizeof(NvClockFrequencies) == NvVer::Size(NvVer::ClockFrequencies), "clock size");
static_assert(offsetof(NvClockFrequencies, domain[kNvClockMemory].frequency) == 44, "");
static_assert(offsetof(NvClockFrequencies, domain[kNvClockProcessor].frequency) == 68, "");
static_assert(sizeof(NvThermalSettings) == NvVer::Size(NvVer::ThermalSettings), "thermal size");
static_assert(offsetof(NvThermalSettings, sensor[0].currentTemp) == 20, "");
static_assert(offsetof(NvThermalSettings, sensor[2].target) == 64, "");
static_assert(sizeof(NvPstateClock) == 44 && sizeof(NvPstateBaseVoltage) == 24, "");
static_assert(sizeof(NvPstateEntry) == 456, "");
static_assert(sizeof(NvPstates20Info) == NvVer::Size(NvVer::Pstates20), "P-states 2.0 size");
static_assert(offsetof(NvPstates20Info, pstates[0].clocks[1].offset) == 84, "");
static_assert(offsetof(NvPstates20Info, pstates[0].clocks[0].data.range.maxFreq) == 56, "");
static_assert(offsetof(NvPstates20Info, pstates[1].baseVoltages[0]) == 380 + 456, "");
static_assert(sizeof(NvDrsValue) == 4100, "");
static_assert(sizeof(NvDrsSetting) == NvVer::Size(NvVer::DrsSetting), "driver setting size");
static_assert(offsetof(NvDrsSetting, settingId) == 4100 && offsetof(NvDrsSetting, currentValue) == 8220, "");
static_assert(sizeof(NvCoolerEntry) == 64, "");
static_assert(sizeof(NvCoolerSettings) == NvVer::Size(NvVer::CoolerSettings), "cooler settings size");
static_assert(offsetof(NvCoolerSettings, cooler[0].defaultMinLevel) == 16, "");
static_assert(offsetof(NvCoolerSettings, cooler[0].defaultMaxLevel) == 20, "");
static_assert(offsetof(NvCoolerSettings, cooler[1].currentLevel) == 8 + 64 + 24, "");
static_assert(sizeof(NvCoolerLevels) == NvVer::Size(NvVer::CoolerLevels), "cooler levels size");
static_assert(offsetof(NvCoolerLevels, cooler[1].policy) == 16, "");
static_assert(sizeof(NvFanCoolerStatusEntry) == 52 && sizeof(NvFanCoolerControlEntry) == 44, "");
static_assert(sizeof(NvFanCoolersStatus) == NvVer::Size(NvVer::FanCoolersStatus), "fan status size");
static_assert(offsetof(NvFanCoolersStatus, items) == 40, "");
static_assert(offsetof(NvFanCoolersStatus, items[1].currentLevel) == 40 + 52 + 16, "");
static_assert(sizeof(NvFanCoolersControl) == NvVer::Size(NvVer::FanCoolersControl), "fan control size");
static_assert(offsetof(NvFanCoolersControl, count) == 8 && offsetof(NvFanCoolersControl, items) == 44, "");
static_assert(offsetof(NvFanCoolersControl, items[1].controlMode) == 44 + 44 + 8, "");
static_assert(sizeof(NvPowerPolicyInfoEntry) == 44, "");
static_assert(sizeof(NvPowerPolicyInfo) == NvVer::Size(NvVer::PowerPolicyInfo), "power info size");
static_assert(offsetof(NvPowerPolicyInfo, count) == 5 && offsetof(NvPowerPolicyInfo, entries) == 8, "");
static_assert(offsetof(NvPowerPolicyInfo, entries[0].defaultPower) == 8 + 24, "");
static_assert(offsetof(NvPowerPolicyInfo, entries[1].maxPower) == 8 + 44 + 36, "");
static_assert(sizeof(NvPowerPolicyStatus) == NvVer::Size(NvVer::PowerPolicyStatus), "power status size");
static_assert(offsetof(NvPowerPolicyStatus, entries[1].powerTarget) == 8 + 16 + 8, "");

// -------------------------------------------------- entry point signatures
// All return an NvStatus; on x64 the one Microsoft convention applies.

using NvQueryInterfaceFn = void* (*)(unsigned int id);
using NvInitializeFn = NvStatus (*)();
using NvEnumPhysicalGpusFn = NvStatus (*)(NvGpuHandle handles[kNvMaxPhysicalGpus], uint32_t* count);
using NvEnumDisplayHandleFn = NvStatus (*)(uint32_t index, NvDisplayHandle* display);
using NvGetPciIdentifiersFn = NvStatus (*)(NvGpuHandle gpu, uint32_t* deviceId, uint32_t* subSystemId,
                                           uint32_t* revisionId, uint32_t* extDeviceId);
using NvGetShortStringFn = NvStatus (*)(NvGpuHandle gpu, char text[kNvShortStringSize]);  // name, VBIOS
using NvGetGpuWordFn = NvStatus (*)(NvGpuHandle gpu, uint32_t* value);  // frame buffer KB, cores, memory type
using NvGetDisplayDriverVersionFn = NvStatus (*)(NvDisplayHandle display, NvDriverVersion* record);
using NvGetAllClockFrequenciesFn = NvStatus (*)(NvGpuHandle gpu, NvClockFrequencies* record);
using NvGetThermalSettingsFn = NvStatus (*)(NvGpuHandle gpu, uint32_t sensorIndex, NvThermalSettings* record);
using NvGetCurrentPstateFn = NvStatus (*)(NvGpuHandle gpu, int32_t* pstate);
using NvPstates20Fn = NvStatus (*)(NvGpuHandle gpu, NvPstates20Info* record);  // get and set
using NvGetMemoryBusWidthFn = NvStatus (*)(NvGpuHandle gpu, uint32_t* width, uint32_t* location);
using NvGetPowerPolicyInfoFn = NvStatus (*)(NvGpuHandle gpu, NvPowerPolicyInfo* record);
using NvPowerPolicyStatusFn = NvStatus (*)(NvGpuHandle gpu, NvPowerPolicyStatus* record);  // get and set
using NvGetCoolerSettingsFn = NvStatus (*)(NvGpuHandle gpu, uint32_t coolerTarget, NvCoolerSettings* record);
using NvSetCoolerLevelsFn = NvStatus (*)(NvGpuHandle gpu, uint32_t coolerIndex, NvCoolerLevels* record);
using NvFanCoolersStatusFn = NvStatus (*)(NvGpuHandle gpu, NvFanCoolersStatus* record);
using NvFanCoolersControlFn = NvStatus (*)(NvGpuHandle gpu, NvFanCoolersControl* record);  // get and set
using NvDrsCreateSessionFn = NvStatus (*)(NvDrsSession* session);
using NvDrsSessionFn = NvStatus (*)(NvDrsSession session);  // load, save, destroy
using NvDrsGetBaseProfileFn = NvStatus (*)(NvDrsSession session, NvDrsProfile* profile);
using NvDrsSetSettingFn = NvStatus (*)(NvDrsSession session, NvDrsProfile profile, NvDrsSetting* setting);
