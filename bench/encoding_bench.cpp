// Reading a 100,000-entry manifest side by side with peers, in one run:
//   loadFile (read, detect, convert, parse) of the file in UTF-8 and in
//   UTF-16LE against pugixml's load_file of the same files, and
//   UTF-8 -> UTF-16 conversion through TextConverter against glibc's iconv.
// Prints MB/s of file bytes (median of the runs, ours and the peer taking
// turns) and our throughput as a multiple of the peer's.
//   encoding_bench [runs] [scratch directory]
#include "platform/utf.h"
#include "xml/text_converter.h"
#include "xml/xml_doc.h"

#include <pugixml.hpp>

#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr int kEntries = 100000;

// A manifest as the product ships it: a declaration, one "update" element
// and one "file" element per staged file; one path in eight is Chinese.
std::string manifestUtf8(const char* encodingName) {
    std::string text = std::string("<?xml version=\"1.0\" encoding=\"") + encodingName + "\"?>\r\n<update>\r\n";
    char line[256];
    for (int i = 0; i < kEntries; ++i) {
        const unsigned digest = 2654435761u * static_cast<unsigned>(i + 1);
        std::snprintf(line, sizeof line,
                      "  <file path=\"bin\\%s\\module%03d\\file%06d.dll\" md5=\"%08x%08x%08x%08x\"/>\r\n",
                      i % 8 == 0 ? "\xE6\x9B\xB4\xE6\x96\xB0" : "plugins", i % 1000, i, digest, digest ^ 0x5bd1e995u,
                      digest * 31u, ~digest);
        text += line;
    }
    text += "</update>\r\n";
    return text;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median seconds of each contender; they take turns in every round so that
// a busy machine slows all alike.
std::vector<double> race(int runs, const std::vector<std::function<void()>>& contenders) {
    std::vector<std::vector<double>> times(contenders.size());
    for (int i = 0; i < runs; ++i) {
        for (std::size_t c = 0; c < contenders.size(); ++c) {
            times[c].push_back(seconds(contenders[c]));
        }
    }
    std::vector<double> medians;
    for (auto& t : times) {
        medians.push_back(median(std::move(t)));
    }
    return medians;
}

void report(const char* what, std::size_t bytes, double ours, double peer, const char* peerName) {
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("%-26s %8.1f MB  ours %8.0f MB/s  %-16s %8.0f MB/s  ratio %5.2f\n", what, mb, mb / ours, peerName,
                mb / peer, peer / ours);
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "encoding_bench: %s\n", what);
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::filesystem::path dir =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path() / "encoding_bench";
    std::filesystem::create_directories(dir);

    const std::string utf8 = manifestUtf8("UTF-8");
    const std::u16string wide = platform::utf8ToUtf16(manifestUtf8("UTF-16"));
    std::string utf16le("\xFF\xFE");
    utf16le.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    const auto utf8Path = dir / "manifest-utf8.xml";
    const auto utf16Path = dir / "manifest-utf16le.xml";
    writeFile(utf8Path, utf8);
    writeFile(utf16Path, utf16le);

    // Same answers before timing anything.
    const std::u16string expected = platform::utf8ToUtf16(utf8);
    {
        xml::XmlDoc doc;
        if (!doc.loadFile(platform::utf8ToUtf16(utf8Path.string())) || doc.text() != expected) {
            fail("loadFile of the UTF-8 manifest gave something else");
        }
        xml::XmlDoc doc16;
        if (!doc16.loadFile(platform::utf8ToUtf16(utf16Path.string())) || doc16.text() != wide) {
            fail("loadFile of the UTF-16LE manifest gave something else");
        }
        pugi::xml_document peer;
        if (!peer.load_file(utf8Path.c_str()) || !peer.load_file(utf16Path.c_str())) {
            fail("pugixml cannot load the manifest");
        }
    }

    std::printf("%d entries, median of %d runs\n", kEntries, runs);
    for (const auto& [name, path, size, text] :
         {std::tuple{"loadFile UTF-8", utf8Path, utf8.size(), &expected},
          std::tuple{"loadFile UTF-16LE", utf16Path, utf16le.size(), &wide}}) {
        const std::u16string widePath = platform::utf8ToUtf16(path.string());
        // Parsing the same text alone (the document's copy of it included)
        // shows what is left for reading, detecting and converting.
        const auto times = race(runs, {[&] {
                                           xml::XmlDoc doc;
                                           if (!doc.loadFile(widePath)) fail("loadFile failed");
                                       },
                                       [&] {
                                           pugi::xml_document doc;
                                           if (!doc.load_file(path.c_str())) fail("pugixml failed");
                                       },
                                       [&] { xml::XmlDoc doc(text->c_str()); }});
        report(name, size, times[0], times[1], "pugixml");
        std::printf("%-26s %8.2f ms, of which parsing %.2f ms, reading and decoding %.2f ms\n", "", times[0] * 1e3,
                    times[2] * 1e3, (times[0] - times[2]) * 1e3);
    }

    auto buffer = std::make_unique<char16_t[]>(utf8.size() + 1);
    // Both convert into a buffer that is already there; ours measures first,
    // as the file reader does.
    const auto times = race(
        runs,
        {[&] {
            xml::TextConverter converter(u"UTF-8", utf8.data(), static_cast<std::int32_t>(utf8.size()));
            converter.convert(nullptr);
            if (converter.convert(buffer.get()) != static_cast<std::int32_t>(expected.size())) {
                fail("TextConverter gave another length");
            }
        },
        [&] {
            iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
            char* in = const_cast<char*>(utf8.data());
            std::size_t inLeft = utf8.size();
            char* out = reinterpret_cast<char*>(buffer.get());
            std::size_t outLeft = (utf8.size() + 1) * 2;
            if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) fail("iconv failed");
            iconv_close(cd);
        }});
    report("UTF-8 -> UTF-16", utf8.size(), times[0], times[1], "iconv");

    std::filesystem::remove_all(dir);
    return 0;
}
