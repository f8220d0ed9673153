#pragma once
// The tone output on PortAudio's default output device (ALSA, and PulseAudio or PipeWire
// through ALSA's plugin). A callback stream runs for the life of the device and plays the
// queued blocks in the order they were written, silence in between, so "done" means the last
// sample of a block has been handed to the sound system.
//
// Who calls it: ToneOutput on the send thread; the callback runs on PortAudio's audio thread.
// The two share the block slots under a mutex that the callback only try-locks, so it never
// blocks the audio thread (it plays silence for that period instead). A miss puts a gap into a
// tone, so the send thread holds the mutex as briefly and as seldom as it can: the done flags
// it polls are atomics read without it, and block samples are copied outside it.
#include "transmit/ToneOutput.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace dita {

class PortAudioToneDevice : public ToneDevice {
public:
    PortAudioToneDevice();
    ~PortAudioToneDevice() override;
    PortAudioToneDevice(const PortAudioToneDevice&) = delete;
    PortAudioToneDevice& operator=(const PortAudioToneDevice&) = delete;

    // Number of PortAudio devices with input channels (the tone output opens only when one
    // exists).
    static int inputDeviceCount();

    bool formatSupported() override;
    bool open() override;
    bool prepare(ToneBlock block) override;
    bool write(ToneBlock block, const int16_t* samples, int count) override;
    bool isDone(ToneBlock block) override;
    bool setVolume(uint32_t volume) override;
    bool restart() override;
    bool position(int64_t& bytes) override;
    bool reset() override;
    bool unprepare(ToneBlock block) override;

    const std::string& lastError() const { return m_lastError; }

    // Waits until what was handed to the sound system has been heard (its output latency plus
    // marginMs), so a program can close the device without cutting the end off.
    void drain(int marginMs);

    // PortAudio's callback; public only so the C trampoline can reach it.
    void fill(int16_t* out, unsigned long frames);

private:
    struct Slot {
        std::array<int16_t, kToneBlockSamples> samples{};
        int count = 0;
        int readPosition = 0;
        uint64_t sequence = 0; // 0: not queued; else its place in the play order
        bool prepared = false;
        // Set by the callback when the last sample has gone (release); isDone reads it
        // without the mutex. Written under the mutex.
        std::atomic<bool> done{true};
    };

    bool m_initialised = false;
    void* m_stream = nullptr;
    std::mutex m_mutex;
    std::array<Slot, 2> m_slots;
    uint64_t m_nextSequence = 1;
    int64_t m_framesPlayed = 0;   // block samples played (the device position)
    int64_t m_framesRendered = 0; // everything handed to the sound system, silence included
    float m_gain = 1.0f;
    std::string m_lastError;
};

} // namespace dita
