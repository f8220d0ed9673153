#include "skim/Spots.h"

#include <cctype>
#include <cstdio>

namespace dita {

namespace {
constexpr size_t kMaxWord = 16;
constexpr size_t kMinCall = 3;
constexpr size_t kMaxSuffix = 4;
constexpr size_t kMaxPortable = 4;
constexpr size_t kCallColumn = 26;
constexpr size_t kCommentColumn = 39;
constexpr size_t kTimeColumn = 70;
constexpr size_t kFreqEndColumn = 24;

bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void padTo(std::string& line, size_t column) {
    if (line.size() < column)
        line.append(column - line.size(), ' ');
    else
        line += ' ';
}
} // namespace

bool isCallsign(std::string_view word) {
    const size_t slash = word.find('/');
    if (slash != std::string_view::npos) {
        const std::string_view portable = word.substr(slash + 1);
        if (portable.empty() || portable.size() > kMaxPortable) return false;
        for (const char c : portable)
            if (!isUpper(c) && !isDigit(c)) return false;
        word = word.substr(0, slash);
    }
    if (word.size() < kMinCall) return false;
    // Suffix: the letters at the end.
    size_t end = word.size();
    while (end > 0 && isUpper(word[end - 1]))
        --end;
    const size_t suffix = word.size() - end;
    if (suffix < 1 || suffix > kMaxSuffix || end < 2) return false;
    // The area digit, and a prefix of one to three letters and digits before it with at least
    // one letter (2E0, 9A, HB9, S5, K).
    if (!isDigit(word[end - 1])) return false;
    const std::string_view prefix = word.substr(0, end - 1);
    if (prefix.empty() || prefix.size() > 3) return false;
    bool letter = false;
    for (const char c : prefix) {
        if (!isUpper(c) && !isDigit(c)) return false;
        letter = letter || isUpper(c);
    }
    return letter;
}

void CallReader::reset() {
    m_word.clear();
    for (auto& w : m_recent)
        w.clear();
    m_reads.clear();
}

void CallReader::feed(std::string_view text, std::vector<CallRead>& spotted) {
    for (const char raw : text) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw)));
        if (c == ' ' || c == '\r' || c == '\n') {
            endWord(spotted);
        } else if (m_word.size() < kMaxWord) {
            m_word += c;
        }
    }
}

void CallReader::endWord(std::vector<CallRead>& spotted) {
    if (m_word.empty()) return;
    if (isCallsign(m_word)) {
        bool calling = false;
        bool read = m_recent[0] == m_word;
        for (const auto& w : m_recent) {
            if (w == "CQ" || w == "TEST") calling = read = true;
            if (w == "DE") read = true;
        }
        if (read) {
            Reads& r = m_reads[m_word];
            ++r.count;
            r.calling = r.calling || calling;
            if (r.count >= 2 && !r.spotted) {
                r.spotted = true;
                if (!cutFromASpottedCall(m_word)) spotted.push_back({m_word, r.calling});
            }
        }
    }
    for (size_t i = m_recent.size() - 1; i > 0; --i)
        m_recent[i] = std::move(m_recent[i - 1]);
    m_recent[0] = std::move(m_word);
    m_word.clear();
}

bool CallReader::cutFromASpottedCall(const std::string& call) const {
    for (const auto& [other, reads] : m_reads) {
        if (reads.spotted && other.size() > call.size() && other.compare(0, call.size(), call) == 0)
            return true;
    }
    return false;
}

std::string formatClusterSpot(const ClusterSpot& s) {
    std::string line = "DX de " + s.spotter + ":";
    char freq[32];
    std::snprintf(freq, sizeof freq, "%.1f", s.freqHz / 1000.0);
    const size_t width = std::string_view(freq).size();
    if (line.size() + 1 + width <= kFreqEndColumn)
        line.append(kFreqEndColumn - width - line.size(), ' ');
    else
        line += ' ';
    line += freq;
    padTo(line, kCallColumn);
    line += s.call;
    padTo(line, kCommentColumn);
    char comment[64];
    std::snprintf(comment, sizeof comment, "CW %5d dB %3d WPM  %s", s.snrDb, s.wpm, s.kind.c_str());
    line += comment;
    padTo(line, kTimeColumn);
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02dZ", s.utcHour, s.utcMinute);
    line += time;
    return line;
}

} // namespace dita
