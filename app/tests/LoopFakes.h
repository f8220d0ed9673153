#pragma once
// Test doubles for the run loop: a pass processor that records what it is given, and a feeder
// thread that plays the part of a sound card delivering audio to a scripted device.
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "app/RunLoop.h"
#include "receive/audio/tests/FakeInputDevice.h"

namespace dita::test {

class RecordingProcessor : public PassProcessor {
public:
    static constexpr int kPeakBin = 120;
    static constexpr int16_t kPeakHeight = 60;
    static constexpr int32_t kLevelStep = 40;
    void post(ReceiveCommand c) override {
        std::lock_guard lock(m_mutex);
        m_commands.push_back(c);
    }
    const PassResult& processPass(const int32_t* samples) override {
        firstSample = samples[0];
        m_result.text = textPerPass;
        m_result.markerHz = 532;
        m_result.receiveWpm = 20;
        m_result.signalBarValue = 12.5;
        m_result.rawSnrShown = true;
        m_result.displayedSnr = 17;
        // A peak in the line trace and a keyed stretch in the timeline, so both draw something.
        m_result.traceHeight[kPeakBin] = kPeakHeight;
        for (size_t i = 1; i < m_result.timelineK.size(); ++i) {
            m_result.timelineE[i] = static_cast<int32_t>(i) * kLevelStep;
            m_result.timelineK[i] = i > m_result.timelineK.size() / 2 ? 1.0f : 0.0f;
        }
        // An output stall that begins and ends during this pass.
        if (CapturePause* pause = stallDuringPass.load()) {
            pause->set(PauseReason::OutputStall, true);
            pause->set(PauseReason::OutputStall, false);
        }
        ++passes;
        return m_result;
    }
    std::vector<ReceiveCommand> commands() {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    std::atomic<int> passes{0};
    std::atomic<CapturePause*> stallDuringPass{nullptr};
    std::atomic<int32_t> firstSample{0};
    std::string textPerPass = "E";

private:
    std::mutex m_mutex;
    std::vector<ReceiveCommand> m_commands;
    PassResult m_result;
};

// Delivers a chunk of frames to a scripted device every few milliseconds, faster than real time
// so tests stay short. Each chunk carries its sequence number as the sample value.
class Feeder {
public:
    Feeder(FakeDeviceScript& device, int channels,
           std::chrono::milliseconds every = std::chrono::milliseconds(3))
        : m_thread([this, &device, channels, every] {
              int16_t seq = 1;
              while (m_run.load()) {
                  if (!m_paused.load())
                      device.deliver(
                          std::vector<int16_t>(static_cast<size_t>(1024 * channels), seq++));
                  std::this_thread::sleep_for(every);
              }
          }) {}
    ~Feeder() {
        m_run = false;
        m_thread.join();
    }
    void pause(bool on) { m_paused = on; }

private:
    std::atomic<bool> m_run{true};
    std::atomic<bool> m_paused{false};
    std::thread m_thread;
};

template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace dita::test
