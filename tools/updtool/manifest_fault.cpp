#include "tools/updtool/manifest_fault.h"

#include <algorithm>

#include "xml/xml_doc.h"

namespace updtool {
namespace {

// Markup quoted in a description is cut to this many code units.
constexpr std::size_t kQuoteMax = 40;

std::u16string quote(const std::u16string& text, int32_t start, int32_t length) {
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(length), kQuoteMax);
    std::u16string out = u"\"" + text.substr(static_cast<std::size_t>(start), n);
    if (n < static_cast<std::size_t>(length)) out += u"...";
    return out + u"\"";
}

void describe(const xml::XmlDoc& doc, ManifestFault& fault) {
    using xml::FaultKind;
    const xml::ParseFault& found = doc.fault();
    const std::u16string& text = doc.text();
    switch (found.kind) {
    case FaultKind::kNone: {
        const int32_t root = doc.record(0).firstChild;
        if (doc.tagName(root) != u"update") {
            fault.kind = u"wrong-root";
            fault.offset = doc.record(root).start;
            fault.description = u"the top-level element is <" + doc.tagName(root) + u">, not <update>";
        }
        return;
    }
    case FaultKind::kSyntaxError:
        fault.kind = u"syntax-error";
        fault.description = u"syntax error at " + quote(text, found.offset, found.length);
        break;
    case FaultKind::kLoneEndTag:
        fault.kind = u"lone-end-tag";
        fault.description = u"end tag " + quote(text, found.offset, found.length) + u" closes no open element";
        break;
    case FaultKind::kUnendedElement:
        fault.kind = u"unended-element";
        fault.description = u"element <" + doc.tagName(found.element) + u"> is never closed";
        break;
    case FaultKind::kStartTagTooLong:
        fault.kind = u"tag-too-long";
        fault.description = u"start tag longer than 4194303 code units";
        break;
    case FaultKind::kEndTagTooLong:
        fault.kind = u"tag-too-long";
        fault.description = u"end tag longer than 1023 code units";
        break;
    case FaultKind::kTooDeep:
        fault.kind = u"too-deep";
        fault.description = u"elements nested deeper than 65535 levels";
        break;
    case FaultKind::kTextTooLong:
        fault.kind = u"ill-formed";
        fault.description = u"the document is not well formed";
        return;
    case FaultKind::kNoElement:
        fault.kind = u"no-element";
        fault.description = u"the document holds no element";
        return;
    case FaultKind::kSecondElement:
        fault.kind = u"second-root";
        fault.description = u"a second top-level element <" + doc.tagName(found.element) + u"> after <" +
                            doc.tagName(doc.record(0).firstChild) + u">";
        break;
    }
    fault.offset = found.offset;
}

}  // namespace

ManifestFault findManifestFault(const xml::XmlDoc& doc) {
    ManifestFault fault;
    if (doc.text().empty()) {
        fault.kind = u"empty";
        fault.description = u"the file is empty or its text could not be decoded";
        return fault;
    }
    describe(doc, fault);
    if (fault.offset >= 0) {
        const xml::TextPosition position = xml::textPosition(doc.text(), fault.offset);
        fault.line = position.line;
        fault.column = position.column;
    }
    return fault;
}

}  // namespace updtool
