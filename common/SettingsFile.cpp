#include "common/SettingsFile.h"

#include "common/DitaPaths.h"
#include "common/Latin1.h"
#include "common/StoredFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <span>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace dita {

namespace {

bool validKey(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '_' || c == '-';
    });
}

bool validValue(std::string_view value) {
    return value.find_first_of("\r\n") == std::string_view::npos;
}

// Far more than any settings file holds. A larger file is not read in part (that would lose
// what follows at the next save): it is left alone and the defaults are used.
constexpr size_t kMaxSettingsBytes = size_t{16} << 20;

std::string tooLarge(const std::filesystem::path& path) {
    return path.string() + " is larger than " + std::to_string(kMaxSettingsBytes >> 20) +
           " MiB, too large for a settings file";
}

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

} // namespace

std::filesystem::path SettingsFile::defaultPath() {
    return ditaFile(kSettingsFileName);
}

SettingsFile::SettingsFile(std::filesystem::path path) : m_path(std::move(path)) {}

namespace {

// Reads key=value lines into values; returns the first fault ("line N ..."), empty when none.
std::string parseSettings(std::istream& in, std::map<std::string, std::string>& values) {
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#') continue;
        const auto eq = content.find('=');
        const std::string_view key =
            eq == std::string_view::npos ? content : trimmed(content.substr(0, eq));
        if (eq == std::string_view::npos || !validKey(key))
            return "line " + std::to_string(lineNumber) + " is not a key=value setting";
        values[std::string(key)] = std::string(trimmed(content.substr(eq + 1)));
    }
    return {};
}

} // namespace

std::string SettingsFile::load() {
    m_values.clear();
    m_changed.clear();
    m_toldUnusable.clear();
    std::vector<uint8_t> bytes;
    const StoredFileRead read = readStoredFile(m_path, kMaxSettingsBytes, bytes);
    if (read.status == StoredFileRead::Status::Missing) return {};
    if (read.status == StoredFileRead::Status::Foreign)
        return m_path.string() + " is not a settings file (" + read.reason +
               "); using the defaults, which are not saved there.";
    if (read.longer) return tooLarge(m_path) + "; using the defaults, which are not saved there.";
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::map<std::string, std::string> values;
    const std::string fault = parseSettings(in, values);
    if (fault.empty()) {
        m_values = std::move(values);
        return {};
    }
    // Kept aside so the next save does not lose what the operator wrote.
    std::filesystem::path aside = m_path;
    aside += ".bad";
    std::error_code ec;
    std::filesystem::rename(m_path, aside, ec);
    return "The settings file " + m_path.string() + " is damaged (" + fault +
           "); using the defaults. The file was kept as " +
           (ec ? m_path.string() : aside.string()) + ".";
}

std::string SettingsFile::save() const {
    // Several parts of the program keep their own SettingsFile on the same file: what this one
    // did not set is taken from the file as it stands now, so one part's save never puts back
    // another's older values.
    std::map<std::string, std::string> merged = m_values;
    std::vector<uint8_t> bytes;
    const StoredFileRead read = readStoredFile(m_path, kMaxSettingsBytes, bytes);
    if (read.longer) return "The settings could not be saved (" + tooLarge(m_path) + ").";
    if (read) {
        std::istringstream current(std::string(bytes.begin(), bytes.end()));
        std::map<std::string, std::string> onDisk;
        if (parseSettings(current, onDisk).empty()) {
            for (auto& [key, value] : onDisk)
                if (!m_changed.count(key)) merged[key] = std::move(value);
        }
    }
    std::string text =
        "# DITA settings (key=value); DITA rewrites this file when a setting changes.\n";
    for (const auto& [key, value] : merged)
        text += key + '=' + value + '\n';
    std::string error;
    if (!writeStoredFile(
            m_path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), error))
        return "The settings could not be saved (" + error + ").";
    return {};
}

std::optional<std::string> SettingsFile::value(const std::string& key) const {
    const auto it = m_values.find(key);
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

std::string SettingsFile::text(const std::string& key, const std::string& fallback) const {
    return value(key).value_or(fallback);
}

int32_t SettingsFile::number(const std::string& key, int32_t fallback, int32_t min,
                             int32_t max) const {
    const auto v = value(key);
    if (!v) return fallback;
    int32_t n = 0;
    const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
    if (ec != std::errc() || end != v->data() + v->size() || n < min || n > max) {
        unusable(key, *v,
                 "a whole number from " + std::to_string(min) + " to " + std::to_string(max),
                 std::to_string(fallback));
        return fallback;
    }
    return n;
}

bool SettingsFile::flag(const std::string& key, bool fallback) const {
    const auto v = value(key);
    if (!v) return fallback;
    if (v == "1" || v == "true") return true;
    if (v == "0" || v == "false") return false;
    unusable(key, *v, "1 or 0", fallback ? "1" : "0");
    return fallback;
}

void SettingsFile::unusable(const std::string& key, const std::string& value,
                            const std::string& expected, const std::string& fallback) const {
    if (!m_reportUnusable || !m_toldUnusable.insert(key).second) return;
    m_reportUnusable(m_path.string() + ": " + key + "=" + printableText(value) + " is not " +
                     expected + "; using " + fallback + ".");
}

void SettingsFile::setText(const std::string& key, const std::string& value) {
    if (!validKey(key)) throw std::invalid_argument("settings key '" + key + "' is not allowed");
    if (!validValue(value))
        throw std::invalid_argument("settings value for '" + key + "' spans lines");
    m_values[key] = value;
    m_changed.insert(key);
}

} // namespace dita
