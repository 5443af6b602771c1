#pragma once
// Who may reach the program's named objects, and who may send it commands.
//
// A copy started "as administrator" runs with another token than a later
// start of the same user: objects it creates with its default security grant
// that user nothing, and get a high integrity label whose no-write-up policy
// refuses a normal start any right to change them. The program's objects are
// therefore created with a security of their own: the user (and the system)
// get every right whatever the token, and a medium label lets the user's
// starts at medium integrity or above write to them, while a process at low
// integrity (a sandbox) still may not.
#include <windows.h>

#include <string>

#include "framework/Gdi.h"

// Closes a kernel object's handle when it goes.
using CKernelHandle = UserHandle<HANDLE, ::CloseHandle>;

// All the program asks of a mutex of its own, whoever made it: to wait on it
// and to release it.
constexpr DWORD kMutexUse = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The user's identity as text ("S-1-5-21-..."); empty when it cannot be read.
std::wstring UserSidText();

// Security attributes for a named object: allRights to the user and the
// system, othersRights (none when 0) to every other signed-in user, and a
// medium integrity label with the no-write-up policy.
class CObjectSecurity {
public:
    explicit CObjectSecurity(DWORD allRights, DWORD othersRights = 0);
    ~CObjectSecurity();
    CObjectSecurity(const CObjectSecurity&) = delete;
    CObjectSecurity& operator=(const CObjectSecurity&) = delete;
    // Null, for the token's default security, when the user cannot be read.
    SECURITY_ATTRIBUTES* Attributes() { return m_attributes.lpSecurityDescriptor ? &m_attributes : nullptr; }

private:
    SECURITY_ATTRIBUTES m_attributes{sizeof m_attributes, nullptr, FALSE};
};

// Whether the window belongs to a process of this user running at medium
// integrity or above. A window whose process or token cannot be read does not.
bool IsOwnUsersWindow(HWND window);

// Adds to this process's own access list that its user may have these rights
// on it whatever the token (a process started from the shell, say, while
// this one runs elevated); true when the list holds that now.
bool GrantUserThisProcess(DWORD rights);
