#include "tools/updtool/key_files.h"

#include <string_view>

#include "crypto/hex.h"
#include "install/signature.h"
#include "platform/platform.h"
#include "tools/updtool/output.h"

namespace updtool {
namespace {

// Key files are a few lines; anything far longer is something else.
constexpr std::size_t kMaxKeyFileBytes = 1 << 20;

bool readKeyFile(const std::u16string& path, std::string& text, std::u16string& problem) {
    const std::uint32_t code = platform::readFile(path, kMaxKeyFileBytes, text);
    if (code == platform::kErrorSuccess) return true;
    problem = path + u": cannot be read (" + decimal(code) + u")";
    return false;
}

std::string_view trimmed(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool readPublicKeys(const std::u16string& path, std::vector<crypto::Ed25519PublicKey>& keys, std::u16string& problem) {
    std::string text;
    if (!readKeyFile(path, text, problem)) return false;
    std::size_t found = 0;
    long long number = 0;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line = trimmed(std::string_view(text).substr(start, end - start));
        start = end + 1;
        ++number;
        if (line.empty() || line.front() == '#') continue;
        crypto::Ed25519PublicKey key;
        if (!crypto::parseHex(line, key)) {
            problem = path + u", line " + decimal(number) + u": not a key (64 lowercase hex digits), a comment (#) or blank";
            return false;
        }
        keys.push_back(key);
        ++found;
    }
    if (found > 0) return true;
    problem = path + u": holds no key";
    return false;
}

bool readPrivateKey(const std::u16string& path, crypto::Ed25519Seed& seed, std::u16string& problem) {
    std::string text;
    if (!readKeyFile(path, text, problem)) return false;
    if (install::parseHexLine(text, seed)) return true;
    problem = path + u": not a private key (one line of 64 lowercase hex digits)";
    return false;
}

}  // namespace updtool
