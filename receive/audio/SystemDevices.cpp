#include "receive/audio/SystemDevices.h"

#include "common/StderrMute.h"
#include "receive/SoundFileReader.h"

#include <portaudio.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <ctime>
#include <mutex>
#include <thread>

namespace dita {

// ---------------------------------------------------------------- PortAudio

class PortAudioSession {
public:
    PortAudioSession() : m_ok(initialise()) {}
    ~PortAudioSession() {
        if (m_ok) Pa_Terminate();
    }
    bool ok() const { return m_ok; }

private:
    static bool initialise() {
        StderrMute quiet; // the device scan's ALSA and JACK chatter
        const bool ok = Pa_Initialize() == paNoError;
        tellAlsaRecoveriesOnce();
        return ok;
    }
    bool m_ok;
};

namespace {

std::shared_ptr<PortAudioSession> sharedSession() {
    static std::mutex mutex;
    static std::weak_ptr<PortAudioSession> current;
    std::lock_guard lock(mutex);
    auto session = current.lock();
    if (!session) {
        session = std::make_shared<PortAudioSession>();
        current = session;
    }
    return session;
}

PaStreamParameters inputParameters(int paIndex, const CaptureFormat& format) {
    PaStreamParameters p{};
    p.device = paIndex;
    p.channelCount = format.channels;
    p.sampleFormat = paInt16;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(paIndex);
    p.suggestedLatency = info ? info->defaultHighInputLatency : 0.1;
    p.hostApiSpecificStreamInfo = nullptr;
    return p;
}

class PortAudioInput : public InputDevice {
public:
    PortAudioInput(std::shared_ptr<PortAudioSession> session, int paIndex)
        : m_session(std::move(session)), m_paIndex(paIndex) {}
    ~PortAudioInput() override { close(); }

    bool formatSupported(const CaptureFormat& format) override {
        if (!m_session->ok()) return false;
        const PaStreamParameters p = inputParameters(m_paIndex, format);
        StderrMute quiet;
        return Pa_IsFormatSupported(&p, nullptr, format.sampleRate) == paFormatIsSupported;
    }

    bool open(const CaptureFormat& format) override {
        close();
        if (!m_session->ok()) return false;
        m_blockAlign = format.blockAlign;
        const PaStreamParameters p = inputParameters(m_paIndex, format);
        StderrMute quiet;
        return Pa_OpenStream(&m_stream, &p, nullptr, format.sampleRate,
                             paFramesPerBufferUnspecified, paNoFlag, &PortAudioInput::callback,
                             this) == paNoError;
    }

    bool addBuffer(CaptureBuffer& buffer) override { return m_stream && m_queue.add(buffer); }

    bool start() override {
        if (!m_stream) return false;
        if (Pa_IsStreamActive(m_stream) == 1) return true;
        return Pa_StartStream(m_stream) == paNoError;
    }

    bool reset() override {
        if (!m_stream) return false;
        if (Pa_IsStreamStopped(m_stream) == 0 && Pa_AbortStream(m_stream) != paNoError)
            return false;
        m_queue.abortAll();
        return true;
    }

    void close() override {
        if (!m_stream) return;
        Pa_AbortStream(m_stream);
        Pa_CloseStream(m_stream);
        m_stream = nullptr;
        m_queue.abortAll();
    }

private:
    static int callback(const void* input, void*, unsigned long frames,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user) {
        auto* self = static_cast<PortAudioInput*>(user);
        if (input)
            self->m_queue.write(static_cast<const uint8_t*>(input),
                                static_cast<uint32_t>(frames * self->m_blockAlign));
        return paContinue;
    }

    std::shared_ptr<PortAudioSession> m_session;
    int m_paIndex;
    PaStream* m_stream = nullptr;
    uint16_t m_blockAlign = kCaptureBytesPerSample;
    BufferQueue m_queue;
};

// ---------------------------------------------------------------- sound file

constexpr int kFileChunkFrames = 1024; // 23.2 ms handed over at a time

class FileInput : public InputDevice {
public:
    explicit FileInput(SoundFileInput file) : m_file(std::move(file)) {}
    ~FileInput() override { close(); }

    bool formatSupported(const CaptureFormat& format) override {
        return format.sampleRate == kCaptureRateHz &&
               (format.channels == 1 || format.channels == 2);
    }

    // Opens the file afresh: a mono capture mixes the file's channels, a stereo one reads
    // its first two (a mono file feeds both).
    bool open(const CaptureFormat& format) override {
        close();
        if (!formatSupported(format)) return false;
        m_channels = format.channels;
        m_ended = {};
        const InputChannel picks[2] = {m_channels == 1 ? InputChannel::Mic : InputChannel::Left,
                                       InputChannel::Right};
        std::string error;
        for (int c = 0; c < m_channels; ++c)
            if (!m_readers[c].open(m_file.path.string(), picks[c], error)) return false;
        m_open = true;
        return true;
    }

    bool addBuffer(CaptureBuffer& buffer) override { return m_open && m_queue.add(buffer); }

    bool start() override {
        if (!m_open) return false;
        if (m_thread.joinable()) return true;
        m_running = true;
        m_thread = std::thread([this] { play(); });
        return true;
    }

    bool reset() override {
        if (!m_open) return false;
        stopThread();
        m_queue.abortAll();
        return true;
    }

    void close() override {
        stopThread();
        m_queue.abortAll();
        m_open = false;
    }

private:
    void stopThread() {
        m_running = false;
        if (m_thread.joinable()) m_thread.join();
    }

    // The next chunk of one channel from the file; silence after its end. A read error, or a
    // file that ends before its header's length, is told once, and the rest plays as silence.
    void readChannel(int c, std::array<int32_t, kFileChunkFrames>& samples) {
        SoundFileReader& reader = m_readers[c];
        const int got = m_ended[c] ? 0 : reader.read(samples.data(), kFileChunkFrames);
        if (got < kFileChunkFrames) {
            std::fill(samples.begin() + got, samples.end(), 0);
            const std::string& why = reader.error().empty() ? reader.warning() : reader.error();
            if (!m_ended[c] && !why.empty() && m_file.onReadError) m_file.onReadError(why);
            m_ended[c] = true;
        }
    }

    // Hands the file over in chunks at the pace a sound card would, against absolute
    // deadlines; after the end it delivers silence, as a live input would.
    void play() {
        std::array<std::array<int32_t, kFileChunkFrames>, 2> samples{};
        std::array<int16_t, kFileChunkFrames * 2> chunk{};
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        const long chunkNs = static_cast<long>(1e9 * kFileChunkFrames / kCaptureRateHz);
        while (m_running.load()) {
            for (int c = 0; c < m_channels; ++c)
                readChannel(c, samples[c]);
            // The reader gives 16-bit values, so the narrowing keeps every sample.
            for (int i = 0; i < kFileChunkFrames; ++i)
                for (int c = 0; c < m_channels; ++c)
                    chunk[i * m_channels + c] = static_cast<int16_t>(samples[c][i]);
            m_queue.write(reinterpret_cast<const uint8_t*>(chunk.data()),
                          static_cast<uint32_t>(kFileChunkFrames * m_channels * sizeof(int16_t)));
            next.tv_nsec += chunkNs;
            while (next.tv_nsec >= 1000000000L) {
                next.tv_nsec -= 1000000000L;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
    }

    SoundFileInput m_file;
    BufferQueue m_queue;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    bool m_open = false;
    int m_channels = 1;
    // Used by the player thread only while it runs, and by open() while it does not.
    std::array<SoundFileReader, 2> m_readers;
    std::array<bool, 2> m_ended{};
};

} // namespace

// ---------------------------------------------------------------- checking

SoundFileInput openSoundFileInput(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf)
        throw std::runtime_error("cannot read sound file " + path.string() + ": " +
                                 sf_strerror(nullptr));
    sf_close(sf);
    if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0)
        throw std::runtime_error("sound file " + path.string() + " holds no audio");
    // What else the devices' reader refuses (a rate it cannot resample).
    SoundFileReader reader;
    std::string error;
    if (!reader.open(path.string(), InputChannel::Mic, error)) throw std::runtime_error(error);
    SoundFileInput input;
    input.path = path;
    input.name = path.filename().string();
    return input;
}

// ---------------------------------------------------------------- catalogue

SystemDeviceCatalog::SystemDeviceCatalog(std::optional<SoundFileInput> inputFile)
    : m_session(sharedSession()), m_file(std::move(inputFile)) {
    if (m_session->ok()) {
        const PaDeviceIndex def = Pa_GetDefaultInputDevice();
        auto add = [this](PaDeviceIndex i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info && info->maxInputChannels > 0) {
                m_paIndex.push_back(i);
                m_names.emplace_back(info->name ? info->name : "");
            }
        };
        if (def != paNoDevice) add(def);
        const PaDeviceIndex n = Pa_GetDeviceCount();
        for (PaDeviceIndex i = 0; i < n; ++i)
            if (i != def) add(i);
    }
    if (m_file) m_names.push_back("File: " + m_file->name);
}

SystemDeviceCatalog::~SystemDeviceCatalog() = default;

int SystemDeviceCatalog::count() const {
    return static_cast<int>(m_names.size());
}

std::string SystemDeviceCatalog::name(int deviceId) const {
    if (deviceId < 0 || deviceId >= count()) return {};
    return m_names[static_cast<size_t>(deviceId)];
}

std::optional<int> SystemDeviceCatalog::fileDeviceId() const {
    if (!m_file) return std::nullopt;
    return static_cast<int>(m_paIndex.size());
}

std::unique_ptr<InputDevice> SystemDeviceCatalog::create(int deviceId) {
    if (deviceId < 0 || deviceId >= count()) return nullptr;
    if (static_cast<size_t>(deviceId) < m_paIndex.size())
        return std::make_unique<PortAudioInput>(m_session,
                                                m_paIndex[static_cast<size_t>(deviceId)]);
    return std::make_unique<FileInput>(*m_file);
}

} // namespace dita
