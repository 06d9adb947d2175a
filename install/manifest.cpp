#include "install/manifest.h"

#include "install/update_steps.h"
#include "platform/platform.h"
#include "xml/xml_doc.h"

namespace install {

namespace {

bool loadSignedManifest(platform::Tree& tree, xml::XmlDoc& doc, std::vector<ManifestEntry>& entries,
                        std::u16string& errorText, StepSink& sink, TrustedKeys keys, ManifestExtras* extras) {
    // The bytes whose signature is checked are the bytes parsed: the file
    // is not read a second time.
    std::string bytes;
    if (tree.readFile(std::u16string(kManifestName), kMaxManifestBytes, bytes) == platform::kErrorSuccess) {
        const SignatureCheck check = checkSignature(tree, bytes, std::u16string(kSignatureName), keys);
        sink.signatureChecked(check);
        if (check.result != SignatureCheck::kVerified) {
            errorText = signatureMessage(check);
            return false;
        }
        if (extras != nullptr) extras->key = check.key;
    }
    // A manifest that cannot be read leaves no bytes, which are not well formed.
    if (!doc.loadBytes(bytes)) sink.manifestNotLoaded();
    return readManifest(doc, entries, errorText, true, extras);
}

}  // namespace

bool loadManifest(platform::Tree& tree, xml::XmlDoc& doc, std::vector<ManifestEntry>& entries,
                  std::u16string& errorText, StepSink& sink, TrustedKeys keys, ManifestExtras* extras) {
    if (!keys.empty()) return loadSignedManifest(tree, doc, entries, errorText, sink, keys, extras);
    platform::InputFile file;
    bool loaded = tree.openForReading(std::u16string(kManifestName), file) == platform::kErrorSuccess;
    if (loaded && static_cast<std::uint64_t>(file.length()) > kMaxManifestBytes) {
        file.close();
        loaded = false;
    }
    // What was not opened leaves the document empty, which is not well formed.
    if (!doc.loadFile(file) || !loaded) sink.manifestNotLoaded();
    return readManifest(doc, entries, errorText, false, extras);
}

bool loadManifest(platform::Tree& tree, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  StepSink& sink, TrustedKeys keys, ManifestExtras* extras) {
    xml::XmlDoc doc;
    return loadManifest(tree, doc, entries, errorText, sink, keys, extras);
}

bool readManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  bool sha256, ManifestExtras* extras) {
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
    if (extras != nullptr) extras->version = doc.attribute(u"version");
    doc.enterElement();
    // Room for every child at once, instead of growing as the entries come.
    entries.reserve(entries.size() + std::size_t(doc.childCount(doc.parentPos())));
    while (doc.findElement(u"file")) {
        ManifestEntry& entry = entries.emplace_back();
        entry.md5 = doc.attribute(u"md5");
        entry.path = doc.attribute(u"path");
        if (sha256) entry.sha256 = doc.attribute(u"sha256");
        entry.patch = doc.attribute(u"patch");
        if (!entry.patch.empty()) {
            entry.baseMd5 = doc.attribute(u"base-md5");
            if (sha256) entry.baseSha256 = doc.attribute(u"base-sha256");
        }
    }
    if (extras != nullptr) {
        // A second walk of the children for the removals, which are few.
        doc.rewind();
        doc.findElement(u"update");
        doc.enterElement();
        while (doc.findElement(u"remove")) extras->removals.push_back(doc.attribute(u"path"));
    }
    return true;
}

}  // namespace install
