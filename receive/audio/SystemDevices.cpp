#include "receive/audio/SystemDevices.h"

#include "common/StderrMute.h"

#include <portaudio.h>
#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
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
        return Pa_Initialize() == paNoError;
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
    explicit FileInput(std::shared_ptr<const SoundFileData> file) : m_file(std::move(file)) {}
    ~FileInput() override { close(); }

    bool formatSupported(const CaptureFormat& format) override {
        return format.sampleRate == kCaptureRateHz &&
               (format.channels == 1 || format.channels == 2);
    }

    bool open(const CaptureFormat& format) override {
        close();
        if (!formatSupported(format)) return false;
        m_channels = format.channels;
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

    // Hands the file over in chunks at the pace a sound card would, against absolute
    // deadlines; after the end it delivers silence, as a live input would.
    void play() {
        std::array<int16_t, kFileChunkFrames * 2> chunk{};
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        const long chunkNs = static_cast<long>(1e9 * kFileChunkFrames / kCaptureRateHz);
        while (m_running.load()) {
            const int64_t total = m_file->frameCount();
            for (int i = 0; i < kFileChunkFrames; ++i) {
                const int64_t f = m_position + i;
                int16_t l = 0, r = 0;
                if (f < total) {
                    l = m_file->stereoFrames[2 * f];
                    r = m_file->stereoFrames[2 * f + 1];
                }
                if (m_channels == 1) {
                    chunk[i] = static_cast<int16_t>((static_cast<int32_t>(l) + r) / 2);
                } else {
                    chunk[2 * i] = l;
                    chunk[2 * i + 1] = r;
                }
            }
            m_position += kFileChunkFrames;
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

    std::shared_ptr<const SoundFileData> m_file;
    BufferQueue m_queue;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    bool m_open = false;
    int m_channels = 1;
    int64_t m_position = 0; // written by the player thread only while it runs
};

} // namespace

// ---------------------------------------------------------------- loading

std::shared_ptr<const SoundFileData> loadSoundFile(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf)
        throw std::runtime_error("cannot read sound file " + path.string() + ": " +
                                 sf_strerror(nullptr));
    if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0) {
        sf_close(sf);
        throw std::runtime_error("sound file " + path.string() + " holds no audio");
    }
    std::vector<float> raw(static_cast<size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(sf, raw.data(), info.frames);
    sf_close(sf);
    if (got <= 0) throw std::runtime_error("sound file " + path.string() + " holds no audio");

    // Keep the first two channels (a mono file feeds both).
    std::vector<float> stereo(static_cast<size_t>(got) * 2);
    for (sf_count_t i = 0; i < got; ++i) {
        stereo[2 * i] = raw[i * info.channels];
        stereo[2 * i + 1] = raw[i * info.channels + (info.channels > 1 ? 1 : 0)];
    }
    long frames = static_cast<long>(got);
    if (info.samplerate != kCaptureRateHz) {
        const double ratio = static_cast<double>(kCaptureRateHz) / info.samplerate;
        std::vector<float> out(static_cast<size_t>(std::ceil(frames * ratio)) * 2 + 2);
        SRC_DATA d{};
        d.data_in = stereo.data();
        d.input_frames = frames;
        d.data_out = out.data();
        d.output_frames = static_cast<long>(out.size() / 2);
        d.src_ratio = ratio;
        const int err = src_simple(&d, SRC_SINC_MEDIUM_QUALITY, 2);
        if (err != 0)
            throw std::runtime_error("cannot resample " + path.string() + ": " + src_strerror(err));
        frames = d.output_frames_gen;
        out.resize(static_cast<size_t>(frames) * 2);
        stereo.swap(out);
    }
    auto data = std::make_shared<SoundFileData>();
    data->name = path.filename().string();
    data->stereoFrames.resize(stereo.size());
    for (size_t i = 0; i < stereo.size(); ++i) {
        const float v = std::isfinite(stereo[i]) ? std::clamp(stereo[i], -1.0f, 1.0f) : 0.0f;
        data->stereoFrames[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
    }
    return data;
}

// ---------------------------------------------------------------- catalogue

SystemDeviceCatalog::SystemDeviceCatalog(std::shared_ptr<const SoundFileData> inputFile)
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
    return std::make_unique<FileInput>(m_file);
}

} // namespace dita
