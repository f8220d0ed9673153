#include "transmit/PortAudioToneDevice.h"

#include "common/StderrMute.h"

#include <portaudio.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace dita {

namespace {

int paCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
               PaStreamCallbackFlags, void* user) {
    static_cast<PortAudioToneDevice*>(user)->fill(static_cast<int16_t*>(output), frames);
    return paContinue;
}

constexpr int kWarmUpMs = 100;
constexpr int kWarmUpLimitMs = 1000;

int slotIndex(ToneBlock block) {
    return block == ToneBlock::A ? 0 : 1;
}

PaStreamParameters outputParameters() {
    PaStreamParameters p{};
    p.device = Pa_GetDefaultOutputDevice();
    p.channelCount = 1;
    p.sampleFormat = paInt16;
    if (p.device != paNoDevice) {
        // The higher latency: keying is timed by the envelope, not by when the first sample
        // leaves, and a deeper buffer rides out a busy machine without gaps in the tone.
        p.suggestedLatency = Pa_GetDeviceInfo(p.device)->defaultHighOutputLatency;
    }
    return p;
}

} // namespace

PortAudioToneDevice::PortAudioToneDevice() {
    StderrMute quiet; // the device scan's ALSA and JACK chatter
    const PaError err = Pa_Initialize();
    tellAlsaRecoveriesOnce();
    m_initialised = err == paNoError;
    if (!m_initialised) m_lastError = Pa_GetErrorText(err);
}

PortAudioToneDevice::~PortAudioToneDevice() {
    if (m_stream) {
        Pa_AbortStream(static_cast<PaStream*>(m_stream));
        Pa_CloseStream(static_cast<PaStream*>(m_stream));
    }
    if (m_initialised) Pa_Terminate();
}

int PortAudioToneDevice::inputDeviceCount() {
    StderrMute quiet;
    if (Pa_Initialize() != paNoError) return 0;
    int inputs = 0;
    const int n = Pa_GetDeviceCount();
    for (int i = 0; i < n; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info && info->maxInputChannels > 0) ++inputs;
    }
    Pa_Terminate();
    return inputs;
}

bool PortAudioToneDevice::formatSupported() {
    if (!m_initialised) return false;
    const PaStreamParameters p = outputParameters();
    if (p.device == paNoDevice) {
        m_lastError = "no default output device";
        return false;
    }
    StderrMute quiet;
    const PaError err = Pa_IsFormatSupported(nullptr, &p, kToneSampleRateHz);
    if (err != paFormatIsSupported) m_lastError = Pa_GetErrorText(err);
    return err == paFormatIsSupported;
}

bool PortAudioToneDevice::open() {
    if (!m_initialised || m_stream) return m_stream != nullptr;
    const PaStreamParameters p = outputParameters();
    if (p.device == paNoDevice) return false;
    PaStream* stream = nullptr;
    StderrMute quiet;
    PaError err = Pa_OpenStream(&stream, nullptr, &p, kToneSampleRateHz,
                                paFramesPerBufferUnspecified, paNoFlag, paCallback, this);
    if (err == paNoError) {
        err = Pa_StartStream(stream);
        if (err != paNoError) Pa_CloseStream(stream);
    }
    if (err != paNoError) {
        m_lastError = Pa_GetErrorText(err);
        return false;
    }
    m_stream = stream;
    // Let the sound system settle before the first block: the first moments of a fresh stream
    // can be dropped while the server connects it, which would clip the first element.
    const PaStreamInfo* info = Pa_GetStreamInfo(stream);
    const double latencySeconds = info ? info->outputLatency : 0.0;
    const auto warmUp =
        std::chrono::duration<double>(latencySeconds) + std::chrono::milliseconds(kWarmUpMs);
    const int64_t wanted =
        static_cast<int64_t>(std::chrono::duration<double>(warmUp).count() * kToneSampleRateHz);
    const auto giveUp =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWarmUpLimitMs);
    while (std::chrono::steady_clock::now() < giveUp) {
        {
            std::lock_guard lock(m_mutex);
            if (m_framesRendered >= wanted) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void PortAudioToneDevice::fill(int16_t* out, unsigned long frames) {
    std::unique_lock lock(m_mutex, std::try_to_lock);
    unsigned long written = 0;
    if (lock.owns_lock()) {
        while (written < frames) {
            Slot* current = nullptr;
            for (auto& slot : m_slots) {
                if (slot.sequence != 0 && (!current || slot.sequence < current->sequence)) {
                    current = &slot;
                }
            }
            if (!current) break;
            const auto n =
                std::min<unsigned long>(frames - written, current->count - current->readPosition);
            for (unsigned long i = 0; i < n; ++i) {
                out[written + i] = static_cast<int16_t>(
                    static_cast<float>(current->samples[current->readPosition + i]) * m_gain);
            }
            written += n;
            current->readPosition += static_cast<int>(n);
            m_framesPlayed += static_cast<int64_t>(n);
            if (current->readPosition >= current->count) {
                current->sequence = 0;
                current->done.store(true, std::memory_order_release);
            }
        }
    }
    std::fill(out + written, out + frames, int16_t{0});
    if (lock.owns_lock()) m_framesRendered += static_cast<int64_t>(frames);
}

void PortAudioToneDevice::drain(int marginMs) {
    double latencySeconds = 0.0;
    if (m_stream) {
        if (const PaStreamInfo* info = Pa_GetStreamInfo(static_cast<PaStream*>(m_stream))) {
            latencySeconds = info->outputLatency;
        }
    }
    const auto wait =
        std::chrono::duration<double>(latencySeconds) + std::chrono::milliseconds(marginMs);
    std::this_thread::sleep_for(wait);
}

bool PortAudioToneDevice::prepare(ToneBlock block) {
    std::lock_guard lock(m_mutex);
    Slot& slot = m_slots[slotIndex(block)];
    if (!m_stream || slot.sequence != 0) return false; // still queued: cannot be reused yet
    slot.prepared = true;
    return true;
}

bool PortAudioToneDevice::write(ToneBlock block, const int16_t* samples, int count) {
    Slot& slot = m_slots[slotIndex(block)];
    {
        std::lock_guard lock(m_mutex);
        if (!m_stream || !slot.prepared || slot.sequence != 0 || count < 0 ||
            count > kToneBlockSamples) {
            return false;
        }
    }
    // The slot is not queued, so the callback does not read its samples until the sequence
    // below is set; only this (the send) thread queues slots.
    std::copy(samples, samples + count, slot.samples.begin());
    std::lock_guard lock(m_mutex);
    slot.count = count;
    slot.readPosition = 0;
    slot.done.store(count == 0, std::memory_order_relaxed);
    slot.sequence = count == 0 ? 0 : m_nextSequence++;
    return true;
}

bool PortAudioToneDevice::isDone(ToneBlock block) {
    // Polled every millisecond while a block plays: without the mutex, so the polling never
    // makes the callback miss its try-lock.
    return m_slots[slotIndex(block)].done.load(std::memory_order_acquire);
}

bool PortAudioToneDevice::setVolume(uint32_t volume) {
    std::lock_guard lock(m_mutex);
    if (!m_stream) return false;
    m_gain = static_cast<float>(std::min(volume, kFullToneVolume)) / kFullToneVolume;
    return true;
}

bool PortAudioToneDevice::restart() {
    if (!m_stream) return false;
    auto* stream = static_cast<PaStream*>(m_stream);
    if (Pa_IsStreamActive(stream) == 1) return true;
    if (Pa_IsStreamStopped(stream) != 1) Pa_AbortStream(stream);
    const PaError err = Pa_StartStream(stream);
    if (err != paNoError) m_lastError = Pa_GetErrorText(err);
    return err == paNoError;
}

bool PortAudioToneDevice::position(int64_t& bytes) {
    std::lock_guard lock(m_mutex);
    if (!m_stream) return false;
    bytes = m_framesPlayed * kToneBytesPerSample;
    return true;
}

bool PortAudioToneDevice::reset() {
    std::lock_guard lock(m_mutex);
    if (!m_stream) return false;
    for (auto& slot : m_slots) {
        slot.sequence = 0;
        slot.done.store(true, std::memory_order_release);
        slot.prepared = false;
    }
    m_framesPlayed = 0;
    return true;
}

bool PortAudioToneDevice::unprepare(ToneBlock block) {
    std::lock_guard lock(m_mutex);
    Slot& slot = m_slots[slotIndex(block)];
    if (!m_stream || slot.sequence != 0) return false; // still playing
    slot.prepared = false;
    return true;
}

} // namespace dita
