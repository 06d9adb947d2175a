// One file of the update manifest.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

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
    // A patched entry: its staged file is a patch of this format ("vcdiff")
    // that makes the new file from the installed file at path, whose digests
    // are these (the SHA-256 read for a signed update only). Empty: the
    // staged file is the new file.
    std::u16string patch = {};
    std::u16string baseMd5 = {};
    std::u16string baseSha256 = {};
};

// What a manifest says besides its files.
struct ManifestExtras {
    // Files the new release no longer has: removed after the new files are
    // in place, in document order.
    std::vector<std::u16string> removals;
    // A signed update's release: the root element's "version".
    std::u16string version;
    // A signed update: the index of the trusted key that verified its signature.
    std::size_t key = 0;
};

}  // namespace install
