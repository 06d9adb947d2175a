// The public keys whose signatures this Updater executable accepts, compiled
// into it from the file UPD_TRUSTED_KEYS names at configure time (see
// cmake/trusted_keys.cmake). Empty: the Updater takes unsigned updates as it
// always has.
#pragma once

#include <span>

#include "crypto/ed25519.h"

namespace app {

std::span<const crypto::Ed25519PublicKey> builtInKeys();

}  // namespace app
