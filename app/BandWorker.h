#pragma once
// BandWorker: runs the band decoder on a thread of its own, fed the same sample blocks as the
// main receive pipeline.
//
// Who calls it: feed() from the receive run loop's worker after each main pass; it copies the
// block into a free slot and returns at once. When every slot is still waiting (the band
// decoder has fallen behind) the block is dropped here, never the main decoder's work, and the
// count of dropped passes goes out with the next result. setEnabled() and post() from the
// window thread. passDone is called on the band thread; the window turns it into a queued call.
// No Qt.
#include "receive/band/BandDecoder.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace dita {

class BandWorker {
public:
    // result, and the passes dropped in all since the worker was enabled.
    using PassDone = std::function<void(const BandPassResult& result, long droppedPasses)>;

    explicit BandWorker(PassDone passDone = {});
    ~BandWorker();
    BandWorker(const BandWorker&) = delete;
    BandWorker& operator=(const BandWorker&) = delete;

    // Off: blocks are ignored and the decoder is reset (its channels reported closed) when it
    // is turned on again.
    void setEnabled(bool on);
    bool enabled() const { return m_enabled.load(); }
    void post(BandCommand command) { m_decoder.post(command); }
    // Who hears the results (empty: nobody). Any thread; the band thread calls it after this
    // returns only with the new one.
    void setPassDone(PassDone passDone);
    void feed(const int32_t* samples);

    long droppedPasses() const { return m_dropped.load(); }

private:
    static constexpr int kSlots = 4; // 0.74 s of input may wait

    void run();

    std::mutex m_callbackMutex; // m_passDone: set by the window, called by the band thread
    PassDone m_passDone;
    BandDecoder m_decoder;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::array<std::array<int32_t, kPassFrames>, kSlots> m_slots{};
    std::array<int, kSlots> m_droppedBefore{}; // passes dropped just before each slot's block
    int m_first = 0;
    int m_count = 0;
    int m_pendingDrops = 0;
    bool m_stop = false;
    std::atomic<bool> m_enabled{false};
    std::atomic<long> m_dropped{0};
    std::thread m_thread;
};

} // namespace dita
