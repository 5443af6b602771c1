#include "fan/CFanControl.h"

#include <algorithm>

#include "gpu/GpuControl.h"

namespace {
bool ValidGpu(int gpuIndex) { return gpuIndex >= 0 && gpuIndex < kMaxGuardedGpus; }
}  // namespace

GpuSet CFanControl::FanGpuBit() const { return ValidGpu(m_fanGpu) ? GpuBit(m_fanGpu) : 0; }

void CFanControl::Load()
{
    FanCurvePoints curve;
    m_auto = ReadFanSettings(m_ini, curve);
    m_fanGpu = m_gpu.m_gpuIndex;
    m_driverRecoveries = m_gpu.Recoveries();
    ReadFanLimits();
    UseFanCurve(curve);
}

void CFanControl::ReadFanLimits()
{
    NvCoolerSettings settings{};
    m_gpu.GetCoolerSettings(settings, m_fanGpu, 0);
    m_minLevel = static_cast<int>(settings.cooler[0].defaultMinLevel);
    m_maxLevel = static_cast<int>(settings.cooler[0].defaultMaxLevel);
}

void CFanControl::SetFanAuto(int fanAuto)
{
    m_auto = fanAuto ? 1 : 0;
    if (m_auto)
        HandBack(m_fanGpu);
    else
        m_lastSegment = 0;
    WriteFanMode(m_ini, m_auto);
}

void CFanControl::ApplyFanCurve(const FanCurvePoints& points)
{
    UseFanCurve(points);
    WriteFanCurve(m_ini, points);
}

// A segment index kept from the old table could name a segment the new one
// does not have.
void CFanControl::UseFanCurve(const FanCurvePoints& points)
{
    std::copy(std::begin(points), std::end(points), m_curve);
    m_segmentCount = BuildFanCurveSegments(points, m_segments);
    m_segmentIndex = 0;
    m_lastSegment = 0;
    // With nothing to follow, the driver takes the fan rather than leaving it at a fixed level.
    if (m_segmentCount == 0 && !m_auto) HandBack(m_fanGpu);
}

unsigned CFanControl::Tick(unsigned temperature)
{
    RetryHandBacks();
    if (m_gpu.m_gpuIndex != m_fanGpu) FollowSelectedGpu();
    const uint32_t fanLevel = m_gpu.GetCoolerLevel(-1, 0);
    if (ValidGpu(m_fanGpu)) m_levels[m_fanGpu] = fanLevel;
    // A driver back from a reset has forgotten the level the curve wrote.
    if (m_gpu.Recoveries() != m_driverRecoveries) {
        m_driverRecoveries = m_gpu.Recoveries();
        m_lastSegment = 0;
    }
    FollowFanCurve(temperature);
    return fanLevel;
}

void CFanControl::FollowSelectedGpu()
{
    if (!m_auto) HandBack(m_fanGpu);
    m_fanGpu = m_gpu.m_gpuIndex;
    ReadFanLimits();
    m_segmentIndex = 0;
    m_lastSegment = 0;
}

void CFanControl::FollowFanCurve(unsigned temperature)
{
    if (m_segmentCount < 1 || m_auto || !ValidGpu(m_fanGpu)) return;
    if (int found = FindFanCurveSegment(m_segments, m_segmentCount, temperature)) m_segmentIndex = found;
    if (m_segmentIndex == m_lastSegment || m_segmentIndex < 1) return;
    const int level = FanCurveLevel(m_segments[m_segmentIndex - 1], temperature, m_minLevel, m_maxLevel);
    // No level of ours is ever in force without a guard that outlives us: a
    // guard that cannot start leaves the fan with the driver.
    if (!m_guard.Hold(m_held | FanGpuBit())) {
        m_auto = 1;
        return;
    }
    m_held |= FanGpuBit();
    // A write that failed is tried again at the next tick.
    if (m_gpu.SetCoolerLevel(static_cast<uint32_t>(level), kNvCoolerPolicyManual, m_fanGpu, 0))
        m_lastSegment = m_segmentIndex;
}

// Should the driver refuse, the GPU stays held: the next tick asks again, and
// the guard hands it back once the program ends.
bool CFanControl::HandBack(int gpuIndex)
{
    if (!ValidGpu(gpuIndex)) return false;
    if (!m_gpu.SetCoolerLevel(m_levels[gpuIndex], kNvCoolerPolicyAuto, gpuIndex, 0)) return false;
    if (m_held & GpuBit(gpuIndex)) {
        m_held &= ~GpuBit(gpuIndex);
        Guard();
    }
    return true;
}

void CFanControl::HandBackAll(GpuSet gpus)
{
    for (int index = 0; gpus != 0; ++index, gpus >>= 1)
        if (gpus & 1) HandBack(index);
}

// Every held fan the curve does not drive now.
void CFanControl::RetryHandBacks() { HandBackAll(m_auto ? m_held : m_held & ~FanGpuBit()); }

void CFanControl::Release()
{
    const GpuSet gpus = m_auto ? m_held : m_held | FanGpuBit();
    m_auto = 1;
    HandBackAll(gpus);
}
