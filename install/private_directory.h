// Where a signed update's Updater keeps what is its own: the copies of the
// staged files it installs, its journal and backups, and the version mark.
// It lies beside the Updater, is made by it, and is trusted only as long as
// nobody else may write it (platform::Tree::checkPrivateDirectory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/tree.h"

namespace install {

inline constexpr std::u16string_view kPrivateDir = u"~updater\\";

// The copy of the staged file of entry index, made during verification.
std::u16string copyPath(std::size_t index);

// Makes the private directory fit to be trusted before anything in it is
// read: a missing one is made; one that fails the check (another owner,
// others may write it, a link) is renamed aside, never read, and a fresh
// one made, setAside receiving the name it now has ("" when none). Copies a
// run left behind are removed. Returns 0 or the error code of the making.
std::uint32_t preparePrivateDirectory(platform::Tree& tree, std::u16string& setAside);

// Makes the directory of the copies (there may be one already).
void makeCopiesDirectory(platform::Tree& tree);
// Removes the copies directory and whatever is in it.
void removeCopies(platform::Tree& tree);

}  // namespace install
