#pragma once
// The overclock last applied, kept in the profile's section "Overclock" so it
// can be applied again when the program starts, and the start guard that keeps
// an overclock which brought the machine down from being applied at every start.
#include <cstdint>
#include <optional>

#include "profile/IniFile.h"

// A card as the driver lists it: its place in the list and its PCI identifiers
// (vendor, device, subsystem vendor, subsystem).
struct OverclockCard {
    int place = 0;
    uint16_t ids[4] = {};
    bool operator==(const OverclockCard& o) const
    {
        return place == o.place && ids[0] == o.ids[0] && ids[1] == o.ids[1] && ids[2] == o.ids[2] && ids[3] == o.ids[3];
    }
};

// One overclock as "Apply" writes it; a value left out is not written.
struct OverclockSettings {
    std::optional<int> powerTarget;  // per cent
    std::optional<int> frameTarget;  // frames per second
    std::optional<int> gpuOffset;    // MHz, P0's graphics clock
    std::optional<int> memOffset;    // MHz, P0's memory clock
    bool allGpus = false;            // to every GPU in turn, else to one card
    // Not to every GPU: the card it went to. Profiles written before the card
    // was kept do not say.
    std::optional<OverclockCard> card;

    bool Empty() const { return !powerTarget && !frameTarget && !gpuOffset && !memOffset; }
};

struct StoredOverclock {
    enum class State {
        None,     // nothing stored
        Valid,
        Invalid,  // a value that is not a whole number, or beyond any card's reach, or a card not told whole
    } state = State::None;
    OverclockSettings settings;  // when valid
};

StoredOverclock ReadStoredOverclock(const CIniFile& ini);
// Stores the overclock and arms the start guard again: it was applied by hand.
// 1 when every key was written.
int StoreOverclock(const CIniFile& ini, const OverclockSettings& settings);
// Nothing stored, and the guard armed.
int ClearStoredOverclock(const CIniFile& ini);

// The start guard.
enum class StartGuard {
    Armed,    // a start may apply the stored overclock
    Running,  // a start applied it and has not run for long enough since
    Tripped,  // a start found it Running: the overclock waits for the user to apply one by hand
};
// A value the program did not write counts as Running, so a start that meets
// it applies nothing.
StartGuard ReadStartGuard(const CIniFile& ini);
// 1 when written.
int WriteStartGuard(const CIniFile& ini, StartGuard guard);
