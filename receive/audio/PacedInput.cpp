#include "receive/audio/PacedInput.h"

#include <array>
#include <ctime>

namespace dita {

bool PacedInput::formatSupported(const CaptureFormat& format) {
    return format.sampleRate == kCaptureRateHz && (format.channels == 1 || format.channels == 2);
}

bool PacedInput::open(const CaptureFormat& format) {
    close();
    if (!formatSupported(format)) return false;
    m_channels = format.channels;
    if (!openSource(m_channels)) return false;
    m_open = true;
    return true;
}

bool PacedInput::start() {
    if (!m_open) return false;
    if (m_thread.joinable()) return true;
    m_running = true;
    m_thread = std::thread([this] { play(); });
    return true;
}

bool PacedInput::reset() {
    if (!m_open) return false;
    stopThread();
    m_queue.abortAll();
    return true;
}

void PacedInput::close() {
    stopThread();
    m_queue.abortAll();
    m_open = false;
}

void PacedInput::stopThread() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
}

void PacedInput::play() {
    std::array<int16_t, kChunkFrames * 2> chunk{};
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const long chunkNs = static_cast<long>(1e9 * kChunkFrames / kCaptureRateHz);
    while (m_running.load()) {
        fillChunk(chunk.data(), m_channels);
        m_queue.write(reinterpret_cast<const uint8_t*>(chunk.data()),
                      static_cast<uint32_t>(kChunkFrames * m_channels * sizeof(int16_t)));
        if (selfPaced()) {
            clock_gettime(CLOCK_MONOTONIC, &next); // should it stop, pacing goes on from now
            continue;
        }
        next.tv_nsec += chunkNs;
        while (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}

} // namespace dita
