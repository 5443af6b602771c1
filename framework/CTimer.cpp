#include "framework/CTimer.h"

#include <map>

namespace {
// Thread timers carry no pointer of their own: each is found by its identifier.
std::map<UINT_PTR, CTimer*>& Timers()
{
    static std::map<UINT_PTR, CTimer*> timers;
    return timers;
}
}  // namespace

bool CTimer::Start(UINT periodMs)
{
    Stop();
    m_id = ::SetTimer(nullptr, 0, periodMs, &CTimer::Tick);
    if (m_id) Timers()[m_id] = this;
    return m_id != 0;
}

void CTimer::Stop()
{
    if (!m_id) return;
    ::KillTimer(nullptr, m_id);
    Timers().erase(m_id);
    m_id = 0;
}

void CALLBACK CTimer::Tick(HWND, UINT, UINT_PTR id, DWORD)
{
    const auto found = Timers().find(id);
    if (found != Timers().end()) found->second->Fire();
}
