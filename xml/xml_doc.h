// A parsed document: the UTF-16 text and, beside it, an index with one
// fixed-size record per element. Reads go through the index back into the
// text; nothing of the text is copied into objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "xml/attribute_record.h"
#include "xml/parse_fault.h"

namespace xml {

struct PlainTag;

// One element. Offsets and lengths count UTF-16 code units.
struct ElemPos {
    int32_t start;        // the "<" of the start tag
    int32_t length;       // start tag through end tag (start tag only when there is no end tag)
    uint32_t tagLengths;  // bits 0-21 start-tag length, bits 22-31 end-tag length
    uint32_t levelFlags;  // bits 0-15 nesting level, and the flags below
    int32_t parent;       // 0: top level
    int32_t firstChild;   // 0: none
    int32_t nextSibling;  // 0: last of its level
    int32_t prevSibling;  // for the first child: the last sibling of its level

    int32_t startTagLength() const { return int32_t(tagLengths & START_TAG_MAX); }
    int32_t endTagLength() const { return int32_t(tagLengths >> 22); }
    int32_t level() const { return int32_t(levelFlags & LEVEL_MAX); }

    static constexpr uint32_t START_TAG_MAX = 0x3FFFFF;
    static constexpr uint32_t END_TAG_MAX = 0x3FF;
    static constexpr uint32_t LEVEL_MAX = 0xFFFF;
};

// ElemPos::levelFlags bits.
inline constexpr uint32_t FIRST_CHILD = 0x80000;   // first of its parent's children
inline constexpr uint32_t UNENDED = 0x100000;      // closed by an outer end tag or the end of the text
inline constexpr uint32_t ERROR_INSIDE = 0x200000; // a fault lies directly inside
inline constexpr uint32_t ILL_FORMED = 0x800000;   // document record only: the parse found a fault

// Records in segments of 65536: the high 16 bits of an index pick the segment,
// the low 16 bits the record. Full segments never move when the index grows.
struct ElementIndex {
    static constexpr int32_t SEGMENT_SIZE = 0x10000;

    std::unique_ptr<std::unique_ptr<ElemPos[]>[]> segments;
    int32_t size = 0;          // records allocated over all segments
    int32_t segmentSlots = 0;  // entries allocated in segments

    ElemPos& operator[](int32_t i) { return segments[i >> 16][i & 0xFFFF]; }
    const ElemPos& operator[](int32_t i) const { return segments[i >> 16][i & 0xFFFF]; }

    // Grows to n records, adding at most one segment per call; the records
    // below used are kept.
    void grow(int32_t n, int32_t used);
    // Frees every segment and the segment array.
    void clear();
};

class XmlDoc {
public:
    XmlDoc();
    explicit XmlDoc(const char16_t* initialText);
    XmlDoc(const XmlDoc&) = delete;
    XmlDoc& operator=(const XmlDoc&) = delete;

    // Takes a copy of text (null: no text, and the index storage is freed)
    // and parses it. Returns wellFormed().
    bool setDocument(const char16_t* text);
    // Builds the index from text. Returns wellFormed().
    bool parse();
    // No fault, and exactly one top-level element.
    bool wellFormed() const;
    // The first fault of the last parse; its kind is kNone exactly when the
    // document is well formed.
    const ParseFault& fault() const { return fault_; }
    // Reads a file of any common encoding into text and parses it.
    bool loadFile(const std::u16string& path);
    // The same for the bytes of a file already in memory: the same decoding.
    bool loadBytes(std::string_view bytes);
    // The same for a file opened already; the document reads and closes it.
    bool loadFile(platform::InputFile& file);

    // Moves to the next element of the current level named name (any element
    // for a null or empty name). False, and no move, when there is none.
    bool findElement(const char16_t* name);
    // Makes the current element the parent: findElement then walks its children.
    void enterElement();
    // Back to the start of the top level, where every parse leaves the position.
    void rewind();
    // The decoded value of the current element's attribute name ("" if none).
    // The first call on an element records its attributes for the next ones,
    // so concurrent calls on one document are not safe.
    std::u16string attribute(const char16_t* name) const;
    // The tag name of element pos ("" for 0).
    std::u16string tagName(int32_t pos) const;
    // The number of child elements of element pos (0: the top level).
    int32_t childCount(int32_t pos) const;

    const std::u16string& text() const { return text_; }
    // Record 0 is the document; the elements are 1 to nextFree() - 1, in text order.
    const ElemPos& record(int32_t i) const { return (*index_)[i]; }
    int32_t nextFree() const { return nextFree_; }
    const ElementIndex& index() const { return *index_; }

    int32_t parentPos() const { return parentPos_; }    // element whose children are the current level; 0: top level
    int32_t currentPos() const { return currentPos_; }  // current element; 0: before the first of the level
    int32_t childPos() const { return childPos_; }      // current child; 0: none
    int32_t nodeType() const { return nodeType_; }      // 1 (a start tag) when an element is current, else 0

    // The file reader's flags as the last loadFile left them; the next
    // loadFile starts the reader with them.
    uint32_t flags() const { return flags_; }
    void setFlags(uint32_t flags) { flags_ = flags; }

private:
    ElemPos& mutableRecord(int32_t i) { return (*index_)[i]; }
    // Grows the index towards n records (one segment at most per call).
    void growIndex(int32_t n);
    // Keeps the attributes of the start tag just indexed, if it was plain.
    void notePlain(const PlainTag& plain);
    // Parses length code units at source, which is text itself or a text
    // that becomes text's content as the parse goes (text must be empty then).
    bool parseText(const char16_t* source, std::size_t length);
    int32_t parseLoop(const char16_t* source, int32_t length);
    // Whether the tag name of the start tag at start matches name as
    // tokenIs compares them.
    bool tagNameIs(int32_t start, const char16_t* name) const;
    // Keeps the fault if it begins before the one noted so far.
    void noteFault(FaultKind kind, int32_t offset, int32_t length, int32_t element);

    std::u16string text_;
    int32_t parentPos_ = 0;
    int32_t currentPos_ = 0;
    int32_t childPos_ = 0;
    int32_t nextFree_ = 0;  // next unused record
    int32_t nodeType_ = 0;
    uint32_t flags_ = 0;
    std::unique_ptr<ElementIndex> index_;
    ParseFault fault_;
    // The attributes of the plain start tags (see PlainTag), in text order,
    // as the parse read them; plainOf_[r - 1] gives element r's as
    // (first << 4) | count, or NOT_PLAIN. Other tags are scanned on demand.
    static constexpr uint32_t NOT_PLAIN = 0xF;
    std::vector<AttributeSpan> plainAttributes_;
    std::vector<uint32_t> plainOf_;
    // The attributes of element attributesOf_ (0: none since the last parse).
    mutable AttributeRecord attributes_;
    mutable int32_t attributesOf_ = 0;
};

}  // namespace xml
