#include "skim/IqSource.h"

#include "skim/IqFileReader.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <portaudio.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace dita {

namespace {

constexpr float kFullScale = 32768.0f;
constexpr long kSoapyTimeoutUs = 500000;
constexpr int kStereo = 2;

class FileSource final : public IqSource {
public:
    IqFileReader reader;
    std::string path;
    double rateHz() const override { return reader.rateHz(); }
    int read(std::complex<float>* out, int count) override {
        const int got = reader.read(out, count);
        return got == 0 && !reader.error().empty() ? -1 : got;
    }
    const std::string& error() const override { return reader.error(); }
    double centerHzHint() const override { return centerHzFromName(path); }
    bool live() const override { return false; }
};

class SoapySource final : public IqSource {
public:
    ~SoapySource() override {
        if (m_device) {
            if (m_stream) {
                m_device->deactivateStream(m_stream);
                m_device->closeStream(m_stream);
            }
            SoapySDR::Device::unmake(m_device);
        }
    }
    bool open(const std::string& args, double centerHz, double rateHz, std::string& error) {
        const auto found = SoapySDR::Device::enumerate(args);
        if (found.empty()) {
            error = "no SDR device found for '" + args +
                    "' (is it plugged in, and its SoapySDR module installed? `SoapySDRUtil --find` "
                    "lists the devices SoapySDR sees)";
            return false;
        }
        try {
            m_device = SoapySDR::Device::make(args);
            m_device->setSampleRate(SOAPY_SDR_RX, 0, rateHz);
            if (centerHz > 0) m_device->setFrequency(SOAPY_SDR_RX, 0, centerHz);
            m_rateHz = m_device->getSampleRate(SOAPY_SDR_RX, 0);
            // The same arguments go to the stream too: some modules take their channel setup there
            // (the audio module's "chan=stereo_iq"), and modules ignore keys they do not know.
            m_stream = m_device->setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32, {0},
                                             SoapySDR::KwargsFromString(args));
            if (m_device->activateStream(m_stream) != 0) {
                error = "the SDR device '" + args + "' would not start streaming";
                return false;
            }
        } catch (const std::exception& e) {
            error = "cannot open the SDR device '" + args + "': " + e.what();
            return false;
        }
        return true;
    }
    double rateHz() const override { return m_rateHz; }
    int read(std::complex<float>* out, int count) override {
        void* buffers[] = {out};
        int flags = 0;
        long long timeNs = 0;
        const int got = m_device->readStream(m_stream, buffers, static_cast<size_t>(count), flags,
                                             timeNs, kSoapyTimeoutUs);
        // A timeout or a lost block is no end: the caller reads again.
        if (got == SOAPY_SDR_TIMEOUT || got == SOAPY_SDR_OVERFLOW) return 0;
        if (got < 0) {
            m_error = std::string("the SDR stopped: ") + SoapySDR::errToStr(got);
            return -1;
        }
        for (int i = 0; i < got; ++i)
            out[i] *= kFullScale;
        return got;
    }
    const std::string& error() const override { return m_error; }

private:
    SoapySDR::Device* m_device = nullptr;
    SoapySDR::Stream* m_stream = nullptr;
    double m_rateHz = 0.0;
    std::string m_error;
};

class SoundSource final : public IqSource {
public:
    ~SoundSource() override {
        if (m_stream) {
            Pa_StopStream(m_stream);
            Pa_CloseStream(m_stream);
        }
        if (m_initialised) Pa_Terminate();
    }
    bool open(const std::string& device, double rateHz, bool swapIq, std::string& error) {
        if (Pa_Initialize() != paNoError) {
            error = "cannot start PortAudio";
            return false;
        }
        m_initialised = true;
        const int index = findDevice(device);
        if (index < 0) {
            error = "no sound input with two channels matches '" + device +
                    "' (dita-skimmer --list-sound lists them)";
            return false;
        }
        PaStreamParameters in{};
        in.device = index;
        in.channelCount = kStereo;
        in.sampleFormat = paFloat32;
        in.suggestedLatency = Pa_GetDeviceInfo(index)->defaultHighInputLatency;
        const PaError e = Pa_OpenStream(&m_stream, &in, nullptr, rateHz,
                                        paFramesPerBufferUnspecified, paNoFlag, nullptr, nullptr);
        if (e != paNoError || Pa_StartStream(m_stream) != paNoError) {
            error = "cannot record I/Q from '" + std::string(Pa_GetDeviceInfo(index)->name) +
                    "' at " + std::to_string(static_cast<int>(rateHz)) +
                    " Hz: " + Pa_GetErrorText(e);
            return false;
        }
        m_rateHz = rateHz;
        m_swap = swapIq;
        return true;
    }
    double rateHz() const override { return m_rateHz; }
    int read(std::complex<float>* out, int count) override {
        m_interleaved.resize(static_cast<size_t>(count) * kStereo);
        const PaError e = Pa_ReadStream(m_stream, m_interleaved.data(), count);
        if (e != paNoError && e != paInputOverflowed) {
            m_error = std::string("the sound card stopped: ") + Pa_GetErrorText(e);
            return -1;
        }
        const int i = m_swap ? 1 : 0;
        for (int n = 0; n < count; ++n)
            out[n] = {m_interleaved[static_cast<size_t>(kStereo * n + i)] * kFullScale,
                      m_interleaved[static_cast<size_t>(kStereo * n + 1 - i)] * kFullScale};
        return count;
    }
    const std::string& error() const override { return m_error; }

private:
    static int findDevice(const std::string& device) {
        char* end = nullptr;
        const long number = std::strtol(device.c_str(), &end, 10);
        const int count = Pa_GetDeviceCount();
        if (!device.empty() && !*end)
            return number >= 0 && number < count &&
                           Pa_GetDeviceInfo(static_cast<int>(number))->maxInputChannels >= kStereo
                       ? static_cast<int>(number)
                       : -1;
        for (int i = 0; i < count; ++i) {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
            if (info->maxInputChannels >= kStereo &&
                std::string(info->name).find(device) != std::string::npos)
                return i;
        }
        return -1;
    }

    PaStream* m_stream = nullptr;
    bool m_initialised = false;
    double m_rateHz = 0.0;
    bool m_swap = false;
    std::vector<float> m_interleaved;
    std::string m_error;
};

} // namespace

std::unique_ptr<IqSource> openIqFile(const std::string& path, bool swapIq, std::string& error) {
    auto source = std::make_unique<FileSource>();
    source->path = path;
    if (!source->reader.open(path, swapIq, error)) return nullptr;
    return source;
}

std::unique_ptr<IqSource> openSoapy(const std::string& args, double centerHz, double rateHz,
                                    std::string& error) {
    auto source = std::make_unique<SoapySource>();
    if (!source->open(args, centerHz, rateHz, error)) return nullptr;
    return source;
}

std::unique_ptr<IqSource> openSoundCard(const std::string& device, double rateHz, bool swapIq,
                                        std::string& error) {
    auto source = std::make_unique<SoundSource>();
    if (!source->open(device, rateHz, swapIq, error)) return nullptr;
    return source;
}

std::string listSoundCards() {
    std::string out;
    if (Pa_Initialize() != paNoError) return "cannot start PortAudio\n";
    for (int i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info->maxInputChannels < kStereo) continue;
        out += std::to_string(i) + ": " + info->name + " (" +
               std::to_string(info->maxInputChannels) + " inputs, default " +
               std::to_string(static_cast<int>(info->defaultSampleRate)) + " Hz)\n";
    }
    Pa_Terminate();
    return out.empty() ? "no sound input with two channels\n" : out;
}

} // namespace dita
