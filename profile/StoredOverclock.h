#pragma once
// The overclock last applied, kept in the profile's section "Overclock" so it
// can be applied again when the program starts, and the start guard that keeps
// an overclock which brought the machine down from being applied at every start.
#include <optional>

#include "profile/IniFile.h"

// One overclock as the overclock panel writes it; a value left out is not written.
struct OverclockSettings {
    std::optional<int> powerTarget;  // per cent
    std::optional<int> frameTarget;  // frames per second
    std::optional<int> gpuOffset;    // MHz, P0's graphics clock
    std::optional<int> memOffset;    // MHz, P0's memory clock
    bool allGpus = false;            // to every GPU in turn, else the selected one

    bool Empty() const { return !powerTarget && !frameTarget && !gpuOffset && !memOffset; }
};

struct StoredOverclock {
    enum class State {
        None,     // nothing stored
        Valid,
        Invalid,  // a value that is not a whole number, or beyond any card's reach
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
