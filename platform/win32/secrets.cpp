// Key files and the system's random source on Windows.
#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "platform/platform.h"
#include "platform/win32/security.h"
#include "platform/win32/wide.h"

namespace platform {

std::uint32_t createPrivateFileNew(const std::u16string& path, FileHandle& file) {
    file = kInvalidFile;
    const win32::Sid user = win32::processUserSid();
    if (user.empty()) return ::GetLastError();
    // One entry, the user's, and nothing inherited from the directory.
    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor;
    if (!win32::fullAccessAcl({&user}, false, acl) ||
        !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        return ::GetLastError();
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const HANDLE handle =
        ::CreateFileW(win32::wide(path), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
    file = reinterpret_cast<FileHandle>(handle);
    return kErrorSuccess;
}

bool randomBytes(void* out, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(out);
    while (size > 0) {
        const ULONG chunk = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

}  // namespace platform
