// VCDIFF patches against their peers, one run over a corpus of pairs
// (NAME.base and NAME.new; by default the interop test's cache of Debian
// library updates), every program run as a process:
//   - size after xz -9: `updtool patch --checksum` against
//     `xdelta3 -e -9 -S none` (its checksum and application header on), and
//     beside them bsdiff and `zstd -19 --patch-from`;
//   - encoding time and peak memory: updtool patch against xdelta3 -e -9;
//   - applying time and peak memory: updtool apply against xdelta3 -d, each
//     on the same patch, ours and xdelta3's.
// Every patch is applied and compared with the new file before its figures
// count. Each time is the fastest of a few runs (3 encodings, 5
// applications), since a process of a few milliseconds varies by as much on
// a busy machine. Ratios are ours over the peer's: below 1 means smaller or
// faster.
//   patch_bench [CORPUS_DIR]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Run {
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0;
};

// Runs argv with standard output to outFile (when not empty) and error to
// /dev/null; its time and peak resident memory.
Run spawn(const std::vector<std::string>& argv, const std::string& outFile = {}) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.empty() ? "/dev/null" : outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        struct rusage usage {};
        if (wait4(pid, &status, 0, &usage) == pid) {
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            run.peakMiB = double(usage.ru_maxrss) / 1024;
        }
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The fastest of count runs, each after output was removed (updtool never
// replaces a file), and the most memory any took; ok only if all were.
Run fastest(int count, const std::vector<std::string>& argv, const std::string& output) {
    std::error_code ignored;
    fs::remove(output, ignored);
    Run best = spawn(argv);
    for (int i = 1; i < count && best.ok; ++i) {
        fs::remove(output, ignored);
        const Run again = spawn(argv);
        best.ok = again.ok;
        best.seconds = std::min(best.seconds, again.seconds);
        best.peakMiB = std::max(best.peakMiB, again.peakMiB);
    }
    return best;
}

bool sameBytes(const fs::path& a, const fs::path& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(fa), {}, std::istreambuf_iterator<char>(fb), {});
}

double xzSize(const fs::path& file) {
    const std::string out = file.string() + ".xz";
    if (!spawn({"xz", "-9", "-k", "-c", file.string()}, out).ok) return -1;
    return double(fs::file_size(out));
}

class Ratios {
public:
    explicit Ratios(std::string what) : what_(std::move(what)) {}
    void add(double r) { values_.push_back(r); }
    void print() const {
        std::vector<double> v = values_;
        std::sort(v.begin(), v.end());
        if (v.empty()) return;
        std::printf("  %-62s min %.3f  median %.3f  max %.3f\n", what_.c_str(), v.front(), v[v.size() / 2], v.back());
    }

private:
    std::string what_;
    std::vector<double> values_;
};

}  // namespace

int main(int argc, char** argv) {
    const fs::path corpus = argc > 1 ? fs::path(argv[1]) : fs::path(UPD_PATCH_CORPUS);
    const std::string updtool = UPD_UPDTOOL;
    std::vector<std::string> pairs;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(corpus, error)) {
        if (entry.path().extension() == ".new") pairs.push_back(entry.path().stem().string());
    }
    std::sort(pairs.begin(), pairs.end());
    if (pairs.empty()) {
        std::printf("patch_bench: no NAME.base / NAME.new pairs in %s (ctest -R patch_interop_debian fills it)\n",
                    corpus.string().c_str());
        return 1;
    }
    const fs::path work = fs::temp_directory_path() / "patch_bench";
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string base = (work / "base").string(), target = (work / "new").string();
    const std::string ours = (work / "ours").string(), theirs = (work / "xdelta3").string();
    const std::string bsdiff = (work / "bsdiff").string(), zstd = (work / "zstd").string();

    Ratios xzRatio("size after xz -9: ours / xdelta3 -9");
    Ratios bsdiffRatio("size after xz -9: ours / bsdiff");
    Ratios zstdRatio("size after xz -9: ours / zstd -19 --patch-from");
    Ratios encodeTime("encoding time: updtool patch / xdelta3 -e -9");
    Ratios encodeMemory("encoding peak memory: updtool patch / xdelta3 -e -9");
    Ratios applyOurs("applying our patch, time: updtool apply / xdelta3 -d");
    Ratios applyTheirs("applying xdelta3's patch, time: updtool apply / xdelta3 -d");
    Ratios applyMemory("applying our patch, peak memory: updtool apply / xdelta3 -d");
    // What starting the process costs each side, which the small pairs' times hold.
    Ratios startTime("starting: updtool --version / xdelta3 -V");
    std::printf("%-40s %9s %9s %9s %9s %9s %7s %7s %7s %7s\n", "pair", "new", "ours.xz", "xd3.xz", "bsdiff", "zstd",
                "enc us", "enc xd3", "dec us", "dec xd3");
    int failures = 0;
    for (const std::string& name : pairs) {
        fs::copy_file(corpus / (name + ".base"), base, fs::copy_options::overwrite_existing);
        fs::copy_file(corpus / (name + ".new"), target, fs::copy_options::overwrite_existing);
        const Run encodeOurs = fastest(3, {updtool, "patch", "--checksum", base, target, ours}, ours);
        const Run encodeTheirs = fastest(3, {"xdelta3", "-e", "-9", "-S", "none", "-f", "-s", base, target, theirs}, theirs);
        const bool peers = spawn({"bsdiff", base, target, bsdiff}).ok &&
                           spawn({"zstd", "-q", "-19", "-f", "--patch-from=" + base, target, "-o", zstd}).ok;
        Run decode[2][2];  // [patch: ours, theirs][decoder: ours, xdelta3]
        bool applied = encodeOurs.ok && encodeTheirs.ok && peers;
        for (int p = 0; p < 2 && applied; ++p) {
            const std::string& patchFile = p == 0 ? ours : theirs;
            for (int d = 0; d < 2 && applied; ++d) {
                const std::string out = (work / "out").string();
                decode[p][d] = d == 0 ? fastest(5, {updtool, "apply", base, patchFile, out}, out)
                                      : fastest(5, {"xdelta3", "-d", "-f", "-s", base, patchFile, out}, out);
                applied = decode[p][d].ok && sameBytes(out, target);
            }
        }
        if (!applied) {
            std::printf("%-40s FAILED: a program failed or a patch made other bytes\n", name.c_str());
            ++failures;
            continue;
        }
        const double oursXz = xzSize(ours), theirsXz = xzSize(theirs);
        const double bsdiffSize = double(fs::file_size(bsdiff)), zstdSize = double(fs::file_size(zstd));
        xzRatio.add(oursXz / theirsXz);
        bsdiffRatio.add(oursXz / bsdiffSize);
        zstdRatio.add(oursXz / zstdSize);
        encodeTime.add(encodeOurs.seconds / encodeTheirs.seconds);
        encodeMemory.add(encodeOurs.peakMiB / encodeTheirs.peakMiB);
        applyOurs.add(decode[0][0].seconds / decode[0][1].seconds);
        applyTheirs.add(decode[1][0].seconds / decode[1][1].seconds);
        applyMemory.add(decode[0][0].peakMiB / decode[0][1].peakMiB);
        startTime.add(fastest(5, {updtool, "--version"}, {}).seconds / fastest(5, {"xdelta3", "-V"}, {}).seconds);
        std::printf("%-40s %9ju %9.0f %9.0f %9.0f %9.0f %7.3f %7.3f %7.3f %7.3f\n", name.c_str(),
                    std::uintmax_t(fs::file_size(target)), oursXz, theirsXz, bsdiffSize, zstdSize, encodeOurs.seconds,
                    encodeTheirs.seconds, decode[0][0].seconds, decode[0][1].seconds);
    }
    std::printf("\n%zu pairs, one run each; ratios ours / peer\n", pairs.size() - std::size_t(failures));
    for (const Ratios* r : {&xzRatio, &bsdiffRatio, &zstdRatio, &encodeTime, &encodeMemory, &applyOurs, &applyTheirs,
                            &applyMemory, &startTime}) {
        r->print();
    }
    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
