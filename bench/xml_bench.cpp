// The manifest load of the XML core against pugixml, rapidxml and expat, as
// the Updater does it: the file is loaded, and the "path" and "md5" values of
// every file element are collected as UTF-16 strings, so all contenders
// deliver the same vector (the peers convert their UTF-8 values; rapidxml,
// which reads only UTF-8, gets a UTF-16 file through iconv first). Manifests:
// UTF-8 with 1,000 and 100,000 entries, UTF-8 with 10,000 mostly Chinese
// paths, UTF-16LE with 1,000 and 100,000 entries.
//
// In process, the files stay in the page cache and every contender loads
// each one in turn in every round (the first of them changing from round to
// round), a few times per round for the small manifests, which count their
// best load of the round; glibc is told to
// keep freed memory, or whether a contender's large buffers come back from
// the kernel as fresh (faulting) pages would depend on what ran before it.
// In a fresh process the program starts itself once per load, as the Updater
// loads its manifest once, and the child times its load and walk.
// Each line gives the per-round ratios peer time / our time (min, median,
// max: above 1 we are faster). Then parsing alone from memory, and three
// hostile texts at two sizes each, to show linear time.
//   xml_bench [ROUNDS [FRESH_ROUNDS [SCRATCH_DIRECTORY]]]    (0 rounds skips a part)
// A scratch directory that is given keeps the manifests, for a profiler to
// run one load on:  xml_bench --load ours|pugixml|rapidxml|expat FILE 0|1(UTF-16LE) RESULT_FILE
#include <expat.h>
#include <malloc.h>  // the native benchmarks are built on glibc, as their iconv is
#include <iconv.h>
#include <pugixml.hpp>
#include <rapidxml/rapidxml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/utf.h"
#include "xml/xml_doc.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Entry {
    std::u16string path;
    std::u16string md5;
    bool operator==(const Entry&) const = default;
};
using Entries = std::vector<Entry>;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "xml_bench: %s\n", what.c_str());
    std::exit(1);
}

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// UTF-8 to UTF-16 for the peers' values, with an ASCII fast path. The input
// is the generator's own valid UTF-8.
std::u16string toUtf16(const char* s, std::size_t n) {
    std::u16string out;
    out.resize(n);
    std::size_t o = 0;
    for (std::size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out[o++] = c;
            ++i;
        } else if (c < 0xE0) {
            out[o++] = char16_t(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
        } else if (c < 0xF0) {
            out[o++] = char16_t(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
        } else {
            const char32_t cp = char32_t(((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) |
                                         ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F)) - 0x10000;
            out[o++] = char16_t(0xD800 + (cp >> 10));
            out[o++] = char16_t(0xDC00 + (cp & 0x3FF));
            i += 4;
        }
    }
    out.resize(o);
    return out;
}
std::u16string toUtf16(const char* s) { return toUtf16(s, std::strlen(s)); }

// Mostly ASCII paths (one in a hundred Chinese, one in a hundred accented),
// or with chinese nine paths in ten of Chinese words.
std::string generateManifest(int entries, bool chinese, const char* encodingName) {
    static constexpr const char* kWords[] = {"资源", "图片", "文档", "程序", "插件", "配置",
                                             "语言", "帮助", "模块", "数据", "界面", "声音"};
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = std::string("<?xml version=\"1.0\" encoding=\"") + encodingName + "\"?>\r\n<update>\r\n";
    std::uint32_t x = 2463534242u;
    const auto next = [&x] {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        return x;
    };
    for (int i = 0; i < entries; ++i) {
        out += "  <file path=\"";
        if (chinese && i % 10 != 3) {
            for (int w = 0; w < 3; ++w) {
                out += std::string(kWords[next() % 12]) + kWords[next() % 12] + "\\";
            }
            out += kWords[next() % 12] + std::to_string(i) + ".dat";
        } else if (i % 100 == 7) {
            out += "资源\\图片" + std::to_string(i) + ".png";
        } else if (i % 100 == 57) {
            out += "docs\\café\\notes" + std::to_string(i) + ".txt";
        } else {
            out += "bin\\plugins\\group" + std::to_string(i % 97) + "\\module" + std::to_string(i) + ".dll";
        }
        out += "\" md5=\"";
        for (int d = 0; d < 32; ++d) {
            out += kHex[next() & 15];
        }
        out += "\"/>\r\n";
    }
    out += "</update>\r\n";
    return out;
}

struct Manifest {
    const char* name;
    int entries;
    fs::path file;
    std::u16string widePath;
    bool utf16;
};

// A file's bytes with a 0 behind them, read into memory that is not
// cleared first (as a reader that knows the size does it).
struct Bytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;  // without the 0
};

Bytes readFile(const fs::path& file) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) fail("cannot open " + file.string());
    const std::size_t size = fs::file_size(file);
    Bytes bytes{std::make_unique_for_overwrite<char[]>(size + 1), size};
    if (std::fread(bytes.data.get(), 1, bytes.size, f) != bytes.size) fail("cannot read " + file.string());
    std::fclose(f);
    bytes.data[bytes.size] = 0;
    return bytes;
}

// The bytes of a file as zero-terminated UTF-8: a UTF-16LE file (with its
// byte-order mark) goes through iconv.
Bytes readAsUtf8(const Manifest& m) {
    Bytes bytes = readFile(m.file);
    if (m.utf16) {
        const std::size_t room = bytes.size / 2 * 3;
        Bytes utf8{std::make_unique_for_overwrite<char[]>(room + 1), 0};
        iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
        char* in = bytes.data.get() + 2;
        std::size_t inLeft = bytes.size - 2;
        char* put = utf8.data.get();
        std::size_t outLeft = room;
        if (iconv(cd, &in, &inLeft, &put, &outLeft) == static_cast<std::size_t>(-1)) fail("iconv failed");
        iconv_close(cd);
        utf8.size = std::size_t(put - utf8.data.get());
        utf8.data[utf8.size] = 0;
        return utf8;
    }
    return bytes;
}

// Every contender that can fills the entries alike: room for one per child
// of "update" first (counted through its own tree), then each entry in place.

// As the manifest reader walks it.
Entries loadOurs(const Manifest& m) {
    Entries out;
    xml::XmlDoc doc;
    if (doc.loadFile(m.widePath) && doc.findElement(u"update")) {
        doc.enterElement();
        out.reserve(std::size_t(doc.childCount(doc.parentPos())));
        while (doc.findElement(u"file")) {
            Entry& e = out.emplace_back();
            e.md5 = doc.attribute(u"md5");
            e.path = doc.attribute(u"path");
        }
    }
    return out;
}

Entries loadPugixml(const Manifest& m) {
    Entries out;
    pugi::xml_document doc;
    doc.load_file(m.file.c_str());
    const pugi::xml_node update = doc.child("update");
    std::size_t children = 0;
    for (pugi::xml_node child = update.first_child(); child; child = child.next_sibling()) {
        ++children;
    }
    out.reserve(children);
    for (pugi::xml_node file : update.children("file")) {
        Entry& e = out.emplace_back();
        e.md5 = toUtf16(file.attribute("md5").value());
        e.path = toUtf16(file.attribute("path").value());
    }
    return out;
}

Entries loadRapidxml(const Manifest& m) {
    Entries out;
    Bytes buffer = readAsUtf8(m);
    rapidxml::xml_document<> doc;
    doc.parse<0>(buffer.data.get());
    if (rapidxml::xml_node<>* update = doc.first_node("update")) {
        std::size_t children = 0;
        for (rapidxml::xml_node<>* child = update->first_node(); child != nullptr; child = child->next_sibling()) {
            ++children;
        }
        out.reserve(children);
        for (rapidxml::xml_node<>* file = update->first_node("file"); file != nullptr;
             file = file->next_sibling("file")) {
            Entry& e = out.emplace_back();
            if (rapidxml::xml_attribute<>* a = file->first_attribute("md5")) {
                e.md5 = toUtf16(a->value(), a->value_size());
            }
            if (rapidxml::xml_attribute<>* a = file->first_attribute("path")) {
                e.path = toUtf16(a->value(), a->value_size());
            }
        }
    }
    return out;
}

struct ExpatState {
    Entries* out;
    int depth;
};

void XMLCALL expatStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* state = static_cast<ExpatState*>(data);
    if (state->depth++ == 1 && std::strcmp(name, "file") == 0) {
        // A stream of events: no count beforehand.
        Entry& e = state->out->emplace_back();
        for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
            if (std::strcmp(a[0], "md5") == 0) {
                e.md5 = toUtf16(a[1]);
            } else if (std::strcmp(a[0], "path") == 0) {
                e.path = toUtf16(a[1]);
            }
        }
    }
}

void XMLCALL expatEnd(void* data, const XML_Char*) { --static_cast<ExpatState*>(data)->depth; }

// expat reads a UTF-16 file with its mark itself.
Entries loadExpat(const Manifest& m) {
    Entries out;
    const Bytes bytes = readFile(m.file);
    ExpatState state{&out, 0};
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, expatStart, expatEnd);
    XML_Parse(parser, bytes.data.get(), int(bytes.size), 1);
    XML_ParserFree(parser);
    return out;
}

struct Contender {
    const char* name;
    Entries (*load)(const Manifest&);
};
constexpr Contender kContenders[] = {
    {"ours", loadOurs}, {"pugixml", loadPugixml}, {"rapidxml", loadRapidxml}, {"expat", loadExpat}};
constexpr std::size_t kCount = std::size(kContenders);

// Identifies a result in a child's one line of output.
std::uint64_t digest(const Entries& entries) {
    std::uint64_t h = 14695981039346656037ull;
    const auto add = [&h](const std::u16string& s) {
        for (const char16_t c : s) h = (h ^ c) * 1099511628211ull;
        h = (h ^ 0x10000) * 1099511628211ull;
    };
    for (const Entry& e : entries) {
        add(e.path);
        add(e.md5);
    }
    return h;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// times[c][round] in seconds for one load, per contender.
void report(const Manifest& m, const char* mode, const std::vector<std::vector<double>>& times) {
    const auto ratios = [&](auto peerTime) {
        std::vector<double> r;
        for (std::size_t i = 0; i < times[0].size(); ++i) r.push_back(peerTime(i) / times[0][i]);
        std::sort(r.begin(), r.end());
        return r;
    };
    const auto line = [&](const char* peer, const std::vector<double>& r, double peerTime) {
        std::printf("  %-15s %-9s vs %-14s min %5.2f median %5.2f max %5.2f   ours %7.1f, peer %7.1f ns/entry\n", m.name,
                    mode, peer, r.front(), r[r.size() / 2], r.back(), median(times[0]) * 1e9 / m.entries,
                    peerTime * 1e9 / m.entries);
    };
    for (std::size_t c = 1; c < kCount; ++c) {
        line(kContenders[c].name, ratios([&](std::size_t i) { return times[c][i]; }), median(times[c]));
    }
    // The faster of pugixml and rapidxml in each round.
    std::vector<double> fastest;
    for (std::size_t i = 0; i < times[0].size(); ++i) fastest.push_back(std::min(times[1][i], times[2][i]));
    line("fastest (goal 1.30)", ratios([&](std::size_t i) { return fastest[i]; }), median(fastest));
}

void inProcess(const Manifest& m, int rounds, const Entries& reference) {
    // Small manifests are loaded several times in a row per round, keeping
    // the best: a load is shorter than the time slice another process takes.
    const int repeats = std::max(1, 20000 / m.entries);
    std::vector<std::vector<double>> times(kCount);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < kCount; ++k) {
            const std::size_t c = (k + std::size_t(round)) % kCount;
            double best = 1e30;
            for (int i = 0; i < repeats; ++i) {
                const auto start = Clock::now();
                const Entries got = kContenders[c].load(m);
                best = std::min(best, seconds(start));
                if (got.size() != reference.size()) fail(std::string(kContenders[c].name) + " lost entries");
            }
            times[c].push_back(best);
        }
    }
    report(m, "in process", times);
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

void freshProcess(const std::string& self, const Manifest& m, int rounds, const Entries& reference,
                  const fs::path& resultFile) {
    const std::uint64_t want = digest(reference);
    std::vector<std::vector<double>> times(kCount);
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < kCount; ++k) {
            const std::size_t c = (k + std::size_t(round)) % kCount;
            const std::string command = quoted(self) + " --load " + kContenders[c].name + " " +
                                        quoted(m.file.string()) + " " + std::to_string(m.utf16 ? 1 : 0) + " " +
                                        quoted(resultFile.string());
            if (std::system(command.c_str()) != 0) fail("a child failed: " + command);
            std::ifstream result(resultFile);
            double time = 0;
            std::size_t count = 0;
            std::uint64_t got = 0;
            if (!(result >> time >> count >> got) || count != reference.size() || got != want) {
                fail(std::string(kContenders[c].name) + " delivers other entries in a fresh process");
            }
            times[c].push_back(time);
        }
    }
    report(m, "fresh", times);
}

// The child of freshProcess: one load, timed, written as "seconds count digest".
int loadOnce(const char* contender, const char* file, bool utf16, const char* resultFile) {
    Manifest m{"", 0, file, platform::utf8ToUtf16(file), utf16};
    for (const Contender& c : kContenders) {
        if (std::strcmp(c.name, contender) == 0) {
            const auto start = Clock::now();
            const Entries got = c.load(m);
            const double time = seconds(start);
            std::ofstream(resultFile) << time << ' ' << got.size() << ' ' << digest(got) << '\n';
            return 0;
        }
    }
    return 1;
}

// Parsing alone from memory: ours on the UTF-16 text, the peers on UTF-8.
void parsingAlone(const Manifest& m, int rounds) {
    const Bytes bytes = readFile(m.file);
    const std::string utf8(bytes.data.get(), bytes.size);
    const std::u16string utf16 = platform::utf8ToUtf16(utf8);
    std::vector<std::vector<double>> times(3);
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < 3; ++k) {
            const int c = (k + round) % 3;
            const auto start = Clock::now();
            if (c == 0) {
                xml::XmlDoc doc(utf16.c_str());
                if (!doc.wellFormed()) fail("not well formed");
            } else if (c == 1) {
                pugi::xml_document doc;
                doc.load_buffer(utf8.data(), utf8.size());
            } else {
                std::vector<char> buffer(utf8.begin(), utf8.end());
                buffer.push_back(0);
                rapidxml::xml_document<> doc;
                doc.parse<0>(buffer.data());
            }
            times[std::size_t(c)].push_back(seconds(start));
        }
    }
    std::printf("parsing alone, %s (ours: setDocument on the UTF-16 text): ours %.1f, pugixml %.1f, rapidxml %.1f "
                "ns/entry (medians)\n",
                m.name, median(times[0]) * 1e9 / m.entries, median(times[1]) * 1e9 / m.entries,
                median(times[2]) * 1e9 / m.entries);
}

// Best time of parsing text into a fresh document, over a few rounds.
double parseTime(const std::u16string& text, int rounds) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        xml::XmlDoc doc(text.c_str());
        best = std::min(best, seconds(start));
        if (doc.wellFormed() && doc.nextFree() < 2) {
            std::abort();
        }
    }
    return best;
}

std::u16string repeat(const char16_t* piece, int count) {
    std::u16string out;
    for (int i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

void hostileTexts() {
    std::printf("\nhostile texts (parse only), twice the size should take twice the time:\n");
    for (const int count : {350000, 700000}) {
        const double t = parseTime(repeat(u"<a>", count), 3);
        std::printf("%7d unclosed <a>          %8.2f ms %6.1f ns/element\n", count, t * 1e3, t * 1e9 / count);
    }
    for (const int levels : {100000, 200000}) {
        const double t = parseTime(repeat(u"<a>", levels) + repeat(u"</a>", levels), 3);
        std::printf("%7d levels, <a>..</a>     %8.2f ms %6.1f ns/element\n", levels, t * 1e3, t * 1e9 / levels);
    }
    for (const int count : {100000, 200000}) {
        const double t = parseTime(repeat(u"<a>", count) + repeat(u"</b>", count), 3);
        std::printf("%7d levels, then as many stray </b> %8.2f ms %6.1f ns/element\n", count, t * 1e3,
                    t * 1e9 / count);
    }
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 6 && std::strcmp(argv[1], "--load") == 0) {
        return loadOnce(argv[2], argv[3], std::strcmp(argv[4], "1") == 0, argv[5]);
    }
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    const int freshRounds = argc > 2 ? std::atoi(argv[2]) : 15;
    const fs::path dir = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "xml_bench";
    const std::string self = fs::absolute(argv[0]).string();
    fs::create_directories(dir);

    struct Source {
        const char* name;
        const char* file;
        int entries;
        bool chinese;
        bool utf16;
    };
    const Source sources[] = {{"UTF-8 1k", "utf8-1k.xml", 1000, false, false},
                              {"UTF-8 100k", "utf8-100k.xml", 100000, false, false},
                              {"UTF-8 Chinese", "utf8-chinese.xml", 10000, true, false},
                              {"UTF-16LE 1k", "utf16le-1k.xml", 1000, false, true},
                              {"UTF-16LE 100k", "utf16le-100k.xml", 100000, false, true}};
    std::vector<Manifest> manifests;
    std::vector<Entries> references;
    for (const Source& s : sources) {
        Manifest m{s.name, s.entries, dir / s.file, {}, s.utf16};
        m.widePath = platform::utf8ToUtf16(m.file.string());
        if (s.utf16) {
            const std::u16string wide = platform::utf8ToUtf16(generateManifest(s.entries, s.chinese, "UTF-16"));
            std::string bytes("\xFF\xFE");
            bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
            writeFile(m.file, bytes);
        } else {
            writeFile(m.file, generateManifest(s.entries, s.chinese, "UTF-8"));
        }
        // Same answers from everyone before timing anything.
        const Entries reference = loadOurs(m);
        if (int(reference.size()) != s.entries) fail(std::string(s.name) + ": ours lost entries");
        for (const Contender& c : kContenders) {
            if (c.load(m) != reference) fail(std::string(s.name) + ": " + c.name + " delivers other entries");
        }
        std::printf("%-14s %6d entries, %6.2f MB\n", s.name, s.entries, double(fs::file_size(m.file)) / 1e6);
        manifests.push_back(std::move(m));
        references.push_back(reference);
    }

    if (rounds > 0) {
        std::printf("\nin process, %d rounds; ratios peer time / our time per round:\n", rounds);
        for (std::size_t i = 0; i < manifests.size(); ++i) inProcess(manifests[i], rounds, references[i]);
    }
    if (freshRounds > 0) {
        std::printf("\none load per process, %d rounds; ratios peer time / our time per round:\n", freshRounds);
        for (std::size_t i = 0; i < manifests.size(); ++i) {
            freshProcess(self, manifests[i], freshRounds, references[i], dir / "result.txt");
        }
    }
    if (rounds > 0) {
        std::printf("\n");
        parsingAlone(manifests[1], rounds);
        hostileTexts();
    }
    if (argc <= 3) {
        fs::remove_all(dir);
    }
    return 0;
}
