#include "xml/xml_doc.h"

#include <functional>
#include <limits>

#include "xml/scan.h"

XmlDoc::XmlDoc() : index(std::make_unique<ElementIndex>()) {
    setDocument(nullptr);
}

XmlDoc::XmlDoc(const char16_t* initialText) : index(std::make_unique<ElementIndex>()) {
    setDocument(initialText);
}

bool XmlDoc::setDocument(const char16_t* newText) {
    if (newText == nullptr) {
        std::u16string().swap(text);
        index->clear();
        return parse();
    }
    const std::size_t length = scan::length(newText);
    const std::less<const char16_t*> before;
    const bool ownText = !before(newText, text.data()) && before(newText, text.data() + text.size() + 1);
    if (ownText) {
        text.assign(newText, length);
        return parse();
    }
    // The parse copies the text piece by piece right behind its reading, so
    // that the text goes through the cache once instead of twice.
    text.clear();
    text.reserve(length);
    return parseText(newText, length);
}

void XmlDoc::growIndex(int32_t n) {
    index->grow(n, nextFree);
}

void XmlDoc::resetPosition() {
    parentPos = 0;
    currentPos = 0;
    childPos = 0;
    nodeOffset = 0;
    nodeLength = 0;
    nodeType = 0;
}

bool XmlDoc::parse() {
    return parseText(text.c_str(), text.size());
}

bool XmlDoc::parseText(const char16_t* source, std::size_t sourceLength) {
    resetPosition();
    nextFree = 1;
    // Offsets are 32-bit: a longer text cannot be indexed and counts as broken.
    const bool tooLong = sourceLength >= std::size_t(std::numeric_limits<int32_t>::max());
    const int32_t length = tooLong ? 0 : int32_t(sourceLength);
    const int32_t wanted = length / 64 + 8;
    if (index->size < wanted) {
        growIndex(wanted);
    }
    record(0) = ElemPos{};
    if (tooLong) {
        if (source != text.c_str()) {
            text.assign(source, sourceLength);
        }
        record(0).levelFlags = ILL_FORMED;
    } else if (length > 0) {
        const int32_t first = parseLoop(source, length);
        record(0).length = length;
        if (first != 0) {
            record(0).firstChild = first;
        }
    }
    resetPosition();
    return wellFormed();
}

bool XmlDoc::wellFormed() const {
    if (index->size == 0) {
        return false;
    }
    const ElemPos& doc = record(0);
    return (doc.levelFlags & ILL_FORMED) == 0 && doc.firstChild != 0 &&
           record(doc.firstChild).nextSibling == 0;
}
