// Reading documents side by side with peers, in one run:
//   loadFile (read, detect, convert, parse) of a 100,000-entry manifest in
//   UTF-8 and in UTF-16LE against pugixml's load_file of the same files;
//   for the manifest (mostly ASCII) and for dense Chinese text, the file side
//   of loadFile (open, read, convert) against reading the file and iconv, and
//   the bare UTF-8 -> UTF-16 conversion, through every decoding path this
//   processor runs, against glibc's iconv into the same buffer.
// Contenders take turns in every round (the first of them changing from round
// to round), so that a busy machine slows all alike; each line gives the
// per-round ratios peer time / our time (min, median, max: above 1 we are
// faster) and the median throughputs in MB/s of UTF-8 input.
//   encoding_bench [rounds] [scratch directory]
#include "platform/utf.h"
#include "xml/text_converter.h"
#include "xml/text_file.h"
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

// About 9 MB of Chinese prose: lines of 40 ideographs (U+4E00..U+9FA5) with
// full-width commas and a full stop, in one element.
std::string denseChineseUtf8() {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<text>\r\n";
    std::uint32_t state = 12345;
    const auto append = [&text](std::uint32_t c) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    };
    for (int line = 0; line < 72000; ++line) {
        for (int i = 0; i < 40; ++i) {
            state = state * 1103515245u + 12345u;
            append(0x4E00 + (state >> 8) % (0x9FA5 - 0x4E00));
            if (i % 13 == 12) append(0xFF0C);
        }
        append(0x3002);
        text += "\r\n";
    }
    text += "</text>\r\n";
    return text;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "encoding_bench: %s\n", what);
    std::exit(1);
}

// Seconds of every contender in every round.
std::vector<std::vector<double>> race(int rounds, const std::vector<std::function<void()>>& contenders) {
    std::vector<std::vector<double>> times(contenders.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < contenders.size(); ++k) {
            const std::size_t c = (k + static_cast<std::size_t>(round)) % contenders.size();
            const auto start = std::chrono::steady_clock::now();
            contenders[c]();
            times[c].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    return times;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const std::string& what, std::size_t bytes, const std::vector<double>& ours, const std::vector<double>& peer,
            const char* peerName) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size(); ++i) ratios.push_back(peer[i] / ours[i]);
    std::sort(ratios.begin(), ratios.end());
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("%-36s vs %-8s ratio min %5.2f median %5.2f max %5.2f   ours %6.0f MB/s, %s %6.0f MB/s\n",
                what.c_str(), peerName, ratios.front(), ratios[ratios.size() / 2], ratios.back(), mb / median(ours),
                peerName, mb / median(peer));
}

// iconv of all of utf8 into out, which has room for every byte; returns the
// units written.
std::size_t iconvInto(const std::string& utf8, char16_t* out) {
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* put = reinterpret_cast<char*>(out);
    std::size_t outLeft = utf8.size() * 2;
    if (iconv(cd, &in, &inLeft, &put, &outLeft) == static_cast<std::size_t>(-1)) fail("iconv failed");
    iconv_close(cd);
    return (utf8.size() * 2 - outLeft) / 2;
}

std::string readAll(const std::filesystem::path& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) fail("cannot open a scratch file");
    std::string bytes(std::filesystem::file_size(path), '\0');
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) fail("cannot read a scratch file");
    std::fclose(f);
    return bytes;
}

void loadFileAgainstPugixml(int rounds, const char* name, const std::filesystem::path& path, std::size_t size,
                            const std::u16string& text) {
    const std::u16string widePath = platform::utf8ToUtf16(path.string());
    // Parsing the same text alone (the document's copy of it included)
    // shows what is left for reading, detecting and converting.
    const auto times = race(rounds, {[&] {
                                         xml::XmlDoc doc;
                                         if (!doc.loadFile(widePath)) fail("loadFile failed");
                                     },
                                     [&] {
                                         pugi::xml_document doc;
                                         if (!doc.load_file(path.c_str())) fail("pugixml failed");
                                     },
                                     [&] { xml::XmlDoc doc(text.c_str()); }});
    report(name, size, times[0], times[1], "pugixml");
    std::printf("%-36s %.2f ms, of which parsing %.2f ms, reading and decoding %.2f ms\n", "", median(times[0]) * 1e3,
                median(times[2]) * 1e3, (median(times[0]) - median(times[2])) * 1e3);
}

void decodingAgainstIconv(int rounds, const char* name, const std::filesystem::path& path, const std::string& utf8) {
    const std::u16string expected = platform::utf8ToUtf16(utf8);
    const std::u16string widePath = platform::utf8ToUtf16(path.string());
    const auto fileSide = [&] {
        xml::TextFile file;
        std::u16string text;
        if (!file.open(widePath)) fail("TextFile cannot open");
        file.chunkBytes = file.fileLength - file.position;
        if (!file.readText(text) || text.size() != expected.size()) fail("TextFile read another text");
    };
    const auto fileAndIconv = [&] {
        const std::string bytes = readAll(path);
        std::u16string text(bytes.size(), u'\0');
        text.resize(iconvInto(bytes, text.data()));
        if (text.size() != expected.size()) fail("iconv gave another length");
    };
    auto buffer = std::make_unique<char16_t[]>(utf8.size());
    const auto size = static_cast<std::int32_t>(utf8.size());
    // As the file reader converts: room from the byte count, one pass.
    const auto onePass = [&] {
        xml::TextConverter converter(u"UTF-8", utf8.data(), size);
        converter.destinationCapacity = size;
        if (converter.convert(buffer.get()) != static_cast<std::int32_t>(expected.size())) {
            fail("TextConverter gave another length");
        }
    };
    const auto measureThenConvert = [&] {
        xml::TextConverter converter(u"UTF-8", utf8.data(), size);
        converter.convert(nullptr);
        if (converter.convert(buffer.get()) != static_cast<std::int32_t>(expected.size())) {
            fail("TextConverter gave another length");
        }
    };
    const auto iconvOnly = [&] {
        if (iconvInto(utf8, buffer.get()) != expected.size()) fail("iconv gave another length");
    };
    std::vector<std::function<void()>> contenders = {fileSide, fileAndIconv, onePass, measureThenConvert, iconvOnly};
    const std::vector<platform::Utf8Path> paths = platform::utf8Paths();
    for (const platform::Utf8Path& decoder : paths) {
        contenders.push_back([&, decode = decoder.decode] {
            if (decode(utf8.data(), utf8.size(), buffer.get(), utf8.size()) != expected.size()) {
                fail("a decoding path gave another length");
            }
        });
    }
    const auto times = race(rounds, contenders);
    const std::string prefix = std::string(name) + ", ";
    report(prefix + "file side of loadFile", utf8.size(), times[0], times[1], "read+iconv");
    report(prefix + "conversion", utf8.size(), times[2], times[4], "iconv");
    report(prefix + "measure, then convert", utf8.size(), times[3], times[4], "iconv");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        report(prefix + paths[i].name + " path", utf8.size(), times[5 + i], times[4], "iconv");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::filesystem::path dir =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path() / "encoding_bench";
    std::filesystem::create_directories(dir);

    const std::string utf8 = manifestUtf8("UTF-8");
    const std::u16string wide = platform::utf8ToUtf16(manifestUtf8("UTF-16"));
    std::string utf16le("\xFF\xFE");
    utf16le.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    const std::string chinese = denseChineseUtf8();
    const auto utf8Path = dir / "manifest-utf8.xml";
    const auto utf16Path = dir / "manifest-utf16le.xml";
    const auto chinesePath = dir / "chinese-utf8.xml";
    writeFile(utf8Path, utf8);
    writeFile(utf16Path, utf16le);
    writeFile(chinesePath, chinese);

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
        xml::XmlDoc docChinese;
        if (!docChinese.loadFile(platform::utf8ToUtf16(chinesePath.string()))) {
            fail("loadFile of the Chinese text failed");
        }
        auto iconvText = std::make_unique<char16_t[]>(chinese.size());
        const std::size_t units = iconvInto(chinese, iconvText.get());
        if (docChinese.text() != std::u16string_view(iconvText.get(), units)) {
            fail("loadFile and iconv read the Chinese text differently");
        }
        pugi::xml_document peer;
        if (!peer.load_file(utf8Path.c_str()) || !peer.load_file(utf16Path.c_str())) {
            fail("pugixml cannot load the manifest");
        }
    }

    std::printf("%d rounds; decoding paths:", rounds);
    for (const platform::Utf8Path& path : platform::utf8Paths()) std::printf(" %s", path.name);
    std::printf(" (the last is utf8ToUtf16's)\n");
    loadFileAgainstPugixml(rounds, "loadFile, manifest UTF-8", utf8Path, utf8.size(), expected);
    loadFileAgainstPugixml(rounds, "loadFile, manifest UTF-16LE", utf16Path, utf16le.size(), wide);
    decodingAgainstIconv(rounds, "manifest", utf8Path, utf8);
    decodingAgainstIconv(rounds, "dense Chinese", chinesePath, chinese);

    std::filesystem::remove_all(dir);
    return 0;
}
