#include "xml/text_file.h"

#include "xml/encoding_detect.h"
#include "xml/encoding_names.h"
#include "xml/text_converter.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace xml {

namespace {

// Encoding detection looks at no more than this many bytes.
constexpr std::int32_t kHeadBytes = 1024;

// Removes 0 bytes in place, in one pass; returns the count kept.
std::int32_t removeNulBytes(unsigned char* data, std::int32_t count) {
    auto* first = static_cast<unsigned char*>(std::memchr(data, 0, static_cast<std::size_t>(count)));
    if (first == nullptr) {
        return count;
    }
    return static_cast<std::int32_t>(std::remove(first, data + count, 0) - data);
}

std::int32_t removeNulUnits(char16_t* data, std::int32_t count) {
    return static_cast<std::int32_t>(std::remove(data, data + count, u'\0') - data);
}

void swapBytes(char16_t* data, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        data[i] = static_cast<char16_t>((data[i] >> 8) | (data[i] << 8));
    }
}

// The lenient UTF-8 test: every byte of 0x80 or more must start a sequence
// that decodeUtf8 accepts.
bool passesUtf8Test(const unsigned char* p, const unsigned char* end) {
    while (p < end) {
        // Plain ASCII text is passed over eight bytes at a time.
        std::uint64_t word;
        while (end - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080ull) == 0)) {
            p += 8;
        }
        if (p == end) {
            break;
        }
        if (*p < 0x80) {
            ++p;
        } else if (decodeUtf8(p, end) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool TextFile::open(const std::u16string& path) {
    if (handle.isOpen()) {
        handle.close();
    }
    if (!handle.open(path)) {
        return false;
    }
    unitSize = 1;
    encoding.clear();
    std::int32_t markLength = 0;

    const std::int64_t length = handle.length();
    if (length < 0 || length > INT32_MAX || !handle.seek(0)) {
        return false;
    }
    fileLength = static_cast<std::int32_t>(length);
    const std::int32_t n = std::min(fileLength, kHeadBytes);
    if (n > 0) {
        unsigned char head[kHeadBytes];
        if (handle.read(head, static_cast<std::size_t>(n)) != static_cast<std::size_t>(n)) {
            return false;
        }
        flags &= ~(FILE_UTF16LE | FILE_UTF8BOM);
        for (const BomRow& row : BomTable) {
            if (n >= row.length && std::memcmp(head, row.mark, static_cast<std::size_t>(row.length)) == 0) {
                // The mark decides the byte order: a big-endian flag left over
                // from an earlier file would swap a little-endian one.
                flags &= ~FILE_UTF16BE;
                flags |= row.flag;
                unitSize = row.length == 2 ? 2 : 1;
                encoding = row.encoding;
                markLength = row.length;
                break;
            }
        }
        if (markLength < n && !handle.seek(markLength)) {
            return false;
        }
        if (markLength == 0) {
            char16_t text[kHeadBytes + 1];
            TextConverter converter(u"UTF-8", head, n);
            converter.destinationCapacity = n;
            const std::int32_t units = converter.convert(text);
            text[units] = u'\0';
            encoding = detectEncoding(text);
        }
        if (encoding.empty() && head[0] == '<') {
            encoding = u"UTF-8";
        }
    }
    position = markLength;
    return true;
}

bool TextFile::readChunk(void* buffer) {
    if (chunkBytes < 0) {
        return false;
    }
    const auto wanted = static_cast<std::size_t>(chunkBytes);
    const std::size_t got = handle.read(buffer, wanted);
    unitCount = chunkBytes / unitSize;
    if (got != wanted) {
        return false;
    }
    position += chunkBytes;
    if (unitSize == 2) {
        auto* units = static_cast<char16_t*>(buffer);
        unitCount = removeNulUnits(units, unitCount);
        if ((flags & FILE_UTF16BE) != 0) {
            swapBytes(units, unitCount);
        }
    } else {
        unitCount = removeNulBytes(static_cast<unsigned char*>(buffer), unitCount);
    }
    return true;
}

bool TextFile::readText(std::u16string& destination) {
    if (chunkBytes <= 0) {
        return true;
    }
    chunkBytes = std::min(chunkBytes, fileLength - position);

    // Only a two-byte mark makes the units 16-bit: a caller's FILE_UTF16BE on
    // a file without one must not send bytes down this path.
    if (unitSize == 2) {
        // Read straight into the string that becomes the destination.
        const auto room = static_cast<std::size_t>(chunkBytes / 2 + chunkBytes / 200);
        std::u16string units(room + 1, u'\0');
        if (!readChunk(units.data())) {
            return false;
        }
        units.resize(static_cast<std::size_t>(unitCount));
        destination.swap(units);
        return true;
    }

    auto bytes = std::make_unique_for_overwrite<unsigned char[]>(static_cast<std::size_t>(chunkBytes));
    if (!readChunk(bytes.get())) {
        return false;
    }
    if (encoding.empty() && passesUtf8Test(bytes.get(), bytes.get() + unitCount)) {
        encoding = u"UTF-8";
    }
    // Our own UTF-32 counts its source in 32-bit code points: hand it only
    // whole code points of the bytes read, never more than the chunk holds.
    const std::int32_t sourceLength = codePageFromName(encoding) == kCodePageUtf32 ? unitCount / 4 : unitCount;
    TextConverter converter(encoding, bytes.get(), sourceLength);
    // UTF-8 never takes more units than bytes: no measuring pass, the room
    // comes from the byte count and is trimmed after the one conversion.
    const bool utf8 = codePageFromName(encoding) == kCodePageUtf8;
    const std::int32_t room = utf8 ? sourceLength : converter.convert(nullptr);
    converter.destinationCapacity = room;
    // Convert straight into the string that becomes the destination, with
    // 1 % to spare as the caller may add to it.
    std::u16string text;
    text.reserve(static_cast<std::size_t>(room) + static_cast<std::size_t>(room / 100));
    text.resize(static_cast<std::size_t>(room));
    const std::int32_t produced = room > 0 ? converter.convert(text.data()) : 0;
    text.resize(static_cast<std::size_t>(produced));
    if (text.capacity() / 2 > text.size()) {
        std::u16string fitted;
        fitted.reserve(static_cast<std::size_t>(produced) + static_cast<std::size_t>(produced / 100));
        fitted.assign(text);
        text.swap(fitted);
    }
    destination.swap(text);
    return true;
}

}  // namespace xml
