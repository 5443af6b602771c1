#include "app/CCardOwnership.h"

CCardOwnership::CCardOwnership() { Take(); }

CCardOwnership::~CCardOwnership()
{
    if (m_held && m_mutex) ::ReleaseMutex(m_mutex);
}

bool CCardOwnership::Take()
{
    if (m_held) return true;
    if (!m_mutex) {
        // Every signed-in user's copy may wait on it, whoever made it.
        CObjectSecurity security(MUTEX_ALL_ACCESS, kMutexUse);
        m_mutex.reset(::CreateMutexExW(security.Attributes(), kName, 0, kMutexUse));
        // Without the mutex there is no telling another copy apart, unless it
        // is there and refused: some other holds it then.
        if (!m_mutex) return m_held = ::GetLastError() != ERROR_ACCESS_DENIED;
    }
    const DWORD result = ::WaitForSingleObject(m_mutex, 0);
    m_held = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return m_held;
}
