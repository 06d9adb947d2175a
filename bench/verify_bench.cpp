// Verification on its own terms, with no peer, so that the 32-bit Windows
// build runs it under Wine as well as the native build runs it:
//   - updtool check's work over 2,000 staged files of 128 KiB (the manifest,
//     every entry's verification, the open test of each target) with the
//     vector lanes, against the same work with lanes forced to 1: the scalar
//     code reading the staged files one after the other; and the same
//     without the open tests, which cost as much under Wine as the hashing;
//   - the reading alone: every staged file opened, read through in views of
//     verification's read size and closed, unhashed; the scalar time over
//     it is the ratio the lanes would reach if hashing cost nothing;
//   - fileMd5 of one 64 MiB file against Md5Context over the same bytes in
//     memory, which is what the reading costs; and the bound set by reading
//     the file alone (the system's copy out of the page cache), which a
//     reader that hashes after each read cannot beat.
// The files are in the page cache; the contenders take turns in every round,
// each pair in the other order in the next round.
//   verify_bench [ROUNDS]      default 9
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "platform/tree.h"
#include "install/manifest.h"
#include "install/md5.h"
#include "install/md5_files.h"
#include "install/md5_lanes.h"
#include "install/occupancy.h"
#include "install/verification.h"
#include "xml/xml_doc.h"

namespace {

constexpr int kFiles = 2000;
constexpr std::size_t kFileBytes = 128u << 10;
constexpr std::size_t kLargeBytes = 64u << 20;

// updtool check between its options and its output, in the working
// directory; withOpenTests false leaves out the open test of each target.
bool checkWork(unsigned lanes, bool withOpenTests = true) {
    xml::XmlDoc doc;
    doc.loadFile(u"move.xml");
    std::vector<install::ManifestEntry> entries;
    std::u16string errorText;
    if (!install::readManifest(doc, entries, errorText)) return false;
    install::VerificationOptions options;
    options.examine = install::Examine::kEveryEntry;
    options.lanes = lanes;
    bool allPass = true;
    std::size_t index = 0;
    platform::Tree tree;
    tree.open();
    install::verifyEntries(tree, entries, u"autoTemp\\", u"updater.exe", options,
                           [&](const install::EntryVerification& verification) {
                               allPass = allPass && verification.passed();
                               ++index;
                           });
    if (withOpenTests) {
        allPass = allPass && install::checkOccupancy(tree, entries, u"updater.exe", errorText, install::noReports(),
                                                     install::Examine::kEveryEntry);
    }
    return allPass && index == entries.size() && entries.size() == kFiles;
}

// The bytes of the file at path, opened with file and read through in
// verification's views, unhashed; -1 when it cannot be opened.
std::int64_t readThrough(platform::InputFile& file, const std::u16string& path) {
    if (!file.open(path)) return -1;
    const unsigned char* data = nullptr;
    std::int64_t total = 0;
    for (std::size_t got; (got = file.view(data, Md5Files::kRead)) != 0;) total += std::int64_t(got);
    file.close();
    return total;
}

// What check's work cannot do without: opening and reading every staged file.
bool readingAlone() {
    platform::InputFile file;
    for (int i = 0; i < kFiles; ++i) {
        if (readThrough(file, bench::stagedPath(i)) != std::int64_t(kFileBytes)) return false;
    }
    return true;
}

// The times of first and second, the first of them timed first in even rounds, the second in odd ones.
template <typename First, typename Second>
std::pair<double, double> inTurn(int round, First&& first, Second&& second) {
    if (round % 2 == 0) {
        const double a = bench::secondsOf(first);
        return {a, bench::secondsOf(second)};
    }
    const double b = bench::secondsOf(second);
    return {bench::secondsOf(first), b};
}

}  // namespace

int main(int argc, char* argv[]) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::u16string dir = u"verify-bench-data";
    const unsigned lanes = md5Lanes(kMd5MaxLanes).lanes;
    std::printf("%d files of %zu KiB, %d rounds taking turns, MD5 in %u lanes\n", kFiles, kFileBytes >> 10, rounds, lanes);
    if (!bench::layOutPackage(dir, kFiles, kFileBytes)) {
        std::fprintf(stderr, "cannot lay out the package\n");
        return 1;
    }
    std::vector<unsigned char> large(kLargeBytes);
    bench::fill(large, 7);
    const std::u16string largePath = dir + u"\\large.bin";
    if (!bench::writeWhole(largePath, large)) return 1;

    bench::PairedRatios lanesAgainstScalar("check's work: scalar time / lanes time");
    bench::PairedRatios withoutOpenTests("the same without the targets' open tests");
    bench::PairedRatios ceiling("the same if hashing cost nothing: scalar / reading alone");
    bench::PairedRatios fileAgainstMemory("fileMd5 64 MiB: in-memory time / file time");
    bench::PairedRatios fileBound("its bound: in-memory / (in-memory + reading alone)");
    bool ok = platform::setCurrentDirectory(dir) == platform::kErrorSuccess && checkWork(lanes);  // warms the cache
    for (int round = 0; round < rounds && ok; ++round) {
        const auto [vector, scalar] = inTurn(round, [&] { ok = ok && checkWork(lanes); }, [&] { ok = ok && checkWork(1); });
        lanesAgainstScalar.add(scalar, vector);
        const auto [vectorOnly, scalarOnly] =
            inTurn(round, [&] { ok = ok && checkWork(lanes, false); }, [&] { ok = ok && checkWork(1, false); });
        withoutOpenTests.add(scalarOnly, vectorOnly);
        const double reading = bench::secondsOf([&] { ok = ok && readingAlone(); });
        ceiling.add(scalarOnly, reading);
        std::string fromFile, inMemory;
        const auto [file, memory] = inTurn(
            round, [&] { fromFile = fileMd5(u"large.bin"); },
            [&] {
                Md5Context context;
                context.addBytes(large.data(), large.size());
                inMemory = context.hexDigest();
            });
        const double readingLarge = bench::secondsOf([&] {
            platform::InputFile reader;
            ok = ok && readThrough(reader, u"large.bin") == std::int64_t(kLargeBytes);
        });
        fileAgainstMemory.add(memory, file);
        fileBound.add(memory, memory + readingLarge);
        ok = ok && fromFile == inMemory;
        std::printf("round %d: check's work %.1f ms with lanes, %.1f ms scalar (without open tests %.1f, %.1f; reading alone %.1f); "
                    "64 MiB from the file %.1f ms, in memory %.1f ms, reading alone %.1f ms\n",
                    round + 1, 1e3 * vector, 1e3 * scalar, 1e3 * vectorOnly, 1e3 * scalarOnly, 1e3 * reading, 1e3 * file,
                    1e3 * memory, 1e3 * readingLarge);
    }
    platform::setCurrentDirectory(u"..");
    platform::deleteFile(largePath);
    bench::removePackage(dir, kFiles);
    if (!ok) {
        std::fprintf(stderr, "a verification or a digest went wrong\n");
        return 1;
    }
    std::printf("per-round paired ratios of the times named:\n");
    lanesAgainstScalar.print();
    withoutOpenTests.print();
    ceiling.print();
    fileAgainstMemory.print();
    fileBound.print();
    return 0;
}
