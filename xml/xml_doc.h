// A parsed document: the UTF-16 text and, beside it, an index with one
// fixed-size record per element. Reads go through the index back into the
// text; nothing of the text is copied into objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
    // Reads a file of any common encoding into text and parses it.
    bool loadFile(const std::u16string& path);
    // Grows the index towards n records (one segment at most per call).
    void growIndex(int32_t n);

    // Moves to the next element of the current level named name (any element
    // for a null or empty name). False, and no move, when there is none.
    bool findElement(const char16_t* name);
    // Makes the current element the parent: findElement then walks its children.
    void enterElement();
    // The decoded value of the current element's attribute name ("" if none).
    std::u16string attribute(const char16_t* name) const;
    // The tag name of element pos ("" for 0).
    std::u16string tagName(int32_t pos) const;

    ElemPos& record(int32_t i) { return (*index)[i]; }
    const ElemPos& record(int32_t i) const { return (*index)[i]; }

    std::u16string text;
    int32_t parentPos = 0;   // element whose children are the current level; 0: top level
    int32_t currentPos = 0;  // current element; 0: before the first of the level
    int32_t childPos = 0;    // current child; 0: none
    int32_t nextFree = 0;    // next unused record
    int32_t nodeType = 0;    // 1 when an element is current, else 0
    int32_t nodeOffset = 0;  // current non-element node: never set by this program
    int32_t nodeLength = 0;
    uint32_t flags = 0;      // the file reader's flags, copied by loadFile
    std::unique_ptr<ElementIndex> index;

private:
    void resetPosition();
    // Parses length code units at source, which is text itself or a text
    // that becomes text's content as the parse goes (text must be empty then).
    bool parseText(const char16_t* source, std::size_t length);
    int32_t parseLoop(const char16_t* source, int32_t length);
};
