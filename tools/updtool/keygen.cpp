// updtool keygen: a new key pair for signed updates.
#include "crypto/ed25519.h"
#include "crypto/hex.h"
#include "platform/platform.h"
#include "tools/updtool/commands.h"
#include "tools/updtool/output.h"

namespace updtool {
namespace {

// Writes text into a file made by create; true when all of it was written
// and flushed. A file that was created but not written whole is deleted.
template <class Create>
bool writeNew(const std::u16string& path, const std::string& text, Create create, std::u16string& problem) {
    platform::FileHandle file = platform::kInvalidFile;
    std::uint32_t code = create(path, file);
    if (code == platform::kErrorFileExists || code == platform::kErrorAlreadyExists) {
        problem = path + u" exists already: keygen never replaces a key";
        return false;
    }
    if (code == platform::kErrorSuccess) code = platform::writeAll(file, text.data(), text.size());
    if (code == platform::kErrorSuccess) code = platform::flushFile(file);
    platform::closeFile(file);
    if (code == platform::kErrorSuccess) return true;
    if (file != platform::kInvalidFile) platform::deleteFile(path);
    problem = path + u": cannot be written (" + decimal(code) + u")";
    return false;
}

}  // namespace

int keygenCommand(const std::vector<std::u16string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == u'-') return usageError(u"keygen takes one name");
    const std::u16string privateFile = args[0] + u".key";
    const std::u16string publicFile = args[0] + u".pub";
    crypto::Ed25519Seed seed;
    if (!platform::randomBytes(seed.data(), seed.size())) {
        writeProblem(u"the system's random source failed; no key was made");
        return kExitFailed;
    }
    std::u16string problem;
    if (!writeNew(privateFile, crypto::toHex(seed) + "\n", platform::createPrivateFileNew, problem)) {
        writeProblem(problem);
        return kExitFailed;
    }
    if (!writeNew(publicFile, crypto::toHex(crypto::ed25519PublicKey(seed)) + "\n", platform::createFileNew, problem)) {
        platform::deleteFile(privateFile);
        writeProblem(problem);
        return kExitFailed;
    }
    writeOut(privateFile + u": the private key; keep it secret, readable by its owner only\n" + publicFile +
             u": the public key, a line for the file UPD_TRUSTED_KEYS names\n");
    return kExitOk;
}

}  // namespace updtool
