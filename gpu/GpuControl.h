#pragma once
// The one object through which the program talks to the graphics driver: it
// enumerates the GPUs and offers one operation per query or setting.
#include <cstdint>
#include <string>
#include <vector>

#include "gpu/GpuReading.h"
#include "gpu/NvApiLoader.h"
#include "gpu/NvApiTypes.h"

// Clocks and offsets in kHz, voltages in microvolts, power in thousandths of a
// per cent (100000 = 100 %). Callers zero-fill it.
struct GpuClockInfo {
    uint32_t gfxMinVoltage, gfxMaxVoltage;
    uint32_t memMinVoltage, memMaxVoltage;
    uint32_t memClock;
    uint32_t memMinClock, memMaxClock;
    uint32_t memBaseClock;
    uint32_t procClock;
    uint32_t procMinClock, procMaxClock;
    uint32_t gfxClock;
    uint32_t gfxMinClock, gfxMaxClock;
    int32_t gfxOffset;
    int32_t gfxOffsetMin, gfxOffsetMax;
    uint32_t gfxOffsetEditable;
    int32_t memOffset;
    int32_t memOffsetMin, memOffsetMax;
    uint32_t memOffsetEditable;
    uint32_t powerTarget;
    uint32_t powerMin, powerMax, powerDefault;
};

inline unsigned EngineClockMHz(const GpuClockInfo& clocks) { return clocks.gfxClock / 1000; }
// The memory's effective (double data rate) clock.
inline unsigned MemoryClockMHz(const GpuClockInfo& clocks) { return clocks.memClock * 2 / 1000; }

// Told of every setting the driver took, with the GPU's index resolved; the
// readings log records them beside the readings.
class GpuWriteObserver {
public:
    // Every fan of the card: manual at level (the first fan's, within its
    // limits), or back to the driver's own control.
    virtual void FanLevelWritten(int gpuIndex, uint32_t level, bool manual) = 0;
    // P0's offsets in kHz.
    virtual void ClockOffsetsWritten(int gpuIndex, int32_t gfxOffset, int32_t memOffset) = 0;
    // Thousandths of a per cent.
    virtual void PowerTargetWritten(int gpuIndex, uint32_t powerTarget) = 0;
    // The frame-rate target in the driver's base profile, for every GPU.
    virtual void FrameRateTargetWritten(uint32_t value) = 0;

protected:
    ~GpuWriteObserver() = default;
};

// Asked before every write to the cards: a copy of the program that may not
// write (another one controls the cards) fails its writes without a driver call.
class GpuWriteGate {
public:
    virtual bool MayWrite() const = 0;

protected:
    ~GpuWriteGate() = default;
};

// The status of a write the gate held back: no driver's status.
constexpr NvStatus kGpuWriteHeldBack = -0x5153;

// Which interface a card's fans answer: the client one of cards with several
// fans (and every card since RTX 30), the older cooler one, or none (a
// laptop, say: the system controls the fans).
enum class FanInterface { None, Cooler, Client };

// Told when another GPU becomes the selected one, whoever selected it.
class GpuSelectionListener {
public:
    virtual void SelectedGpuChanged(int gpuIndex) = 0;

protected:
    ~GpuSelectionListener() = default;
};

// Operations return 1 on success and 0 on failure. A GPU index of -1 means the
// selected GPU (m_gpuIndex); an index outside 0..m_gpuCount-1 fails without a
// driver call, with status NVAPI_INVALID_ARGUMENT. All operations except
// GetCurrentClocks, SetClockOffsets, GetPowerTarget, SetPowerTarget and
// SetDriverSetting keep the driver's last status in m_status.
//
// A driver that is reset or updated while the program runs invalidates its
// handles (or wants initialising again). The first call that meets this fails;
// from then on each call first initialises the driver and enumerates the GPUs
// again, at most once a second, until that succeeds. A driver that could be
// loaded but not started is treated the same way. The selected GPU is kept
// by its index while the driver still has it, else GPU 0 is selected.
//
// The selected GPU changes only through SelectGpu (or such a recovery); those
// that follow it are told then rather than polling m_gpuIndex.
// Every write (SetClockOffsets, SetPowerTarget, SetCoolerLevel, SetFansManual,
// SetFansAuto, SetDriverSetting) that the write gate holds back fails without
// a driver call and leaves kGpuWriteHeldBack in m_status.
class CGpuControl {
public:
    // driverFile: the driver library's name within the system directory.
    explicit CGpuControl(const char* driverFile = CNvApiLoader::kDriverFile);

    // 0 ok, 1 driver missing or its initialisation failed, 2 GPU enumeration failed.
    int Initialize();

    // How many times the driver has come back after a reset: whoever holds
    // settings in it (a fan level, say) writes them again when this changes.
    unsigned Recoveries() const { return m_recoveries; }
    // The clock that paces the attempts, in milliseconds; tests give their own.
    void SetClock(uint64_t (*now)()) { m_now = now; }
    // Null: no one is told.
    void SetWriteObserver(GpuWriteObserver* observer) { m_observer = observer; }
    // Null: every write goes to the driver.
    void SetWriteGate(const GpuWriteGate* gate) { m_gate = gate; }

    // Makes the GPU at this index the selected one and tells every listener
    // when it changed; false for an index the driver does not have.
    bool SelectGpu(int gpuIndex);
    // Each listener is told once per change; it is taken off before it ends.
    void AddSelectionListener(GpuSelectionListener* listener);
    void RemoveSelectionListener(GpuSelectionListener* listener);

    int GetPCIIdentifiers(uint16_t& vendor, uint16_t& device, uint16_t& subVendor, uint16_t& subsystem,
                          int gpuIndex = -1);
    int GetFullName(char* name, int gpuIndex = -1);      // name: 64 characters
    int GetBiosVersion(char* text, int gpuIndex = -1);   // text: 64 characters
    int GetMemorySize(uint32_t& megabytes, int gpuIndex = -1);
    int GetCoreCount(uint32_t& count, int gpuIndex = -1);
    int GetMemoryBusWidth(uint32_t& width, uint32_t& location, int gpuIndex = -1);
    // A code the table does not know leaves text unchanged.
    int GetMemoryType(std::string& text, int gpuIndex = -1);
    int GetDriverVersion(NvDriverVersion& record, int displayIndex = -1);

    int GetCurrentClocks(GpuClockInfo& info, int gpuIndex = -1);
    // Degrees C of the last sensor reported; unchanged when there is none.
    int GetTemperature(uint32_t& celsius, int gpuIndex = -1);
    // The driver's current P-state, also kept in m_pstate; 16 on failure.
    uint32_t GetCurrentPstate(int gpuIndex = -1);
    int GetPstateClocks(GpuClockInfo& info, int gpuIndex, uint32_t pstate);
    // Writes gfxOffset and memOffset as P0's graphics and memory offsets.
    int SetClockOffsets(GpuClockInfo info, int gpuIndex = -1);

    int GetPowerTarget(GpuClockInfo& info, int gpuIndex = -1);
    int SetPowerTarget(GpuClockInfo info, int gpuIndex = -1);

    // On failure the entry at coolerIndex reads level 0, limits 0 to 100; a
    // cooler index outside the record fails and leaves it untouched.
    int GetCoolerSettings(NvCoolerSettings& record, int gpuIndex, int coolerIndex);
    // Current level in per cent, read into m_coolerSettings; 0 on failure.
    uint32_t GetCoolerLevel(int gpuIndex, int coolerIndex);
    // policy: kNvCoolerPolicyManual or kNvCoolerPolicyAuto.
    int SetCoolerLevel(uint32_t level, uint32_t policy, int gpuIndex, int coolerIndex);

    // The card's fans, whatever interface is behind them. Which one each card
    // answers is found at start, after a driver reset and by DetectFans (a
    // GPU switch): the client interface when its status read gives at least
    // one fan, else the cooler interface when it reads, else none.
    FanInterface DetectFans(int gpuIndex = -1);
    FanInterface FansOf(int gpuIndex = -1) const;
    bool HasFanControl(int gpuIndex = -1) const { return FansOf(gpuIndex) != FanInterface::None; }
    // Every fan's level (and speed, where reported) into reading.fans and the
    // first fan's into reading.fanLevel; 0 when they could not be read.
    int ReadFans(GpuReading& reading, int gpuIndex = -1);
    // Every fan manual at level, each kept within its own limits, in one
    // write (the older interface drives cooler 0, its only driven fan).
    int SetFansManual(uint32_t level, int gpuIndex = -1);
    // Every fan back to the driver's own control, in one write.
    int SetFansAuto(int gpuIndex = -1);
    // Temperature, clocks and fans in one reading; 1 when all of it was read.
    int Read(GpuReading& reading, int gpuIndex = -1);

    // Frame-rate target (0 = off) in the driver's base profile.
    int SetDriverSetting(uint32_t value);

    int32_t m_status = 0;
    int32_t m_gpuIndex = 0;  // read only: SelectGpu changes it
    uint32_t m_gpuCount = 0;
    NvGpuHandle m_gpuHandles[kNvMaxPhysicalGpus] = {};
    uint32_t m_displayCount = 0;
    int32_t m_displayIndex = 0;
    NvDisplayHandle m_displayHandles[kNvMaxDisplays] = {};
    uint16_t m_pciIds[4] = {};   // vendor, device, subsystem vendor, subsystem
    NvCoolerSettings m_coolerSettings = {};
    uint32_t m_pstate = kNvPstateUndefined;

private:
    // A driver without the interface answers as the SDK's own stubs do. A
    // status that tells of a reset marks the driver lost; while it is lost
    // every call first tries to bring it back.
    template <typename Fn, typename... Args> NvStatus Call(uint32_t id, Args... args)
    {
        if (m_lost && !Recover()) return kNvHandleInvalidated;
        const NvStatus status = Raw<Fn>(id, args...);
        if (status == kNvHandleInvalidated || status == kNvNotInitialized) m_lost = true;
        return status;
    }
    // Resolves the GPU index; kNvInvalidArgument without a call when it is out of range.
    template <typename Fn, typename... Args> NvStatus CallGpu(uint32_t id, int gpuIndex, Args... args)
    {
        if (m_lost && !Recover()) return kNvHandleInvalidated;
        const int index = gpuIndex == -1 ? m_gpuIndex : gpuIndex;
        if (index < 0 || static_cast<uint32_t>(index) >= m_gpuCount)
            return kNvInvalidArgument;
        return Call<Fn>(id, m_gpuHandles[index], args...);
    }
    template <typename Fn, typename... Args> NvStatus Raw(uint32_t id, Args... args) const
    {
        const auto entry = reinterpret_cast<Fn>(m_driver.Query(id));
        return entry ? entry(args...) : kNvNoImplementation;
    }
    // Initialises the driver and enumerates GPUs and displays: 0 ok, 1 the
    // initialisation failed, 2 the enumeration failed.
    int Start();
    // One attempt at most a second; true once the driver is back.
    bool Recover();
    int GetShortString(uint32_t id, char* text, int gpuIndex);
    int GetGpuWord(uint32_t id, uint32_t& value, int gpuIndex);
    int ResolvedIndex(int gpuIndex) const { return gpuIndex == -1 ? m_gpuIndex : gpuIndex; }
    // False, with kGpuWriteHeldBack in m_status, when the gate holds writes back.
    bool MayWrite();
    // Policy information, valid flag set.
    bool ReadPowerInfo(NvPowerPolicyInfo& record, int gpuIndex);
    // The fans of every card, found anew.
    void DetectAllFans();
    bool ValidGpu(int index) const { return index >= 0 && static_cast<uint32_t>(index) < m_gpuCount; }

    // A card's fans as last read: their ids, limits and levels.
    struct CardFans {
        FanInterface api = FanInterface::None;
        uint32_t count = 0;
        uint32_t id[kNvMaxFanCoolers] = {};
        uint32_t minLevel[kNvMaxFanCoolers] = {}, maxLevel[kNvMaxFanCoolers] = {};
        uint32_t level[kNvMaxFanCoolers] = {};
    };
    bool ReadClientFans(CardFans& fans, GpuReading* reading, int gpuIndex);
    bool ReadCoolerFans(CardFans& fans, GpuReading* reading, int gpuIndex);
    // Every fan of the card in one write: manual at level, or the driver's.
    int WriteFans(int gpuIndex, uint32_t level, bool manual);
    CardFans m_fans[kNvMaxPhysicalGpus];
    void TellSelectionListeners();

    std::string m_driverFile;
    CNvApiLoader m_driver;
    bool m_lost = false;
    bool m_attempted = false;
    uint64_t m_lastAttempt = 0;
    unsigned m_recoveries = 0;
    uint64_t (*m_now)() = nullptr;
    GpuWriteObserver* m_observer = nullptr;
    std::vector<GpuSelectionListener*> m_selectionListeners;
    const GpuWriteGate* m_gate = nullptr;
};
