// Time from a key going down in the transmit window (IMM mode, transmission enabled) to the
// keyer being handed its code by TCharThread. Goal: far below one dot at 125 WPM (9.6 ms).
#include "transmit/control/TransmitController.h"
#include "transmit/control/tests/ControlFakes.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int32_t kVkE = 69;

// A keyer that keys nothing and notes the moment each code arrives.
class TimestampKeyer : public dita::Keyer {
public:
    bool sendText(std::string_view, const std::atomic<bool>&) override { return true; }
    bool sendTypedCode(int32_t) override {
        m_arrived.store(std::chrono::steady_clock::now().time_since_epoch().count());
        m_count.fetch_add(1);
        return true;
    }
    std::atomic<int64_t> m_arrived{0};
    std::atomic<int> m_count{0};
};

void BM_TypedKeyToKeyer(benchmark::State& state) {
    dita::test::FakeTransmitView view;
    TimestampKeyer keyer;
    dita::CapturePause pause;
    dita::TransmitController control(view, {[&] { return &keyer; }, nullptr, {}, {}}, pause);
    control.start();
    control.XmitButtonClick();
    view.pumpFor(std::chrono::milliseconds(20));
    for (auto _ : state) {
        const int before = keyer.m_count.load();
        const auto down = std::chrono::steady_clock::now();
        control.TransmitMemoKeyDown(kVkE);
        control.TransmitMemoKeyUp(kVkE);
        while (keyer.m_count.load() == before)
            std::this_thread::yield();
        const auto arrived = std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(keyer.m_arrived.load()));
        state.SetIterationTime(std::chrono::duration<double>(arrived - down).count());
        view.pump();
    }
    control.shutdown();
}
BENCHMARK(BM_TypedKeyToKeyer)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace

BENCHMARK_MAIN();
