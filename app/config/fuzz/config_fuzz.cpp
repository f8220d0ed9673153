// libFuzzer target for the configuration loader: any bytes, of any length, must decode without
// a crash into records whose texts stay terminated, and what is decoded must survive a save and
// a second load unchanged.
#include "app/config/ConfigFile.h"

#include <cstdint>
#include <cstdlib>

using namespace dita;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConfigRecords records;
    const int read = decodeConfig(data, size, records);
    if (read < 0 || read > kConfigRecordCount) std::abort();
    if (size >= kConfigFileBytes && read != kConfigRecordCount) std::abort();
    for (const auto& slot : records.macros) {
        if (slot.back() != 0) std::abort();
    }
    if (records.myName.back() != 0 || records.qth.back() != 0) std::abort();
    const auto bytes = encodeConfig(records);
    if (bytes.size() != kConfigFileBytes) std::abort();
    ConfigRecords again;
    decodeConfig(bytes.data(), bytes.size(), again);
    if (encodeConfig(again) != bytes) std::abort();
    return 0;
}
