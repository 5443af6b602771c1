// One simulated GPU: its scenario description plus what changes while it runs
// (temperature, load, fan levels and policies, clock offsets, power targets).
// Time advances in fixed 10 ms ticks, so a run is the same however it is sliced.
#pragma once

#include "gpu/NvApiTypes.h"
#include "nvsim/Scenario.h"

class GpuModel {
public:
    static constexpr unsigned kTickMs = 10;

    explicit GpuModel(const GpuConfig& config);

    const GpuConfig& Config() const { return m_config; }
    // One tick ending at timeMs.
    void Tick(uint64_t timeMs);

    double LoadAt(uint64_t timeMs) const;
    void HoldLoad(double percent) { m_heldLoad = percent; }
    int Temperature() const;
    void SetTemperature(double celsius) { m_temp = celsius; }

    int CoolerLevel(uint32_t cooler) const;
    void SetCoolerLevel(uint32_t cooler, double level) { m_coolerLevel[cooler] = level; }
    uint32_t CoolerPolicy(uint32_t cooler) const { return m_coolerPolicy[cooler]; }
    void SetCoolerPolicy(uint32_t cooler, uint32_t policy) { m_coolerPolicy[cooler] = policy; }

    // Index in the P-state table of a P-state number, or -1.
    int PstateEntry(int32_t pstate) const;
    int32_t Offset(int entry, ClockSlot slot) const { return m_offsets[entry][slot]; }
    void SetOffset(int entry, ClockSlot slot, int32_t kHz) { m_offsets[entry][slot] = kHz; }
    // Clock of a slot in the current P-state, for a clock type (current, base, boost), kHz.
    uint32_t Clock(ClockSlot slot, uint32_t clockType, uint64_t timeMs) const;

    uint32_t PowerTarget(uint32_t policy) const { return m_powerTarget[policy]; }
    void SetPowerTarget(uint32_t policy, uint32_t target) { m_powerTarget[policy] = target; }

private:
    double FanCurve() const;

    GpuConfig m_config;
    double m_temp;
    double m_heldLoad = -1;          // negative: the scenario's load pattern
    double m_tempAlpha;              // share of the gap to equilibrium closed per tick
    double m_coolerLevel[kNvMaxCoolers];
    uint32_t m_coolerPolicy[kNvMaxCoolers];
    int32_t m_offsets[kNvMaxPstates20][kClockSlots] = {};
    uint32_t m_powerTarget[kNvMaxPowerPolicies];
};
