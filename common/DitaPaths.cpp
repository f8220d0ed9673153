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

std::filesystem::path ditaFile(const std::string& name) { return ditaFolder() / name; }

std::optional<std::filesystem::path> findDataFile(const std::string& name) {
    const std::filesystem::path candidates[] = {ditaFolder() / name,
                                                std::filesystem::path(DITA_INSTALL_DATADIR) / name,
                                                std::filesystem::path(DITA_SOURCE_DATADIR) / name};
    for (const auto& p : candidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(p, ec)) return p;
    }
    return std::nullopt;
}

} // namespace dita
