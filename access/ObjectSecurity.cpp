#include "access/ObjectSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>
#include <iterator>
#include <memory>

namespace {
// What the token tells of one class, in a buffer of its own; null when it cannot be read.
std::unique_ptr<BYTE[]> TokenFact(HANDLE token, TOKEN_INFORMATION_CLASS what)
{
    DWORD size = 0;
    ::GetTokenInformation(token, what, nullptr, 0, &size);
    if (size == 0) return nullptr;
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    if (!::GetTokenInformation(token, what, buffer.get(), size, &size)) return nullptr;
    return buffer;
}

std::unique_ptr<BYTE[]> ProcessUser(HANDLE process)
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return nullptr;
    const CKernelHandle owned(token);
    return TokenFact(token, TokenUser);
}

PSID UserOf(const std::unique_ptr<BYTE[]>& user) { return reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid; }
}  // namespace

std::wstring UserSidText()
{
    const std::unique_ptr<BYTE[]> user = ProcessUser(::GetCurrentProcess());
    wchar_t* text = nullptr;
    if (!user || !::ConvertSidToStringSidW(UserOf(user), &text)) return {};
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

CObjectSecurity::CObjectSecurity(DWORD allRights, DWORD othersRights)
{
    const std::wstring user = UserSidText();
    if (user.empty()) return;
    wchar_t text[256];
    // AU: every signed-in user. ME with NW: starts below medium integrity may not write.
    std::swprintf(text, std::size(text), L"D:(A;;0x%lx;;;%ls)(A;;0x%lx;;;SY)", allRights, user.c_str(), allRights);
    std::wstring sddl = text;
    if (othersRights) {
        std::swprintf(text, std::size(text), L"(A;;0x%lx;;;AU)", othersRights);
        sddl += text;
    }
    sddl += L"S:(ML;;NW;;;ME)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        m_attributes.lpSecurityDescriptor = descriptor;
}

CObjectSecurity::~CObjectSecurity()
{
    if (m_attributes.lpSecurityDescriptor) ::LocalFree(m_attributes.lpSecurityDescriptor);
}

// The sender's token is read through a handle that asks only what the system
// grants across integrity levels.
bool IsOwnUsersWindow(HWND window)
{
    DWORD pid = 0;
    if (!window || !::GetWindowThreadProcessId(window, &pid) || pid == 0) return false;
    const CKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return false;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
    const CKernelHandle owned(token);
    const std::unique_ptr<BYTE[]> sender = TokenFact(token, TokenUser);
    const std::unique_ptr<BYTE[]> label = TokenFact(token, TokenIntegrityLevel);
    const std::unique_ptr<BYTE[]> self = ProcessUser(::GetCurrentProcess());
    if (!sender || !label || !self || !::EqualSid(UserOf(sender), UserOf(self))) return false;
    const PSID level = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(label.get())->Label.Sid;
    const UCHAR parts = *::GetSidSubAuthorityCount(level);
    return parts > 0 && *::GetSidSubAuthority(level, parts - 1) >= SECURITY_MANDATORY_MEDIUM_RID;
}

bool GrantUserThisProcess(DWORD rights)
{
    std::unique_ptr<BYTE[]> user = ProcessUser(::GetCurrentProcess());
    if (!user) return false;
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(::GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &current, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const std::unique_ptr<void, decltype(&::LocalFree)> ownedDescriptor(descriptor, &::LocalFree);
    EXPLICIT_ACCESSW grant{};
    grant.grfAccessPermissions = rights;
    grant.grfAccessMode = GRANT_ACCESS;
    grant.grfInheritance = NO_INHERITANCE;
    grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    grant.Trustee.TrusteeType = TRUSTEE_IS_USER;
    grant.Trustee.ptstrName = static_cast<LPWSTR>(UserOf(user));
    PACL updated = nullptr;
    if (::SetEntriesInAclW(1, &grant, current, &updated) != ERROR_SUCCESS) return false;
    const std::unique_ptr<void, decltype(&::LocalFree)> ownedAcl(updated, &::LocalFree);
    return ::SetSecurityInfo(::GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             updated, nullptr) == ERROR_SUCCESS;
}
