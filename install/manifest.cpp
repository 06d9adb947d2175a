#include "install/manifest.h"

#include "install/update_steps.h"
#include "platform/platform.h"
#include "xml/xml_doc.h"

namespace install {

namespace {

bool loadSignedManifest(platform::Tree& tree, xml::XmlDoc& doc, std::vector<ManifestEntry>& entries,
                        std::u16string& errorText, StepSink& sink, TrustedKeys keys, SignedRelease* release) {
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
        if (release != nullptr) release->key = check.key;
    }
    // A manifest that cannot be read leaves no bytes, which are not well formed.
    if (!doc.loadBytes(bytes)) sink.manifestNotLoaded();
    return readManifest(doc, entries, errorText, true, release != nullptr ? &release->version : nullptr);
}

}  // namespace

bool loadManifest(platform::Tree& tree, xml::XmlDoc& doc, std::vector<ManifestEntry>& entries,
                  std::u16string& errorText, StepSink& sink, TrustedKeys keys, SignedRelease* release) {
    if (!keys.empty()) return loadSignedManifest(tree, doc, entries, errorText, sink, keys, release);
    platform::InputFile file;
    bool loaded = tree.openForReading(std::u16string(kManifestName), file) == platform::kErrorSuccess;
    if (loaded && static_cast<std::uint64_t>(file.length()) > kMaxManifestBytes) {
        file.close();
        loaded = false;
    }
    // What was not opened leaves the document empty, which is not well formed.
    if (!doc.loadFile(file) || !loaded) sink.manifestNotLoaded();
    return readManifest(doc, entries, errorText);
}

bool loadManifest(platform::Tree& tree, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  StepSink& sink, TrustedKeys keys, SignedRelease* release) {
    xml::XmlDoc doc;
    return loadManifest(tree, doc, entries, errorText, sink, keys, release);
}

bool readManifest(xml::XmlDoc& doc, std::vector<ManifestEntry>& entries, std::u16string& errorText,
                  bool sha256, std::u16string* version) {
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
    if (version != nullptr) *version = doc.attribute(u"version");
    doc.enterElement();
    // Room for every child at once, instead of growing as the entries come.
    entries.reserve(entries.size() + std::size_t(doc.childCount(doc.parentPos())));
    while (doc.findElement(u"file")) {
        ManifestEntry& entry = entries.emplace_back();
        entry.md5 = doc.attribute(u"md5");
        entry.path = doc.attribute(u"path");
        if (sha256) entry.sha256 = doc.attribute(u"sha256");
    }
    return true;
}

}  // namespace install
