#include "nvsim/GpuModel.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kFanTauMs = 1500;   // how quickly the driver's curve moves the fan
}

GpuModel::GpuModel(const GpuConfig& config) : m_config(config), m_temp(config.startTemp)
{
    m_tempAlpha = 1 - std::exp(-static_cast<double>(kTickMs) / config.thermalTauMs);
    std::fill(std::begin(m_coolerPolicy), std::end(m_coolerPolicy), kNvCoolerPolicyAuto);
    std::fill(std::begin(m_powerTarget), std::end(m_powerTarget), config.powerDefault);
    double start = FanCurve();
    std::fill(std::begin(m_coolerLevel), std::end(m_coolerLevel), start);
}

double GpuModel::LoadAt(uint64_t timeMs) const
{
    if (m_heldLoad >= 0) return m_heldLoad;
    double load = m_config.load;
    if (m_config.loadPeriodMs > 0) {
        double phase = static_cast<double>((timeMs + m_config.loadPhaseMs) % m_config.loadPeriodMs);
        load += m_config.loadAmplitude * std::sin(2 * kPi * phase / m_config.loadPeriodMs);
    }
    return std::clamp(load, 0.0, 100.0);
}

double GpuModel::FanCurve() const
{
    double share = (m_temp - m_config.fanCurveLow) / (m_config.fanCurveHigh - m_config.fanCurveLow);
    share = std::clamp(share, 0.0, 1.0);
    return m_config.coolerMin + share * (static_cast<double>(m_config.coolerMax) - m_config.coolerMin);
}

void GpuModel::Tick(uint64_t timeMs)
{
    double curve = FanCurve();
    double fanAlpha = 1 - std::exp(-static_cast<double>(kTickMs) / kFanTauMs);
    for (uint32_t c = 0; c < m_config.coolers; ++c) {
        if (m_coolerPolicy[c] == kNvCoolerPolicyAuto) m_coolerLevel[c] += (curve - m_coolerLevel[c]) * fanAlpha;
    }
    // A card without coolers is cooled like one whose fan idles at 30 %.
    double fan = m_config.coolers ? m_coolerLevel[0] : 30;
    double heat = 0.15 + 0.85 * LoadAt(timeMs) / 100;
    double cooling = 0.5 + fan / 100;
    double equilibrium = m_config.ambient + m_config.heatRise * heat / cooling;
    m_temp += (equilibrium - m_temp) * m_tempAlpha;
}

int GpuModel::Temperature() const
{
    return static_cast<int>(std::lround(m_temp));
}

int GpuModel::CoolerLevel(uint32_t cooler) const
{
    return static_cast<int>(std::lround(m_coolerLevel[cooler]));
}

int GpuModel::PstateEntry(int32_t pstate) const
{
    const auto& list = m_config.pstates;
    auto found = std::find(list.begin(), list.end(), pstate);
    return found == list.end() ? -1 : static_cast<int>(found - list.begin());
}

uint32_t GpuModel::Clock(ClockSlot slot, uint32_t clockType, uint64_t timeMs) const
{
    const ClockConfig& clock = m_config.clocks[slot];
    if (!clock.present) return 0;
    int entry = std::max(PstateEntry(m_config.currentPstate), 0);
    double base = clock.type == kNvPstateClockSingle ? clock.freq : clock.minFreq;
    if (clock.type == kNvPstateClockRange) {
        double top = clock.maxFreq;
        if (clockType == kNvClockTypeBoost) base = top;
        else if (clockType == kNvClockTypeCurrent) base += (top - base) * LoadAt(timeMs) / 100;
    }
    double kHz = base + m_offsets[entry][slot];
    return static_cast<uint32_t>(std::max(0.0, std::round(kHz)));
}
