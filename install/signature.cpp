#include "install/signature.h"

#include "crypto/hex.h"
#include "platform/format.h"
#include "platform/platform.h"

namespace install {

SignatureCheck checkSignature(platform::Tree& tree, std::string_view manifest, const std::u16string& path,
                              TrustedKeys keys) {
    SignatureCheck check;
    std::string text;
    // Anything much longer than one line is not a signature file.
    const std::uint32_t code = tree.readFile(path, 1024, text);
    crypto::Ed25519Signature signature;
    if (code == platform::kErrorInvalidData || (code == platform::kErrorSuccess && !parseHexLine(text, signature))) {
        check.result = SignatureCheck::kMalformed;
        check.code = platform::kErrorInvalidData;
        return check;
    }
    if (code != platform::kErrorSuccess) {
        check.result = SignatureCheck::kUnreadable;
        check.code = code;
        return check;
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (crypto::ed25519Verify(keys[i], manifest.data(), manifest.size(), signature)) {
            check.result = SignatureCheck::kVerified;
            check.key = i;
            return check;
        }
    }
    check.code = platform::kErrorInvalidImageHash;
    return check;
}

std::u16string signatureMessage(const SignatureCheck& check) {
    return platform::formatMessage(u"%s签名检测错误 （%d）",
                                   {std::u16string(kSignatureName), static_cast<std::int32_t>(check.code)});
}

bool parseHexLine(std::string_view text, std::span<std::uint8_t> out) {
    if (text.ends_with("\r\n")) {
        text.remove_suffix(2);
    } else if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    return crypto::parseHex(text, out);
}

}  // namespace install
