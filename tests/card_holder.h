#pragma once
// A stand-in for another user's copy of the program that holds the cards: a
// thread of the test's own process (another process to the program under
// test, another thread to a window of the test's) that takes the machine-wide
// mutex and keeps it until it lets go, or ends without letting go, as a copy
// that dies does.
#include <windows.h>

#include <thread>

#include "app/CCardOwnership.h"

class CardHolder {
public:
    CardHolder()
    {
        m_thread = std::thread([this] {
            HANDLE mutex = CreateMutexW(nullptr, FALSE, CCardOwnership::kName);
            m_holds = mutex && WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0;
            SetEvent(m_taken);
            WaitForSingleObject(m_end, INFINITE);
            if (m_holds && m_release) ReleaseMutex(mutex);
            if (mutex) CloseHandle(mutex);
        });
        WaitForSingleObject(m_taken, INFINITE);
    }
    ~CardHolder()
    {
        End(true);
        CloseHandle(m_taken);
        CloseHandle(m_end);
    }
    CardHolder(const CardHolder&) = delete;
    CardHolder& operator=(const CardHolder&) = delete;

    bool Holds() const { return m_holds; }
    // release false: the thread ends still holding the mutex, which is then abandoned.
    void End(bool release)
    {
        if (!m_thread.joinable()) return;
        m_release = release;
        SetEvent(m_end);
        m_thread.join();
    }

private:
    HANDLE m_taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_end = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool m_holds = false;
    bool m_release = true;
    std::thread m_thread;
};
