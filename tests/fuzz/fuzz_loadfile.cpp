// Arbitrary bytes as a document file through XmlDoc::loadFile: mark
// detection, the declared encoding, the UTF-8 test, NUL removal, conversion
// and the parse. A sanitizer report, a true result for a document that is not
// well formed, a different reading by a document that loaded a big-endian
// file before, or a different reading of the same bytes from memory
// (loadBytes, as a signed manifest is read) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "platform/utf.h"
#include "xml/text_file.h"
#include "xml/xml_doc.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_loadfile: %s\n", what);
    std::abort();
}

// One scratch directory per fuzzing process, so that parallel jobs do not
// meet; removed when the process exits.
struct Scratch {
    Scratch()
        : dir(std::filesystem::temp_directory_path() / ("fuzz_loadfile_" + std::to_string(std::random_device{}()))),
          file(dir / "document.xml") {
        std::filesystem::create_directories(dir);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::filesystem::path dir;
    std::filesystem::path file;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    const std::filesystem::path& file = scratch.file;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) fail("cannot write the scratch file");
    }
    const std::u16string path = platform::utf8ToUtf16(file.string());

    xml::XmlDoc fresh;
    const bool loaded = fresh.loadFile(path);
    if (loaded && (!fresh.wellFormed() || fresh.text().empty())) fail("accepted a document that is not well formed");
    if ((fresh.flags() & xml::FILE_READ) != 0) fail("FILE_READ left set");
    if (size == 0 && !fresh.text().empty()) fail("text from an empty file");

    xml::XmlDoc reused;
    reused.setFlags(xml::FILE_UTF16BE);
    if (reused.loadFile(path) != loaded || reused.text() != fresh.text()) {
        fail("a big-endian flag from before changed the reading");
    }

    xml::XmlDoc fromMemory;
    const bool fromMemoryLoaded = fromMemory.loadBytes({reinterpret_cast<const char*>(data), size});
    if (fromMemoryLoaded != loaded || fromMemory.text() != fresh.text() || fromMemory.flags() != fresh.flags()) {
        fail("the bytes in memory read otherwise than their file");
    }
    return 0;
}
