#include "app/ComPortPath.h"

namespace dita {

std::string comPortDevicePath(int n, const std::filesystem::path& ditaFolder) {
    constexpr int kPortsPerKind = 32;
    static const char* const kKinds[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
    if (n <= 0) return {};
    std::error_code ec;
    const auto link = ditaFolder / ("com" + std::to_string(n));
    if (!ditaFolder.empty() && std::filesystem::exists(link, ec)) return link.string();
    const int kind = (n - 1) / kPortsPerKind;
    if (kind >= static_cast<int>(std::size(kKinds))) return {};
    return kKinds[kind] + std::to_string((n - 1) % kPortsPerKind);
}

} // namespace dita
