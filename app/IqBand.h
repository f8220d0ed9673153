#pragma once
// IqBand: the I/Q of a whole band as the window's input: a recording (dita --iq-file), played
// at real-time pace, or a live SDR or sound-card SDR (--iq-soapy, --iq-sound), as one more
// input device: the skimmer decodes every signal in it for the Band window, and the main
// decoder hears the one signal it is tuned to, mixed down to a receiver's audio as an
// upper-sideband receiver would give it.
//
// Who calls it: main() opens it and the window tunes it (tune(), any thread); the receive
// loop's worker drives the device the catalogue makes; the device's player thread calls the
// band listener after each block. IqChannelMixer is the plain DSP stage, used by that thread.
// No Qt.
#include "receive/audio/InputDevice.h"
#include "receive/band/ComplexBiquad.h"
#include "skim/Skimmer.h"

#include <array>
#include <atomic>
#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dita {

// The tuned signal of a wideband I/Q stream as receiver audio at 44,100 Hz: shifted so that
// the signal sounds at the pitch asked for, through a 1 kHz CW filter around it (only the
// upper side of the receiver's frequency, as a receiver in CW would give it).
class IqChannelMixer {
public:
    // The filter passes the pitch +- this much: the decoder's AFC hears the signal tuned and no
    // neighbour to wander to.
    static constexpr double kHalfWidthHz = 500.0;

    void configure(double iqRateHz);
    void reset();
    // offsetHz: the signal's distance from the stream's centre; it comes out at pitchHz.
    void tune(double offsetHz, double pitchHz);
    // Appends the audio of count I/Q samples (16-bit units) to out.
    void process(const std::complex<float>* iq, int count, std::vector<int16_t>& out);

private:
    double m_iqRateHz = 0.0;
    double m_shiftHz = 0.0; // the input is shifted down by this much
    double m_pitchHz = 0.0;
    double m_inPhase = 0.0, m_outPhase = 0.0;
    double m_step = 1.0; // input samples per output sample
    double m_frac = 1.0; // where the next output sample falls after m_prev
    std::complex<float> m_prev{};
    // Two sixth-order low-passes in turn: a signal on the other side of the receiver's
    // frequency, at the same pitch, is more than 100 dB down; one 600 Hz off the tuned one,
    // 80 dB.
    std::array<ComplexLowPass6, 2> m_lowPass{};
};

// Where the band comes from: a recording, an SDR through SoapySDR, or a two-channel sound card.
enum class IqInput { File, Soapy, SoundCard };

struct IqBandSource {
    IqInput input = IqInput::File;
    std::string path;      // the recording; for a live input, its device (arguments or name)
    double centerHz = 0.0; // the radio frequency of the band's centre
    double rateHz = 0.0;   // its sample rate, which is the span it covers
    bool swapIq = false;
};

// Checks the recording reads as I/Q and knows its centre (given, or from its name as SDR
// programs write it). Throws std::runtime_error with a message for the user otherwise.
IqBandSource openIqBandSource(const std::string& path, double centerHz, bool swapIq);
// Opens a live input once to check it streams I/Q at a rate the skimmer splits (the device's
// own rate may differ from the one asked for). Throws std::runtime_error with a message.
IqBandSource openLiveIqBandSource(IqInput input, const std::string& device, double centerHz,
                                  double rateHz, bool swapIq);

class IqBand {
public:
    // The pitch the tuned signal sounds at, and the band after each block of the recording.
    using BandListener = std::function<void(const SkimResult& result)>;

    IqBand(IqBandSource source, double pitchHz);

    const IqBandSource& source() const { return m_source; }
    double pitchHz() const { return m_pitchHz; }
    // The radio frequency the main decoder hears (at pitchHz); the centre until tuned.
    void tune(double radioHz) { m_tunedHz = radioHz; }
    double tunedHz() const { return m_tunedHz.load(); }
    // Who hears the band (empty: nobody); the player thread calls it after this returns only
    // with the new one.
    void setBandListener(BandListener listener);
    void tellBand(const SkimResult& result);

    // The device that plays the band: mono or stereo 16-bit at 44,100 Hz.
    std::unique_ptr<InputDevice> createDevice();

private:
    IqBandSource m_source;
    double m_pitchHz;
    std::atomic<double> m_tunedHz;
    std::mutex m_listenerMutex;
    BandListener m_listener;
};

// The numbered input devices with the I/Q recording as one more at the end.
class IqBandCatalog : public DeviceCatalog {
public:
    IqBandCatalog(DeviceCatalog& devices, IqBand& band) : m_devices(devices), m_band(band) {}
    int count() const override { return m_devices.count() + 1; }
    std::string name(int deviceId) const override;
    std::unique_ptr<InputDevice> create(int deviceId) override;
    int bandDeviceId() const { return m_devices.count(); }

private:
    DeviceCatalog& m_devices;
    IqBand& m_band;
};

} // namespace dita
