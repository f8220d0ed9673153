#pragma once
// Plain text files of the operator: the receive and transmit window texts saved and loaded by
// the File menu, and the macro key list. Files are written as 8-bit (Latin-1) text; reading
// accepts Latin-1 and also UTF-8, which Linux editors write.
//
// Who calls it: the File menu handlers and the macro key window on the window thread. Plain
// functions; no Qt.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dita {

enum class LineEnd { Lf, CrLf };

// Lines of a window text as the window keeps it (UTF-8, "\n" between lines). An empty text has
// no lines; a text ending in a line break has an empty last line, so that joining the lines
// again gives back the same text.
std::vector<std::string> splitLines(std::string_view text);
std::string joinLines(const std::vector<std::string>& lines);

// File bytes as UTF-8: taken as UTF-8 when they are valid UTF-8, else as Latin-1.
std::string decodeTextBytes(std::string_view bytes);

// Writes each line (UTF-8, converted to Latin-1) followed by the line end. The text goes to a
// temporary file beside the target, which then replaces it, so a failed save leaves an
// existing file as it was. Returns false with a message for the operator in `error`.
bool saveTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines,
                   LineEnd lineEnd, std::string& error);

// Reads the lines of a text file (CR LF, LF or CR line ends) as UTF-8. Returns false with a
// message in `error` and leaves `lines` alone when the file cannot be read.
bool loadTextLines(const std::filesystem::path& path, std::vector<std::string>& lines,
                   std::string& error);

// The 8-bit text of a send buffer made from the transmit window's text, at most 4095
// characters so that the 4096-byte buffer keeps its terminating zero.
std::string transmitBufferText(std::string_view utf8);

} // namespace dita
