// The security descriptors of the Updater's own files on Windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform::win32 {

// A SID in a buffer of its own; empty when it cannot be had.
using Sid = std::vector<unsigned char>;
Sid processUserSid();
Sid wellKnownSid(WELL_KNOWN_SID_TYPE type);

// A protected DACL granting each of sids FILE_ALL_ACCESS, inherited by files
// and directories made below (inherit set), in acl's buffer.
bool fullAccessAcl(const std::vector<const Sid*>& sids, bool inherit, std::vector<unsigned char>& acl);

// CreateDirectoryW with owner Administrators and a protected DACL for
// SYSTEM, Administrators and the process's user. 0 or the error code.
std::uint32_t createPrivateDirectory(const std::u16string& path);

// 0 when nobody but the process's user, Administrators and SYSTEM owns or
// may write the object of handle (opened with READ_CONTROL), else 5.
std::uint32_t checkPrivate(HANDLE handle);

// Owner Administrators and nothing in the DACL but what the object's
// directory hands down (UNPROTECTED_DACL_SECURITY_INFORMATION).
std::uint32_t giveToInstallation(HANDLE handle);

}  // namespace platform::win32
