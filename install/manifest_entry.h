// One file of the update manifest.
#pragma once

#include <string>

namespace install {

struct ManifestEntry {
    // Relative to the staging directory (the staged copy) and to the
    // Updater's directory (the installed copy), exactly as the manifest has it.
    std::u16string path;
    // The expected MD5 digest as text.
    std::u16string md5;
    // The expected SHA-256 digest as text: read only for a signed update,
    // which must give it for every entry (64 lowercase hex digits).
    std::u16string sha256 = {};
};

}  // namespace install
