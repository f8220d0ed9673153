#pragma once
// Element lengths of the transmitted code and the clock the serial keyer waits on.
//
// Who calls it: ComputeSendTiming runs on the window thread (speed controls, configuration
// load); the send threads read the published timing through SendTimingStore and wait with
// PreciseWait / KeyingClock. No Qt.
#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace dita {

constexpr int32_t kSamplesPerMs = 44; // 44 samples stand for one ms of 44,100 Hz audio
constexpr int32_t kMinXmitWpm = 10;
constexpr int32_t kMaxXmitWpm = 125;
constexpr float kMinTimingWeight = 50.0f; // range of the character timing dialog, percent
constexpr float kMaxTimingWeight = 200.0f;
constexpr float kStandardTimingWeight = 100.0f;

// Percentages applied to the dot, dash, character-space and word-space lengths.
struct TimingWeights {
    float dot = kStandardTimingWeight;
    float dash = kStandardTimingWeight;
    float charSpace = kStandardTimingWeight;
    float wordSpace = kStandardTimingWeight;
};

struct SendTiming {
    int32_t Wpm = 0; // the speed these lengths key (after clamping)
    int32_t DotMs = 0;
    int32_t DashMs = 0;
    int32_t ElementGapMs = 0;
    int32_t CharGapMs = 0;
    int32_t WordGapMs = 0;
    int32_t DotSamples = 0;
    int32_t DashSamples = 0;
    int32_t ElementGapSamples = 0;
    int32_t CharGapSamples = 0;
    int32_t WordGapSamples = 0;
};

// Element lengths for wpm (clamped to 10..125) with the given weights (each clamped to
// 50..200 %, a value that is not finite counts as 100 %). The element gap is never weighted.
SendTiming ComputeSendTiming(int32_t wpm, const TimingWeights& weights = {});

// The one SendTiming the window writes and the send threads read. Reads take a copy, so a
// keyer sees either the old or the new lengths of an element, never a mixture.
class SendTimingStore {
public:
    SendTimingStore();
    void publish(const SendTiming& timing);
    SendTiming current() const;

private:
    mutable std::mutex m_mutex;
    SendTiming m_timing;
};

// Time source of the serial keyer. Keying waits on absolute deadlines, so late wake-ups do not
// add up over a message. Tests substitute a clock that records instead of sleeping.
class KeyingClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~KeyingClock() = default;
    virtual TimePoint now() = 0;
    virtual void waitUntil(TimePoint deadline) = 0;
};

// CLOCK_MONOTONIC with clock_nanosleep(TIMER_ABSTIME), which is what steady_clock reads on Linux.
class MonotonicClock : public KeyingClock {
public:
    TimePoint now() override;
    void waitUntil(TimePoint deadline) override;
};

// Blocks the calling thread for ms milliseconds (send threads only).
void PreciseWait(int32_t ms);

// Asks for a real-time scheduling class for the calling thread (SCHED_FIFO, low priority).
// Returns whether the system granted it; callers carry on either way.
bool tryRealtimeScheduling();

} // namespace dita
