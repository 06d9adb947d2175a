#include "xml/xml_doc.h"

#include <functional>
#include <limits>

#include "xml/scan.h"

namespace xml {

XmlDoc::XmlDoc() : index_(std::make_unique<ElementIndex>()) {
    setDocument(nullptr);
}

XmlDoc::XmlDoc(const char16_t* initialText) : index_(std::make_unique<ElementIndex>()) {
    setDocument(initialText);
}

bool XmlDoc::setDocument(const char16_t* newText) {
    if (newText == nullptr) {
        std::u16string().swap(text_);
        index_->clear();
        std::vector<AttributeSpan>().swap(plainAttributes_);
        std::vector<uint32_t>().swap(plainOf_);
        return parse();
    }
    const std::size_t length = scan::length(newText);
    const std::less<const char16_t*> before;
    const bool ownText = !before(newText, text_.data()) && before(newText, text_.data() + text_.size() + 1);
    if (ownText) {
        text_.assign(newText, length);
        return parse();
    }
    // The parse copies the text piece by piece right behind its reading, so
    // that the text goes through the cache once instead of twice.
    text_.clear();
    text_.reserve(length);
    return parseText(newText, length);
}

void XmlDoc::growIndex(int32_t n) {
    index_->grow(n, nextFree_);
}

void XmlDoc::rewind() {
    parentPos_ = 0;
    currentPos_ = 0;
    childPos_ = 0;
    nodeType_ = 0;
}

bool XmlDoc::parse() {
    return parseText(text_.c_str(), text_.size());
}

bool XmlDoc::parseText(const char16_t* source, std::size_t sourceLength) {
    rewind();
    nextFree_ = 1;
    fault_ = ParseFault{};
    attributesOf_ = 0;
    // Offsets are 32-bit: a longer text cannot be indexed and counts as broken.
    const bool tooLong = sourceLength >= std::size_t(std::numeric_limits<int32_t>::max());
    const int32_t length = tooLong ? 0 : int32_t(sourceLength);
    const int32_t wanted = length / 64 + 8;
    if (index_->size < wanted) {
        growIndex(wanted);
    }
    plainAttributes_.clear();
    plainOf_.clear();
    plainOf_.reserve(std::size_t(wanted));
    // An attribute takes 5 code units at least and usually over 20: room
    // for one per 32 units rarely grows, and is not touched unless used.
    plainAttributes_.reserve(std::size_t(length / 32 + 8));
    mutableRecord(0) = ElemPos{};
    if (tooLong) {
        if (source != text_.c_str()) {
            text_.assign(source, sourceLength);
        }
        mutableRecord(0).levelFlags = ILL_FORMED;
        noteFault(FaultKind::kTextTooLong, -1, 0, 0);
    } else if (length > 0) {
        const int32_t first = parseLoop(source, length);
        mutableRecord(0).length = length;
        if (first != 0) {
            mutableRecord(0).firstChild = first;
        }
    }
    if (fault_.kind == FaultKind::kNone) {
        const int32_t first = record(0).firstChild;
        if (first == 0) {
            fault_.kind = FaultKind::kNoElement;
        } else if (const int32_t second = record(first).nextSibling; second != 0) {
            fault_ = {FaultKind::kSecondElement, record(second).start, record(second).startTagLength(), second};
        }
    }
    rewind();
    return wellFormed();
}

void XmlDoc::noteFault(FaultKind kind, int32_t offset, int32_t length, int32_t element) {
    // An element that is never closed is at fault as a whole, before any
    // limit its own start tag breaks.
    const bool earlier = fault_.kind == FaultKind::kNone || offset < fault_.offset ||
                         (offset == fault_.offset && kind == FaultKind::kUnendedElement);
    if (earlier) {
        fault_ = {kind, offset, length, element};
    }
}

bool XmlDoc::wellFormed() const {
    if (index_->size == 0) {
        return false;
    }
    const ElemPos& doc = record(0);
    return (doc.levelFlags & ILL_FORMED) == 0 && doc.firstChild != 0 &&
           record(doc.firstChild).nextSibling == 0;
}

}  // namespace xml
