#include "app/IqBand.h"

#include "receive/audio/CaptureFormat.h"
#include "receive/audio/PacedInput.h"
#include "skim/IqFileReader.h"
#include "skim/IqSource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace dita {

namespace {
constexpr double kTwoPi = 2.0 * M_PI;

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

namespace {

// A rate the filter bank cannot split is refused at start, not on the device.
void checkRate(const IqBandSource& source) {
    Skimmer probe;
    try {
        probe.configure(source.rateHz, {});
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error("cannot decode I/Q from " + source.path + ": " + e.what());
    }
}

// The source itself, opened afresh (a device is opened again after every reset).
std::unique_ptr<IqSource> openIqSource(const IqBandSource& s, std::string& error) {
    switch (s.input) {
    case IqInput::Soapy:
        return openSoapy(s.path, s.centerHz, s.rateHz, error);
    case IqInput::SoundCard:
        return openSoundCard(s.path, s.rateHz, s.swapIq, error);
    case IqInput::File:
        break;
    }
    return openIqFile(s.path, s.swapIq, error);
}

} // namespace

IqBandSource openIqBandSource(const std::string& path, double centerHz, bool swapIq) {
    IqFileReader reader;
    std::string error;
    if (!reader.open(path, swapIq, error)) throw std::runtime_error(error);
    IqBandSource source{IqInput::File, path, centerHz > 0.0 ? centerHz : centerHzFromName(path),
                        reader.rateHz(), swapIq};
    if (source.centerHz <= 0.0) {
        throw std::runtime_error("the name of " + path +
                                 " does not say the recording's centre frequency; give it with "
                                 "--center-hz HZ");
    }
    checkRate(source);
    return source;
}

IqBandSource openLiveIqBandSource(IqInput input, const std::string& device, double centerHz,
                                  double rateHz, bool swapIq) {
    if (centerHz <= 0.0)
        throw std::runtime_error("a live I/Q input needs the radio frequency of its centre: give "
                                 "it with --center-hz HZ");
    IqBandSource source{input, device, centerHz, rateHz, swapIq};
    std::string error;
    const auto opened = openIqSource(source, error);
    if (!opened) throw std::runtime_error(error);
    source.rateHz = opened->rateHz();
    checkRate(source);
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

// Plays the band: each block goes through the skimmer (told to the band's listener) and,
// tuned, to the capture buffers. A recording is played at real-time pace; after its end the
// skimmer is flushed once and silence follows, as a live input would. A live input delivers at
// its own pace: its reads wait for the samples, and a read that brings nothing in time gives
// the receiver a chunk of silence. When a live input fails, the band ends as a recording does.
class IqBandDevice : public PacedInput {
public:
    explicit IqBandDevice(IqBand& band) : m_band(band) {}
    ~IqBandDevice() override { close(); }

private:
    bool openSource(int) override {
        std::string error;
        m_source = openIqSource(m_band.source(), error);
        if (!m_source) {
            std::fprintf(stderr, "dita: %s\n", error.c_str());
            return false;
        }
        SkimmerSettings settings;
        settings.centerHz = m_band.source().centerHz;
        m_skimmer.configure(m_source->rateHz(), settings);
        m_mixer.configure(m_source->rateHz());
        // I/Q samples per chunk of audio, rounded up: the audio made runs ahead, never short.
        m_iq.resize(static_cast<size_t>(
            std::ceil(static_cast<double>(kChunkFrames) * m_source->rateHz() / kCaptureRateHz)));
        m_audio.clear();
        m_ended = false;
        return true;
    }

    bool selfPaced() const override { return m_source && m_source->live() && !m_ended; }

    void fillChunk(int16_t* interleaved, int channels) override {
        while (m_audio.size() < static_cast<size_t>(kChunkFrames)) {
            const int want = static_cast<int>(m_iq.size());
            std::fill(m_iq.begin(), m_iq.end(), std::complex<float>{});
            int got = m_ended ? 0 : m_source->read(m_iq.data(), want);
            if (got < 0) {
                std::fprintf(stderr, "dita: %s\n", m_source->error().c_str());
                got = 0;
                end();
            }
            if (got > 0) m_band.tellBand(m_skimmer.process(m_iq.data(), got));
            m_mixer.tune(m_band.tunedHz() - m_band.source().centerHz, m_band.pitchHz());
            if (selfPaced()) {
                if (got == 0) {
                    m_audio.resize(static_cast<size_t>(kChunkFrames), 0);
                    break;
                }
                m_mixer.process(m_iq.data(), got, m_audio);
                continue;
            }
            if (got < want && !m_ended) end();
            m_mixer.process(m_iq.data(), want, m_audio);
        }
        for (int i = 0; i < kChunkFrames; ++i)
            for (int c = 0; c < channels; ++c)
                interleaved[i * channels + c] = m_audio[static_cast<size_t>(i)];
        m_audio.erase(m_audio.begin(), m_audio.begin() + kChunkFrames);
    }

    void end() {
        m_ended = true;
        m_band.tellBand(m_skimmer.finish());
    }

    IqBand& m_band;
    // Used by the player thread only while it runs, and by open() while it does not.
    std::unique_ptr<IqSource> m_source;
    Skimmer m_skimmer;
    IqChannelMixer m_mixer;
    std::vector<std::complex<float>> m_iq;
    std::vector<int16_t> m_audio; // made, not yet handed over
    bool m_ended = false;
};

} // namespace

std::unique_ptr<InputDevice> IqBand::createDevice() {
    return std::make_unique<IqBandDevice>(*this);
}

std::string IqBandCatalog::name(int deviceId) const {
    if (deviceId == bandDeviceId()) {
        const IqBandSource& s = m_band.source();
        switch (s.input) {
        case IqInput::Soapy:
            return "I/Q: SoapySDR " + s.path;
        case IqInput::SoundCard:
            return "I/Q: sound card " + s.path;
        case IqInput::File:
            break;
        }
        return "I/Q: " + std::filesystem::path(s.path).filename().string();
    }
    return m_devices.name(deviceId);
}

std::unique_ptr<InputDevice> IqBandCatalog::create(int deviceId) {
    if (deviceId == bandDeviceId()) return m_band.createDevice();
    return m_devices.create(deviceId);
}

} // namespace dita
