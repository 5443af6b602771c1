// CGpuControl: a card's fans over the interface it answers, and one reading
// of a card.
#include <algorithm>

#include "gpu/GpuControl.h"

namespace {
void ClearFans(GpuReading& reading)
{
    reading.fanCount = 0;
    reading.fanLevel.reset();
    std::fill(std::begin(reading.fans), std::end(reading.fans), FanReading{});
}
}  // namespace

std::string FanListText(const GpuReading& reading)
{
    std::string text;
    for (int i = 0; i < reading.fanCount; ++i) {
        const FanReading& fan = reading.fans[i];
        if (i > 0) text += ' ';
        text += fan.level ? std::to_string(*fan.level) + "%" : "-";
        if (fan.rpm) text += "/" + std::to_string(*fan.rpm) + "rpm";
    }
    return text;
}

bool CGpuControl::ReadClientFans(CardFans& fans, GpuReading* reading, int gpuIndex)
{
    NvFanCoolersStatus record = {};
    record.version = NvVer::FanCoolersStatus;
    m_status = CallGpu<NvFanCoolersStatusFn>(NvId::ClientFanCoolersGetStatus, gpuIndex, &record);
    if (m_status != kNvOk || record.count == 0) return false;
    fans.count = std::min(record.count, kNvMaxFanCoolers);
    for (uint32_t i = 0; i < fans.count; ++i) {
        const NvFanCoolerStatusEntry& item = record.items[i];
        fans.id[i] = item.coolerId;
        fans.minLevel[i] = item.currentMinLevel;
        fans.maxLevel[i] = std::max(item.currentMaxLevel, item.currentMinLevel);
        fans.level[i] = item.currentLevel;
        if (reading) reading->fans[i] = {item.currentLevel, item.currentRpm};
    }
    return true;
}

bool CGpuControl::ReadCoolerFans(CardFans& fans, GpuReading* reading, int gpuIndex)
{
    if (!GetCoolerSettings(m_coolerSettings, gpuIndex, 0) || m_coolerSettings.count == 0) return false;
    fans.count = std::min(m_coolerSettings.count, kNvMaxCoolers);
    for (uint32_t i = 0; i < fans.count; ++i) {
        const NvCoolerEntry& cooler = m_coolerSettings.cooler[i];
        fans.id[i] = i;
        fans.minLevel[i] = cooler.defaultMinLevel;
        fans.maxLevel[i] = std::max(cooler.defaultMaxLevel, cooler.defaultMinLevel);
        fans.level[i] = cooler.currentLevel;
        if (reading) reading->fans[i].level = cooler.currentLevel;
    }
    return true;
}

FanInterface CGpuControl::DetectFans(int gpuIndex)
{
    const int index = ResolvedIndex(gpuIndex);
    if (!ValidGpu(index)) return FanInterface::None;
    CardFans& fans = m_fans[index];
    fans = CardFans{};
    if (ReadClientFans(fans, nullptr, index))
        fans.api = FanInterface::Client;
    else if (ReadCoolerFans(fans, nullptr, index))
        fans.api = FanInterface::Cooler;
    else
        fans = CardFans{};
    return fans.api;
}

// A card without the client interface refuses its read: that is no failure
// of the start.
void CGpuControl::DetectAllFans()
{
    const int32_t status = m_status;
    for (uint32_t index = 0; index < m_gpuCount; ++index) DetectFans(static_cast<int>(index));
    m_status = status;
}

FanInterface CGpuControl::FansOf(int gpuIndex) const
{
    const int index = ResolvedIndex(gpuIndex);
    return ValidGpu(index) ? m_fans[index].api : FanInterface::None;
}

int CGpuControl::ReadFans(GpuReading& reading, int gpuIndex)
{
    ClearFans(reading);
    const int index = ResolvedIndex(gpuIndex);
    if (m_lost && !Recover()) return 0;
    if (!ValidGpu(index)) return 0;
    CardFans& fans = m_fans[index];
    const bool read = fans.api == FanInterface::Client   ? ReadClientFans(fans, &reading, index)
                      : fans.api == FanInterface::Cooler ? ReadCoolerFans(fans, &reading, index)
                                                         : false;
    if (!read) return 0;
    reading.fanCount = static_cast<int>(fans.count);
    reading.fanLevel = reading.fans[0].level;
    return 1;
}

int CGpuControl::SetFansManual(uint32_t level, int gpuIndex) { return WriteFans(gpuIndex, level, true); }

int CGpuControl::SetFansAuto(int gpuIndex) { return WriteFans(gpuIndex, 0, false); }

// Manual: each fan at the level within its own limits. Back to the driver:
// each fan carries the level it was last seen at, as the older interface has
// always been given it.
int CGpuControl::WriteFans(int gpuIndex, uint32_t level, bool manual)
{
    if (!MayWrite()) return 0;
    const int index = ResolvedIndex(gpuIndex);
    if (m_lost && !Recover()) return 0;
    if (!ValidGpu(index) || m_fans[index].api == FanInterface::None) {
        m_status = kNvNotSupported;
        return 0;
    }
    CardFans& fans = m_fans[index];
    const auto levelOf = [&](uint32_t i) {
        return manual ? std::clamp(level, fans.minLevel[i], fans.maxLevel[i]) : fans.level[i];
    };
    bool written;
    if (fans.api == FanInterface::Cooler) {
        written = SetCoolerLevel(levelOf(0), manual ? kNvCoolerPolicyManual : kNvCoolerPolicyAuto, index, 0) != 0;
    } else {
        NvFanCoolersControl record = {};
        record.version = NvVer::FanCoolersControl;
        record.count = fans.count;
        for (uint32_t i = 0; i < fans.count; ++i)
            record.items[i] = {fans.id[i], levelOf(i), manual ? kNvFanControlManual : kNvFanControlAuto, {}};
        m_status = CallGpu<NvFanCoolersControlFn>(NvId::ClientFanCoolersSetControl, index, &record);
        written = m_status == kNvOk;
        if (written && m_observer) m_observer->FanLevelWritten(index, levelOf(0), manual);
    }
    // The fans run at the level written until they are read again.
    if (written && manual)
        for (uint32_t i = 0; i < fans.count; ++i) fans.level[i] = levelOf(i);
    return written ? 1 : 0;
}

int CGpuControl::Read(GpuReading& reading, int gpuIndex)
{
    reading.temperature.reset();
    reading.engineClock.reset();
    reading.memoryClock.reset();
    // A driver that reports no sensor leaves the value as it was.
    uint32_t celsius = UINT32_MAX;
    if (GetTemperature(celsius, gpuIndex) && celsius != UINT32_MAX) reading.temperature = celsius;
    GpuClockInfo clocks{};
    if (GetCurrentClocks(clocks, gpuIndex)) {
        reading.engineClock = EngineClockMHz(clocks);
        reading.memoryClock = MemoryClockMHz(clocks);
    }
    const bool fansRead = ReadFans(reading, gpuIndex) != 0;
    return reading.temperature && reading.engineClock && fansRead ? 1 : 0;
}
