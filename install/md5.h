// MD5 (RFC 1321) of byte streams and files, as 32 lowercase hex digits, and
// the conversion of UTF-16 text into the OEM code page that digests are
// compared in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Md5Context {
public:
    Md5Context();
    // Goes on with a computation that has hashed bytes bytes, a multiple of
    // 64, into these chaining words (A, B, C, D), e.g. in a vector lane.
    Md5Context(const std::uint32_t chaining[4], std::uint64_t bytes);
    // Feeds length bytes (0 changes nothing).
    void addBytes(const void* data, std::size_t length);
    // Finishes the computation and returns the digest text. Later calls
    // return the same text; no bytes may be added after the first.
    std::string hexDigest();

private:
    std::uint32_t state_[4];
    std::uint32_t count_[2] = {0, 0};  // bits processed, low word first
    unsigned char buffer_[64] = {};    // the block not yet complete
    unsigned char digest_[16] = {};
    bool finished_ = false;
};

// The MD5 digest text of the file at path, read in 1024-byte blocks, or ""
// when the file cannot be opened (missing, a directory, refused). The file is
// opened by its UTF-16 path, so any name the file system holds can be hashed.
std::string fileMd5(const std::u16string& path);

// text in the OEM code page, or "" when the conversion fails. Characters the
// code page lacks become its default character.
std::string toNarrow(std::u16string_view text);
