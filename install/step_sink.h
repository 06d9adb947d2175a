// What the file steps of a run report besides their result. The Updater's
// sink writes the console trace lines; updtool's collects each entry's facts.
// The steps themselves write nothing anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace install {

struct EntryVerification;
struct SignatureCheck;

class StepSink {
public:
    // The manifest could not be read ("move.xml load err").
    virtual void manifestNotLoaded() {}
    // A signed update's signature was checked.
    virtual void signatureChecked(const SignatureCheck& /*check*/) {}
    // The verification of entry index, for every entry examined, in manifest order.
    virtual void entryVerified(std::size_t /*index*/, const EntryVerification& /*verification*/) {}
    // The open test of entry index's target (code 0: free, or nothing to test),
    // for every entry examined, in manifest order.
    virtual void entryOccupancy(std::size_t /*index*/, std::uint32_t /*code*/) {}
    // The target that ends the occupancy check is in use ("<path>被占用<code>").
    virtual void targetInUse(const std::u16string& /*path*/, std::uint32_t /*code*/) {}
    // Undoing an installation found the way back into the staging directory
    // gone (a directory replaced, a link in its place) and kept the new file
    // of path at keptAt in the backup directory.
    virtual void stagedFileKept(const std::u16string& /*path*/, const std::u16string& /*keptAt*/) {}

protected:
    ~StepSink() = default;
};

// A sink that keeps nothing, for callers that want only the result.
inline StepSink& noReports() {
    static struct None final : StepSink {
    } none;
    return none;
}

// How far a step looks: the Updater stops at the first failing entry; a
// check looks at every entry and still fails with the first one's message.
enum class Examine { kUntilFailure, kEveryEntry };

}  // namespace install
