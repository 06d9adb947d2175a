#include "install/manifest.h"

#include "install/update_steps.h"
#include "xml/xml_doc.h"

namespace install {

bool loadManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  StepSink& sink) {
    if (!doc.loadFile(std::u16string(kManifestName))) sink.manifestNotLoaded();
    return readManifest(doc, entries, errorText);
}

bool loadManifest(std::vector<ManifestEntry>& entries, std::u16string& errorText, StepSink& sink) {
    xml::XmlDoc doc;
    return loadManifest(doc, entries, errorText, sink);
}

bool readManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText) {
    // A manifest that could not be read leaves the empty document, which is
    // not well formed either: one message covers both.
    if (!doc.wellFormed()) {
        errorText = u"WellForme err";
        return false;
    }
    if (!doc.findElement(u"update")) {
        errorText = u"update err";
        return false;
    }
    doc.enterElement();
    // Room for every child at once, instead of growing as the entries come.
    entries.reserve(entries.size() + std::size_t(doc.childCount(doc.parentPos())));
    while (doc.findElement(u"file")) {
        ManifestEntry& entry = entries.emplace_back();
        entry.md5 = doc.attribute(u"md5");
        entry.path = doc.attribute(u"path");
    }
    return true;
}

}  // namespace install
