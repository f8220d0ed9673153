#pragma once
// Where DITA keeps its files. The DITA folder holds DITA.cfc, DITA.adi, MacroKeys.txt and the
// optional com<n> links; it is $DITA_HOME when set, else ~/.dita. Any thread may call these.
#include <filesystem>
#include <optional>
#include <string>

namespace dita {

// The DITA folder, created when missing. Throws std::runtime_error when it cannot be made.
std::filesystem::path ditaFolder();

// A file inside the DITA folder (the folder is created when missing).
std::filesystem::path ditaFile(const std::string& name);

// A shipped data file (for example "DefaultDITA.cfc"): first the DITA folder, then the installed
// data folder (share/dita beside the program's bin/, then the configured one), then the source
// tree's data folder. Empty when none has it.
std::optional<std::filesystem::path> findDataFile(const std::string& name);

} // namespace dita
