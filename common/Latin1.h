#pragma once
// DITA's 8-bit texts (send buffers, configuration strings, log records) are ISO-8859-1.
// These convert between them and the UTF-8 the rest of the program and the terminal use.
#include <string>
#include <string_view>

namespace dita {

// UTF-8 to Latin-1; characters outside Latin-1 (and malformed bytes) become '?'.
std::string utf8ToLatin1(std::string_view utf8);

// Latin-1 to UTF-8.
std::string latin1ToUtf8(std::string_view latin1);

} // namespace dita
