// The key files of signed updates:
//   NAME.key  the private key, its 32-byte seed as 64 lowercase hex digits on
//             one line, readable by its owner only;
//   NAME.pub  the public key the same way: a line of the file that
//             UPD_TRUSTED_KEYS names, whose other lines may be blank or
//             comments starting with "#" (blanks around a line are ignored).
#pragma once

#include <string>
#include <vector>

#include "crypto/ed25519.h"

namespace updtool {

// Every key of a public key file, appended to keys. False, with the reason
// in problem, when the file cannot be read or a line is not a key, a comment
// or blank, or when it holds no key.
bool readPublicKeys(const std::u16string& path, std::vector<crypto::Ed25519PublicKey>& keys, std::u16string& problem);

// The seed of a private key file.
bool readPrivateKey(const std::u16string& path, crypto::Ed25519Seed& seed, std::u16string& problem);

}  // namespace updtool
