#pragma once
// DITA's own small settings file, "DITA.conf" in the DITA folder: one "key=value" per line,
// "#" comment lines and blank lines allowed. It holds what the configuration file DITA.cfc has
// no record for (rig control, the keying listener, window placements), so DITA.cfc keeps its
// layout. It is read and replaced by the stored-file rules (common/StoredFile.h): only a
// regular file is read, and a save goes through a temporary file renamed over it, so a crash
// never leaves half a file and a write-protected or foreign file is left as it is.
//
// Who calls it: the window thread (load at start, save on change). Not thread-safe. No Qt.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace dita {

inline constexpr const char* kSettingsFileName = "DITA.conf";

class SettingsFile {
public:
    // ditaFile("DITA.conf").
    static std::filesystem::path defaultPath();

    explicit SettingsFile(std::filesystem::path path);

    // Reads the file. A missing file is not an error (every setting keeps its default). A
    // malformed file is kept aside as "<name>.bad", every setting keeps its default, and the
    // returned message names the file and line; a folder, pipe or device at the path is not
    // opened and is named in the message; a file larger than a settings file can be (16 MiB)
    // is neither read in part nor replaced. Empty when all went well.
    std::string load();
    // Writes the values set through this object over what the file holds now (other parts of
    // the program may have saved their own keys meanwhile); returns the reason when it could
    // not (a write-protected file, something other than a file at the path, a full disk),
    // else empty; the file is then as it was.
    std::string save() const;

    std::optional<std::string> value(const std::string& key) const;
    std::string text(const std::string& key, const std::string& fallback) const;
    // The stored number when it is a whole number inside [min, max], else fallback.
    int32_t number(const std::string& key, int32_t fallback, int32_t min, int32_t max) const;
    // 1 or true, 0 or false; else fallback.
    bool flag(const std::string& key, bool fallback) const;
    // A stored value that number() or flag() cannot use is told here, once per key and load
    // ("cwdaemon.enabled=yes is not 1 or 0 ..."), before the fallback is returned.
    void setUnusableValueReporter(std::function<void(const std::string&)> reporter) {
        m_reportUnusable = std::move(reporter);
    }

    // Keys are letters, digits, '.', '_' and '-'; values are one line. Anything else throws
    // std::invalid_argument (a program error, not operator input).
    void setText(const std::string& key, const std::string& value);
    void setNumber(const std::string& key, int32_t value) { setText(key, std::to_string(value)); }
    void setFlag(const std::string& key, bool value) { setText(key, value ? "1" : "0"); }

    const std::filesystem::path& path() const { return m_path; }

private:
    void unusable(const std::string& key, const std::string& value, const std::string& expected,
                  const std::string& fallback) const;

    std::filesystem::path m_path;
    std::function<void(const std::string&)> m_reportUnusable;
    mutable std::set<std::string> m_toldUnusable; // keys whose value was reported since load
    std::map<std::string, std::string> m_values;
    std::set<std::string> m_changed; // keys set through this object since its load
};

} // namespace dita
