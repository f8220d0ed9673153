#pragma once
// ConfigurationFiles: loading DITA.cfc at start-up, Load Defaults from DefaultDITA.cfc, and the
// save at quit. A load applies the records in file order, each through the handler the operator
// would use; a save writes the current state. Who calls it: the main window, on its thread.
#include "app/config/ConfigFile.h"
#include "app/config/ConfigWindow.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace dita {

class ConfigurationFiles {
public:
    // report is told once when the file cannot be used or saved (text, caption). It must not
    // wait for the operator: it is called at quit, also in unattended runs.
    using Report = std::function<void(const std::string& text, const std::string& caption)>;

    ConfigurationFiles(ConfigWindow& window, std::filesystem::path configPath,
                       std::optional<std::filesystem::path> defaultsPath, Report report);

    // Start-up: removes a temporary file left by a save cut short, reads the configuration
    // file and applies it; on the first run (no file) writes the current state instead and
    // applies nothing. A file that is not a regular file is reported and left alone: nothing
    // is applied and save() never replaces it; a write-protected file is applied, reported,
    // and not replaced either.
    void load();
    // File, Load Defaults: applies the default file when there is one; nothing otherwise.
    void loadDefaults();
    // Quit: writes the current state. A failed save keeps the previous file and says so once.
    bool save();

    // Applies the bytes of a configuration file as load() or loadDefaults() would.
    void loadBytes(const uint8_t* bytes, size_t size, bool defaults);

    // The current state as records (reserved records and macro slots 16..20 carried over).
    ConfigRecords capture();
    // Applies records 1..72 in order; records beyond `recordsRead` hold the current values.
    void apply(const ConfigRecords& records, bool defaults);
    bool loading() const { return m_loading; } // ConfigLoading

private:
    void applyRecord(int record, const ConfigRecords& r, bool defaults);
    // Each returns false for a record that is not its own.
    bool applyWindowRecord(int record, const ConfigRecords& r);
    bool applyOutputRecord(int record, const ConfigRecords& r, bool defaults);
    bool applyKeyingRecord(int record, const ConfigRecords& r);
    bool applyReceiveRecord(int record, const ConfigRecords& r);
    bool applyDisplayRecord(int record, const ConfigRecords& r);
    template <typename Field> void chooseOrKeep(SettingId setting, int32_t value, Field& field);
    template <typename E>
    void chooseEither(SettingId setting, bool first, E firstValue, E otherValue);
    void tellOnce(const std::string& text);

    ConfigWindow& m_window;
    std::filesystem::path m_configPath;
    std::optional<std::filesystem::path> m_defaultsPath;
    Report m_report;
    ConfigRecords m_carried; // reserved values and slots 16..20 as last read
    bool m_loading = false;
    bool m_keepFile = false; // the file at m_configPath is not ours to replace
    bool m_told = false;     // a problem with the file was reported and nothing saved since
};

} // namespace dita
