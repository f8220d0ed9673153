// Speed of the transmit path: building keying envelopes and rendering them into tone blocks.
// The real-time factor (items_per_second / 44,100) must stay far above 1 so playback never
// waits for the generator.
#include "transmit/KeyingPort.h"
#include "transmit/MorseCode.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

// A device that accepts every block at once.
class NullToneDevice : public dita::ToneDevice {
public:
    bool formatSupported() override { return true; }
    bool open() override { return true; }
    bool prepare(dita::ToneBlock) override { return true; }
    bool write(dita::ToneBlock, const int16_t* s, int n) override {
        benchmark::DoNotOptimize(s);
        m_samples += n;
        return true;
    }
    bool isDone(dita::ToneBlock) override { return true; }
    bool setVolume(uint32_t) override { return true; }
    bool restart() override { return true; }
    bool position(int64_t& bytes) override {
        bytes = m_samples * 2;
        return true;
    }
    bool reset() override { return true; }
    bool unprepare(dita::ToneBlock) override { return true; }

private:
    int64_t m_samples = 0;
};

const std::string kText = "CQ CQ CQ DE DL1ABC DL1ABC DL1ABC PSE K = 599 5NN TU 73 ";

void BM_BuildEnvelope(benchmark::State& state) {
    const dita::EnvelopeBuilder builder(dita::ComputeSendTiming(static_cast<int>(state.range(0))),
                                        dita::beaconCarrierFor(1), true);
    std::vector<uint8_t> envelope;
    for (auto _ : state) {
        envelope.clear();
        for (unsigned char c : kText)
            builder.appendRow(dita::sendRow(dita::soundCardTextCode(c)), envelope);
        benchmark::DoNotOptimize(envelope.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(envelope.size()));
}
BENCHMARK(BM_BuildEnvelope)->Arg(20)->Arg(125);

void BM_RenderTone(benchmark::State& state) {
    NullToneDevice device;
    dita::MonotonicClock clock;
    dita::ToneOutput output(device, {}, {}, clock);
    std::vector<uint8_t> envelope(dita::kToneSampleRateHz, 1); // one second of tone
    dita::ToneSettings tone;
    tone.SidetoneWaveform = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        output.PlayEnvelope(envelope.data(), static_cast<int64_t>(envelope.size()), tone);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(envelope.size()));
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(state.iterations()) *
                               static_cast<double>(envelope.size()) / dita::kToneSampleRateHz,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderTone)->Arg(dita::kSineWave)->Arg(dita::kSquareWave);

void BM_ComputeSendTiming(benchmark::State& state) {
    int wpm = 10;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dita::ComputeSendTiming(wpm));
        wpm = wpm == 125 ? 10 : wpm + 1;
    }
}
BENCHMARK(BM_ComputeSendTiming);

} // namespace

BENCHMARK_MAIN();
