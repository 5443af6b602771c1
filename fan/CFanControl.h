#pragma once
// CFanControl: drives cooler 0 of the selected GPU along the fan curve while
// the fan is not the driver's, and never leaves a fan at a level of its own
// behind: every GPU on which such a level may be in force is remembered, its
// hand-back tried again at every tick until the driver takes it, and guarded
// by a process that outlives this one (CFanGuard).
#include <cstdint>

#include "fan/CFanGuard.h"
#include "fan/FanCurve.h"

class CGpuControl;
class CIniFile;

class CFanControl : public FanCurveFollower {
public:
    // Both outlive this object; the profile's path may be set later, before Load.
    CFanControl(CGpuControl& gpu, const CIniFile& ini) : m_gpu(gpu), m_ini(ini) {}

    // The stored curve and mode, on the selected GPU; in curve mode the fan is
    // taken at the first tick.
    void Load();
    const FanCurvePoints& Curve() const { return m_curve; }
    // 1: the driver's, 0: the curve's. The curve gives the fan back to the
    // driver by itself when no guard can be started for it.
    int FanAuto() const { return m_auto; }
    // The GPUs on which a level of ours may be in force.
    GpuSet Held() const { return m_held; }

    // The switch: to the driver (handing the fan back) or to the curve, and kept.
    void SetFanAuto(int fanAuto);
    // Follows the curve from the next tick on and keeps it in the profile.
    void ApplyFanCurve(const FanCurvePoints& points) override;

    // Every refresh, with the selected GPU's temperature: follows a change of
    // GPU, the curve, and a driver back from a reset, and retries hand-backs
    // the driver refused. The selected GPU's fan level in per cent, 0 when it
    // cannot be read.
    unsigned Tick(unsigned temperature);
    // The level is written again at the next tick (a card back from sleep
    // may have lost it).
    void WriteAgain() { m_lastSegment = 0; }
    // The program ends: every fan of ours goes back to the driver, and the
    // fan is the driver's from here on.
    void Release();

private:
    // Rebuilds the segments; the next tick picks its segment afresh from them.
    void UseFanCurve(const FanCurvePoints& points);
    // The fan goes with the GPU the settings panel selected; the one left is
    // handed back to the driver.
    void FollowSelectedGpu();
    void ReadFanLimits();
    void FollowFanCurve(unsigned temperature);
    // Cooler 0 of the GPU back to the driver at the level it was last seen at;
    // true when the driver took it. Refused, the GPU stays held.
    bool HandBack(int gpuIndex);
    void HandBackAll(GpuSet gpus);
    void RetryHandBacks();
    void Guard() { m_guard.Hold(m_held); }
    GpuSet FanGpuBit() const;

    CGpuControl& m_gpu;
    const CIniFile& m_ini;
    int m_auto = 1;
    FanCurvePoints m_curve = {};
    FanCurveSegment m_segments[kMaxFanCurveSegments] = {};
    int m_segmentCount = 0;
    int m_segmentIndex = 0, m_lastSegment = 0;
    int m_minLevel = 0, m_maxLevel = 0;
    int m_fanGpu = 0;  // the GPU whose cooler the curve drives
    // GPUs on which a level of ours may be in force, and each one's last seen level.
    GpuSet m_held = 0;
    uint32_t m_levels[kMaxGuardedGpus] = {};
    unsigned m_driverRecoveries = 0;  // seen so far: after a driver reset the curve is written again
    CFanGuard m_guard;               // while m_held is not empty
};
