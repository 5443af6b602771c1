#pragma once
// CTimer: a timer of its own for an object that has no window, or that should
// not borrow an identifier from its owner's. Its ticks come through the
// thread's message loop, as a window's timer messages do, and go to the
// function it was given. It stops when it ends.
#include <windows.h>

#include <functional>

class CTimer {
public:
    explicit CTimer(std::function<void()> onTick) : m_onTick(std::move(onTick)) {}
    ~CTimer() { Stop(); }
    CTimer(const CTimer&) = delete;
    CTimer& operator=(const CTimer&) = delete;

    // Starts it, or restarts it with this period; false when the system refused.
    bool Start(UINT periodMs);
    void Stop();
    bool Running() const { return m_id != 0; }
    // One tick now, as the timer would give it: for the owner's tests.
    void Fire() const { if (m_onTick) m_onTick(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);

    std::function<void()> m_onTick;
    UINT_PTR m_id = 0;
};
