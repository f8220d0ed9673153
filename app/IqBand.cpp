#include "app/IqBand.h"

#include "receive/audio/CaptureFormat.h"
#include "skim/IqFileReader.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace dita {

namespace {
constexpr double kTwoPi = 2.0 * M_PI;
constexpr int kChunkFrames = 1024; // audio handed over at a time (23.2 ms)

double wrapped(double phase) {
    return phase - kTwoPi * std::floor(phase / kTwoPi);
}
} // namespace

// ---------------------------------------------------------------- the tuned signal as audio

void IqChannelMixer::configure(double iqRateHz) {
    m_iqRateHz = iqRateHz;
    m_step = iqRateHz / kCaptureRateHz;
    for (auto& stage : m_lowPass)
        designLowPass6(stage, kHalfWidthHz, iqRateHz);
    reset();
}

void IqChannelMixer::reset() {
    for (auto& stage : m_lowPass)
        for (auto& s : stage)
            s.reset();
    m_inPhase = m_outPhase = 0.0;
    m_frac = 1.0;
    m_prev = {};
}

void IqChannelMixer::tune(double offsetHz, double pitchHz) {
    // The signal goes to 0 Hz for the low-pass; the output mix lifts it to its pitch.
    m_shiftHz = offsetHz;
    m_pitchHz = pitchHz;
}

void IqChannelMixer::process(const std::complex<float>* iq, int count, std::vector<int16_t>& out) {
    const double inStep = -kTwoPi * m_shiftHz / m_iqRateHz;
    const double outStep = kTwoPi * m_pitchHz / kCaptureRateHz;
    for (int i = 0; i < count; ++i) {
        std::complex<float> y = iq[i] * std::complex<float>(std::polar(1.0, m_inPhase));
        m_inPhase = wrapped(m_inPhase + inStep);
        for (auto& stage : m_lowPass)
            for (auto& s : stage)
                y = s.process(y);
        // Output samples between the previous input sample and this one, interpolated: the
        // stream is narrower than 1 kHz here, so a straight line between samples 22 us
        // apart or less is all the resampling it needs.
        while (m_frac <= 1.0) {
            const std::complex<float> v = m_prev + (y - m_prev) * static_cast<float>(m_frac);
            const double a = std::real(std::complex<double>(v) * std::polar(1.0, m_outPhase));
            m_outPhase = wrapped(m_outPhase + outStep);
            out.push_back(static_cast<int16_t>(std::clamp(std::lround(a), -32768L, 32767L)));
            m_frac += m_step;
        }
        m_frac -= 1.0;
        m_prev = y;
    }
}

// ---------------------------------------------------------------- the recording

IqBandSource openIqBandSource(const std::string& path, double centerHz, bool swapIq) {
    IqFileReader reader;
    std::string error;
    if (!reader.open(path, swapIq, error)) throw std::runtime_error(error);
    IqBandSource source{path, centerHz > 0.0 ? centerHz : centerHzFromName(path), reader.rateHz(),
                        swapIq};
    if (source.centerHz <= 0.0) {
        throw std::runtime_error("the name of " + path +
                                 " does not say the recording's centre frequency; give it with "
                                 "--center-hz HZ");
    }
    Skimmer probe; // a rate the filter bank cannot split is refused now, not on the device
    try {
        probe.configure(reader.rateHz(), {});
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error("cannot decode I/Q recording " + path + ": " + e.what());
    }
    return source;
}

IqBand::IqBand(IqBandSource source, double pitchHz)
    : m_source(std::move(source)), m_pitchHz(pitchHz), m_tunedHz(m_source.centerHz) {}

void IqBand::setBandListener(BandListener listener) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    m_listener = std::move(listener);
}

void IqBand::tellBand(const SkimResult& result) {
    std::lock_guard<std::mutex> lock(m_listenerMutex);
    if (m_listener) m_listener(result);
}

namespace {

// Plays the recording at real-time pace: each chunk goes through the skimmer (told to the
// band's listener) and, tuned, to the capture buffers. After the end the skimmer is flushed
// once and silence follows, as a live input would.
class IqBandDevice : public InputDevice {
public:
    explicit IqBandDevice(IqBand& band) : m_band(band) {}
    ~IqBandDevice() override { close(); }

    bool formatSupported(const CaptureFormat& format) override {
        return format.sampleRate == kCaptureRateHz &&
               (format.channels == 1 || format.channels == 2);
    }

    bool open(const CaptureFormat& format) override {
        close();
        if (!formatSupported(format)) return false;
        std::string error;
        const IqBandSource& s = m_band.source();
        if (!m_reader.open(s.path, s.swapIq, error)) return false;
        SkimmerSettings settings;
        settings.centerHz = s.centerHz;
        m_skimmer.configure(m_reader.rateHz(), settings);
        m_mixer.configure(m_reader.rateHz());
        m_channels = format.channels;
        m_chunks = m_samples = 0;
        m_ended = false;
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

    void play() {
        const double rate = m_reader.rateHz();
        std::vector<std::complex<float>> iq;
        std::vector<int16_t> audio, bytes;
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        const long chunkNs = static_cast<long>(1e9 * kChunkFrames / kCaptureRateHz);
        while (m_running.load()) {
            // Whole I/Q samples due by the end of this chunk, so that no rounding accumulates.
            ++m_chunks;
            const auto due = static_cast<int64_t>(
                std::floor(static_cast<double>(m_chunks) * kChunkFrames * rate / kCaptureRateHz));
            const int want = static_cast<int>(due - m_samples);
            iq.assign(static_cast<size_t>(want), {});
            const int got = m_ended ? 0 : m_reader.read(iq.data(), want);
            m_samples = due;
            if (got > 0) m_band.tellBand(m_skimmer.process(iq.data(), got));
            if (got < want && !m_ended) {
                m_ended = true;
                m_band.tellBand(m_skimmer.finish());
            }
            m_mixer.tune(m_band.tunedHz() - m_band.source().centerHz, m_band.pitchHz());
            audio.clear();
            m_mixer.process(iq.data(), want, audio);
            bytes.clear();
            for (const int16_t a : audio)
                bytes.insert(bytes.end(), static_cast<size_t>(m_channels), a);
            m_queue.write(reinterpret_cast<const uint8_t*>(bytes.data()),
                          static_cast<uint32_t>(bytes.size() * sizeof(int16_t)));
            next.tv_nsec += chunkNs;
            while (next.tv_nsec >= 1000000000L) {
                next.tv_nsec -= 1000000000L;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
    }

    IqBand& m_band;
    BufferQueue m_queue;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    bool m_open = false;
    int m_channels = 1;
    // Used by the player thread only while it runs, and by open() while it does not.
    IqFileReader m_reader;
    Skimmer m_skimmer;
    IqChannelMixer m_mixer;
    int64_t m_chunks = 0;
    int64_t m_samples = 0;
    bool m_ended = false;
};

} // namespace

std::unique_ptr<InputDevice> IqBand::createDevice() {
    return std::make_unique<IqBandDevice>(*this);
}

std::string IqBandCatalog::name(int deviceId) const {
    if (deviceId == bandDeviceId())
        return "I/Q: " + std::filesystem::path(m_band.source().path).filename().string();
    return m_devices.name(deviceId);
}

std::unique_ptr<InputDevice> IqBandCatalog::create(int deviceId) {
    if (deviceId == bandDeviceId()) return m_band.createDevice();
    return m_devices.create(deviceId);
}

} // namespace dita
