// libFuzzer target for dita-decode's sound-file path: any bytes given as a sound file must
// either be refused with a message or decode through the receive chain without a crash.
#include "receive/ReceiveEngine.h"
#include "receive/SoundFileReader.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

using namespace dita;

namespace {
constexpr int kMaxPasses = 64; // bounds the work per input

std::string scratchPath() {
    return "/tmp/dita-soundfile-fuzz-" + std::to_string(::getpid()) + ".snd";
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = scratchPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    for (InputChannel channel : {InputChannel::Mic, InputChannel::Right}) {
        SoundFileReader reader;
        std::string error;
        if (!reader.open(path, channel, error)) {
            if (error.find(path) == std::string::npos)
                __builtin_trap(); // the message names the file
            continue;
        }
        ReceiveEngine engine;
        std::array<int32_t, kPassFrames> pass{};
        for (int n = 0; n < kMaxPasses; ++n) {
            const int got = reader.read(pass.data(), kPassFrames);
            if (got <= 0) break;
            for (int i = 0; i < got; ++i) {
                if (pass[i] < -32768 || pass[i] > 32767) __builtin_trap();
            }
            engine.processPass(pass.data());
        }
    }
    std::remove(path.c_str());
    return 0;
}
