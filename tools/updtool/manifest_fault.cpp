#include "tools/updtool/manifest_fault.h"

#include <algorithm>
#include <unordered_set>

#include "xml/tokenizer.h"
#include "xml/xml_doc.h"

namespace updtool {
namespace {

using xml::ElemPos;
using xml::NodeInfo;
using xml::TokenCursor;
using xml::XmlDoc;

// Markup quoted in a description is cut to this many code units.
constexpr std::size_t kQuoteMax = 40;

std::u16string quote(const std::u16string& text, int32_t start, int32_t length) {
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(length), kQuoteMax);
    std::u16string out = u"\"" + text.substr(static_cast<std::size_t>(start), n);
    if (n < static_cast<std::size_t>(length)) out += u"...";
    return out + u"\"";
}

class FaultSearch {
public:
    explicit FaultSearch(const XmlDoc& doc) : doc_(doc) {}

    ManifestFault markupFault() {
        const ElemPos& document = doc_.record(0);
        if ((document.levelFlags & xml::ILL_FORMED) == 0) return {};
        scanIndex();
        scanTokens();
        if (best_.kind.empty()) {
            best_.kind = u"ill-formed";
            best_.description = u"the document is not well formed";
        }
        return best_;
    }

private:
    // An earlier fault replaces the one found so far.
    void offer(int32_t offset, std::u16string_view kind, std::u16string description) {
        if (!best_.kind.empty() && best_.offset <= offset) return;
        best_.kind = kind;
        best_.offset = offset;
        best_.description = std::move(description);
    }

    void scanIndex() {
        for (int32_t r = 1; r < doc_.nextFree(); ++r) {
            const ElemPos& e = doc_.record(r);
            if (e.endTagLength() > 0) usedEndTags_.insert(e.start + e.length);
            if ((e.levelFlags & xml::UNENDED) != 0) {
                offer(e.start, u"unended-element",
                      u"element <" + doc_.tagName(r) + u"> is never closed");
            }
            if (e.level() == static_cast<int32_t>(ElemPos::LEVEL_MAX)) {
                offer(e.start, u"too-deep", u"elements nested deeper than 65535 levels");
            }
        }
    }

    // The faults that leave no record of their own are found again with the
    // parser's own tokenizer: an end tag that closed an element ends where
    // that element ends; every other end tag closed nothing.
    void scanTokens() {
        const std::u16string& text = doc_.text();
        const auto limit = static_cast<int32_t>(text.size()) + 1;
        TokenCursor cursor = xml::cursorAt(text.c_str(), 0);
        NodeInfo node;
        for (;;) {
            const int32_t type = xml::nextNode(cursor, node, limit);
            if (type == xml::NODE_END_OF_DOCUMENT) break;
            if (!best_.kind.empty() && node.start >= best_.offset) break;
            if (type == xml::NODE_SYNTAX_ERROR) {
                offer(node.start, u"syntax-error", u"syntax error at " + quote(text, node.start, node.length));
            } else if (type == xml::NODE_END_TAG && usedEndTags_.count(node.start + node.length) == 0) {
                offer(node.start, u"lone-end-tag",
                      u"end tag " + quote(text, node.start, node.length) + u" closes no open element");
            } else if (type == xml::NODE_END_TAG && static_cast<uint32_t>(node.length) > ElemPos::END_TAG_MAX) {
                offer(node.start, u"tag-too-long", u"end tag longer than 1023 code units");
            } else if (type == xml::NODE_START_TAG && static_cast<uint32_t>(node.length) > ElemPos::START_TAG_MAX) {
                offer(node.start, u"tag-too-long", u"start tag longer than 4194303 code units");
            }
        }
    }

    const XmlDoc& doc_;
    std::unordered_set<int32_t> usedEndTags_;
    ManifestFault best_;
};

ManifestFault topLevelFault(const XmlDoc& doc) {
    ManifestFault fault;
    const int32_t first = doc.record(0).firstChild;
    if (first == 0) {
        fault.kind = u"no-element";
        fault.description = u"the document holds no element";
    } else if (const int32_t second = doc.record(first).nextSibling; second != 0) {
        fault.kind = u"second-root";
        fault.offset = doc.record(second).start;
        fault.description = u"a second top-level element <" + doc.tagName(second) + u"> after <" +
                            doc.tagName(first) + u">";
    } else if (doc.tagName(first) != u"update") {
        fault.kind = u"wrong-root";
        fault.offset = doc.record(first).start;
        fault.description = u"the top-level element is <" + doc.tagName(first) + u">, not <update>";
    }
    return fault;
}

}  // namespace

void textPosition(const std::u16string& text, int32_t offset, int32_t& line, int32_t& column) {
    line = 1;
    std::size_t lineStart = 0;
    const auto end = std::min(static_cast<std::size_t>(offset), text.size());
    for (std::size_t i = 0; i < end; ++i) {
        const bool lineEnd = text[i] == u'\n' || (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'));
        if (lineEnd) {
            ++line;
            lineStart = i + 1;
        }
    }
    column = static_cast<int32_t>(static_cast<std::size_t>(offset) - lineStart) + 1;
}

ManifestFault findManifestFault(const xml::XmlDoc& doc) {
    ManifestFault fault;
    if (doc.text().empty()) {
        fault.kind = u"empty";
        fault.description = u"the file is empty or its text could not be decoded";
        return fault;
    }
    fault = FaultSearch(doc).markupFault();
    if (fault.kind.empty()) fault = topLevelFault(doc);
    if (fault.offset >= 0) textPosition(doc.text(), fault.offset, fault.line, fault.column);
    return fault;
}

}  // namespace updtool
