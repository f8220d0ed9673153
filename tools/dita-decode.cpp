// dita-decode: decodes CW from sound files with DITA's receive chain, as fast as the CPU
// allows, and prints the text as UTF-8.
#include "DecodeOptions.h"

#include "receive/ReceiveEngine.h"
#include "receive/SoundFileReader.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

using namespace dita;

namespace {

constexpr double kAutoMinHz = 200.0;
constexpr double kAutoMaxHz = 2500.0;
constexpr double kAutoMinDb = 10.0;
// Silence appended after the file so that the last character (held back by the detector's
// delay and the character-end timing) is written.
constexpr int kFlushPasses = 12;

// Prints decoded text, turning the receive window's "\r" + line feed into one newline.
void printText(const std::string& text, bool& pendingCr) {
    for (const char c : text) {
        if (c == '\r') {
            pendingCr = true;
            continue;
        }
        if (pendingCr && c != '\n') std::fputc('\n', stdout);
        pendingCr = false;
        std::fputc(c, stdout);
    }
}

std::string jsonEscape(const std::string& s) {
    std::string out;
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

bool decodeFile(const std::string& path, const DecodeOptions& options, std::ofstream* trace) {
    SoundFileReader reader;
    std::string error;
    if (!reader.open(path, options.channel, error)) {
        std::fprintf(stderr, "dita-decode: %s\n", error.c_str());
        return false;
    }
    ReceiveEngine engine;
    engine.post({ReceiveCommandKind::Decoder, kDecoderEnhanced});  // the default; options may change it
    for (const auto& c : options.commands) engine.post(c);
    bool tuned = options.toneHz > 0;
    if (tuned) engine.post({ReceiveCommandKind::TuneToBin, binForHz(options.toneHz)});
    // The enhanced decoder captures the keyed tone itself.
    bool standard = false;
    for (const auto& c : options.commands) {
        if (c.kind == ReceiveCommandKind::Decoder) standard = c.value == kDecoderStandard;
    }
    if (!standard) tuned = true;
    engine.keepUnscaledSpectrum(!tuned);

    std::array<int32_t, kPassFrames> samples{};
    const auto start = std::chrono::steady_clock::now();
    long long frames = 0;
    int pass = 0;
    int flush = 0;
    bool pendingCr = false;
    while (flush < kFlushPasses) {
        const int got = reader.read(samples.data(), kPassFrames);
        frames += got;
        if (got < kPassFrames) {
            std::fill(samples.begin() + got, samples.end(), 0);
            ++flush;
        }
        const PassResult& r = engine.processPass(samples.data());
        if (!tuned) {
            if (const int bin = strongestToneBin(engine.unscaledSpectrum(), kAutoMinHz, kAutoMaxHz, kAutoMinDb)) {
                engine.post({ReceiveCommandKind::TuneToBin, bin});
                engine.keepUnscaledSpectrum(false);
                tuned = true;
            }
        }
        printText(r.text, pendingCr);
        if (trace) {
            const ReceiveLevels lv = engine.levels();
            *trace << "{\"pass\":" << pass << ",\"bin\":" << r.tunedBin << ",\"S\":" << lv.signal
                   << ",\"N\":" << lv.noise << ",\"L\":" << lv.threshold << ",\"snr\":" << lv.rawSnr
                   << ",\"wpm\":" << r.receiveWpm << ",\"pitch\":" << engine.enhancedPitchHz() << ",\"keys\":\"";
            for (int i = 2; i <= kStepsPerPass + 1; ++i) *trace << (r.timelineK[i] == 1.0f ? '1' : '0');
            *trace << "\",\"text\":\"" << jsonEscape(r.text) << "\"}\n";
        }
        ++pass;
    }
    if (pendingCr) std::fputc('\n', stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (options.stats) {
        const double audio = static_cast<double>(frames) / kSampleRateHz;
        std::fprintf(stderr,
                     "%s: audio %.2f s, wall %.4f s, speed factor %.0f x real time, receive speed %d wpm, "
                     "tuned %d Hz (bin %d)\n",
                     path.c_str(), audio, wall, wall > 0 ? audio / wall : 0.0, engine.receiveWpm(),
                     static_cast<int>((engine.tunedBin() - 1) * kBinHz), engine.tunedBin());
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    DecodeOptions options;
    std::string error;
    if (!parseDecodeOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "dita-decode: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(decodeUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("dita-decode %s\n", DITA_VERSION);
        return 0;
    }
    std::ofstream trace;
    if (!options.traceFile.empty()) {
        trace.open(options.traceFile);
        if (!trace) {
            std::fprintf(stderr, "dita-decode: cannot write the trace file %s\n", options.traceFile.c_str());
            return 2;
        }
    }
    bool allOk = true;
    for (const auto& file : options.files) {
        if (!decodeFile(file, options, trace.is_open() ? &trace : nullptr)) allOk = false;
    }
    return allOk ? 0 : 1;
}
