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

// The UTF-8 character starting at in[i] (i < in.size()): its code point and length. False,
// with length 1 and the byte as the code, for a malformed sequence: a stray continuation byte,
// a cut or overlong sequence, a surrogate.
bool nextCodePoint(std::string_view in, size_t i, unsigned& code, size_t& len);
// C0 controls, DEL and C1 controls: what a terminal may take as part of an escape sequence.
bool isControlCode(unsigned code);
// Calls visit(ok, code, bytes) for each character of a UTF-8 text in turn (see nextCodePoint;
// bytes are the character's own).
template <typename Visit> void forEachCodePoint(std::string_view in, Visit&& visit) {
    for (size_t i = 0; i < in.size();) {
        unsigned code = 0;
        size_t len = 1;
        const bool ok = nextCodePoint(in, i, code, len);
        visit(ok, code, in.substr(i, len));
        i += len;
    }
}

// Bytes from outside (a network datagram, a settings file) made safe for a terminal or the
// status line: printable ASCII and well-formed UTF-8 stay as they are; control characters (C0,
// DEL, C1) and malformed bytes become \xNN, so no escape sequence reaches the terminal.
std::string printableText(std::string_view bytes);

} // namespace dita
