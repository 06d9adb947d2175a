// The step between the manifest and the verification: the new file of every
// patched entry is rebuilt from the installed file at its path (the base)
// and its staged file (a VCDIFF patch), so that the verification and the
// installation take the result exactly as they take a staged file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "install/manifest_entry.h"
#include "platform/tree.h"

namespace install {

// The one format of patch applied: VCDIFF (RFC 3284) without secondary
// compression, with xdelta3's window checksum checked where a patch has it.
inline constexpr std::u16string_view kPatchFormat = u"vcdiff";
// A result larger than this is not made: a patch declares what it makes.
inline constexpr std::uint64_t kMaxPatchResult = std::uint64_t{4} << 30;

// Where the results go: for a signed update the private directory's
// "patched"; otherwise a directory "~patchedN" of the staging directory that
// does not exist and that no entry's staged file lies in.
std::u16string patchResultsDirectory(platform::Tree& tree, const std::vector<ManifestEntry>& entries,
                                     const std::u16string& stagingDir, bool signedUpdate);

// For each patched entry in manifest order: its path must be safe (the
// staging and private directories reserved) and reach no link ("非法路径 "
// + path); its format kPatchFormat and its base, read through tree, must
// have the MD5 base-md5 (with sha256 also the SHA-256 base-sha256) or the
// step fails with "<path>补丁基准文件不符 （<code>）" (2: no base, 13: another
// one); the patch is applied into resultsDir\<index> ("<path>补丁已损坏
// （13）" for a damaged patch or one this decoder does not apply,
// "<path>补丁应用失败 （<code>）" when the result cannot be written or read
// back). results receives each entry's result ("" where not patched). On
// failure every result is removed, the staged patches left as they were.
// Memory: the decoder's bound (patch::kDecoderMemoryBound) and a reader's
// buffers, whatever the files' sizes.
bool applyPatches(platform::Tree& tree, const std::vector<ManifestEntry>& entries, const std::u16string& stagingDir,
                  const std::u16string& resultsDir, bool sha256, std::vector<std::u16string>& results,
                  std::u16string& errorText);

// Removes resultsDir and what is in it.
void removePatchResults(platform::Tree& tree, const std::u16string& resultsDir);

}  // namespace install
