// The text of move.xml as updtool writes it, and the files it writes.
#pragma once

#include <string>
#include <vector>

#include "crypto/ed25519.h"
#include "install/manifest_entry.h"
#include "install/md5_files.h"

namespace updtool {

// An XML declaration, the root "update" (with the attribute "version" when
// extras give one), one "file" element per entry in the given order and one
// "remove" element per removal after them, attribute values escaped ("&",
// "<", ">", both quotes); "sha256" after "md5" where the entry has one, then
// a patched entry's "patch", "base-md5" and "base-sha256".
std::u16string manifestText(const std::vector<install::ManifestEntry>& entries,
                            const install::ManifestExtras& extras = {});

// Why path cannot be listed in a manifest that the Updater accepts, or ""
// when it can: the Updater's own refusals, and characters that XML or UTF-8
// cannot carry.
std::u16string pathProblem(const std::u16string& path);

// The file's digests as the Updater computes them (its MD5, and with sha256
// its SHA-256 from the same read). False when the file cannot be read.
bool fileDigests(const std::u16string& path, bool sha256, FileDigests& digests);

// Writes the manifest of entries to path in UTF-8 and reads it back through
// the Updater's own reader: the escaping is trusted only when every entry
// comes back exactly. bytes receives what was written.
bool writeManifest(const std::vector<install::ManifestEntry>& entries, const install::ManifestExtras& extras,
                   const std::u16string& path, std::string& bytes, std::vector<std::u16string>& problems);

// Writes to path the signature of bytes by seed, as the Updater reads it:
// 128 lowercase hex digits and a line end.
bool writeSignature(const std::string& bytes, const crypto::Ed25519Seed& seed, const std::u16string& path,
                    std::vector<std::u16string>& problems);

}  // namespace updtool
