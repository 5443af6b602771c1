#pragma once
// One reading of a card: what the main window, the notification icon, the
// monitor, the log, the fan room and the command line show or follow, read
// once and in the units shown. A value that could not be read is empty.
#include <optional>
#include <string>

#include "gpu/NvApiTypes.h"

constexpr int kMaxFans = static_cast<int>(kNvMaxFanCoolers);

struct FanReading {
    std::optional<unsigned> level;  // per cent
    std::optional<unsigned> rpm;    // where the card reports it
};

struct GpuReading {
    std::optional<unsigned> temperature;  // degrees C
    std::optional<unsigned> fanLevel;     // per cent: the first fan's
    std::optional<unsigned> engineClock;  // MHz
    std::optional<unsigned> memoryClock;  // MHz, the effective (double data rate) clock
    int fanCount = 0;                     // fans read; none on a card without fan control
    FanReading fans[kMaxFans];
};

// Every fan of the reading, space-separated: its level with its speed where
// the card reports one ("60%/1800rpm 58%/1750rpm", "45%"); a level that could
// not be read is "-". Empty without fans.
std::string FanListText(const GpuReading& reading);
