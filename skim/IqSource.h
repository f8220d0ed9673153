#pragma once
// IqSource: where dita-skimmer's I/Q comes from: a recording (played at real-time pace or as
// fast as it decodes), an SDR through SoapySDR, or a two-channel sound card through PortAudio
// (the classic sound-card SDR: I on the left input, Q on the right). Samples come in 16-bit
// units. Opened and read on the skimmer's decoding thread.
#include <complex>
#include <memory>
#include <string>

namespace dita {

class IqSource {
public:
    virtual ~IqSource() = default;
    virtual double rateHz() const = 0;
    // Reads up to count samples, waiting for them where the source is live. Returns the number
    // read; 0 at the end of a recording (a live source: nothing arrived in time, read again);
    // -1 on an error (see error()).
    virtual int read(std::complex<float>* out, int count) = 0;
    virtual const std::string& error() const = 0;
    // A recording may give its centre in its name; 0 when it does not.
    virtual double centerHzHint() const { return 0.0; }
    // Live sources deliver at their own pace; a recording is paced by the caller.
    virtual bool live() const { return true; }
};

// A recording read through IqFileReader; nullptr and a message when it cannot be opened.
std::unique_ptr<IqSource> openIqFile(const std::string& path, bool swapIq, std::string& error);

// An SDR found by SoapySDR's device arguments ("driver=rtlsdr", "" for the first one), tuned to
// centerHz at rateHz. When no device answers, the message says so and names SoapySDRUtil
// --find.
std::unique_ptr<IqSource> openSoapy(const std::string& args, double centerHz, double rateHz,
                                    std::string& error);

// A two-channel PortAudio input: device by number (as in `dita-skimmer --list-sound`) or by a
// part of its name.
std::unique_ptr<IqSource> openSoundCard(const std::string& device, double rateHz, bool swapIq,
                                        std::string& error);
// The PortAudio devices with at least two input channels, a line each.
std::string listSoundCards();

} // namespace dita
