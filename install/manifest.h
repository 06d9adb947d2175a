// Reads the update manifest "move.xml" of the working directory.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"

namespace xml {
class XmlDoc;
}

namespace install {

// Appends one entry per "file" child of the top-level "update" element, in
// document order. On false, errorText holds "WellForme err" (missing,
// unreadable or malformed manifest) or "update err" (other top-level element)
// and nothing was appended.
bool loadManifest(std::vector<ManifestEntry>& entries, std::u16string& errorText);

// The same reading of a document that has been loaded already (whatever
// loadFile said), without any console output: tools that check a manifest
// keep the document to look into its faults.
bool readManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText);

}  // namespace install
