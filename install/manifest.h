// Reads the update manifest "move.xml" of the working directory.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"
#include "install/step_sink.h"

namespace xml {
class XmlDoc;
}

namespace install {

// The step: loads the manifest into doc (an empty document), reporting to
// sink when it cannot be loaded, and reads it (readManifest). On false doc
// keeps what was read, its fault included.
bool loadManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  StepSink& sink);
// The same with a document of its own.
bool loadManifest(std::vector<ManifestEntry>& entries, std::u16string& errorText, StepSink& sink);

// Appends one entry per "file" child of the top-level "update" element of a
// loaded document, in document order. On false, errorText holds
// "WellForme err" (the document is not well formed: a manifest that could not
// be read leaves an empty one) or "update err" (other top-level element) and
// nothing was appended.
bool readManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText);

}  // namespace install
