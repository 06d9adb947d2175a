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

// The parser's fault of a loaded document in check's words, or, for a well
// formed one, a top-level element other than "update". The document's text is
// empty when the file is empty or could not be decoded.
ManifestFault findManifestFault(const xml::XmlDoc& doc);

}  // namespace updtool
