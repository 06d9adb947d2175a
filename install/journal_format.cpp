#include "install/journal_format.h"

#include <cstdint>
#include <unordered_set>

#include "install/md5.h"
#include "install/path_safety.h"
#include "install/update_steps.h"
#include "platform/format.h"

namespace install {
namespace {

constexpr std::u16string_view kMagic = u"\uFEFFupdater installation journal ";
// Version 2 gives every move the new file's MD5; version 1 is still read.
constexpr std::u16string_view kVersion = u"2";
constexpr std::u16string_view kVersions[] = {u"1", u"2"};
constexpr std::u16string_view kLineEnd = u"\r\n";
constexpr char16_t kSeparator = u'\t';

std::string littleEndian(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::u16string fromLittleEndian(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return text;
}

std::u16string header(std::u16string_view version = kVersion) {
    return std::u16string(kMagic) + std::u16string(version) + std::u16string(kLineEnd);
}

void appendField(std::u16string& out, std::u16string_view field) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    out += kSeparator;
    for (const char16_t c : field) {
        if (c == u'%' || c < 0x20) {
            out += u'%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += c;
        }
    }
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool unescape(std::u16string_view field, std::u16string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != u'%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return false;
        const int high = hexValue(field[i + 1]);
        const int low = hexValue(field[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char16_t>(high << 4 | low);
        i += 2;
    }
    return true;
}

bool parseNumber(std::u16string_view field, std::int32_t& value) {
    if (field.empty() || field.size() > 10) return false;
    std::int64_t n = 0;
    for (const char16_t c : field) {
        if (c < u'0' || c > u'9') return false;
        n = n * 10 + (c - u'0');
    }
    if (n > INT32_MAX) return false;
    value = static_cast<std::int32_t>(n);
    return true;
}

std::vector<std::u16string_view> fields(std::u16string_view line) {
    std::vector<std::u16string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] != kSeparator) continue;
        out.push_back(line.substr(start, i - start));
        start = i + 1;
    }
    return out;
}

// A path the journal may name: inside the working directory and outside the
// staging directory, as a manifest path must be, and not empty.
bool acceptablePath(const std::u16string& path) {
    constexpr std::u16string_view kStaging[] = {kStagingDir.substr(0, kStagingDir.size() - 1)};
    return !path.empty() && isSafeRelativePath(path, kStaging);
}

// Empty (nothing to check the new file by) or an MD5 digest as text.
bool acceptableDigest(std::u16string_view text) {
    if (text.empty()) return true;
    if (text.size() != 32) return false;
    for (const char16_t c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
    }
    return true;
}

// The lines between the header and the end line; digests says whether the
// moves end with their new file's MD5.
bool parseBody(std::u16string_view body, bool digests, JournalRecord& record) {
    record = {};
    std::unordered_set<std::int32_t> backups;
    bool first = true;
    std::u16string value;
    while (!body.empty()) {
        const std::size_t end = body.find(kLineEnd);
        if (end == std::u16string_view::npos) return false;
        const std::vector<std::u16string_view> f = fields(body.substr(0, end));
        body.remove_prefix(end + kLineEnd.size());
        if (f.size() < 2 || !unescape(f[1], value)) return false;
        if (first != (f[0] == u"backups")) return false;
        if (first) {
            const bool plainName = value.find_first_of(u"\\/") == std::u16string::npos;
            if (f.size() != 2 || !plainName || !acceptablePath(value)) return false;
            record.backupDir = value;
            first = false;
        } else if (f[0] == u"release" && digests && f.size() == 3 && record.release.empty() && !value.empty() &&
                   unescape(f[2], record.releaseKey)) {
            record.release = value;
        } else if (f[0] == u"mkdir" && f.size() == 2u + digests && acceptablePath(value)) {
            CreatedLevels created{value, 1};
            if (digests && (!parseNumber(f[2], created.count) || created.count < 1)) return false;
            record.directories.push_back(std::move(created));
        } else if ((f[0] == u"new" || f[0] == u"replace") && acceptablePath(value)) {
            JournalMove move{f[0] == u"new" ? JournalMove::kNewFile : JournalMove::kReplace, value, -1};
            std::size_t n = 2;
            if (move.kind == JournalMove::kReplace) {
                if (f.size() <= n || !parseNumber(f[n++], move.backup) || !backups.insert(move.backup).second) return false;
            }
            if (digests) {
                if (f.size() <= n || !unescape(f[n++], move.md5) || !acceptableDigest(move.md5)) return false;
                move.own = f.size() == n + 1 && f[n] == u"own";
                if (move.own) ++n;
            }
            if (f.size() != n) return false;
            record.moves.push_back(std::move(move));
        } else if (f[0] == u"remove" && digests && f.size() == 3 && acceptablePath(value)) {
            JournalMove move{JournalMove::kRemove, value, -1};
            if (!parseNumber(f[2], move.backup) || !backups.insert(move.backup).second) return false;
            record.moves.push_back(std::move(move));
        } else {
            return false;
        }
    }
    return !first;
}

std::u16string endLine(std::string_view planBytes, std::int32_t lines) {
    Md5Context md5;
    md5.addBytes(planBytes.data(), planBytes.size());
    std::u16string line = u"end";
    appendField(line, platform::formatMessage(u"%d", {lines}));
    const std::string digest = md5.hexDigest();
    appendField(line, std::u16string(digest.begin(), digest.end()));
    return line + std::u16string(kLineEnd);
}

}  // namespace

std::string encodeJournal(const JournalRecord& record) {
    std::u16string text = header();
    std::int32_t lines = 1;
    auto line = [&](std::u16string_view kind, std::u16string_view field) {
        text += kind;
        appendField(text, field);
        ++lines;
    };
    line(u"backups", record.backupDir);
    text += kLineEnd;
    if (!record.release.empty()) {
        line(u"release", record.release);
        appendField(text, record.releaseKey);
        text += kLineEnd;
    }
    for (const CreatedLevels& created : record.directories) {
        line(u"mkdir", created.path);
        appendField(text, platform::formatMessage(u"%d", {created.count}));
        text += kLineEnd;
    }
    for (const JournalMove& move : record.moves) {
        if (move.kind == JournalMove::kRemove) {
            line(u"remove", move.path);
            appendField(text, platform::formatMessage(u"%d", {move.backup}));
            text += kLineEnd;
            continue;
        }
        if (move.kind == JournalMove::kNewFile) {
            line(u"new", move.path);
        } else {
            line(u"replace", move.path);
            appendField(text, platform::formatMessage(u"%d", {move.backup}));
        }
        appendField(text, move.md5);
        if (move.own) appendField(text, u"own");
        text += kLineEnd;
    }
    std::string bytes = littleEndian(text);
    bytes += littleEndian(endLine(bytes, lines));
    return bytes;
}

std::string_view journalCommitRecord() {
    static const std::string record = littleEndian(u"commit\r\n");
    return record;
}

JournalState decodeJournal(std::string_view bytes, JournalRecord& record) {
    const std::string magic = littleEndian(kMagic);
    std::string head = littleEndian(header());
    if (bytes.size() < head.size()) {
        // Every version's header has the same length.
        return std::string_view(head).substr(0, bytes.size()) == bytes ? JournalState::kTorn : JournalState::kForeign;
    }
    if (bytes.substr(0, magic.size()) != magic) return JournalState::kForeign;
    bool digests = false;
    bool known = false;
    for (const std::u16string_view version : kVersions) {
        head = littleEndian(header(version));
        if (bytes.substr(0, head.size()) != head) continue;
        known = true;
        digests = version != u"1";
        break;
    }
    if (!known) return JournalState::kUnreadable;

    // The end line: the first line that begins with "end" and a tab.
    const std::u16string text = fromLittleEndian(bytes);
    const std::size_t bodyStart = head.size() / 2;
    std::size_t lineStart = bodyStart;
    std::int32_t lines = 1;
    for (;;) {
        const std::size_t lineEnd = text.find(kLineEnd, lineStart);
        if (lineEnd == std::u16string::npos) return JournalState::kTorn;
        if (text.compare(lineStart, 4, u"end\t") == 0) break;
        lineStart = lineEnd + kLineEnd.size();
        ++lines;
    }
    const std::string_view plan = bytes.substr(0, 2 * lineStart);
    const std::u16string expectedEnd = endLine(plan, lines);
    if (text.compare(lineStart, expectedEnd.size(), expectedEnd) != 0) return JournalState::kTorn;

    if (!parseBody(std::u16string_view(text).substr(bodyStart, lineStart - bodyStart), digests, record)) {
        return JournalState::kUnreadable;
    }
    const std::string_view tail = bytes.substr(2 * (lineStart + expectedEnd.size()));
    const std::string_view commit = journalCommitRecord();
    if (tail == commit) return JournalState::kCommitted;
    // A commit that was being written when the power went is no commit.
    if (commit.substr(0, tail.size()) == tail) return JournalState::kPlanned;
    return JournalState::kUnreadable;
}

}  // namespace install
