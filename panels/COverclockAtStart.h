#pragma once
// COverclockAtStart: with the settings' "OC" switch on, the overclock stored
// in the profile is applied again once the main window is up, through the
// overclock panel, as its "Apply" applies it.
//
// An unstable overclock can bring the machine down, and applied blindly at
// every start it would do so at every logon. So the profile is marked before
// the overclock goes out, and the mark removed once the program has run for
// three minutes (checked by the owner's timer, and at a clean exit). A start
// that finds the mark applies nothing, and neither does any later start until
// the user applies an overclock by hand.
#include <windows.h>

#include <functional>
#include <string>

#include "panels/CDlgTurbo.h"
#include "profile/IniFile.h"

class COverclockAtStart {
public:
    // The owner's timer, whose WM_TIMER goes to OnTimer.
    static constexpr UINT_PTR kConfirmTimer = 25;
    static constexpr ULONGLONG kConfirmAfterMs = 3 * 60 * 1000;
    static constexpr const char* kHeldBack =
        "The overclock was not applied at start: the last start that applied it did not run for 3 minutes.";
    static constexpr const char* kNotValid =
        "The overclock was not applied at start: the values stored in the profile are not valid.";
    static constexpr const char* kNotMarked =
        "The overclock was not applied at start: the profile cannot be written, so a crash could not be told.";

    // The clock the three minutes are counted on, in milliseconds; tests give their own.
    static void SetClock(ULONGLONG (*now)());

    // Once, at start. openPanel gives the panel its window, false when it
    // cannot. True when this start found the mark: the owner tells the user,
    // once, what the panel's line says.
    bool Run(HWND owner, const CIniFile& ini, CDlgTurbo& panel, const std::function<bool()>& openPanel);
    void OnTimer();
    // The program ends as it should.
    void OnCleanExit();

private:
    // The mark goes once three minutes have passed since it was set.
    void ConfirmIfDue();

    HWND m_owner = nullptr;
    CIniFile m_ini;
    bool m_marked = false;  // by this run, not yet removed
    ULONGLONG m_markedAt = 0;
};
