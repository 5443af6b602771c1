#pragma once
// COverclockAtStart: with the settings' "OC" switch on, the overclock kept in
// the profile is applied again once the main window is up, as "Apply" applied
// it: to every card, or to the card it went to.
//
// An unstable overclock can bring the machine down, and applied blindly at
// every start it would do so at every logon. So the profile is marked before
// the overclock goes out, and the mark removed once the program has run for
// three minutes (checked on a timer of its own), or has ended cleanly (the
// end of the session included), or at once when the overclock did not reach
// the card. A start that finds the mark
// applies nothing, and neither does any later start until the user applies an
// overclock by hand. Whatever keeps it from being applied is said in the
// overclock's line.
#include <windows.h>

#include "framework/CTimer.h"
#include "overclock/COverclock.h"
#include "profile/IniFile.h"

class COverclockAtStart {
public:
    static constexpr ULONGLONG kConfirmAfterMs = 3 * 60 * 1000;
    static constexpr UINT kCheckPeriodMs = 5000;
    static constexpr const char* kHeldBack =
        "The overclock was not applied at start: the last start that applied it did not run for 3 minutes.";
    static constexpr const char* kNotValid =
        "The overclock was not applied at start: the values stored in the profile are not valid.";
    static constexpr const char* kNotMarked =
        "The overclock was not applied at start: the profile cannot be written, so a crash could not be told.";
    static constexpr const char* kNoCard =
        "The overclock was not applied at start: the card it was applied to is not in this computer.";
    static constexpr const char* kNoLimits =
        "The overclock was not applied at start: the driver did not report the card's limits.";
    static constexpr const char* kRefused =
        "The overclock was not applied at start: the driver refused it. The values shown are the card's.";

    // The clock the three minutes are counted on, in milliseconds; tests give their own.
    static void SetClock(ULONGLONG (*now)());

    // Once, at start. True when this start found the mark: the owner tells
    // the user, once, what the overclock's line says.
    bool Run(const CIniFile& ini, COverclock& overclock);
    // What the timer does: the mark goes once three minutes have passed since it was set.
    void Check();
    // The program ends as it should.
    void OnCleanExit();

private:
    // The overclock did not bring the machine down: the mark goes.
    void Confirm();

    CIniFile m_ini;
    bool m_marked = false;  // by this run, not yet removed
    ULONGLONG m_markedAt = 0;
    CTimer m_timer{[this] { Check(); }};
};
