#pragma once
// ALSA loads its plugins while PortAudio probes the devices and unloads them again at
// Pa_Terminate; memory they keep for the process is then reported by the leak checker without
// a module name, which the system-library suppressions cannot match. Tests that start
// PortAudio call this first so the plugins stay loaded and their allocations stay named.
#include <dlfcn.h>

#include <filesystem>

namespace dita::test {

inline void pinAlsaPlugins() {
    for (const char* dir :
         {"/usr/lib/x86_64-linux-gnu/alsa-lib", "/usr/lib/aarch64-linux-gnu/alsa-lib",
          "/usr/lib/alsa-lib", "/usr/lib64/alsa-lib"}) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
            if (entry.path().extension() == ".so")
                dlopen(entry.path().c_str(), RTLD_LAZY | RTLD_NODELETE);
    }
}

} // namespace dita::test
