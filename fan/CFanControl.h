#pragma once
// CFanControl: drives every fan of the selected card along the fan curve while
// the fans are not the driver's, and never leaves a fan at a level of its own
// behind: every card on which such a level may be in force is remembered, its
// hand-back tried again at every tick until the driver takes it, and guarded
// by a process that outlives this one (CFanGuard). A card whose fans the
// system controls (a laptop, say) is never written to; its stored fan mode is
// kept for a card that can take it.
#include <cstdint>
#include <string>

#include "fan/CFanGuard.h"
#include "fan/FanCurve.h"
#include "gpu/GpuControl.h"
#include "gpu/GpuReading.h"

class CIniFile;

class CFanControl : public FanCurveFollower, public GpuSelectionListener {
public:
    // What a card whose fans cannot be driven says, wherever it is asked to.
    static constexpr char kNoFanControl[] = "This card's fans are controlled by the system";
    // Without a temperature for this long, the fans go back to the driver.
    static constexpr uint64_t kBlindLimitMs = 3000;

    // Both outlive this object; the profile's path may be set later, before Load.
    CFanControl(CGpuControl& gpu, const CIniFile& ini);
    ~CFanControl();
    CFanControl(const CFanControl&) = delete;
    CFanControl& operator=(const CFanControl&) = delete;

    // The stored curve and mode, on the selected GPU; in curve mode the fans
    // are taken at the first tick.
    void Load();
    const FanCurvePoints& Curve() const { return m_curve; }
    // Whether the selected card's fans can be driven at all.
    bool CanDrive() const;
    // 1: the driver's, 0: the curve's. The fans are the driver's on a card
    // that cannot be driven, and when no guard can be started for them.
    int FanAuto() const { return m_auto || !CanDrive() ? 1 : 0; }
    // The GPUs on which a level of ours may be in force.
    GpuSet Held() const { return m_held; }

    // The switch: to the driver (handing the fans back) or to the curve, and
    // kept. False when the card's fans cannot be driven (nothing is kept).
    bool SetFanAuto(int fanAuto);
    // Follows the curve from the next tick on and keeps it in the profile;
    // false when the card's fans cannot be driven (the curve is kept).
    bool ApplyFanCurve(const FanCurvePoints& points) override;

    // The fans go with the newly selected GPU from the next tick on.
    void SelectedGpuChanged(int) override { m_gpuChanged = true; }
    // Every refresh, with the selected GPU's reading: follows a change of
    // GPU, the curve, a driver back from a reset and a guard that ended, and
    // retries hand-backs the driver refused.
    void Tick(const GpuReading& reading);
    // The level is written again at the next tick (a card back from sleep
    // may have lost it).
    void WriteAgain() { m_written = false; }
    // The program ends: every fan of ours goes back to the driver, and the
    // fans are the driver's from here on.
    void Release();
    // Curve mode asked for by a command: the guard for the selected card's
    // fans, started now. Ready: guarded (or nothing to hold); Starting: ask
    // again; Failed: the fans stay the driver's.
    CFanGuard::Guarding TakeFans();
    // What the user is to be told (once per event), for a balloon.
    bool TakeNotice(std::string& text);
    // The clock the temperature's absence is timed by, in milliseconds; tests give their own.
    void SetClock(uint64_t (*now)()) { m_now = now; }

private:
    // Rebuilds the segments; the next tick picks its segment afresh from them.
    void UseFanCurve(const FanCurvePoints& points);
    // The fans go with the GPU the settings panel selected; the card left is
    // handed back to the driver.
    void FollowSelectedGpu();
    void FollowFanCurve(unsigned temperature);
    // Without a temperature the curve cannot be followed: after a while the
    // driver, whose own control follows the card's heat, has the fans again.
    void FollowBlind();
    // A guard that ended while fans are held is replaced, or the fans go back.
    void WatchGuard();
    // Whether a guard of the set is in force; one that cannot be had leaves
    // the fans to the driver, and says so.
    bool Guarded(GpuSet gpus);
    // Every fan of the GPU back to the driver; true when the driver took
    // them. Refused, the GPU stays held.
    bool HandBack(int gpuIndex);
    void HandBackAll(GpuSet gpus);
    void RetryHandBacks();
    GpuSet FanGpuBit() const;
    uint64_t Now() const;

    CGpuControl& m_gpu;
    const CIniFile& m_ini;
    int m_auto = 1;
    FanCurvePoints m_curve = {};
    FanCurveSegment m_segments[kMaxFanCurveSegments] = {};
    int m_segmentCount = 0;
    int m_segmentIndex = 0;
    bool m_written = false;  // the level below is in force
    int m_lastLevel = 0;
    int m_fanGpu = 0;  // the GPU whose fans the curve drives
    bool m_gpuChanged = false;  // another GPU is selected: the fans follow at the next tick
    GpuSet m_held = 0;  // GPUs on which a level of ours may be in force
    unsigned m_driverRecoveries = 0;  // seen so far: after a driver reset the curve is written again
    uint64_t m_lastTemperatureAt = 0;
    bool m_blind = false;  // the fans were handed back for want of a temperature
    std::string m_notice;
    uint64_t (*m_now)() = nullptr;
    CFanGuard m_guard;  // while m_held is not empty
};
