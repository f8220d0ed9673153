// dita-send: keys a text in Morse through DITA's sound-card path into a WAV file or onto the
// default sound output, or on a serial port's DTR/RTS lines.
#include "common/Latin1.h"
#include "station/CwDaemonListener.h"
#include "station/CwKeyingQueue.h"
#include "transmit/Keyer.h"
#include "transmit/KeyingPort.h"
#include "transmit/PortAudioToneDevice.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"
#include "transmit/WavToneDevice.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr int kUsageError = 2;
constexpr int kRunError = 1;
constexpr int kDrainMarginMs = 100;
constexpr int kSignalPollMs = 100;
constexpr auto kListenDrainTimeout = std::chrono::minutes(10);

const char* kUsage =
    "usage: dita-send [--wpm N] [--tone HZ] [--square] [--ramp MS] [--carrier SECONDS]\n"
    "                 [--out FILE.wav] TEXT...\n"
    "       dita-send --serial COM_OR_DEVICE [--invert] [--ptt dtr|rts] [--wpm N] [--carrier "
    "SECONDS] TEXT...\n"
    "       dita-send [--serial ... | --out FILE.wav ...] --listen [ADDRESS:]PORT\n"
    "\n"
    "Keys TEXT in Morse code. Without --serial the keyed tone goes into a 44,100 Hz 16-bit mono\n"
    "WAV file (--out) or plays on the default sound output. With --serial the DTR and RTS lines\n"
    "of the port key the transmitter (a number n stands for COM n, see the DITA folder's com<n>).\n"
    "\n"
    "  --wpm N            speed, 10 to 125 words per minute (serial: at most 50), default 20\n"
    "  --tone HZ          tone frequency: 600, 750, 1000 or 2500, default 750\n"
    "  --square           square wave instead of sine\n"
    "  --ramp MS          rise and fall of each element (raised cosine, inside the\n"
    "                     element), 0 to 50 ms, default 5; 0 keys the tone hard\n"
    "  --carrier SECONDS  length of the carrier a back-quote (`) keys, 1 to 5, default 1\n"
    "  --out FILE.wav     write the tone into FILE.wav instead of playing it\n"
    "  --serial PORT      key a serial port (COM number or device file)\n"
    "  --invert           invert the key lines (key down clears them)\n"
    "  --ptt dtr|rts      use that line as PTT (20 ms before and after each character);\n"
    "                     the other line keys\n"
    "  --ptt-hang MS      with --listen: PTT stays on MS after a logger's last element,\n"
    "                     0 to 5000, default 200 (it rises 20 ms before the first)\n"
    "  --listen [ADDRESS:]PORT\n"
    "                     instead of TEXT, key what loggers send with the cwdaemon UDP\n"
    "                     protocol as cwdaemon keys it (PARIS speed 4 to 60 wpm, ++/--,\n"
    "                     prosigns, tone, abort, tune, replies, PTT, word mode, reset) on ADDRESS\n"
    "                     (default 127.0.0.1; port 0 picks a free one, printed at start) until\n"
    "                     a client's exit request or SIGINT/SIGTERM\n"
    "  --help, --version\n";

struct Options {
    int wpm = 20;
    float toneHz = dita::ToneSettings{}.SidetoneFreq;
    bool square = false;
    std::optional<int> rampMs;
    int carrierSeconds = 1;
    int pttHangMs = dita::kPttHangDefaultMs;
    std::string out;
    std::string serial;
    std::optional<int> comNumber; // --serial gave a COM number rather than a device file
    bool invert = false;
    std::string ptt;
    std::string text;
    std::string listenAddress;
    std::optional<uint16_t> listenPort;
};

std::atomic<bool> g_signalled{false};
extern "C" void onSignal(int) {
    g_signalled = true;
}

// SIGINT and SIGTERM stop the keying (within a character) instead of ending the program with
// the key down: the lines go up and PTT drops on the way out.
void stopOnSignals() {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

// Text written to standard output (--help, --version): a failed write is an error.
int printed(const std::string& text) {
    std::cout << text << std::flush;
    if (std::cout) return 0;
    std::cerr << "dita-send: cannot write standard output\n";
    return kRunError;
}

// A WAV file written for the listener advances no faster than real time, as a sound card
// would: what clients send then queues and is dropped when the queue is full, instead of
// every datagram of a flood being rendered at once into an ever longer file.
class RealTimePacedDevice : public dita::ToneDevice {
public:
    explicit RealTimePacedDevice(dita::ToneDevice& device) : m_device(device) {}
    bool formatSupported() override { return m_device.formatSupported(); }
    bool open() override { return m_device.open(); }
    bool prepare(dita::ToneBlock block) override { return m_device.prepare(block); }
    bool write(dita::ToneBlock block, const int16_t* samples, int count) override {
        // No credit for idle time: a block is due at the end of the one before it, or now.
        const auto now = std::chrono::steady_clock::now();
        if (m_due > now)
            std::this_thread::sleep_until(m_due);
        else
            m_due = now;
        m_due += std::chrono::microseconds(static_cast<int64_t>(count) * 1000000 /
                                           dita::kToneSampleRateHz);
        return m_device.write(block, samples, count);
    }
    bool isDone(dita::ToneBlock block) override { return m_device.isDone(block); }
    bool setVolume(uint32_t volume) override { return m_device.setVolume(volume); }
    bool restart() override { return m_device.restart(); }
    bool position(int64_t& bytes) override { return m_device.position(bytes); }
    bool reset() override { return m_device.reset(); }
    bool unprepare(dita::ToneBlock block) override { return m_device.unprepare(block); }

private:
    dita::ToneDevice& m_device;
    std::chrono::steady_clock::time_point m_due{};
};

int usageError(const std::string& message) {
    std::cerr << "dita-send: " << message << "\n\n" << kUsage;
    return kUsageError;
}

std::optional<int> parseInt(const std::string& s) {
    try {
        size_t used = 0;
        const long v = std::stol(s, &used);
        if (used != s.size() || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
        return static_cast<int>(v);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool isNumber(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void printMessage(const std::string& text, const std::string& caption) {
    std::cerr << "dita-send: " << caption << ": " << text << "\n";
}

// Keys o.text, or with --listen what cwdaemon clients send, through keyer. Speed requests are
// cut to maxWpm; setPtt and setTone apply the client's PTT and tone requests.
bool keyTextOrListen(const Options& o, dita::Keyer& keyer, dita::SendTimingStore& timing,
                     int maxWpm, std::function<void(bool)> setPtt,
                     std::function<void(int32_t)> setTone) {
    stopOnSignals();
    if (!o.listenPort) return keyer.sendText(o.text, g_signalled);
    dita::CwKeyingHooks hooks;
    hooks.keyer = [&keyer] { return &keyer; };
    hooks.setSpeed = [&timing, maxWpm](int32_t wpm) {
        timing.publish(dita::ComputeSendTiming(std::min(wpm, maxWpm)));
    };
    hooks.setTone = std::move(setTone);
    hooks.setPtt = std::move(setPtt);
    hooks.keyed = [](const std::string& word) {
        std::cout << "keyed: " << dita::latin1ToUtf8(word) << std::endl;
    };
    hooks.report = [](const std::string& why) { std::cerr << "dita-send: " << why << "\n"; };
    // Replies go out through the listener's socket; set once it is listening.
    std::atomic<dita::CwDaemonListener*> replyVia{nullptr};
    hooks.reply = [&replyVia](const dita::CwDaemonPeer& to, const std::string& datagram) {
        if (dita::CwDaemonListener* l = replyVia.load()) l->reply(to, datagram);
    };
    hooks.pttHangMs = o.pttHangMs;
    hooks.startWpm = std::min(o.wpm, maxWpm); // speeds above 60 are cwdaemon's 60
    dita::CwKeyingQueue queue(hooks);
    std::mutex exitMutex;
    std::condition_variable exitWake;
    bool exitRequested = false;
    dita::CwDaemonListener listener(
        [&](const dita::CwDaemonRequest& request) {
            if (request.command == dita::CwDaemonCommand::Exit) {
                std::lock_guard lock(exitMutex);
                exitRequested = true;
                exitWake.notify_all();
                return;
            }
            queue.handle(request);
        },
        hooks.report);
    const std::string error = listener.start(o.listenAddress, *o.listenPort);
    if (!error.empty()) {
        std::cerr << "dita-send: " << error << "\n";
        return false;
    }
    replyVia = &listener;
    std::cout << "listening on " << o.listenAddress << ":" << listener.boundPort() << std::endl;
    {
        std::unique_lock lock(exitMutex);
        while (!exitRequested && !g_signalled.load()) {
            exitWake.wait_for(lock, std::chrono::milliseconds(kSignalPollMs));
        }
    }
    listener.stop();
    // A client's exit request comes after its last text: that text is keyed before leaving,
    // unless a signal asks to stop meanwhile.
    const auto giveUp = std::chrono::steady_clock::now() + kListenDrainTimeout;
    bool aborted = false;
    for (;;) {
        if (g_signalled.load() && !aborted) {
            queue.abort();
            aborted = true;
        }
        if (queue.waitIdle(std::chrono::milliseconds(kSignalPollMs))) break;
        if (std::chrono::steady_clock::now() > giveUp) {
            replyVia = nullptr;
            return false;
        }
    }
    replyVia = nullptr;
    return true;
}

int runSerial(const Options& o) {
    // The window's "Failed to open the COMs device" box is for an operator at the menus; in a
    // terminal the device file and the system's reason say more.
    std::string openError;
    auto messages = [](const std::string& text, const std::string& caption) {
        if (text != dita::kComOpenFailedText) printMessage(text, caption);
    };
    auto opener = [&openError](const std::string& path) -> std::unique_ptr<dita::ModemLines> {
        if (path.empty()) {
            openError = "no device file stands for this number";
            return nullptr;
        }
        return dita::SerialDevice::open(path, &openError);
    };
    dita::KeyingPort port(messages, opener);
    port.OutputDevice = dita::kOutputSerialPort;
    port.OutputPort = dita::kOutputPortNumber;
    port.KeyInvert = o.invert ? dita::kKeyInverted : dita::kKeyNormal;
    dita::PttSettings ptt;
    if (o.ptt == "dtr") {
        ptt.DtrIsData = false;
        ptt.DtrIsPtt = true;
        ptt.PttEnable = true;
    } else if (o.ptt == "rts") {
        ptt.RtsIsData = false;
        ptt.RtsIsPtt = true;
        ptt.PttEnable = true;
    }
    port.setPtt(ptt);
    std::string portName = o.serial;
    if (o.comNumber) {
        portName = "COM " + o.serial;
        port.OpenComPort(*o.comNumber);
    } else {
        port.openDevice(o.serial);
    }
    if (!port.PortOpen()) {
        std::cerr << "dita-send: cannot open the serial port " << portName << " (" << openError
                  << ")\n";
        return kRunError;
    }
    port.KeyState = dita::kKeyUp;
    port.updatePtt(false);

    int wpm = o.wpm;
    if (wpm > dita::kSerialMaxWpm) {
        printMessage(dita::kSerialSpeedNoteText, dita::kTransmitSpeedNoteCaption);
        wpm = dita::kSerialMaxWpm;
    }
    dita::SendTimingStore timing;
    timing.publish(dita::ComputeSendTiming(wpm));
    dita::MonotonicClock clock;
    // Holds PTT between the transmissions of a logger (its hang time).
    dita::PttHoldTimer pttHold(port);
    dita::SerialKeyer keyer(port, timing, clock, &pttHold);
    keyer.setBeaconCarrier(dita::beaconCarrierFor(o.carrierSeconds));
    dita::tryRealtimeScheduling(); // steadier element lengths when allowed; fine without
    const bool ok = keyTextOrListen(o, keyer, timing, dita::kSerialMaxWpm,
                                    [&port](bool on) {
                                        port.KeyState = on ? dita::kKeyDown : dita::kKeyUp;
                                        port.updatePtt(on);
                                    },
                                    {});
    port.KeyState = dita::kKeyUp;
    port.SetKeyLines(dita::kKeyUp);
    port.updatePtt(false);
    return ok ? 0 : kRunError;
}

int runTone(const Options& o) {
    dita::SendTimingStore timing;
    timing.publish(dita::ComputeSendTiming(o.wpm));
    dita::MonotonicClock clock;
    bool failed = false;
    auto play = [&](dita::ToneDevice& device) {
        dita::ToneOutput output(
            device, printMessage, [&] { failed = true; }, clock);
        if (!output.SetupOutputFormat() || !output.OpenToneOutput() ||
            !output.SetToneVolume(dita::kFullToneVolume)) {
            return false;
        }
        dita::ToneKeyer keyer(output, timing);
        dita::ToneSettings tone;
        tone.SidetoneFreq = o.toneHz;
        tone.SidetoneWaveform = o.square ? dita::kSquareWave : dita::kSineWave;
        tone.SidetoneOn = true;
        keyer.setTone(tone);
        if (o.rampMs) keyer.setRampMs(static_cast<float>(*o.rampMs));
        keyer.setBeaconCarrier(dita::beaconCarrierFor(o.carrierSeconds));
        auto setTone = [&keyer, tone](int32_t hz) mutable {
            tone.SidetoneOn = hz != 0;
            if (hz != 0) tone.SidetoneFreq = static_cast<float>(hz);
            keyer.setTone(tone);
        };
        return keyTextOrListen(o, keyer, timing, dita::kMaxXmitWpm, {}, setTone) && !failed;
    };
    if (!o.out.empty()) {
        dita::WavToneDevice device(o.out);
        RealTimePacedDevice paced(device);
        const bool ok = o.listenPort ? play(paced) : play(device);
        if (!device.lastError().empty()) std::cerr << "dita-send: " << device.lastError() << "\n";
        return device.close() && ok ? 0 : kRunError;
    }
    dita::PortAudioToneDevice device;
    const bool ok = play(device);
    if (!device.lastError().empty()) std::cerr << "dita-send: " << device.lastError() << "\n";
    device.drain(kDrainMarginMs);
    return ok ? 0 : kRunError;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    bool sawTone = false, sawSquare = false, sawOut = false, sawInvert = false, sawPtt = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            return printed(kUsage);
        } else if (arg == "--version") {
            return printed(std::string("dita-send ") + DITA_VERSION + "\n");
        } else if (arg == "--wpm") {
            const auto v = value();
            const auto n = v ? parseInt(*v) : std::nullopt;
            if (!n || *n < dita::kMinXmitWpm || *n > dita::kMaxXmitWpm) {
                return usageError("--wpm needs a speed from 10 to 125");
            }
            o.wpm = *n;
        } else if (arg == "--tone") {
            const auto v = value();
            const auto n = v ? parseInt(*v) : std::nullopt;
            const bool known = n && std::any_of(std::begin(dita::kSidetoneFrequenciesHz),
                                                std::end(dita::kSidetoneFrequenciesHz),
                                                [&](float hz) { return hz == *n; });
            if (!known) return usageError("--tone must be 600, 750, 1000 or 2500");
            o.toneHz = static_cast<float>(*n);
            sawTone = true;
        } else if (arg == "--square") {
            o.square = sawSquare = true;
        } else if (arg == "--ramp") {
            const auto v = value();
            const auto n = v ? parseInt(*v) : std::nullopt;
            if (!n || *n < 0 || *n > static_cast<int>(dita::kMaxToneRampMs))
                return usageError("--ramp needs 0 to 50 ms");
            o.rampMs = *n;
        } else if (arg == "--carrier") {
            const auto v = value();
            const auto n = v ? parseInt(*v) : std::nullopt;
            if (!n || *n < 1 || *n > 5) return usageError("--carrier needs 1 to 5 seconds");
            o.carrierSeconds = *n;
        } else if (arg == "--out") {
            const auto v = value();
            if (!v || v->empty()) return usageError("--out needs a file name");
            o.out = *v;
            sawOut = true;
        } else if (arg == "--serial") {
            const auto v = value();
            if (!v || v->empty()) return usageError("--serial needs a COM number or a device");
            o.serial = *v;
            if (isNumber(o.serial)) {
                o.comNumber = parseInt(o.serial);
                if (!o.comNumber || *o.comNumber < 1)
                    return usageError("--serial takes a COM number from 1 to " +
                                      std::to_string(INT32_MAX) + " or a device file, not " +
                                      o.serial);
            }
        } else if (arg == "--invert") {
            o.invert = sawInvert = true;
        } else if (arg == "--ptt") {
            const auto v = value();
            if (!v || (*v != "dtr" && *v != "rts")) return usageError("--ptt must be dtr or rts");
            o.ptt = *v;
            sawPtt = true;
        } else if (arg == "--ptt-hang") {
            const auto v = value();
            const auto n = v ? parseInt(*v) : std::nullopt;
            if (!n || *n < 0 || *n > dita::kPttHangMaxMs)
                return usageError("--ptt-hang needs 0 to " + std::to_string(dita::kPttHangMaxMs) +
                                  " ms");
            o.pttHangMs = *n;
        } else if (arg == "--listen") {
            const auto v = value();
            if (!v) return usageError("--listen needs [ADDRESS:]PORT");
            const auto colon = v->rfind(':');
            const std::string portText = colon == std::string::npos ? *v : v->substr(colon + 1);
            o.listenAddress =
                colon == std::string::npos ? dita::kCwDaemonDefaultAddress : v->substr(0, colon);
            const auto n = isNumber(portText) ? parseInt(portText) : std::nullopt;
            if (!n || *n > UINT16_MAX)
                return usageError("--listen port must be 0 to 65535, not '" + portText + "'");
            o.listenPort = static_cast<uint16_t>(*n);
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                o.text += (o.text.empty() ? "" : " ") + std::string(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return usageError("unknown option " + arg);
        } else {
            o.text += (o.text.empty() ? "" : " ") + arg;
        }
    }
    if (o.text.empty() && !o.listenPort) return usageError("no text to send");
    if (!o.text.empty() && o.listenPort)
        return usageError("--listen keys what clients send, not TEXT");
    if (o.serial.empty() && (sawInvert || sawPtt)) {
        return usageError("--invert and --ptt only apply with --serial");
    }
    if (!o.serial.empty() && (sawTone || sawSquare || sawOut || o.rampMs)) {
        return usageError("--tone, --square, --ramp and --out do not apply with --serial");
    }
    o.text = dita::utf8ToLatin1(o.text);
    return o.serial.empty() ? runTone(o) : runSerial(o);
}
