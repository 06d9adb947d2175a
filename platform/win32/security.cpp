#include "platform/win32/security.h"

#include <aclapi.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace platform::win32 {

namespace {

// Rights that change an object or what is made in it.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                               FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool sameSid(PSID a, const Sid& b) { return !b.empty() && ::EqualSid(a, const_cast<unsigned char*>(b.data())); }

}  // namespace

Sid processUserSid() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const BOOL got = size > 0 && ::GetTokenInformation(token, TokenUser, user.data(), size, &size);
    ::CloseHandle(token);
    if (!got) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return Sid(bytes, bytes + ::GetLengthSid(sid));
}

Sid wellKnownSid(WELL_KNOWN_SID_TYPE type) {
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return {};
    sid.resize(size);
    return sid;
}

bool fullAccessAcl(const std::vector<const Sid*>& sids, bool inherit, std::vector<unsigned char>& acl) {
    DWORD size = sizeof(ACL);
    for (const Sid* sid : sids) size += static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sid->size());
    acl.assign(size, 0);
    auto* dacl = reinterpret_cast<PACL>(acl.data());
    if (!::InitializeAcl(dacl, size, ACL_REVISION)) return false;
    const DWORD flags = inherit ? OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE : 0;
    for (const Sid* sid : sids) {
        if (sid->empty() ||
            !::AddAccessAllowedAceEx(dacl, ACL_REVISION, flags, FILE_ALL_ACCESS, const_cast<unsigned char*>(sid->data()))) {
            return false;
        }
    }
    return true;
}

std::uint32_t createPrivateDirectory(const std::u16string& path) {
    const Sid system = wellKnownSid(WinLocalSystemSid);
    const Sid admins = wellKnownSid(WinBuiltinAdministratorsSid);
    const Sid user = processUserSid();
    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor;
    if (!fullAccessAcl({&system, &admins, &user}, true, acl) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        return ::GetLastError();
    }
    // Administrators as the owner where the token lets it be one; the
    // process's user otherwise, which the check accepts as well.
    SECURITY_DESCRIPTOR owned = descriptor;
    ::SetSecurityDescriptorOwner(&owned, const_cast<unsigned char*>(admins.data()), FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &owned, FALSE};
    if (::CreateDirectoryW(wide(path), &attributes)) return kErrorSuccess;
    if (::GetLastError() != ERROR_INVALID_OWNER) return ::GetLastError();
    attributes.lpSecurityDescriptor = &descriptor;
    return ::CreateDirectoryW(wide(path), &attributes) ? std::uint32_t{kErrorSuccess} : ::GetLastError();
}

std::uint32_t checkPrivate(HANDLE handle) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD code = ::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         &owner, nullptr, &dacl, nullptr, &descriptor);
    if (code != ERROR_SUCCESS) return code;
    const Sid trusted[] = {processUserSid(), wellKnownSid(WinBuiltinAdministratorsSid), wellKnownSid(WinLocalSystemSid)};
    const Sid creatorOwner = wellKnownSid(WinCreatorOwnerSid);
    const auto isTrusted = [&](PSID sid, bool creator) {
        for (const Sid& t : trusted) {
            if (sameSid(sid, t)) return true;
        }
        return creator && sameSid(sid, creatorOwner);
    };
    // A null DACL grants everyone everything.
    bool trustworthy = owner != nullptr && isTrusted(owner, false) && dacl != nullptr;
    for (DWORD i = 0; trustworthy && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry)) {
            trustworthy = false;
            break;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            trustworthy = false;  // object and callback ACEs: not ours
            break;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWriteRights) != 0 && !isTrusted(sid, true)) trustworthy = false;
    }
    ::LocalFree(descriptor);
    return trustworthy ? kErrorSuccess : kErrorAccessDenied;
}

std::uint32_t giveToInstallation(HANDLE handle) {
    Sid admins = wellKnownSid(WinBuiltinAdministratorsSid);
    ACL empty;
    if (admins.empty() || !::InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return ::GetLastError();
    return ::SetSecurityInfo(handle, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                 UNPROTECTED_DACL_SECURITY_INFORMATION,
                             admins.data(), nullptr, &empty, nullptr);
}

}  // namespace platform::win32
