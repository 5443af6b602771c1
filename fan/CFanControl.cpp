#include "fan/CFanControl.h"

#include <windows.h>

#include <algorithm>

#include "gpu/GpuControl.h"

namespace {
bool ValidGpu(int gpuIndex) { return gpuIndex >= 0 && gpuIndex < kMaxGuardedGpus; }

constexpr char kGuardFailed[] =
    "The fan guard could not be started or did not answer: the fans stay with the driver.";
constexpr char kGuardLost[] =
    "The fan guard ended and no other could be started: the fans are back with the driver.";
constexpr char kTemperatureLost[] =
    "The card's temperature could not be read for 3 seconds: its fans are back with the driver until it can.";
}  // namespace

GpuSet CFanControl::FanGpuBit() const { return ValidGpu(m_fanGpu) ? GpuBit(m_fanGpu) : 0; }

CFanControl::CFanControl(CGpuControl& gpu, const CIniFile& ini) : m_gpu(gpu), m_ini(ini)
{
    m_gpu.AddSelectionListener(this);
}

CFanControl::~CFanControl() { m_gpu.RemoveSelectionListener(this); }

uint64_t CFanControl::Now() const { return m_now ? m_now() : ::GetTickCount64(); }

bool CFanControl::CanDrive() const { return m_gpu.HasFanControl(m_fanGpu); }

void CFanControl::Load()
{
    FanCurvePoints curve;
    m_auto = ReadFanSettings(m_ini, curve);
    m_fanGpu = m_gpu.m_gpuIndex;
    m_gpuChanged = false;
    m_driverRecoveries = m_gpu.Recoveries();
    m_lastTemperatureAt = Now();
    UseFanCurve(curve);
}

bool CFanControl::SetFanAuto(int fanAuto)
{
    if (!fanAuto && !CanDrive()) return false;
    m_auto = fanAuto ? 1 : 0;
    if (m_auto)
        HandBack(m_fanGpu);
    else
        m_written = false;
    WriteFanMode(m_ini, m_auto);
    return true;
}

bool CFanControl::ApplyFanCurve(const FanCurvePoints& points)
{
    UseFanCurve(points);
    WriteFanCurve(m_ini, points);
    return CanDrive();
}

// A segment index kept from the old table could name a segment the new one
// does not have.
void CFanControl::UseFanCurve(const FanCurvePoints& points)
{
    std::copy(std::begin(points), std::end(points), m_curve);
    m_segmentCount = BuildFanCurveSegments(points, m_segments);
    m_segmentIndex = 0;
    m_written = false;
    // With nothing to follow, the driver takes the fans rather than leaving them at a fixed level.
    if (m_segmentCount == 0 && !m_auto) HandBack(m_fanGpu);
}

void CFanControl::Tick(const GpuReading& reading)
{
    RetryHandBacks();
    if (m_gpuChanged) FollowSelectedGpu();
    // A driver back from a reset has forgotten the level the curve wrote.
    if (m_gpu.Recoveries() != m_driverRecoveries) {
        m_driverRecoveries = m_gpu.Recoveries();
        m_written = false;
    }
    WatchGuard();
    if (reading.temperature) {
        m_lastTemperatureAt = Now();
        m_blind = false;
        FollowFanCurve(*reading.temperature);
    } else {
        FollowBlind();
    }
}

void CFanControl::FollowSelectedGpu()
{
    m_gpuChanged = false;
    if (!m_auto) HandBack(m_fanGpu);
    m_fanGpu = m_gpu.m_gpuIndex;
    m_gpu.DetectFans(m_fanGpu);
    m_segmentIndex = 0;
    m_written = false;
}

// The level is written once per change of it: a new segment, or crossing
// 80 degrees C, above which the fans run at their maximum whatever the step.
void CFanControl::FollowFanCurve(unsigned temperature)
{
    if (m_segmentCount < 1 || FanAuto() || !ValidGpu(m_fanGpu)) return;
    if (int found = FindFanCurveSegment(m_segments, m_segmentCount, temperature)) m_segmentIndex = found;
    if (m_segmentIndex < 1) return;
    // Each fan's own limits are kept by the GPU layer.
    const int level = FanCurveLevel(m_segments[m_segmentIndex - 1], temperature, 0, 100);
    if (m_written && level == m_lastLevel) return;
    // No level of ours is ever in force without a guard that outlives us: a
    // guard that cannot start leaves the fans with the driver.
    if (!Guarded(m_held | FanGpuBit())) return;
    m_held |= FanGpuBit();
    // A write that failed is tried again at the next tick.
    m_written = m_gpu.SetFansManual(static_cast<uint32_t>(level), m_fanGpu) != 0;
    m_lastLevel = level;
}

void CFanControl::FollowBlind()
{
    if (m_blind || !(m_held & FanGpuBit()) || FanAuto()) return;
    if (Now() - m_lastTemperatureAt < kBlindLimitMs) return;
    m_blind = true;
    HandBack(m_fanGpu);
    // The curve takes the fans again at the first good reading.
    m_written = false;
    m_notice = kTemperatureLost;
}

// A guard replacing another (the set changed) is looked at too.
void CFanControl::WatchGuard()
{
    if (m_held == 0) return;
    const bool ended = m_guard.ForgetEnded();
    if (m_guard.Hold(m_held) != CFanGuard::Guarding::Failed || !ended) return;
    HandBackAll(m_held);
    m_auto = 1;
    m_notice = kGuardLost;
}

bool CFanControl::Guarded(GpuSet gpus)
{
    switch (m_guard.Hold(gpus)) {
    case CFanGuard::Guarding::Ready:
        return true;
    case CFanGuard::Guarding::Starting:
        return false;
    case CFanGuard::Guarding::Failed:
        break;
    }
    m_auto = 1;
    m_notice = kGuardFailed;
    return false;
}

CFanGuard::Guarding CFanControl::TakeFans()
{
    if (FanAuto()) return CFanGuard::Guarding::Failed;
    if (m_segmentCount < 1) return CFanGuard::Guarding::Ready;  // nothing to hold the fans at
    return Guarded(m_held | FanGpuBit()) ? CFanGuard::Guarding::Ready
           : FanAuto()                   ? CFanGuard::Guarding::Failed
                                         : CFanGuard::Guarding::Starting;
}

// Should the driver refuse, the GPU stays held: the next tick asks again, and
// the guard hands it back once the program ends. A card whose fans cannot be
// driven has nothing of ours in force unless it is held.
bool CFanControl::HandBack(int gpuIndex)
{
    if (!ValidGpu(gpuIndex)) return false;
    if (!(m_held & GpuBit(gpuIndex)) && !m_gpu.HasFanControl(gpuIndex)) return true;
    if (!m_gpu.SetFansAuto(gpuIndex)) return false;
    if (m_held & GpuBit(gpuIndex)) {
        m_held &= ~GpuBit(gpuIndex);
        // A guard of the larger set keeps guarding until one of this set answers.
        m_guard.Hold(m_held);
    }
    return true;
}

void CFanControl::HandBackAll(GpuSet gpus)
{
    for (int index = 0; gpus != 0; ++index, gpus >>= 1)
        if (gpus & 1) HandBack(index);
}

// Every held fan the curve does not drive now.
void CFanControl::RetryHandBacks() { HandBackAll(FanAuto() || m_blind ? m_held : m_held & ~FanGpuBit()); }

void CFanControl::Release()
{
    const GpuSet gpus = FanAuto() ? m_held : m_held | FanGpuBit();
    m_auto = 1;
    HandBackAll(gpus);
}

bool CFanControl::TakeNotice(std::string& text)
{
    if (m_notice.empty()) return false;
    text.swap(m_notice);
    m_notice.clear();
    return true;
}
