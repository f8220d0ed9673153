#include "common/Latin1.h"

namespace dita {

std::string utf8ToLatin1(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        // Length of the sequence from its lead byte; continuation bytes must follow.
        int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        unsigned code = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 1 && i + len <= in.size();
        for (int k = 1; ok && k < len; ++k) {
            const auto cc = static_cast<unsigned char>(in[i + k]);
            ok = (cc & 0xC0) == 0x80;
            code = (code << 6) | (cc & 0x3F);
        }
        if (!ok) len = 1;
        out.push_back(ok && code <= 0xFF ? static_cast<char>(code) : '?');
        i += len;
    }
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

} // namespace dita
