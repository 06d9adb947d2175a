// Where a manifest that the Updater refuses goes wrong, so that whoever
// produced it can fix it.
#pragma once

#include <cstdint>
#include <string>

namespace xml {
class XmlDoc;
}

namespace updtool {

struct ManifestFault {
    // "missing", "empty", "syntax-error", "lone-end-tag", "unended-element",
    // "tag-too-long", "too-deep", "ill-formed", "no-element", "second-root", "wrong-root";
    // "" when the document has none of these.
    std::u16string kind;
    std::u16string description;
    int32_t offset = -1;  // in the decoded UTF-16 text; -1: no position
    int32_t line = 0;     // from 1; 0: no position
    int32_t column = 0;   // from 1, in UTF-16 code units
};

// The first fault of a loaded document that is not well formed, or whose
// top-level element is not "update". Faults of the markup (syntax errors,
// end tags that close nothing, elements never closed, tags over the
// index's limits) come first, the earliest in the text; then a missing or
// second top-level element, then a wrong name.
ManifestFault findManifestFault(const xml::XmlDoc& doc);

// Line and column of offset: lines end at LF, CR LF or a lone CR.
void textPosition(const std::u16string& text, int32_t offset, int32_t& line, int32_t& column);

}  // namespace updtool
