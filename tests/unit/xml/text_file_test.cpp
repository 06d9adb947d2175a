#include "xml/text_file.h"

#include "platform/platform.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace xml {
namespace {

// Files are written byte by byte into a scratch directory of this test.
class TextFileTest : public ::testing::Test {
protected:
    testsupport::ScratchDir scratch;

    std::u16string write(const std::string& name, const std::string& bytes) const {
        const std::u16string path = scratch.path(std::u16string(name.begin(), name.end()));
        EXPECT_TRUE(testsupport::writeBytes(path, bytes));
        return path;
    }

    // open, then readText of everything behind the mark, as a document load does.
    static bool readWhole(TextFile& file, const std::u16string& path, std::u16string& text) {
        if (!file.open(path)) {
            return false;
        }
        file.chunkBytes = file.fileLength - file.position;
        return file.readText(text);
    }
};

TEST_F(TextFileTest, MissingFileDoesNotOpen) {
    TextFile file;
    EXPECT_FALSE(file.open(scratch.path(u"nothing-here.xml")));
    EXPECT_FALSE(file.handle.isOpen());
}

TEST_F(TextFileTest, EmptyFile) {
    TextFile file;
    std::u16string text = u"old";
    ASSERT_TRUE(readWhole(file, write("empty.xml", ""), text));
    EXPECT_EQ(file.fileLength, 0);
    EXPECT_EQ(file.position, 0);
    EXPECT_EQ(file.unitSize, 1);
    EXPECT_EQ(file.encoding, u"");
    EXPECT_EQ(file.flags, 0u);
    EXPECT_EQ(text, u"old");  // a chunk of 0 bytes leaves the destination alone
}

TEST_F(TextFileTest, Utf8MarkAlone) {
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("mark.xml", "\xEF\xBB\xBF"), text));
    EXPECT_EQ(file.flags, FILE_UTF8BOM);
    EXPECT_EQ(file.encoding, u"UTF-8");
    EXPECT_EQ(file.position, 3);
    EXPECT_EQ(text, u"");
}

TEST_F(TextFileTest, Utf8WithMark) {
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("bom8.xml", "\xEF\xBB\xBF<r a=\"\xE4\xB8\xAD\xE6\x96\x87\"/>"), text));
    EXPECT_EQ(file.flags, FILE_UTF8BOM);
    EXPECT_EQ(file.unitSize, 1);
    EXPECT_EQ(file.position, file.fileLength);
    EXPECT_EQ(text, u"<r a=\"中文\"/>");
}

TEST_F(TextFileTest, Utf16LittleEndianWithMarkIsTakenUnconverted) {
    // "<r a='中'/>" and an odd last byte that is not counted.
    const std::string bytes("\xFF\xFE<\0r\0 \0a\0=\0'\0\x2D\x4E'\0/\0>\0\x41", 23);
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("le.xml", bytes), text));
    EXPECT_EQ(file.flags, FILE_UTF16LE);
    EXPECT_EQ(file.unitSize, 2);
    EXPECT_EQ(file.encoding, u"UTF-16LE");
    EXPECT_EQ(file.position, 23);
    EXPECT_EQ(text, u"<r a='中'/>");
}

TEST_F(TextFileTest, Utf16BigEndianWithMarkComesOutInOrder) {
    const std::string bytes("\xFE\xFF\0<\0r\0 \0a\0=\0'\x4E\x2D\xD8\x3D\xDE\x00\0'\0/\0>", 26);
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("be.xml", bytes), text));
    EXPECT_EQ(file.flags, FILE_UTF16BE);
    EXPECT_EQ(file.unitSize, 2);
    EXPECT_EQ(file.encoding, u"UTF-16BE");
    EXPECT_EQ(text, u"<r a='中\U0001F600'/>");
}

TEST_F(TextFileTest, NulUnitsAreRemovedFromUtf16) {
    const std::string bytes("\xFF\xFE<\0\0\0r\0\0\0/\0>\0", 14);
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("nul16.xml", bytes), text));
    EXPECT_EQ(text, u"<r/>");
    EXPECT_EQ(file.unitCount, 4);
}

TEST_F(TextFileTest, Utf32LittleEndianMarkReadsAsUtf16LittleEndian) {
    // FF FE 00 00 is taken for the UTF-16LE mark; the zero units drop out.
    const std::string bytes("\xFF\xFE\0\0<\0\0\0r\0\0\0/\0\0\0>\0\0\0", 20);
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("le32.xml", bytes), text));
    EXPECT_EQ(file.flags, FILE_UTF16LE);
    EXPECT_EQ(text, u"<r/>");
}

TEST_F(TextFileTest, MarkOverridesAStaleBigEndianFlag) {
    TextFile file;
    file.flags = FILE_UTF16BE | FILE_UTF16LE | FILE_UTF8BOM;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("le2.xml", std::string("\xFF\xFE<\0r\0/\0>\0", 10)), text));
    EXPECT_EQ(file.flags, FILE_UTF16LE);
    EXPECT_EQ(text, u"<r/>");
}

TEST_F(TextFileTest, CallersBigEndianFlagWithoutMarkReadsBytes) {
    // The flag stays when no mark contradicts it, but single-byte text is
    // still read and converted as bytes.
    TextFile file;
    file.flags = FILE_UTF16BE;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("plain.xml", "<r a=\"\xC3\xA9\"/>"), text));
    EXPECT_EQ(file.flags, FILE_UTF16BE);
    EXPECT_EQ(file.unitSize, 1);
    EXPECT_EQ(text, u"<r a=\"é\"/>");
}

TEST_F(TextFileTest, Utf8IsConvertedAsThePlatformDoesAndTrimmed) {
    // Converted in one pass into room for every byte: dense Chinese leaves
    // two thirds of it, which must not stay behind; invalid bytes included.
    std::string bytes = "<r>";
    for (int i = 0; i < 3000; ++i) bytes += i % 100 == 7 ? "\xE4\xB8" : i % 100 == 9 ? "\xFF" : "\xE4\xB8\xAD";
    bytes += "</r>";
    // What measuring first and converting into the measured room gives.
    const int size = static_cast<int>(bytes.size());
    const int units = platform::multiByteToWide(platform::kUtf8CodePage, bytes.data(), size, nullptr, 0);
    std::u16string expected(static_cast<std::size_t>(units), u'\0');
    ASSERT_EQ(platform::multiByteToWide(platform::kUtf8CodePage, bytes.data(), size, expected.data(), units), units);
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("chinese.xml", bytes), text));
    EXPECT_EQ(text, expected);
    EXPECT_GE(text.capacity(), text.size() + text.size() / 100);
    EXPECT_LT(text.capacity(), 2 * text.size());
}

// Long UTF-8 and UTF-16 files are read a piece at a time; whatever lies at
// the pieces' edges (a stretch of Chinese longer than a piece, broken and cut
// sequences, NUL bytes, an odd last byte), the text must be what converting
// or taking the whole gives.
TEST_F(TextFileTest, LongFilesReadAsAWhole) {
    std::mt19937 random(5);
    const char alphabet[] = {'a', '\0', '\xE4', '\xB8', '\xAD', '\xC3', '\xA9', '\xFF', '\xF0', '\x9F', '\x98', '\x80'};
    std::string body;
    for (int i = 0; i < 100000; ++i) body += "\xE4\xB8\xAD";
    for (int i = 0; i < 300001; ++i) body += alphabet[random() % sizeof alphabet];
    const auto withoutNul = [](std::string bytes) {
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
        return bytes;
    };
    const auto units = [](const std::string& bytes, bool bigEndian) {
        std::u16string out;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            const auto unit = static_cast<char16_t>(bigEndian ? a << 8 | b : b << 8 | a);
            if (unit != 0) out += unit;
        }
        return out;
    };
    const auto converted = [](const std::string& utf8) {
        std::u16string out(utf8.size(), u'\0');
        out.resize(static_cast<std::size_t>(platform::multiByteToWide(
            platform::kUtf8CodePage, utf8.data(), static_cast<int>(utf8.size()), out.data(), static_cast<int>(utf8.size()))));
        return out;
    };
    // Never a place to cut: each ASCII byte follows a lead that wants more.
    std::string uncut = "<";
    for (int i = 0; i < 150000; ++i) uncut += "\xE4" "a";
    const struct {
        const char* name;
        std::string bytes;
        std::u16string expected;
    } cases[] = {
        {"long8.xml", "<" + body, converted(withoutNul("<" + body))},
        {"uncut8.xml", uncut, converted(uncut)},
        {"long16le.xml", "\xFF\xFE" + body, units(body, false)},
        {"long16be.xml", "\xFE\xFF" + body, units(body, true)},
    };
    for (const auto& c : cases) {
        TextFile file;
        std::u16string text;
        ASSERT_TRUE(readWhole(file, write(c.name, c.bytes), text)) << c.name;
        EXPECT_TRUE(text == c.expected) << c.name;
        EXPECT_EQ(file.position, file.fileLength) << c.name;
    }
}

TEST_F(TextFileTest, LeadingAngleBracketMeansUtf8FromOpen) {
    TextFile file;
    ASSERT_TRUE(file.open(write("lt.xml", "<r a=\"\xC3\xA9\"/>")));
    EXPECT_EQ(file.encoding, u"UTF-8");
    EXPECT_EQ(file.position, 0);
    EXPECT_EQ(file.fileLength, 11);
}

TEST_F(TextFileTest, Utf16WithoutMarkLosesItsZeroBytes) {
    const std::string bytes("<\0r\0 \0a\0=\0\"\0x\0\"\0/\0>\0", 20);
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("le-nomark.xml", bytes), text));
    EXPECT_EQ(file.encoding, u"UTF-8");
    EXPECT_EQ(file.unitSize, 1);
    EXPECT_EQ(file.unitCount, 10);
    EXPECT_EQ(text, u"<r a=\"x\"/>");
}

TEST_F(TextFileTest, Utf8TestPassesForUtf8AfterABlankLine) {
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("blank8.xml", "\r\n<r a=\"\xE4\xB8\xAD\xE6\x96\x87\"/>"), text));
    EXPECT_EQ(file.encoding, u"UTF-8");
    EXPECT_EQ(text, u"\r\n<r a=\"中文\"/>");
}

TEST_F(TextFileTest, AnsiTextAfterABlankLineFailsTheUtf8Test) {
    // "更新" in code page 936: 0xB8 is no UTF-8 lead byte even to the lenient
    // test (which would let "中文", D6 D0 CE C4, pass).
    const std::string gbk = "\r\n<r a=\"\xB8\xFC\xD0\xC2\"/>";
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("blank936.xml", gbk), text));
    EXPECT_EQ(file.encoding, u"");
    // Read as the ANSI code page: 936 under Wine's zh_CN locale gives the
    // Chinese text; on Linux the ANSI code page is UTF-8, so the same bytes
    // become replacement characters.
    if (platform::ansiCodePage() == 936) {
        EXPECT_EQ(text, u"\r\n<r a=\"更新\"/>");
    } else {
        EXPECT_EQ(text.substr(0, 8), u"\r\n<r a=\"");
        EXPECT_EQ(text.substr(text.size() - 3), u"\"/>");
        if (platform::ansiCodePage() == 65001) {
            EXPECT_NE(text.find(u'\xFFFD'), std::u16string::npos);
        }
    }
}

TEST_F(TextFileTest, DeclaredEncodingFromTheHead) {
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("gb.xml", "<?xml version=\"1.0\" encoding=\"gB2312\"?><r a=\"\xD6\xD0\"/>"), text));
    EXPECT_EQ(file.encoding, u"gB2312");
    EXPECT_EQ(text, u"<?xml version=\"1.0\" encoding=\"gB2312\"?><r a=\"中\"/>");
}

TEST_F(TextFileTest, DeclarationBeyondTheHeadIsNotSeen) {
    // An HTML meta element past the first 1024 bytes: the file is read by
    // the later rules ("<" first: UTF-8), so Latin-1 bytes become U+FFFD.
    const std::string bytes = "<html><head>" + std::string(1100, ' ') +
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"></head>caf\xE9</html>";
    TextFile file;
    std::u16string text;
    ASSERT_TRUE(readWhole(file, write("late.html", bytes), text));
    EXPECT_EQ(file.encoding, u"UTF-8");
    EXPECT_NE(text.find(u"caf\xFFFD"), std::u16string::npos);
}

TEST_F(TextFileTest, ReadsAChunkAndClampsItToTheFile) {
    TextFile file;
    ASSERT_TRUE(file.open(write("chunk.xml", "<abcdefgh>")));
    file.chunkBytes = 4;
    std::u16string text;
    ASSERT_TRUE(file.readText(text));
    EXPECT_EQ(text, u"<abc");
    EXPECT_EQ(file.position, 4);
    file.chunkBytes = 100;
    ASSERT_TRUE(file.readText(text));
    EXPECT_EQ(file.chunkBytes, 6);
    EXPECT_EQ(file.position, 10);
    EXPECT_EQ(text, u"defgh>");
}

TEST_F(TextFileTest, ReadChunkFailsWhenTheFileIsShorterThanAsked) {
    TextFile file;
    ASSERT_TRUE(file.open(write("short.xml", "<ab>")));
    unsigned char buffer[16];
    file.chunkBytes = 16;
    EXPECT_FALSE(file.readChunk(buffer));
    EXPECT_EQ(file.position, 0);
}

TEST_F(TextFileTest, NulBytesAreRemovedFromSingleByteText) {
    TextFile file;
    ASSERT_TRUE(file.open(write("nul8.xml", std::string("<a\0\0b\0>", 7))));
    unsigned char buffer[7];
    file.chunkBytes = 7;
    ASSERT_TRUE(file.readChunk(buffer));
    EXPECT_EQ(file.unitCount, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "<ab>");
    EXPECT_EQ(file.position, 7);
}

}  // namespace
}  // namespace xml
