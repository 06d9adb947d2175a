// Reads a text file of any common encoding into UTF-16: byte-order mark, else
// the declared encoding, else UTF-8 for a file that starts with "<" or whose
// bytes are valid UTF-8, else the system's ANSI code page.
#pragma once

#include "xml/byte_source.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace xml {

// Flag bits of TextFile::flags, shared with XmlDoc::flags.
enum : std::uint32_t {
    FILE_UTF16LE = 0x01,  // mark FF FE
    FILE_UTF8BOM = 0x04,  // mark EF BB BF
    FILE_READ = 0x10,     // open for reading
    FILE_UTF16BE = 0x80,  // mark FE FF; units are byte-swapped on reading
};

struct BomRow {
    unsigned char mark[3];
    std::int32_t length;
    const char16_t* encoding;
    std::uint32_t flag;
};

// Searched in this order. A UTF-32LE mark (FF FE 00 00) is taken for the
// UTF-16LE one; a UTF-32BE mark is not recognised.
inline constexpr BomRow BomTable[] = {
    {{0xEF, 0xBB, 0xBF}, 3, u"UTF-8", FILE_UTF8BOM},
    {{0xFF, 0xFE, 0x00}, 2, u"UTF-16LE", FILE_UTF16LE},
    {{0xFE, 0xFF, 0x00}, 2, u"UTF-16BE", FILE_UTF16BE},
};

// Files of 2 GB or more are not supported: offsets are 32-bit.
class TextFile {
public:
    // Opens the file and settles its encoding from its first 1024 bytes at
    // most; reading goes on right behind a byte-order mark.
    bool open(const std::u16string& path);
    // The same over bytes in memory, which must stay while they are read.
    bool open(std::string_view bytes);
    // The same over a file opened already, which this object reads from now on.
    bool open(platform::InputFile& file);
    // Reads chunkBytes bytes into buffer, then removes NUL units in place and
    // swaps big-endian units; unitCount is what is left.
    bool readChunk(void* buffer);
    // Reads the chunk (at most the rest of the file) and puts it, as UTF-16,
    // in place of destination's content. A chunk of 0 bytes leaves it alone.
    bool readText(std::u16string& destination);

    ByteSource handle;  // closed when not open
    std::uint32_t flags = 0;
    std::int32_t chunkBytes = 0;  // bytes the next read covers; set by the caller
    std::int32_t fileLength = 0;
    std::int32_t position = 0;  // byte offset of the next read
    std::int32_t unitSize = 0;  // 2 for UTF-16 with a mark, else 1
    std::int32_t unitCount = 0;  // code units in the last chunk read
    std::u16string encoding;  // empty: the system's ANSI code page

private:
    // readText of UTF-16 files, and of files known to be UTF-8 before reading.
    bool readUtf16(std::u16string& destination);
    bool readUtf8(std::u16string& destination);
    // Reads the head of what was opened: its mark and its encoding.
    bool settleEncoding();
};

}  // namespace xml
