#pragma once
// What the fan guard needs of this process and its events whatever the two
// tokens are. The guard starts as the shell's child, with the shell's token:
// when the program runs elevated, objects made with its default security
// grant only administrators (whose group the guard's token holds for denial
// only) and carry a high integrity label that keeps a medium-integrity guard
// from setting them. So the events grant the user's own SID what the guard
// does with them under a medium label, and this process grants it waiting
// on it and reading its start time.
#include <windows.h>

#include <string>

// A security descriptor for events the guard uses: the user may wait on and
// set them; administrators and the system have full access; medium label.
class GuardEventSecurity {
public:
    GuardEventSecurity();
    ~GuardEventSecurity();
    GuardEventSecurity(const GuardEventSecurity&) = delete;
    GuardEventSecurity& operator=(const GuardEventSecurity&) = delete;

    // Null when the descriptor could not be made: the default security then.
    SECURITY_ATTRIBUTES* Attributes() { return m_attributes.lpSecurityDescriptor ? &m_attributes : nullptr; }

private:
    SECURITY_ATTRIBUTES m_attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// The rights the guard takes on the events and on this process.
constexpr DWORD kGuardEventRights = SYNCHRONIZE | EVENT_MODIFY_STATE;
constexpr DWORD kGuardProcessRights = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

// The user of this process's token as a string SID ("S-1-5-21-..."); empty on failure.
std::wstring UserSidString();
// Adds to this process's own access list that its user may wait on it and
// read its start time; true when the list holds that now.
bool LetUserWatchThisProcess();
