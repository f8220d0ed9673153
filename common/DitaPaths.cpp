#include "common/DitaPaths.h"

#include <cstdlib>
#include <stdexcept>

namespace dita {

std::filesystem::path ditaFolder() {
    std::filesystem::path dir;
    if (const char* home = std::getenv("DITA_HOME"); home && *home) {
        dir = home;
    } else if (const char* user = std::getenv("HOME"); user && *user) {
        dir = std::filesystem::path(user) / ".dita";
    } else {
        dir = std::filesystem::current_path() / ".dita";
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir)) {
        throw std::runtime_error("Could not create the DITA folder " + dir.string());
    }
    return dir;
}

std::filesystem::path ditaFile(const std::string& name) {
    return ditaFolder() / name;
}

namespace {

// share/dita beside the running program's bin/ folder, so a tree installed or unpacked under
// another prefix than the configured one (a package built from a /usr/local build tree) still
// finds its data. Empty when the program's own path cannot be read.
std::filesystem::path dataFolderBesideProgram() {
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return program.parent_path().parent_path() / "share" / "dita";
}

} // namespace

std::optional<std::filesystem::path> findDataFile(const std::string& name) {
    const std::filesystem::path candidates[] = {ditaFolder() / name,
                                                dataFolderBesideProgram() / name,
                                                std::filesystem::path(DITA_INSTALL_DATADIR) / name,
                                                std::filesystem::path(DITA_SOURCE_DATADIR) / name};
    for (const auto& p : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec)) return p;
    }
    return std::nullopt;
}

} // namespace dita
