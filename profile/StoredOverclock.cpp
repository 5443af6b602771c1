#include "profile/StoredOverclock.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {
const char kSection[] = "Overclock";
const char kAllGpusKey[] = "AllGpus";
const char kGuardKey[] = "StartGuard";
const char kRunning[] = "running";
const char kTripped[] = "tripped";

// Each value's key and the range a stored one must keep to: wider than any
// card's limits, which are applied when the value is.
struct ValueKey {
    const char* key;
    std::optional<int> OverclockSettings::*value;
    long lowest, highest;
};
const ValueKey kValueKeys[] = {
    {"PowerTarget", &OverclockSettings::powerTarget, 0, 1000},
    {"FrameTarget", &OverclockSettings::frameTarget, 40, 255},  // all the panel offers
    {"GpuOffset", &OverclockSettings::gpuOffset, -10000, 10000},
    {"MemOffset", &OverclockSettings::memOffset, -10000, 10000},
};

// A whole decimal number, optionally signed, and nothing else.
std::optional<long> WholeNumber(const std::string& text)
{
    if (text.empty() || text.size() > 12) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || text.find_first_of(" \t+") != std::string::npos) return std::nullopt;
    return value;
}
}  // namespace

StoredOverclock ReadStoredOverclock(const CIniFile& ini)
{
    StoredOverclock stored;
    const std::string allGpus = ini.ReadText(kSection, kAllGpusKey);
    bool valid = allGpus == "0" || allGpus == "1";
    bool any = !allGpus.empty();
    stored.settings.allGpus = allGpus == "1";
    for (const ValueKey& k : kValueKeys) {
        const std::string text = ini.ReadText(kSection, k.key);
        if (text.empty()) continue;  // left out of the overclock
        any = true;
        const std::optional<long> value = WholeNumber(text);
        if (!value || *value < k.lowest || *value > k.highest) {
            valid = false;
            continue;
        }
        stored.settings.*k.value = static_cast<int>(*value);
    }
    if (!any) return stored;
    stored.state = valid ? StoredOverclock::State::Valid : StoredOverclock::State::Invalid;
    if (!valid) stored.settings = {};
    return stored;
}

int StoreOverclock(const CIniFile& ini, const OverclockSettings& settings)
{
    int ok = 1;
    for (const ValueKey& k : kValueKeys) {
        const std::optional<int>& value = settings.*k.value;
        ok &= ini.WriteText(kSection, k.key, value ? std::to_string(*value).c_str() : "");
    }
    ok &= ini.WriteText(kSection, kAllGpusKey, settings.allGpus ? "1" : "0");
    if (ReadStartGuard(ini) != StartGuard::Armed) ok &= WriteStartGuard(ini, StartGuard::Armed);
    return ok;
}

// A profile that never held an overclock is left as it is.
int ClearStoredOverclock(const CIniFile& ini)
{
    int ok = 1;
    for (const char* key : {kValueKeys[0].key, kValueKeys[1].key, kValueKeys[2].key, kValueKeys[3].key, kAllGpusKey,
                            kGuardKey})
        if (!ini.ReadText(kSection, key).empty()) ok &= ini.WriteText(kSection, key, "");
    return ok;
}

StartGuard ReadStartGuard(const CIniFile& ini)
{
    const std::string text = ini.ReadText(kSection, kGuardKey);
    if (text.empty()) return StartGuard::Armed;
    return text == kTripped ? StartGuard::Tripped : StartGuard::Running;
}

int WriteStartGuard(const CIniFile& ini, StartGuard guard)
{
    const char* text = guard == StartGuard::Running ? kRunning : guard == StartGuard::Tripped ? kTripped : "";
    return ini.WriteText(kSection, kGuardKey, text);
}
