// dita: the main window. Decodes CW from a sound card input, or from a sound file played at
// real-time pace (--input-file), and shows the text as it is received.
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/BandWorker.h"
#include "app/DecoderForm.h"
#include "app/EnginePassProcessor.h"
#include "app/IqBand.h"
#include "app/config/ConfigurationFiles.h"
#include "common/DitaPaths.h"
#include "common/SettingsFile.h"
#include "display/BandWindow.h"
#include "receive/audio/SystemDevices.h"
#include "transmit/PortAudioToneDevice.h"

namespace {

// The tones the spectrum shows: 100 Hz up to the highest the display can be clicked to.
constexpr int kMinToneHz = 100;
constexpr int kMaxToneHz = 2500;
constexpr double kMsPerS = 1000.0;
// The pitch a signal tuned in an I/Q band sounds at: the spectrum bin nearest 700 Hz.
constexpr double kIqPitchHz = 700.0;
// Sample rates a live I/Q input is asked for unless --iq-rate says otherwise.
constexpr double kSoapyRateHz = 192000.0;
constexpr double kSoundIqRateHz = 48000.0;
// The longest run --quit-after can ask for: what a Qt timer holds (about 24.8 days).
constexpr double kMaxQuitAfterS = std::numeric_limits<int>::max() / kMsPerS;

void usage(std::FILE* out) {
    std::fputs(
        "usage: dita [--input-file FILE | (--iq-file FILE | --iq-soapy ARGS | --iq-sound DEVICE)\n"
        "            [--center-hz HZ] [--iq-rate HZ] [--swap-iq] [--iq-tune HZ]]\n"
        "            [--tone HZ] [--select ITEM]... [--screenshot PNG] [--quit-after SECONDS]\n"
        "  --input-file FILE   add FILE (any format libsndfile reads) as one more sound\n"
        "                      input device, played at real-time pace, and use it\n"
        "  --iq-file FILE      a stereo I/Q recording of a band (left I, right Q) as the\n"
        "                      input: the Band window lists every signal in it, and a\n"
        "                      click on one tunes the decoder to it\n"
        "  --iq-soapy ARGS     the same from an SDR through SoapySDR, live (device arguments\n"
        "                      as dita-skimmer takes them, e.g. \"driver=rtlsdr\")\n"
        "  --iq-sound DEVICE   the same from a two-channel sound card (the classic sound-card\n"
        "                      SDR), live: a number or part of the name, as dita-skimmer\n"
        "                      --list-sound lists them\n"
        "  --center-hz HZ      the band's centre frequency (a recording: else from its name)\n"
        "  --iq-rate HZ        sample rate of a live input (default 192000 SoapySDR, 48000\n"
        "                      sound card)\n"
        "  --swap-iq           Q is on the left\n"
        "  --iq-tune HZ        start with the decoder on this radio frequency\n"
        "  --tone HZ           start tuned to this tone (100-2500 Hz); a click on the\n"
        "                      spectrum tunes as well\n"
        "  --select ITEM       run a menu item at start, e.g. BlackBackground,\n"
        "                      TransmitReceive1, Waterfall2 (repeatable)\n"
        "  --screenshot PNG    save a picture of the window just before quitting (an open\n"
        "                      Band window beside it, as PNG with -band before the extension)\n"
        "  --quit-after SECS   quit by itself after SECS seconds\n"
        "  --help, --version\n",
        out);
}

constexpr const char* kToneRampKey = "tone.ramp_ms";

// The exit status after --help or --version: 1 when standard output could not take them.
int stdoutWritten() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "dita: cannot write standard output\n");
    return 1;
}

// What the command line asks for.
struct Options {
    std::string inputFile, screenshot;
    std::vector<std::pair<dita::IqInput, std::string>> iqInputs; // one at most; more is refused
    double centerHz = 0.0, iqTuneHz = 0.0, iqRateHz = 0.0;
    bool swapIq = false;
    std::vector<QString> selections;
    double quitAfterS = 0.0;
    std::optional<int> toneHz;
};

bool inputsAgree(const Options& o);

// Reads the command line into `o`. Gives the exit status when the program is to end here
// (--help, --version, or a bad option), nothing when it is to run.
std::optional<int> parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--input-file") && hasValue) {
            o.inputFile = argv[++i];
        } else if (!std::strcmp(argv[i], "--iq-file") && hasValue) {
            o.iqInputs.push_back({dita::IqInput::File, argv[++i]});
        } else if (!std::strcmp(argv[i], "--iq-soapy") && hasValue) {
            o.iqInputs.push_back({dita::IqInput::Soapy, argv[++i]});
        } else if (!std::strcmp(argv[i], "--iq-sound") && hasValue) {
            o.iqInputs.push_back({dita::IqInput::SoundCard, argv[++i]});
        } else if ((!std::strcmp(argv[i], "--center-hz") || !std::strcmp(argv[i], "--iq-tune") ||
                    !std::strcmp(argv[i], "--iq-rate")) &&
                   hasValue) {
            const char* option = argv[i];
            char* end = nullptr;
            const double hz = std::strtod(argv[++i], &end);
            if (!end || *end || !std::isfinite(hz) || hz <= 0.0) {
                std::fprintf(stderr, "dita: %s takes a frequency in Hz above 0, not '%s'\n", option,
                             argv[i]);
                return 2;
            }
            (option[2] == 'c'                    ? o.centerHz
             : !std::strcmp(option, "--iq-tune") ? o.iqTuneHz
                                                 : o.iqRateHz) = hz;
        } else if (!std::strcmp(argv[i], "--swap-iq")) {
            o.swapIq = true;
        } else if (!std::strcmp(argv[i], "--tone") && hasValue) {
            char* end = nullptr;
            const long hz = std::strtol(argv[++i], &end, 10);
            if (!end || *end || hz < kMinToneHz || hz > kMaxToneHz) {
                std::fprintf(stderr, "dita: --tone takes a frequency from %d to %d Hz, not '%s'\n",
                             kMinToneHz, kMaxToneHz, argv[i]);
                return 2;
            }
            o.toneHz = static_cast<int>(hz);
        } else if (!std::strcmp(argv[i], "--select") && hasValue) {
            o.selections.push_back(QString::fromLocal8Bit(argv[++i]));
        } else if (!std::strcmp(argv[i], "--screenshot") && hasValue) {
            o.screenshot = argv[++i];
        } else if (!std::strcmp(argv[i], "--quit-after") && hasValue) {
            char* end = nullptr;
            o.quitAfterS = std::strtod(argv[++i], &end);
            // The timer counts whole milliseconds in an int: "nan", "inf" and values past
            // that range would never fire.
            if (!end || *end || !std::isfinite(o.quitAfterS) || o.quitAfterS <= 0.0 ||
                o.quitAfterS > kMaxQuitAfterS) {
                std::fprintf(
                    stderr,
                    "dita: --quit-after needs a number of seconds above 0 and at most %.3f,"
                    " not '%s'\n",
                    kMaxQuitAfterS, argv[i]);
                usage(stderr);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            usage(stdout);
            return stdoutWritten();
        } else if (!std::strcmp(argv[i], "--version")) {
            std::printf("dita %s\n", DITA_VERSION);
            return stdoutWritten();
        } else {
            std::fprintf(stderr, "dita: unknown or incomplete option '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    return inputsAgree(o) ? std::nullopt : std::optional<int>(2);
}

// One input at most, and the I/Q options only with an I/Q input.
bool inputsAgree(const Options& o) {
    if (o.iqInputs.size() + (o.inputFile.empty() ? 0 : 1) > 1) {
        std::fprintf(stderr, "dita: give one input: --input-file, --iq-file, --iq-soapy or "
                             "--iq-sound\n");
        return false;
    }
    if (o.iqInputs.empty() &&
        (o.centerHz > 0.0 || o.iqTuneHz > 0.0 || o.iqRateHz > 0.0 || o.swapIq)) {
        std::fprintf(stderr, "dita: --center-hz, --iq-tune, --iq-rate and --swap-iq go with an "
                             "I/Q input (--iq-file, --iq-soapy or --iq-sound)\n");
        return false;
    }
    return true;
}

// Opens the sound file or the I/Q band the options name, if any. Throws what cannot be opened.
void openInputs(const Options& o, std::optional<dita::SoundFileInput>& file,
                std::optional<dita::IqBand>& iqBand) {
    if (!o.inputFile.empty()) {
        file = dita::openSoundFileInput(o.inputFile);
        file->onReadError = [](const std::string& text) {
            std::fprintf(stderr, "dita: %s\n", text.c_str());
        };
    }
    if (!o.iqInputs.empty()) {
        const int pitchBin = dita::BandWindow::binForHz(kIqPitchHz);
        const auto& [input, where] = o.iqInputs.front();
        const double rateHz = o.iqRateHz > 0.0
                                  ? o.iqRateHz
                                  : (input == dita::IqInput::Soapy ? kSoapyRateHz : kSoundIqRateHz);
        iqBand.emplace(input == dita::IqInput::File
                           ? dita::openIqBandSource(where, o.centerHz, o.swapIq)
                           : dita::openLiveIqBandSource(input, where, o.centerHz, rateHz, o.swapIq),
                       (pitchBin - 1) * dita::kBinHz);
        if (o.iqTuneHz > 0.0) iqBand->tune(o.iqTuneHz);
    }
}

// DITA.conf; what in it cannot be used is reported and left at its default.
void loadSettingsFile(dita::SettingsFile& settingsFile) {
    settingsFile.setUnusableValueReporter(
        [](const std::string& text) { std::fprintf(stderr, "dita: %s\n", text.c_str()); });
    const std::string settingsProblem = settingsFile.load();
    if (!settingsProblem.empty()) std::fprintf(stderr, "dita: %s\n", settingsProblem.c_str());
}

// The rise and fall of the tone output's elements; written back so the key shows in the
// file for the operator to change (0 keys the tone hard).
void applyToneRamp(dita::SettingsFile& settingsFile, dita::KeyingParts& keying) {
    const int32_t rampMs =
        settingsFile.number(kToneRampKey, static_cast<int32_t>(dita::kDefaultToneRampMs), 0,
                            static_cast<int32_t>(dita::kMaxToneRampMs));
    settingsFile.setNumber(kToneRampKey, rampMs);
    if (dita::ToneKeyer* tone = keying.toneKeyer()) tone->setRampMs(static_cast<float>(rampMs));
}

// Whether every --select names a menu item (not a menu); says which does not.
bool menuItemsExist(const std::vector<QString>& selections) {
    for (const QString& name : selections) {
        const dita::MenuRow* row = dita::findMenuRow(name.toStdString());
        if (!row || row->kind == dita::MenuKind::Menu) {
            std::fprintf(stderr, "dita: no menu item named '%s'\n", qPrintable(name));
            return false;
        }
    }
    return true;
}

// DITA.cfc for the window, with DefaultDITA.cfc for its defaults; nothing (and the reason
// told) when they cannot be found.
std::unique_ptr<dita::ConfigurationFiles> openConfiguration(dita::TDecoderForm& form) {
    try {
        return std::make_unique<dita::ConfigurationFiles>(
            form.configWindow(), dita::ditaFile("DITA.cfc"), dita::findDataFile("DefaultDITA.cfc"),
            // The save runs at quit: an unattended run must end with nobody to press OK.
            [&form](const std::string& text, const std::string&) { form.notice(text); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dita: %s\n", e.what());
        return nullptr;
    }
}

// After `seconds` the window saves its picture (and an open Band window's, as NAME-band.EXT)
// to `screenshot` if one is asked for, and quits.
void quitAfter(dita::TDecoderForm& form, double seconds, const std::string& screenshot) {
    QTimer::singleShot(static_cast<int>(seconds * kMsPerS), &form, [&form, screenshot] {
        if (!screenshot.empty() && !form.grab().save(QString::fromStdString(screenshot)))
            std::fprintf(stderr, "dita: could not save %s\n", screenshot.c_str());
        const QPixmap band = screenshot.empty() ? QPixmap() : form.bandWindowPicture();
        if (!band.isNull()) {
            const std::filesystem::path shot(screenshot);
            const std::filesystem::path bandShot =
                shot.parent_path() / (shot.stem().string() + "-band" + shot.extension().string());
            if (!band.save(QString::fromStdString(bandShot.string())))
                std::fprintf(stderr, "dita: could not save %s\n", bandShot.c_str());
        }
        form.Quit1Click();
    });
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<int> status = parseOptions(argc, argv, options)) return *status;

    std::optional<dita::SoundFileInput> file;
    std::optional<dita::IqBand> iqBand;
    // The window system is needed only now: --help and --version work without a display.
    QApplication app(argc, argv);
    try {
        openInputs(options, file, iqBand);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dita: %s\n", e.what());
        return 2;
    }

    dita::SystemDeviceCatalog catalog(file);
    std::optional<dita::IqBandCatalog> iqCatalog;
    if (iqBand) iqCatalog.emplace(catalog, *iqBand);
    dita::EnginePassProcessor processor;
    // The band decoder's thread, and DITA.conf for the Band window's placement.
    dita::BandWorker bandWorker;
    dita::SettingsFile settingsFile(dita::SettingsFile::defaultPath());
    loadSettingsFile(settingsFile);
    dita::DialogMessageService messages;
    dita::PortAudioToneDevice toneDevice; // the sound card keyer's output
    // A sound file stands in for a sound card that may not be there: a file run keys no tone
    // output, so a machine without an output device is not shut down by its open failure.
    dita::KeyingParts keying(options.inputFile.empty() && options.iqInputs.empty() ? &toneDevice
                                                                                   : nullptr);
    applyToneRamp(settingsFile, keying);
    dita::DecoderFormServices services;
    services.keying = &keying;
    services.catalog = &catalog;
    services.processor = &processor;
    services.bandWorker = &bandWorker;
    std::optional<int> toneHz = options.toneHz;
    if (iqBand) {
        // The Band window shows the I/Q band instead of the audio band.
        services.catalog = &*iqCatalog;
        services.bandWorker = nullptr;
        services.iqBand = &*iqBand;
        // The decoder starts on the pitch the tuned signal sounds at.
        if (!toneHz) toneHz = static_cast<int>(kIqPitchHz);
    }
    services.settingsFile = &settingsFile;
    services.messages = &messages;
    services.startInputDeviceId =
        iqCatalog ? std::optional<int>(iqCatalog->bandDeviceId()) : catalog.fileDeviceId();
    services.startToneHz = toneHz;
    try {
        // Rig control and the keying listener keep their settings in DITA.conf.
        services.stationSettingsFile = dita::SettingsFile::defaultPath();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dita: %s\n", e.what());
        return 2;
    }

    // DITA.cfc is loaded at the first SystemTimer tick, saved at quit; --select items are
    // applied after the load so that they win over the stored settings.
    std::unique_ptr<dita::ConfigurationFiles> configFiles;
    dita::TDecoderForm* formPtr = nullptr;
    services.loadConfiguration = [&] {
        configFiles->load();
        for (const QString& name : options.selections)
            formPtr->click(name);
    };
    services.saveConfiguration = [&] { configFiles->save(); };
    services.loadDefaults = [&] { configFiles->loadDefaults(); };

    dita::TDecoderForm form(services);
    formPtr = &form;
    messages.setOwner(&form);
    if (!menuItemsExist(options.selections)) return 2;
    configFiles = openConfiguration(form);
    if (!configFiles) return 2;
    form.show();
    if (options.quitAfterS > 0.0) quitAfter(form, options.quitAfterS, options.screenshot);
    return app.exec();
}
