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

// Bytes read at a time by the UTF-8 and UTF-16 paths.
constexpr std::size_t kPieceBytes = std::size_t(1) << 16;
// A piece of UTF-8 is decoded this much at a time (see readUtf8).
constexpr std::size_t kStretchBytes = std::size_t(1) << 13;

// Text converted into room for every byte keeps at most half of it empty:
// dense Chinese takes a third of it, and is copied into fitted room (still
// 1 % to spare) instead.
void fitAndDeliver(std::u16string& text, std::u16string& destination) {
    if (text.capacity() / 2 > text.size()) {
        std::u16string fitted;
        fitted.reserve(text.size() + text.size() / 100);
        fitted.assign(text);
        text.swap(fitted);
    }
    destination.swap(text);
}

// The bytes a sequence of UTF-8 takes that begins with b (not a
// continuation byte); 4 for a byte that begins none, as a decoder may read
// any length into it.
int announcedLength(unsigned char b) {
    return b < 0x80 ? 1 : b < 0xC2 ? 4 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
}

// Whether the UTF-8 bytes [from, at) can be decoded apart from what follows
// and give what decoding it all would: no sequence begun in the last three
// bytes announces more bytes than are left (an ASCII byte or a whole
// sequence ends them). A decoder would otherwise look past at, and Wine's,
// given too few bytes for a lead, swallows the ASCII bytes behind it into
// the broken sequence: 'E4 61' at the end of its input gives one U+FFFD.
bool endsCleanly(const unsigned char* bytes, std::size_t from, std::size_t at) {
    for (std::size_t k = 1; k <= 3 && at - k + 1 > from; ++k) {
        const unsigned char b = bytes[at - k];
        if ((b & 0xC0) != 0x80 && announcedLength(b) > static_cast<int>(k)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool TextFile::open(const std::u16string& path) {
    return handle.open(path) && settleEncoding();
}

bool TextFile::open(platform::InputFile& file) { return handle.open(file) && settleEncoding(); }

bool TextFile::open(std::string_view bytes) {
    handle.open(bytes);
    return settleEncoding();
}

bool TextFile::settleEncoding() {
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
        return readUtf16(destination);
    }
    if (codePageFromName(encoding) == kCodePageUtf8) {
        return readUtf8(destination);
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
    fitAndDeliver(text, destination);
    return true;
}

// The chunk is read a piece at a time straight into the string that becomes
// the destination: each piece is still in the cache when its NUL units are
// removed and its bytes swapped, and no memory is cleared ahead of the read.
bool TextFile::readUtf16(std::u16string& destination) {
    const auto total = static_cast<std::size_t>(chunkBytes);
    std::u16string units;
    units.reserve(total / 2 + total / 200 + 1);
    for (std::size_t done = 0; done < total;) {
        const std::size_t piece = std::min(total - done, kPieceBytes);
        const std::size_t at = units.size();
        units.resize(at + (piece + 1) / 2);  // an odd last byte is read, but not counted
        if (handle.read(units.data() + at, piece) != piece) {
            unitCount = chunkBytes / unitSize;
            return false;
        }
        done += piece;
        auto count = static_cast<std::int32_t>(piece / 2);
        count = removeNulUnits(units.data() + at, count);
        if ((flags & FILE_UTF16BE) != 0) {
            swapBytes(units.data() + at, count);
        }
        units.resize(at + static_cast<std::size_t>(count));
    }
    position += chunkBytes;
    unitCount = static_cast<std::int32_t>(units.size());
    destination.swap(units);
    return true;
}

// Known to be UTF-8 before the read: read and converted a piece at a time,
// so that the bytes never need room of their own beside the text. Each piece
// is converted up to where it last endsCleanly and the rest goes on with the
// next, so the pieces give exactly what converting the whole would.
bool TextFile::readUtf8(std::u16string& destination) {
    const auto total = static_cast<std::size_t>(chunkBytes);
    std::u16string text;
    text.reserve(total + total / 100);
    std::size_t room = std::min(total, kPieceBytes);
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(room);
    std::size_t carried = 0;  // bytes at the buffer's start left for the next piece
    std::int32_t kept = 0;
    for (std::size_t done = 0; done < total;) {
        const std::size_t piece = std::min(total - done, kPieceBytes);
        if (room < carried + piece) {
            // Bytes that ended nowhere cleanly: the next piece goes behind them.
            room = std::max(2 * room, carried + piece);
            auto grown = std::make_unique_for_overwrite<unsigned char[]>(room);
            std::memcpy(grown.get(), buffer.get(), carried);
            buffer = std::move(grown);
        }
        if (handle.read(buffer.get() + carried, piece) != piece) {
            unitCount = chunkBytes / unitSize;
            return false;
        }
        done += piece;
        const std::int32_t count = removeNulBytes(buffer.get() + carried, static_cast<std::int32_t>(piece));
        kept += count;
        std::size_t have = carried + static_cast<std::size_t>(count);
        std::size_t cut = have;
        // The carried bytes end nowhere cleanly: only the new ones are
        // looked at, so that text which never ends cleanly is read in
        // linear time, carried on until the end.
        while (done < total && cut > carried && !endsCleanly(buffer.get(), 0, cut)) {
            --cut;
        }
        if (done < total && cut == carried) {
            cut = 0;
        }
        // The piece goes to the decoder in stretches of about kStretchBytes,
        // cut where they end cleanly as the piece is: the room a stretch
        // takes in the text is cleared right before the decoder writes it,
        // while both are still in the first-level cache.
        for (std::size_t from = 0; from < cut;) {
            std::size_t to = std::min(cut, from + kStretchBytes);
            while (to < cut && !endsCleanly(buffer.get(), from, to)) {
                ++to;
            }
            // Never more units than bytes, and the room was reserved for all.
            const std::size_t at = text.size();
            text.resize(at + (to - from));
            TextConverter converter(encoding, buffer.get() + from, static_cast<std::int32_t>(to - from));
            converter.destinationCapacity = static_cast<std::int32_t>(to - from);
            text.resize(at + static_cast<std::size_t>(converter.convert(text.data() + at)));
            from = to;
        }
        if (cut > 0) {
            std::memmove(buffer.get(), buffer.get() + cut, have - cut);
            have -= cut;
        }
        carried = have;
    }
    position += chunkBytes;
    unitCount = kept;
    fitAndDeliver(text, destination);
    return true;
}

}  // namespace xml
