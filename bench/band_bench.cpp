// The band decoder on a band of 30 senders at once (12..40 wpm, 0..+20 dB, 300..2,900 Hz).
// One pass is 185.76 ms of audio: the time per pass over that is the share of one core the
// band decoder takes in real time (goal: at most half). `bench_band --write-band FILE` writes
// the same band (60 s) as a WAV file for `dita-decode --band --stats` (goal: 100 x real time).
#include "receive/band/BandDecoder.h"
#include "receive/tests/CwSynth.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstdio>
#include <cstring>

using namespace dita;

namespace {
constexpr int kSenders = 30;
constexpr double kBandSeconds = 60.0;

std::vector<int32_t> thirtySenders() {
    static const char* kTexts[] = {
        "CQ CQ CQ DE W1AW W1AW W1AW K",          "TNX FER CALL UR RST 579 579 NAME ED QTH OHIO",
        "DL1ABC DE K9XYZ GM OM TNX RPRT HR 599", "CQ TEST DE F5NQ F5NQ TEST",
        "R R 5NN 14 5NN 14 TU DE OH2BH",         "WX HR SUNNY ES WARM TEMP 25C 73 GL"};
    std::vector<test::BandSignal> band;
    for (int i = 0; i < kSenders; ++i) {
        test::BandSignal b;
        // Long enough to fill the minute at any speed.
        for (int r = 0; r < 8; ++r)
            b.text += std::string(kTexts[i % 6]) + " ";
        b.signal.toneHz = 300.0 + i * 2600.0 / (kSenders - 1);
        b.signal.wpm = 12 + (i * 7) % 29;
        b.signal.snrDb = (i * 11) % 21;
        b.signal.leadSeconds = 0.2 + (i % 5) * 0.4;
        b.signal.seed = static_cast<unsigned>(i + 1);
        band.push_back(b);
    }
    auto audio = test::synthesizeBand(band, 500.0, kBandSeconds, 99);
    audio.resize(static_cast<size_t>(kBandSeconds * kSampleRateHz));
    return audio;
}
} // namespace

static void BM_BandPassThirtySenders(benchmark::State& state) {
    const auto audio = thirtySenders();
    const int passes = static_cast<int>(audio.size() / kPassFrames);
    BandDecoder band;
    // Warm up until every sender has its channel.
    int p = 0;
    int channels = 0;
    for (; p < passes / 3; ++p)
        channels = band.processPass(&audio[static_cast<size_t>(p) * kPassFrames]).channelCount;
    for (auto _ : state) {
        const auto& r = band.processPass(&audio[static_cast<size_t>(p) * kPassFrames]);
        channels = r.channelCount;
        benchmark::DoNotOptimize(r.channelCount);
        if (++p == passes) p = passes / 3; // loop over the part where every channel is open
    }
    state.counters["channels"] = channels;
    // Audio seconds per CPU second; the share of one core in real time is its inverse.
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kPassFrames / kSampleRateHz,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BandPassThirtySenders)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-band") == 0) {
        const auto audio = thirtySenders();
        SF_INFO info{};
        info.samplerate = kSampleRateHz;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(argv[2], SFM_WRITE, &info);
        if (!f) {
            std::fprintf(stderr, "bench_band: cannot write %s: %s\n", argv[2],
                         sf_strerror(nullptr));
            return 1;
        }
        std::vector<short> pcm(audio.begin(), audio.end());
        const bool ok = sf_write_short(f, pcm.data(), static_cast<sf_count_t>(pcm.size())) ==
                        static_cast<sf_count_t>(pcm.size());
        sf_close(f);
        return ok ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
