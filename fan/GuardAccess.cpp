#include "fan/GuardAccess.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>
#include <memory>
#include <vector>

namespace {
struct LocalFreer {
    void operator()(void* memory) const { ::LocalFree(memory); }
};

// The token's user: the same SID in the elevated token and the filtered one.
std::vector<unsigned char> UserOfThisProcess()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    ::GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const bool read = size && ::GetTokenInformation(token, ::TokenUser, user.data(), size, &size);
    ::CloseHandle(token);
    return read ? user : std::vector<unsigned char>{};
}
}  // namespace

std::wstring UserSidString()
{
    const std::vector<unsigned char> user = UserOfThisProcess();
    if (user.empty()) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &text)) return {};
    const std::unique_ptr<wchar_t, LocalFreer> owned(text);
    return text;
}

GuardEventSecurity::GuardEventSecurity()
{
    const std::wstring user = UserSidString();
    if (user.empty()) return;
    wchar_t rights[16];
    std::swprintf(rights, 16, L"0x%08lx", static_cast<unsigned long>(kGuardEventRights));
    // Protected: nothing inherited. ML NW ME: a medium-integrity guard may set the events.
    const std::wstring sddl =
        L"D:P(A;;" + std::wstring(rights) + L";;;" + user + L")(A;;GA;;;BA)(A;;GA;;;SY)S:(ML;;NW;;;ME)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        m_attributes.lpSecurityDescriptor = descriptor;
}

GuardEventSecurity::~GuardEventSecurity()
{
    if (m_attributes.lpSecurityDescriptor) ::LocalFree(m_attributes.lpSecurityDescriptor);
}

bool LetUserWatchThisProcess()
{
    std::vector<unsigned char> user = UserOfThisProcess();
    if (user.empty()) return false;
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(::GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &current, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const std::unique_ptr<void, LocalFreer> ownedDescriptor(descriptor);
    EXPLICIT_ACCESSW grant{};
    grant.grfAccessPermissions = kGuardProcessRights;
    grant.grfAccessMode = GRANT_ACCESS;
    grant.grfInheritance = NO_INHERITANCE;
    grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    grant.Trustee.TrusteeType = TRUSTEE_IS_USER;
    grant.Trustee.ptstrName = static_cast<LPWSTR>(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    PACL updated = nullptr;
    if (::SetEntriesInAclW(1, &grant, current, &updated) != ERROR_SUCCESS) return false;
    const std::unique_ptr<ACL, LocalFreer> ownedAcl(updated);
    return ::SetSecurityInfo(::GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             updated, nullptr) == ERROR_SUCCESS;
}
