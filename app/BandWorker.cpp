#include "app/BandWorker.h"

#include <algorithm>

namespace dita {

BandWorker::BandWorker(PassDone passDone)
    : m_passDone(std::move(passDone)), m_thread([this] { run(); }) {}

BandWorker::~BandWorker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void BandWorker::setPassDone(PassDone passDone) {
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_passDone = std::move(passDone);
}

void BandWorker::setEnabled(bool on) {
    if (on && !m_enabled.load()) {
        m_decoder.post(BandCommand::reset());
        m_dropped = 0;
    }
    m_enabled = on;
}

void BandWorker::feed(const int32_t* samples) {
    if (!m_enabled.load()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_count == kSlots) {
            ++m_pendingDrops;
            ++m_dropped;
            return;
        }
        const int slot = (m_first + m_count) % kSlots;
        std::copy(samples, samples + kPassFrames, m_slots[static_cast<size_t>(slot)].begin());
        m_droppedBefore[static_cast<size_t>(slot)] = m_pendingDrops;
        m_pendingDrops = 0;
        ++m_count;
    }
    m_wake.notify_one();
}

void BandWorker::run() {
    for (;;) {
        int slot = 0;
        int skipped = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_count > 0; });
            if (m_stop) return;
            slot = m_first;
            skipped = m_droppedBefore[static_cast<size_t>(slot)];
        }
        // The slot stays taken while it is decoded; feed() only writes free slots.
        m_decoder.skip(skipped);
        const BandPassResult& result =
            m_decoder.processPass(m_slots[static_cast<size_t>(slot)].data());
        {
            std::lock_guard<std::mutex> callback(m_callbackMutex);
            if (m_passDone) m_passDone(result, m_dropped.load());
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_first = (m_first + 1) % kSlots;
        --m_count;
    }
}

} // namespace dita
