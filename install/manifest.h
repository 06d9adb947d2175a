// Reads the update manifest "move.xml" of the working directory.
#pragma once

#include <string>
#include <vector>

#include "install/manifest_entry.h"
#include "install/signature.h"
#include "install/step_sink.h"
#include "platform/tree.h"

namespace xml {
class XmlDoc;
}

namespace install {

// The step: loads the manifest into doc (an empty document), reporting to
// sink when it cannot be loaded, and reads it (readManifest). On false doc
// keeps what was read, its fault included.
// With keys (a signed update) the file is read once into memory, its
// signature checked over those bytes (reported to sink) before they are
// parsed, and each entry's sha256 read too. A signature that is missing,
// malformed or made by no trusted key fails the step with signatureMessage.
// Both files are read through tree: never through a link, never a FIFO or a
// device, and a manifest larger than kMaxManifestBytes is not read at all.
bool loadManifest(platform::Tree& tree, xml::XmlDoc& doc, std::vector<ManifestEntry>& entries,
                  std::u16string& errorText, StepSink& sink, TrustedKeys keys = {}, ManifestExtras* extras = nullptr);
// The same with a document of its own.
bool loadManifest(platform::Tree& tree, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  StepSink& sink, TrustedKeys keys = {}, ManifestExtras* extras = nullptr);

// Appends one entry per "file" child of the top-level "update" element of a
// loaded document, in document order; with sha256 also that attribute and
// base-sha256. An entry's "patch" and "base-md5" are read too. With extras,
// the path of every "remove" child goes to its removals, and the root's
// "version" to its version. On false, errorText holds "WellForme err" (the
// document is not well formed: a manifest that could not be read leaves an
// empty one) or "update err" (other top-level element) and nothing was
// appended.
bool readManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  bool sha256 = false, ManifestExtras* extras = nullptr);

}  // namespace install
