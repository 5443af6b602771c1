#include "overclock/COverclockAtStart.h"

#include "overclock/StoredOverclock.h"

namespace {
ULONGLONG (*g_clock)() = &::GetTickCount64;
}  // namespace

void COverclockAtStart::SetClock(ULONGLONG (*now)()) { g_clock = now ? now : &::GetTickCount64; }

bool COverclockAtStart::Run(const CIniFile& ini, COverclock& overclock)
{
    SystemFlags flags{};
    ini.ReadSystemFlags(flags);
    if (!flags.overClock) return false;
    const StoredOverclock stored = ReadStoredOverclock(ini);
    if (stored.state == StoredOverclock::State::Invalid) {
        overclock.SetNote(kNotValid);
        return false;
    }
    if (stored.state == StoredOverclock::State::None || stored.settings.Empty()) return false;
    switch (ReadStartGuard(ini)) {
    case StartGuard::Tripped:
        overclock.SetNote(kHeldBack);
        return false;
    case StartGuard::Running:
        // The last start that applied it ended, or the machine did, too soon.
        WriteStartGuard(ini, StartGuard::Tripped);
        overclock.SetNote(kHeldBack);
        return true;
    case StartGuard::Armed:
        break;
    }
    const OverclockPlan plan = overclock.Plan(stored.settings);
    if (plan.problem != OverclockPlan::Problem::None) {
        overclock.SetNote(plan.problem == OverclockPlan::Problem::NoCard ? kNoCard : kNoLimits);
        return false;
    }
    // Without a mark on the disk a crash would go unnoticed: nothing is applied.
    if (!WriteStartGuard(ini, StartGuard::Running) || !ini.Flush()) {
        overclock.SetNote(kNotMarked);
        return false;
    }
    if (!overclock.ApplyPlan(plan)) {
        // Nothing that could bring the machine down went out as asked.
        WriteStartGuard(ini, StartGuard::Armed);
        overclock.SetNote(kRefused);
        return false;
    }
    m_ini = ini;
    m_marked = true;
    m_markedAt = g_clock();
    m_timer.Start(kCheckPeriodMs);
    return false;
}

// Only a start that never ended cleanly can have brought the machine down.
void COverclockAtStart::OnCleanExit()
{
    m_timer.Stop();
    Confirm();
}

void COverclockAtStart::Check()
{
    if (m_marked && g_clock() - m_markedAt >= kConfirmAfterMs) Confirm();
}

void COverclockAtStart::Confirm()
{
    if (!m_marked) return;
    m_marked = false;
    m_timer.Stop();
    // An overclock applied by hand since has armed the guard already.
    if (ReadStartGuard(m_ini) == StartGuard::Running) WriteStartGuard(m_ini, StartGuard::Armed);
}
