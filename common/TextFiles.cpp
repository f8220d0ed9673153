#include "common/TextFiles.h"

#include "common/Latin1.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace dita {

namespace {

constexpr std::size_t kSendBufferMaxChars = 4095; // 4096-byte buffer with its zero
constexpr const char* kTempSuffix = ".part";

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        if (c < 0x80)
            len = 1;
        else if ((c & 0xE0) == 0xC0 && c >= 0xC2)
            len = 2;
        else if ((c & 0xF0) == 0xE0)
            len = 3;
        else if ((c & 0xF8) == 0xF0 && c <= 0xF4)
            len = 4;
        else
            return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

std::string systemMessage(int err) {
    return std::generic_category().message(err);
}

} // namespace

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

std::string decodeTextBytes(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    return latin1ToUtf8(bytes);
}

bool saveTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines,
                   LineEnd lineEnd, std::string& error) {
    const char* eol = lineEnd == LineEnd::CrLf ? "\r\n" : "\n";
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += utf8ToLatin1(line);
        bytes += eol;
    }
    std::filesystem::path temp = path;
    temp += kTempSuffix;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "Could not write " + path.string() + ": " + systemMessage(errno);
            return false;
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            const int err = errno;
            out.close();
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            error = "Could not write " + path.string() + ": " + systemMessage(err);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        error = "Could not write " + path.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool loadTextLines(const std::filesystem::path& path, std::vector<std::string>& lines,
                   std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "Could not read " + path.string() + ": it is a folder";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Could not read " + path.string() + ": " + systemMessage(errno);
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "Could not read " + path.string();
        return false;
    }
    const std::string text = decodeTextBytes(bytes);
    std::vector<std::string> result;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            result.push_back(std::move(line));
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) result.push_back(std::move(line));
    lines = std::move(result);
    return true;
}

std::string transmitBufferText(std::string_view utf8) {
    std::string text = utf8ToLatin1(utf8);
    if (text.size() > kSendBufferMaxChars) text.resize(kSendBufferMaxChars);
    return text;
}

} // namespace dita
