// One receive pass (8192 frames, 185.76 ms of audio) through the whole chain, and its stages.
// The real-time budget of a pass is 185.76 ms; the goal for a standard pass without the noise
// filter is 30 us, about 6,000 times faster, so that files decode at thousands of times real time.
#include "receive/PolyphaseResampler.h"
#include "receive/ReceiveEngine.h"
#include "receive/chain/BandPassFilter.h"
#include "receive/chain/PowerSpectrum.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

using namespace dita;

namespace {
std::vector<int32_t> noisyKeyedTone(int passes) {
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 1500.0);
    std::vector<int32_t> s(static_cast<size_t>(passes) * kPassFrames);
    for (size_t i = 0; i < s.size(); ++i) {
        const bool keyDown = (i / 2646) % 2 == 0; // 60 ms elements: 20 wpm dots
        const double tone =
            keyDown ? 10000.0 * std::sin(2 * M_PI * 600.0 * i / kSampleRateHz) : 0.0;
        s[i] = static_cast<int32_t>(std::clamp(tone + noise(rng), -32768.0, 32767.0));
    }
    return s;
}
} // namespace

static void BM_ReceivePass(benchmark::State& state) {
    constexpr int kPasses = 32;
    const auto audio = noisyKeyedTone(kPasses);
    ReceiveEngine engine;
    engine.post(ReceiveCommand::decoder(setting::Decoder(state.range(1))));
    engine.post(ReceiveCommand::tuneToBin(112));
    engine.post(ReceiveCommand::noiseFilter(setting::Switch3(state.range(0))));
    engine.setHeadless(state.range(2) != 0);
    int pass = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            engine.processPass(&audio[static_cast<size_t>(pass) * kPassFrames]).text.size());
        pass = (pass + 1) % kPasses;
    }
    state.counters["xRealTime"] =
        benchmark::Counter(0.18576 * state.iterations(), benchmark::Counter::kIsRate);
}
constexpr int64_t kFilterOff = raw(setting::Switch3::Off);
constexpr int64_t kFilterOn = raw(setting::Switch3::On);
constexpr int64_t kStandard = raw(setting::Decoder::Standard);
constexpr int64_t kEnhanced = raw(setting::Decoder::Enhanced);
// standard:0 is the enhanced decoder; headless:1 is how dita-decode runs it (no window reads the
// standard chain's levels and display outputs).
BENCHMARK(BM_ReceivePass)
    ->Args({kFilterOff, kStandard, 0})
    ->Args({kFilterOn, kStandard, 0})
    ->Args({kFilterOff, kEnhanced, 0})
    ->Args({kFilterOff, kEnhanced, 1})
    ->ArgNames({"noiseFilter", "standard", "headless"});

static void BM_SpectrumStage(benchmark::State& state) {
    SpectrumAnalyzer analyzer;
    std::vector<float> input(kSpectrumInput, 1.0f);
    PowerSpectrum power{};
    for (auto _ : state) {
        analyzer.process(input.data(), power);
        benchmark::DoNotOptimize(power[100]);
    }
}
BENCHMARK(BM_SpectrumStage);

static void BM_BandPassDesignAndFilter(benchmark::State& state) {
    BandPassFilter filter;
    std::vector<float> block(kNarrowbandBlock, 1.0f);
    for (auto _ : state) {
        filter.design(0.045f, 0.051f);
        filter.process(block.data());
        benchmark::DoNotOptimize(block[10]);
    }
}
BENCHMARK(BM_BandPassDesignAndFilter);

// A sound file at another rate converted to the chain's 44,100 Hz, one second of audio at a
// time, in the reader's block sizes.
static void BM_ResampleToChainRate(benchmark::State& state) {
    const int rateHz = static_cast<int>(state.range(0));
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    std::vector<float> input(static_cast<size_t>(rateHz));
    for (float& v : input)
        v = noise(rng);
    std::vector<float> output(1 << 16);
    PolyphaseResampler resampler;
    resampler.configure(rateHz, kSampleRateHz);
    for (auto _ : state) {
        size_t used = 0;
        while (used < input.size()) {
            const auto r = resampler.process(input.data() + used, input.size() - used,
                                             output.data(), output.size(), false);
            used += r.inputUsed;
            benchmark::DoNotOptimize(output[0]);
        }
    }
    state.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ResampleToChainRate)
    ->Arg(8000)
    ->Arg(12000)
    ->Arg(22050)
    ->Arg(48000)
    ->Unit(benchmark::kMicrosecond);
