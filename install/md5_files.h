// The MD5 digests of many files, several computed at once on one thread:
// each file is read in 1024-byte blocks as fileMd5 reads it, the files in
// flight take turns, one block each, and their blocks are hashed side by side
// in the lanes of a vector register (install/md5_lanes.h). On request the
// same blocks also feed a SHA-256 of each file, so that a signed update's
// files are still read once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crypto/sha256.h"
#include "install/md5_lanes.h"
#include "platform/platform.h"

struct FileDigests {
    std::string md5;     // 32 lowercase hex digits
    std::string sha256;  // 64 lowercase hex digits; "" unless asked for
};

class Md5Files {
public:
    // Opens the file of tag at path into file; false when it cannot be opened.
    using Opener = std::function<bool(std::size_t tag, const std::u16string& path, platform::InputFile& file)>;

    // At most maxLanes files in flight, fewer where the processor has no
    // vector unit that wide; every file is opened through open (empty:
    // InputFile::open); with sha256 each file's SHA-256 is computed too.
    explicit Md5Files(unsigned maxLanes = kMd5MaxLanes, Opener open = {}, bool sha256 = false);
    Md5Files(const Md5Files&) = delete;
    Md5Files& operator=(const Md5Files&) = delete;

    unsigned lanes() const { return kernel_.lanes; }
    // Fewer files in flight than lanes.
    bool hasRoom() const { return inFlight_ < kernel_.lanes; }

    // Sees every block of every file as it is read, before it is hashed: a
    // signed update's staged files are copied in the same single read.
    using Tap = std::function<void(std::size_t tag, const unsigned char* data, std::size_t size)>;
    void setTap(Tap tap) { tap_ = std::move(tap); }

    // Opens the file at path and puts it in flight under tag, unread; false,
    // with nothing in flight, when it cannot be opened. Only while hasRoom().
    bool start(std::size_t tag, const std::u16string& path);

    // Reads the files in flight, one block each in turn, and hashes what they
    // gave until one has ended (a short read, as in fileMd5); gives its tag
    // and digests and closes it. False when no file is in flight.
    bool next(std::size_t& tag, FileDigests& digests);
    // Files that have ended and that next() gives without reading further.
    bool hasEnded() const { return !finished_.empty(); }

    // Closes the files in flight whose tag is above tag, unread further, and
    // forgets their digests.
    void dropAbove(std::size_t tag);

    // Bytes each file in flight reads per round.
    static constexpr std::size_t kRead = 1024;

private:
    struct Lane {
        platform::InputFile file;
        std::size_t tag = 0;
        std::uint64_t bytes = 0;  // hashed so far, whole blocks only
        bool busy = false;
        crypto::Sha256 sha256;
    };
    struct Finished {
        std::size_t tag;
        FileDigests digests;
    };

    void round();
    // Feeds the SHA-256 of each of lanes count lanes its whole block, two side by side.
    void sha256Round(const unsigned* lanes, unsigned count);
    void chaining(unsigned lane, std::uint32_t out[4]) const;
    void setChaining(unsigned lane, const std::uint32_t in[4]);
    void finish(unsigned lane, std::size_t got);

    Md5Lanes kernel_;
    Opener open_;
    Tap tap_;
    bool sha256_;
    unsigned inFlight_ = 0;
    Lane lanes_[kMd5MaxLanes];
    alignas(32) std::uint32_t state_[4 * kMd5MaxLanes] = {};
    // Each lane's block of this round, where its file's buffer holds it.
    const unsigned char* blocks_[kMd5MaxLanes] = {};
    std::vector<Finished> finished_;
};
