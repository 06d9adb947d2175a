// The signature of a signed update: "move.xml.sig" beside "move.xml", the
// Ed25519 signature of the exact bytes of move.xml by one of the keys the
// Updater trusts, as one line of 128 lowercase hex digits. One line end (LF
// or CR LF) may follow the digits, as editors and shells write a line;
// nothing else may, not even a blank.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "crypto/ed25519.h"
#include "platform/tree.h"

namespace install {

// The keys whose signatures are accepted; empty: the unsigned Updater.
using TrustedKeys = std::span<const crypto::Ed25519PublicKey>;

inline constexpr std::u16string_view kSignatureName = u"move.xml.sig";

struct SignatureCheck {
    enum Result {
        kVerified,     // one of the keys signed the manifest
        kUnreadable,   // no signature file, or it cannot be read
        kMalformed,    // not one line of 128 lowercase hex digits
        kNotVerified,  // no trusted key signed these bytes
    };
    Result result = kNotVerified;
    // The message's code: the read's error code (2 for a missing file),
    // 13 (invalid data) for kMalformed, 577 (the signature cannot be
    // verified) for kNotVerified; 0 for kVerified.
    std::uint32_t code = 0;
    std::size_t key = 0;  // kVerified: the index of the key that verifies it
};

// Checks the signature file at path over the manifest's bytes.
// The file is read through tree; one larger than 1 KiB is malformed, unread.
SignatureCheck checkSignature(platform::Tree& tree, std::string_view manifest, const std::u16string& path,
                              TrustedKeys keys);

// The manifest step's message for a check that failed:
// "move.xml.sig签名检测错误 （<code>）".
std::u16string signatureMessage(const SignatureCheck& check);

// Exactly 2 * out.size() lowercase hex digits and then nothing or one line
// end: the lines of signature and key files.
bool parseHexLine(std::string_view text, std::span<std::uint8_t> out);

}  // namespace install
