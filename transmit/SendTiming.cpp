#include "transmit/SendTiming.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <pthread.h>
#include <sched.h>

namespace dita {

namespace {

constexpr float kCharsPerWord = 5.0f; // the standard word "PARIS"
constexpr float kDotsPerChar = 11.0f; // dot lengths per character of that word
constexpr float kSecondsPerMinute = 60.0f;
constexpr float kMsPerSecond = 1000.0f;
constexpr float kPercent = 100.0f;
constexpr int kRealtimePriority = 10;
constexpr int64_t kNsPerSecond = 1'000'000'000; // above normal threads, below audio servers

float clampWeight(float weight) {
    if (!std::isfinite(weight)) return kStandardTimingWeight;
    return std::clamp(weight, kMinTimingWeight, kMaxTimingWeight);
}

int32_t weighted(int32_t ms, float weight) {
    return static_cast<int32_t>(static_cast<float>(ms) * clampWeight(weight) / kPercent);
}

} // namespace

SendTiming ComputeSendTiming(int32_t wpm, const TimingWeights& weights) {
    const float w = static_cast<float>(std::clamp(wpm, kMinXmitWpm, kMaxXmitWpm));
    const float r = w * kCharsPerWord * kDotsPerChar / kSecondsPerMinute; // dots per second
    const int32_t d = static_cast<int32_t>(1.0f / r * kMsPerSecond);
    SendTiming t;
    t.Wpm = static_cast<int32_t>(w);
    t.DotMs = weighted(d, weights.dot);
    t.ElementGapMs = d;
    t.DashMs = weighted(3 * d, weights.dash);
    t.CharGapMs = weighted(2 * d, weights.charSpace);
    t.WordGapMs = weighted(6 * d, weights.wordSpace);
    t.DotSamples = t.DotMs * kSamplesPerMs;
    t.ElementGapSamples = t.ElementGapMs * kSamplesPerMs;
    t.DashSamples = t.DashMs * kSamplesPerMs;
    t.CharGapSamples = t.CharGapMs * kSamplesPerMs;
    t.WordGapSamples = t.WordGapMs * kSamplesPerMs;
    return t;
}

SendTimingStore::SendTimingStore() : m_timing(ComputeSendTiming(20)) {}

void SendTimingStore::publish(const SendTiming& timing) {
    std::lock_guard lock(m_mutex);
    m_timing = timing;
}

SendTiming SendTimingStore::current() const {
    std::lock_guard lock(m_mutex);
    return m_timing;
}

KeyingClock::TimePoint MonotonicClock::now() {
    return std::chrono::steady_clock::now();
}

void MonotonicClock::waitUntil(TimePoint deadline) {
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / kNsPerSecond);
    ts.tv_nsec = static_cast<long>(ns % kNsPerSecond);
    // Restart after signals: the deadline is absolute, so a restart does not lengthen the wait.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void PreciseWait(int32_t ms) {
    if (ms <= 0) return;
    MonotonicClock clock;
    clock.waitUntil(clock.now() + std::chrono::milliseconds(ms));
}

bool tryRealtimeScheduling() {
    sched_param param{};
    param.sched_priority = std::min(kRealtimePriority, sched_get_priority_max(SCHED_FIFO));
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

} // namespace dita
