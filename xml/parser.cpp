// The parse loop: builds the element index from the tokenizer's nodes.
#include <string>
#include <vector>

#include "xml/tokenizer.h"
#include "xml/xml_doc.h"

namespace xml {

namespace {

// An open element: its record and its tag name as a span of the text.
struct OpenElement {
    int32_t nameStart;
    int32_t nameLength;
    int32_t elem;
};

// An end tag's name closes an open element whose name begins with it and goes
// on with a name-end code unit there or ends ("</a>" closes "<a[1]>").
bool closes(const char16_t* text, const OpenElement& open, const char16_t* name, int32_t length) {
    if (open.nameLength < length ||
        (open.nameLength > length && !isNameEnd(text[open.nameStart + length]))) {
        return false;
    }
    return std::char_traits<char16_t>::compare(text + open.nameStart, name, std::size_t(length)) == 0;
}

// The names that end tags may give to close the open elements, counted, so
// that an end tag matching none is known without walking the whole stack
// (which would make a run of stray end tags under deep nesting quadratic).
// A name has one such key per name-end code unit in it, plus itself.
class OpenNameKeys {
public:
    void add(const char16_t* text, const OpenElement& open) { update(text, open, 1); }
    void remove(const char16_t* text, const OpenElement& open) { update(text, open, -1); }

    bool contains(const char16_t* text, const char16_t* name, int32_t length) const {
        if (slots_.empty()) {
            return false;
        }
        uint32_t hash = HASH_SEED;
        for (int32_t i = 0; i < length; ++i) {
            hash = step(hash, name[i]);
        }
        const Slot* slot = find(text, hash, name, length);
        return slot != nullptr && slot->count > 0;
    }

private:
    struct Slot {
        uint32_t hash;
        int32_t start;   // the key is text[start, start + length); start -1: empty slot
        int32_t length;
        int32_t count;   // open elements having this key
    };
    static constexpr uint32_t HASH_SEED = 2166136261u;

    static uint32_t step(uint32_t hash, char16_t c) { return (hash ^ c) * 16777619u; }

    const Slot* find(const char16_t* text, uint32_t hash, const char16_t* key, int32_t length) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (s.start < 0) {
                return nullptr;
            }
            if (s.hash == hash && s.length == length &&
                std::char_traits<char16_t>::compare(text + s.start, key, std::size_t(length)) == 0) {
                return &s;
            }
        }
    }

    void update(const char16_t* text, const OpenElement& open, int32_t delta) {
        uint32_t hash = HASH_SEED;
        for (int32_t i = 0; i < open.nameLength; ++i) {
            hash = step(hash, text[open.nameStart + i]);
            if (i + 1 == open.nameLength || isNameEnd(text[open.nameStart + i + 1])) {
                updateKey(text, hash, open.nameStart, i + 1, delta);
            }
        }
    }

    void updateKey(const char16_t* text, uint32_t hash, int32_t start, int32_t length, int32_t delta) {
        if (!slots_.empty()) {
            if (Slot* s = const_cast<Slot*>(find(text, hash, text + start, length))) {
                s->count += delta;
                return;
            }
        }
        // Only adding reaches here: a removed key was added before.
        if ((used_ + 1) * 2 > slots_.size()) {
            rehash();
        }
        insert({hash, start, length, delta});
    }

    void insert(const Slot& slot) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = slot.hash & mask;
        while (slots_[i].start >= 0) {
            i = (i + 1) & mask;
        }
        slots_[i] = slot;
        ++used_;
    }

    // Keys no open element has any more are dropped here.
    void rehash() {
        std::vector<Slot> old;
        old.swap(slots_);
        std::size_t live = 0;
        for (const Slot& s : old) {
            live += s.start >= 0 && s.count > 0 ? 1 : 0;
        }
        std::size_t capacity = 64;
        while (capacity < 4 * (live + 1)) {
            capacity *= 2;
        }
        slots_.assign(capacity, Slot{0, -1, 0, 0});
        used_ = 0;
        for (const Slot& s : old) {
            if (s.start >= 0 && s.count > 0) {
                insert(s);
            }
        }
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

// Code units copied into the document's text at a time while parsing a
// text from elsewhere: small enough to be still in the cache from the parse.
constexpr int32_t COPY_PIECE = 4096;

}  // namespace

void XmlDoc::notePlain(const PlainTag& plain) {
    const std::size_t first = plainAttributes_.size();
    if (plain.count < 0 || first >= (std::size_t(1) << 28)) {
        plainOf_.push_back(NOT_PLAIN);
        return;
    }
    plainAttributes_.insert(plainAttributes_.end(), plain.attributes, plain.attributes + plain.count);
    plainOf_.push_back(uint32_t(first << 4) | uint32_t(plain.count));
}

int32_t XmlDoc::parseLoop(const char16_t* source, int32_t sourceLength) {
    ElementIndex& idx = *index_;
    const char16_t* t = source;
    // Up to here source is in text; a parse of text itself has nothing to copy.
    int32_t copied = source == text_.c_str() ? sourceLength : 0;
    std::vector<OpenElement> open;
    open.reserve(8);
    open.push_back({0, 0, 0});  // the document record, never closed
    OpenNameKeys keys;
    bool keysActive = false;
    bool anyUnended = false;
    int32_t first = 0;

    // Closes the innermost open element without an end tag; its children
    // follow it as its siblings. Their parent links are settled after the loop.
    const auto closeUnended = [&]() {
        const int32_t u = open.back().elem;
        if (keysActive) {
            keys.remove(t, open.back());
        }
        open.pop_back();
        const int32_t p = open.back().elem;
        ElemPos& ur = idx[u];
        idx[0].levelFlags |= ILL_FORMED;
        noteFault(FaultKind::kUnendedElement, ur.start, ur.startTagLength(), u);
        ur.levelFlags |= UNENDED;
        if ((ur.levelFlags & ERROR_INSIDE) != 0) {
            ur.levelFlags &= ~ERROR_INSIDE;
            idx[p].levelFlags |= ERROR_INSIDE;
        }
        if (ur.firstChild != 0) {
            ElemPos& fc = idx[ur.firstChild];
            const int32_t lastMoved = fc.prevSibling;
            ur.nextSibling = ur.firstChild;
            fc.prevSibling = u;
            fc.levelFlags &= ~FIRST_CHILD;
            ur.firstChild = 0;
            idx[idx[p].firstChild].prevSibling = lastMoved;
            anyUnended = true;
        }
    };

    const int32_t limit = sourceLength + 1;
    TokenCursor cursor = cursorAt(t, 0);
    NodeInfo node;
    PlainTag plain;
    for (;;) {
        // Whitespace before a node would come back as a node of its own,
        // which the loop passes over; what follows it reads the same without
        // it (text then merely starts later, and text is passed over too).
        while (charclass::is(t[cursor.next], charclass::WHITESPACE)) {
            ++cursor.next;
        }
        const int32_t type = nextNode(cursor, node, limit, plain);
        if (cursor.next - copied >= COPY_PIECE) {
            text_.append(t + copied, std::size_t(cursor.next - copied));
            copied = cursor.next;
        }
        if (type == NODE_START_TAG) {
            const int32_t r = nextFree_;
            if (r == idx.size) {
                growIndex(r + r / 2);
            }
            ++nextFree_;
            if (first == 0) {
                first = r;
            }
            const auto depth = uint32_t(open.size() - 1);
            const int32_t p = open.back().elem;
            ElemPos& pr = idx[p];
            ElemPos& er = idx[r];
            uint32_t levelFlags = depth;
            if (depth > ElemPos::LEVEL_MAX) {
                levelFlags = ElemPos::LEVEL_MAX;
                idx[0].levelFlags |= ILL_FORMED;
                noteFault(FaultKind::kTooDeep, node.start, node.length, r);
            }
            if (pr.firstChild == 0) {
                pr.firstChild = r;
                er.prevSibling = r;
                levelFlags |= FIRST_CHILD;
            } else {
                ElemPos& fc = idx[pr.firstChild];
                idx[fc.prevSibling].nextSibling = r;
                er.prevSibling = fc.prevSibling;
                fc.prevSibling = r;
            }
            er.levelFlags = levelFlags;
            er.parent = p;
            er.firstChild = 0;
            er.nextSibling = 0;
            er.start = node.start;
            er.length = node.length;
            auto startTag = uint32_t(node.length);
            if (startTag > ElemPos::START_TAG_MAX) {
                startTag = ElemPos::START_TAG_MAX;
                idx[0].levelFlags |= ILL_FORMED;
                noteFault(FaultKind::kStartTagTooLong, node.start, node.length, r);
            }
            er.tagLengths = startTag;
            notePlain(plain);
            if ((node.flags & EMPTY_ELEMENT) == 0) {
                open.push_back({cursor.tokenStart, cursor.tokenEnd - cursor.tokenStart + 1, r});
                if (keysActive) {
                    keys.add(t, open.back());
                }
            }
        } else if (type == NODE_END_TAG) {
            const char16_t* name = t + cursor.tokenStart;
            const int32_t length = cursor.tokenEnd - cursor.tokenStart + 1;
            auto k = open.size() - 1;
            if (k > 0 && !closes(t, open[k], name, length)) {
                if (!keysActive) {
                    for (std::size_t i = 1; i < open.size(); ++i) {
                        keys.add(t, open[i]);
                    }
                    keysActive = true;
                }
                if (keys.contains(t, name, length)) {
                    do {
                        --k;
                    } while (!closes(t, open[k], name, length));
                } else {
                    k = 0;
                }
            }
            if (k == 0) {
                idx[0].levelFlags |= ILL_FORMED;
                idx[open.back().elem].levelFlags |= ERROR_INSIDE;
                noteFault(FaultKind::kLoneEndTag, node.start, node.length, 0);
                continue;
            }
            ElemPos& er = idx[open[k].elem];
            er.length = node.start + node.length - er.start;
            auto endTag = uint32_t(node.length);
            if (endTag > ElemPos::END_TAG_MAX) {
                endTag = ElemPos::END_TAG_MAX;
                idx[0].levelFlags |= ILL_FORMED;
                noteFault(FaultKind::kEndTagTooLong, node.start, node.length, 0);
            }
            er.tagLengths = (er.tagLengths & ElemPos::START_TAG_MAX) | (endTag << 22);
            while (open.size() - 1 > k) {
                closeUnended();
            }
            if (keysActive) {
                keys.remove(t, open.back());
            }
            open.pop_back();
        } else if (type == NODE_SYNTAX_ERROR) {
            idx[0].levelFlags |= ILL_FORMED;
            idx[open.back().elem].levelFlags |= ERROR_INSIDE;
            noteFault(FaultKind::kSyntaxError, node.start, node.length, 0);
        } else if (type == NODE_END_OF_DOCUMENT) {
            while (open.size() > 1) {
                closeUnended();
            }
            if (copied < sourceLength) {
                text_.append(t + copied, std::size_t(sourceLength - copied));
            }
            break;
        }
    }

    // Children moved out of an unended element belong to its parent, and
    // their subtrees sit one level higher for each such move. Records are in
    // text order, so every parent is settled before its children.
    if (anyUnended) {
        for (int32_t r = 1; r < nextFree_; ++r) {
            ElemPos& er = idx[r];
            int32_t p = er.parent;
            if (p != 0 && (idx[p].levelFlags & UNENDED) != 0) {
                p = idx[p].parent;
                er.parent = p;
            }
            uint32_t level = 0;
            if (p != 0) {
                level = uint32_t(idx[p].level()) + 1;
                if (level > ElemPos::LEVEL_MAX) {
                    level = ElemPos::LEVEL_MAX;
                }
            }
            er.levelFlags = (er.levelFlags & ~ElemPos::LEVEL_MAX) | level;
        }
    }
    return first;
}

}  // namespace xml
