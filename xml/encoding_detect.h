// The encoding a document declares: the "encoding" of an XML declaration at
// the very start, or the charset of an HTML <meta http-equiv="Content-Type">
// before "</head>".
#pragma once

#include <string>

namespace xml {

// Returns the declared name exactly as written (no trimming, no entity
// decoding, in its own letter case), or an empty string. text is
// zero-terminated.
std::u16string detectEncoding(const char16_t* text);

}  // namespace xml
