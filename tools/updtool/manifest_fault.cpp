#include "tools/updtool/manifest_fault.h"

#include <algorithm>

#include "xml/xml_doc.h"

namespace updtool {
namespace {

using xml::FaultKind;

// Markup quoted in a description is cut to this many code units.
constexpr std::size_t kQuoteMax = 40;

// Check's name for each kind of fault the parser reports, and the
// description of those whose words do not depend on the document.
struct KindWords {
    FaultKind kind;
    const char16_t* name;
    const char16_t* description;
};

constexpr KindWords kKindWords[] = {
    {FaultKind::kSyntaxError, u"syntax-error", nullptr},
    {FaultKind::kLoneEndTag, u"lone-end-tag", nullptr},
    {FaultKind::kUnendedElement, u"unended-element", nullptr},
    {FaultKind::kStartTagTooLong, u"tag-too-long", u"start tag longer than 4194303 code units"},
    {FaultKind::kEndTagTooLong, u"tag-too-long", u"end tag longer than 1023 code units"},
    {FaultKind::kTooDeep, u"too-deep", u"elements nested deeper than 65535 levels"},
    {FaultKind::kTextTooLong, u"ill-formed", u"the document is not well formed"},
    {FaultKind::kNoElement, u"no-element", u"the document holds no element"},
    {FaultKind::kSecondElement, u"second-root", nullptr},
};

std::u16string quote(const std::u16string& text, int32_t start, int32_t length) {
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(length), kQuoteMax);
    std::u16string out = u"\"" + text.substr(static_cast<std::size_t>(start), n);
    if (n < static_cast<std::size_t>(length)) out += u"...";
    return out + u"\"";
}

std::u16string describe(const xml::XmlDoc& doc, const xml::ParseFault& found, const KindWords& words) {
    switch (found.kind) {
    case FaultKind::kSyntaxError:
        return u"syntax error at " + quote(doc.text(), found.offset, found.length);
    case FaultKind::kLoneEndTag:
        return u"end tag " + quote(doc.text(), found.offset, found.length) + u" closes no open element";
    case FaultKind::kUnendedElement:
        return u"element <" + doc.tagName(found.element) + u"> is never closed";
    case FaultKind::kSecondElement:
        return u"a second top-level element <" + doc.tagName(found.element) + u"> after <" +
               doc.tagName(doc.record(0).firstChild) + u">";
    default:
        return words.description;
    }
}

}  // namespace

ManifestFault findManifestFault(const xml::XmlDoc& doc) {
    ManifestFault fault;
    const xml::ParseFault& found = doc.fault();
    if (doc.text().empty()) {
        fault.kind = u"empty";
        fault.description = u"the file is empty or its text could not be decoded";
    } else if (found.kind != FaultKind::kNone) {
        const KindWords& words = *std::find_if(std::begin(kKindWords), std::end(kKindWords),
                                               [&](const KindWords& w) { return w.kind == found.kind; });
        fault.kind = words.name;
        fault.description = describe(doc, found, words);
        fault.offset = found.offset;
    } else if (const int32_t root = doc.record(0).firstChild; doc.tagName(root) != u"update") {
        fault.kind = u"wrong-root";
        fault.description = u"the top-level element is <" + doc.tagName(root) + u">, not <update>";
        fault.offset = doc.record(root).start;
    }
    if (fault.offset >= 0) {
        const xml::TextPosition position = xml::textPosition(doc.text(), fault.offset);
        fault.line = position.line;
        fault.column = position.column;
    }
    return fault;
}

}  // namespace updtool
