#pragma once
// PacedInput: an input device whose samples are made on a player thread of its own (a sound
// file read from disk, a band's I/Q recording mixed down) and handed to the capture buffers a
// chunk at a time at the pace a sound card would, against absolute deadlines so that no drift
// accumulates. A subclass opens its source and fills each chunk; it calls close() in its own
// destructor, before its members go, since the player thread calls into it.
//
// Who calls it: the receive loop's worker thread, as for every input device.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "receive/audio/InputDevice.h"

namespace dita {

class PacedInput : public InputDevice {
public:
    static constexpr int kChunkFrames = 1024; // 23.2 ms handed over at a time

    // 44,100 Hz, mono or stereo 16-bit.
    bool formatSupported(const CaptureFormat& format) override;
    bool open(const CaptureFormat& format) override;
    bool addBuffer(CaptureBuffer& buffer) override { return m_open && m_queue.add(buffer); }
    bool start() override;
    bool reset() override;
    void close() override;

protected:
    // Opens the source afresh for this many interleaved channels; false when it cannot.
    virtual bool openSource(int channels) = 0;
    // Fills kChunkFrames frames of interleaved 16-bit samples, on the player thread.
    virtual void fillChunk(int16_t* interleaved, int channels) = 0;
    // True while the source paces itself (a live input whose reads wait for its samples): the
    // player then hands each chunk over as soon as it is filled. Asked on the player thread.
    virtual bool selfPaced() const { return false; }

private:
    void stopThread();
    void play();

    BufferQueue m_queue;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    bool m_open = false;
    int m_channels = 1;
};

} // namespace dita
