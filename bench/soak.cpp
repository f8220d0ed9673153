// Soak run of the receive engine: the bundled recording looped through ReceiveEngine for a
// given wall-clock time, printing the process's resident memory once a minute so that growth
// shows. Not part of the test suite. Usage: bench_soak [minutes] [sound file]
#include "receive/ReceiveEngine.h"
#include "receive/SoundFileReader.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace dita;

namespace {
long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}
} // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 30.0;
    const std::string file = argc > 2 ? argv[2] : DITA_SAMPLE;
    SoundFileReader reader;
    std::string error;
    if (!reader.open(file, InputChannel::Mic, error)) {
        std::fprintf(stderr, "bench_soak: %s\n", error.c_str());
        return 1;
    }
    std::vector<int32_t> audio;
    std::array<int32_t, kPassFrames> pass{};
    while (const int got = reader.read(pass.data(), kPassFrames))
        audio.insert(audio.end(), pass.begin(), pass.begin() + got);
    const size_t passesInFile = audio.size() / kPassFrames;

    ReceiveEngine engine;
    engine.post(ReceiveCommand::afcMode(setting::AfcWidth::Wide));
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(minutes * 60.0);
    auto nextReport = start;
    long long passes = 0;
    size_t textBytes = 0;
    std::printf("minute,passes,audio_hours,rss_kib,text_bytes\n");
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextReport) {
            const double minute = std::chrono::duration<double>(now - start).count() / 60.0;
            std::printf("%.1f,%lld,%.1f,%ld,%zu\n", minute, passes, passes * 0.18576 / 3600.0,
                        residentKiB(), textBytes);
            std::fflush(stdout);
            nextReport += std::chrono::minutes(1);
        }
        if (now >= end) break;
        for (int i = 0; i < 64; ++i, ++passes) {
            textBytes +=
                engine.processPass(&audio[(passes % passesInFile) * kPassFrames]).text.size();
        }
    }
    return 0;
}
