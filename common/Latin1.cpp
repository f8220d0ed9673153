#include "common/Latin1.h"

#include <cstdio>

namespace dita {

bool nextCodePoint(std::string_view in, size_t i, unsigned& code, size_t& len) {
    const auto c = static_cast<unsigned char>(in[i]);
    len = 1;
    code = c;
    if (c < 0x80) return true;
    // Length of the sequence from its lead byte; continuation bytes must follow.
    const size_t n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (n == 1 || i + n > in.size()) return false;
    unsigned value = n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < n; ++k) {
        const auto cc = static_cast<unsigned char>(in[i + k]);
        if ((cc & 0xC0) != 0x80) return false;
        value = (value << 6) | (cc & 0x3F);
    }
    constexpr unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kLeast[n] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    code = value;
    len = n;
    return true;
}

bool isControlCode(unsigned code) {
    return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}

std::string utf8ToLatin1(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    forEachCodePoint(in, [&out](bool ok, unsigned code, std::string_view) {
        out.push_back(ok && code <= 0xFF ? static_cast<char>(code) : '?');
    });
    return out;
}

std::string latin1ToUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size() * 2);
    for (const char ch : in) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string printableText(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    forEachCodePoint(in, [&out](bool ok, unsigned code, std::string_view bytes) {
        if (ok && !isControlCode(code)) {
            out += bytes;
            return;
        }
        // Each byte of a control character or a malformed sequence on its own.
        for (const char byte : bytes) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(byte));
            out += hex;
        }
    });
    return out;
}

} // namespace dita
