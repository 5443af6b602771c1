#include "overclock/StoredOverclock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
const char kSection[] = "Overclock";
const char kAllGpusKey[] = "AllGpus";
const char kGuardKey[] = "StartGuard";
// The card, when not every GPU: its place in the driver's list (0 for "GPU 1")
// and its PCI identifiers as four hexadecimal words, "10DE:2684:1043:88E2".
const char kCardPlaceKey[] = "Card";
const char kCardIdsKey[] = "CardIds";
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

std::string CardIdsText(const OverclockCard& card)
{
    char text[24];
    std::snprintf(text, sizeof text, "%04X:%04X:%04X:%04X", card.ids[0], card.ids[1], card.ids[2], card.ids[3]);
    return text;
}

// Both keys or neither; anything else is not a card.
bool ReadCard(const CIniFile& ini, std::optional<OverclockCard>& card)
{
    const std::string placeText = ini.ReadText(kSection, kCardPlaceKey), idsText = ini.ReadText(kSection, kCardIdsKey);
    if (placeText.empty() && idsText.empty()) return true;
    const std::optional<long> place = WholeNumber(placeText);
    if (!place || *place < 0 || *place > 63 || idsText.size() != 19) return false;
    OverclockCard read;
    read.place = static_cast<int>(*place);
    for (int i = 0; i < 4; ++i) {
        const std::string word = idsText.substr(static_cast<size_t>(i) * 5, 4);
        if (word.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return false;
        if (i < 3 && idsText[static_cast<size_t>(i) * 5 + 4] != ':') return false;
        read.ids[i] = static_cast<uint16_t>(std::strtoul(word.c_str(), nullptr, 16));
    }
    card = read;
    return true;
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
    if (!ReadCard(ini, stored.settings.card)) valid = false;
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
    const bool card = !settings.allGpus && settings.card;
    ok &= ini.WriteText(kSection, kCardPlaceKey, card ? std::to_string(settings.card->place).c_str() : "");
    ok &= ini.WriteText(kSection, kCardIdsKey, card ? CardIdsText(*settings.card).c_str() : "");
    if (ReadStartGuard(ini) != StartGuard::Armed) ok &= WriteStartGuard(ini, StartGuard::Armed);
    return ok;
}

// A profile that never held an overclock is left as it is.
int ClearStoredOverclock(const CIniFile& ini)
{
    int ok = 1;
    for (const char* key : {kValueKeys[0].key, kValueKeys[1].key, kValueKeys[2].key, kValueKeys[3].key, kAllGpusKey,
                            kCardPlaceKey, kCardIdsKey, kGuardKey})
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
