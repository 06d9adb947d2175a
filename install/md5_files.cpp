#include "install/md5_files.h"

#include <algorithm>

#include "crypto/hex.h"
#include "install/md5.h"

namespace {

constexpr std::uint32_t kInitial[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

}  // namespace

Md5Files::Md5Files(unsigned maxLanes, Opener open, bool sha256)
    : kernel_(md5Lanes(maxLanes)), open_(std::move(open)), sha256_(sha256) {
    if (!open_) open_ = [](std::size_t, const std::u16string& path, platform::InputFile& file) { return file.open(path); };
}

bool Md5Files::start(std::size_t tag, const std::u16string& path) {
    unsigned lane = 0;
    while (lanes_[lane].busy) ++lane;
    Lane& l = lanes_[lane];
    if (!open_(tag, path, l.file)) return false;
    l.tag = tag;
    l.bytes = 0;
    l.busy = true;
    if (sha256_) l.sha256 = crypto::Sha256();  // a dropped file may have left its state
    setChaining(lane, kInitial);
    ++inFlight_;
    return true;
}

bool Md5Files::next(std::size_t& tag, FileDigests& digests) {
    while (finished_.empty()) {
        if (inFlight_ == 0) return false;
        round();
    }
    tag = finished_.front().tag;
    digests = std::move(finished_.front().digests);
    finished_.erase(finished_.begin());
    return true;
}

void Md5Files::dropAbove(std::size_t tag) {
    for (Lane& lane : lanes_) {
        if (lane.busy && lane.tag > tag) {
            lane.file.close();
            lane.busy = false;
            --inFlight_;
        }
    }
    std::erase_if(finished_, [tag](const Finished& f) { return f.tag > tag; });
}

// Every file in flight reads one block. Those that gave a whole block are
// hashed together; a file that gave less has ended and is finished alone.
void Md5Files::round() {
    unsigned whole = 0, only = 0;
    unsigned wholeLanes[kMd5MaxLanes] = {};
    for (unsigned lane = 0; lane < kernel_.lanes; ++lane) {
        if (!lanes_[lane].busy) continue;
        const std::size_t got = lanes_[lane].file.view(blocks_[lane], kRead);
        if (tap_ && got > 0) tap_(lanes_[lane].tag, blocks_[lane], got);
        if (got == kRead) {
            wholeLanes[whole++] = lane;
            only = lane;
        } else {
            if (sha256_) lanes_[lane].sha256.update(blocks_[lane], got);
            finish(lane, got);
        }
    }
    if (sha256_) sha256Round(wholeLanes, whole);
    if (whole == 1) {
        // One stream alone runs faster on the scalar code than in a vector.
        std::uint32_t words[4];
        chaining(only, words);
        const unsigned char* data = blocks_[only];
        md5Lanes1(words, &data, kRead / 64);
        setChaining(only, words);
    } else if (whole > 1) {
        // Idle lanes (a finished lane's view went with its file) hash a block
        // of zeros; their words are set afresh when a file starts there.
        static const unsigned char kIdle[kRead] = {};
        const unsigned char* data[kMd5MaxLanes];
        for (unsigned lane = 0; lane < kernel_.lanes; ++lane) {
            data[lane] = lanes_[lane].busy ? blocks_[lane] : kIdle;
        }
        kernel_.transform(state_, data, kRead / 64);
    }
    for (Lane& lane : lanes_) {
        if (lane.busy) lane.bytes += kRead;
    }
}

void Md5Files::sha256Round(const unsigned* lanes, unsigned count) {
    unsigned i = 0;
    for (; i + 1 < count; i += 2) {
        Lane& a = lanes_[lanes[i]];
        Lane& b = lanes_[lanes[i + 1]];
        crypto::Sha256::updateTwo(a.sha256, blocks_[lanes[i]], b.sha256, blocks_[lanes[i + 1]], kRead);
    }
    if (i < count) lanes_[lanes[i]].sha256.update(blocks_[lanes[i]], kRead);
}

void Md5Files::finish(unsigned lane, std::size_t got) {
    Lane& l = lanes_[lane];
    std::uint32_t words[4];
    chaining(lane, words);
    Md5Context context(words, l.bytes);
    context.addBytes(blocks_[lane], got);
    l.file.close();
    l.busy = false;
    --inFlight_;
    FileDigests digests{context.hexDigest(), {}};
    if (sha256_) digests.sha256 = crypto::toHex(l.sha256.finish());
    finished_.push_back({l.tag, std::move(digests)});
}

void Md5Files::chaining(unsigned lane, std::uint32_t out[4]) const {
    for (unsigned w = 0; w < 4; ++w) out[w] = state_[w * kernel_.lanes + lane];
}

void Md5Files::setChaining(unsigned lane, const std::uint32_t in[4]) {
    for (unsigned w = 0; w < 4; ++w) state_[w * kernel_.lanes + lane] = in[w];
}
