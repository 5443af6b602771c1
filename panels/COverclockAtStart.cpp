#include "panels/COverclockAtStart.h"

#include "profile/StoredOverclock.h"

namespace {
ULONGLONG (*g_clock)() = &::GetTickCount64;
constexpr UINT kCheckPeriodMs = 5000;
}  // namespace

void COverclockAtStart::SetClock(ULONGLONG (*now)()) { g_clock = now ? now : &::GetTickCount64; }

bool COverclockAtStart::Run(HWND owner, const CIniFile& ini, CDlgTurbo& panel, const std::function<bool()>& openPanel)
{
    SystemFlags flags{};
    ini.ReadSystemFlags(flags);
    if (!flags.overClock) return false;
    const StoredOverclock stored = ReadStoredOverclock(ini);
    if (stored.state == StoredOverclock::State::Invalid) {
        panel.SetStartNote(kNotValid);
        return false;
    }
    if (stored.state == StoredOverclock::State::None || stored.settings.Empty()) return false;
    switch (ReadStartGuard(ini)) {
    case StartGuard::Tripped:
        panel.SetStartNote(kHeldBack);
        return false;
    case StartGuard::Running:
        // The last start that applied it ended, or the machine did, too soon.
        WriteStartGuard(ini, StartGuard::Tripped);
        panel.SetStartNote(kHeldBack);
        return true;
    case StartGuard::Armed:
        break;
    }
    // Without a mark on the disk a crash would go unnoticed: nothing is applied.
    if (!WriteStartGuard(ini, StartGuard::Running) || !ini.Flush()) {
        panel.SetStartNote(kNotMarked);
        return false;
    }
    if (!openPanel()) {
        WriteStartGuard(ini, StartGuard::Armed);
        return false;
    }
    m_owner = owner;
    m_ini = ini;
    m_marked = true;
    m_markedAt = g_clock();
    ::SetTimer(m_owner, kConfirmTimer, kCheckPeriodMs, nullptr);
    panel.ApplyOverclock(stored.settings);
    return false;
}

void COverclockAtStart::OnTimer() { ConfirmIfDue(); }

void COverclockAtStart::OnCleanExit()
{
    ConfirmIfDue();
    if (m_owner) ::KillTimer(m_owner, kConfirmTimer);
}

void COverclockAtStart::ConfirmIfDue()
{
    if (!m_marked || g_clock() - m_markedAt < kConfirmAfterMs) return;
    m_marked = false;
    ::KillTimer(m_owner, kConfirmTimer);
    // An overclock applied by hand since has armed the guard already.
    if (ReadStartGuard(m_ini) == StartGuard::Running) WriteStartGuard(m_ini, StartGuard::Armed);
}
