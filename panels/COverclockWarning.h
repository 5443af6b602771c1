#pragma once
// COverclockWarning: the warning shown, in a note modal for the whole program,
// before an overclock is written by hand ("Apply" in the overclock panel, the
// main window's presets). One is open at a time. Closed by the user in any
// way, the write goes on; closed because the program is to end, it is
// declined and nothing is written.
#include "panels/CDlgNote.h"

class COverclockWarning {
public:
    static constexpr const char* kText =
        "Warning:Excessive Overclocking May Caused GPU Damage,Please Reset Q-SURGE If GPU Fail After Overclocking.";

    // Runs the note; true when the user closed it, so the write goes on.
    // False when it was declined, or another one is open (which comes forward).
    bool Confirm();
    bool IsOpen() const { return m_open != nullptr; }
    // Whether one is open; if so it comes forward, for an overclock asked
    // for meanwhile waits on it.
    bool Pending();
    // An open note is closed, declined.
    void Decline();

private:
    CDlgNote* m_open = nullptr;
    bool m_declined = false;
};
