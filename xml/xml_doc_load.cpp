#include "xml/text_file.h"
#include "xml/xml_doc.h"

namespace xml {
namespace {

// Reads what file has open (opened: whether it could be) into text, leaving
// the reader's flags in flags.
bool readOpened(TextFile& file, bool opened, std::u16string& text, uint32_t& flags) {
    text.clear();
    if (!opened) return false;
    // The whole source behind the mark in one piece.
    file.chunkBytes = file.fileLength - file.position;
    const bool read = file.readText(text);
    file.handle.close();  // the read's result stands whatever the close says
    file.flags &= ~FILE_READ;
    flags = file.flags;
    return read;
}

}  // namespace

bool XmlDoc::loadFile(const std::u16string& path) {
    TextFile file;
    file.flags = flags_ | FILE_READ;
    const bool read = readOpened(file, file.open(path), text_, flags_);
    // Parsing also on failure: the index must not keep pointing into the
    // text that was just emptied.
    const bool wellFormed = parse();
    return read && wellFormed;
}

bool XmlDoc::loadFile(platform::InputFile& opened) {
    TextFile file;
    file.flags = flags_ | FILE_READ;
    const bool read = readOpened(file, file.open(opened), text_, flags_);
    const bool wellFormed = parse();
    return read && wellFormed;
}

bool XmlDoc::loadBytes(std::string_view bytes) {
    TextFile file;
    file.flags = flags_ | FILE_READ;
    const bool read = readOpened(file, file.open(bytes), text_, flags_);
    const bool wellFormed = parse();
    return read && wellFormed;
}

}  // namespace xml
