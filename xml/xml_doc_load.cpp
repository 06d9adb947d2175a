#include "xml/text_file.h"
#include "xml/xml_doc.h"

namespace xml {

bool XmlDoc::loadFile(const std::u16string& path) {
    TextFile file;
    file.flags = flags_ | FILE_READ;
    const bool opened = file.open(path);
    text_.clear();
    bool read = false;
    if (opened) {
        // The whole file behind the mark in one piece.
        file.chunkBytes = file.fileLength - file.position;
        read = file.readText(text_);
        file.handle.close();  // the read's result stands whatever the close says
        file.flags &= ~FILE_READ;
        flags_ = file.flags;
    }
    // Parsing also on failure: the index must not keep pointing into the
    // text that was just emptied.
    const bool wellFormed = parse();
    return read && wellFormed;
}

}  // namespace xml
