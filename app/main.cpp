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
#include <vector>

#include "app/BandWorker.h"
#include "app/DecoderForm.h"
#include "app/EnginePassProcessor.h"
#include "app/config/ConfigurationFiles.h"
#include "common/DitaPaths.h"
#include "common/SettingsFile.h"
#include "receive/audio/SystemDevices.h"
#include "transmit/PortAudioToneDevice.h"

namespace {

// The tones the spectrum shows: 100 Hz up to the highest the display can be clicked to.
constexpr int kMinToneHz = 100;
constexpr int kMaxToneHz = 2500;
constexpr double kMsPerS = 1000.0;
// The longest run --quit-after can ask for: what a Qt timer holds (about 24.8 days).
constexpr double kMaxQuitAfterS = std::numeric_limits<int>::max() / kMsPerS;

void usage(std::FILE* out) {
    std::fputs(
        "usage: dita [--input-file FILE] [--tone HZ] [--select ITEM]... [--screenshot PNG]\n"
        "            [--quit-after SECONDS]\n"
        "  --input-file FILE   add FILE (any format libsndfile reads) as one more sound\n"
        "                      input device, played at real-time pace, and use it\n"
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

} // namespace

int main(int argc, char** argv) {
    std::string inputFile, screenshot;
    std::vector<QString> selections;
    double quitAfterS = 0.0;
    std::optional<int> toneHz;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--input-file") && hasValue) {
            inputFile = argv[++i];
        } else if (!std::strcmp(argv[i], "--tone") && hasValue) {
            char* end = nullptr;
            const long hz = std::strtol(argv[++i], &end, 10);
            if (!end || *end || hz < kMinToneHz || hz > kMaxToneHz) {
                std::fprintf(stderr, "dita: --tone takes a frequency from %d to %d Hz, not '%s'\n",
                             kMinToneHz, kMaxToneHz, argv[i]);
                return 2;
            }
            toneHz = static_cast<int>(hz);
        } else if (!std::strcmp(argv[i], "--select") && hasValue) {
            selections.push_back(QString::fromLocal8Bit(argv[++i]));
        } else if (!std::strcmp(argv[i], "--screenshot") && hasValue) {
            screenshot = argv[++i];
        } else if (!std::strcmp(argv[i], "--quit-after") && hasValue) {
            char* end = nullptr;
            quitAfterS = std::strtod(argv[++i], &end);
            // The timer counts whole milliseconds in an int: "nan", "inf" and values past
            // that range would never fire.
            if (!end || *end || !std::isfinite(quitAfterS) || quitAfterS <= 0.0 ||
                quitAfterS > kMaxQuitAfterS) {
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

    std::optional<dita::SoundFileInput> file;
    // The window system is needed only now: --help and --version work without a display.
    QApplication app(argc, argv);
    if (!inputFile.empty()) {
        try {
            file = dita::openSoundFileInput(inputFile);
            file->onReadError = [](const std::string& text) {
                std::fprintf(stderr, "dita: %s\n", text.c_str());
            };
        } catch (const std::exception& e) {
            std::fprintf(stderr, "dita: %s\n", e.what());
            return 2;
        }
    }

    dita::SystemDeviceCatalog catalog(file);
    dita::EnginePassProcessor processor;
    // The band decoder's thread, and DITA.conf for the Band window's placement.
    dita::BandWorker bandWorker;
    dita::SettingsFile settingsFile(dita::SettingsFile::defaultPath());
    settingsFile.setUnusableValueReporter(
        [](const std::string& text) { std::fprintf(stderr, "dita: %s\n", text.c_str()); });
    const std::string settingsProblem = settingsFile.load();
    if (!settingsProblem.empty()) std::fprintf(stderr, "dita: %s\n", settingsProblem.c_str());
    dita::DialogMessageService messages;
    dita::PortAudioToneDevice toneDevice; // the sound card keyer's output
    // A sound file stands in for a sound card that may not be there: a file run keys no tone
    // output, so a machine without an output device is not shut down by its open failure.
    dita::KeyingParts keying(inputFile.empty() ? &toneDevice : nullptr);
    // The rise and fall of the tone output's elements; written back so the key shows in the
    // file for the operator to change (0 keys the tone hard).
    const int32_t rampMs =
        settingsFile.number(kToneRampKey, static_cast<int32_t>(dita::kDefaultToneRampMs), 0,
                            static_cast<int32_t>(dita::kMaxToneRampMs));
    settingsFile.setNumber(kToneRampKey, rampMs);
    if (dita::ToneKeyer* tone = keying.toneKeyer()) tone->setRampMs(static_cast<float>(rampMs));
    dita::DecoderFormServices services;
    services.keying = &keying;
    services.catalog = &catalog;
    services.processor = &processor;
    services.bandWorker = &bandWorker;
    services.settingsFile = &settingsFile;
    services.messages = &messages;
    services.startInputDeviceId = catalog.fileDeviceId();
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
    auto applySelections = [&] {
        for (const QString& name : selections)
            formPtr->click(name);
    };
    services.loadConfiguration = [&] {
        configFiles->load();
        applySelections();
    };
    services.saveConfiguration = [&] { configFiles->save(); };
    services.loadDefaults = [&] { configFiles->loadDefaults(); };

    dita::TDecoderForm form(services);
    formPtr = &form;
    messages.setOwner(&form);
    for (const QString& name : selections) {
        const dita::MenuRow* row = dita::findMenuRow(name.toStdString());
        if (!row || row->kind == dita::MenuKind::Menu) {
            std::fprintf(stderr, "dita: no menu item named '%s'\n", qPrintable(name));
            return 2;
        }
    }
    try {
        configFiles = std::make_unique<dita::ConfigurationFiles>(
            form.configWindow(), dita::ditaFile("DITA.cfc"), dita::findDataFile("DefaultDITA.cfc"),
            // The save runs at quit: an unattended run must end with nobody to press OK.
            [&form](const std::string& text, const std::string&) { form.notice(text); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dita: %s\n", e.what());
        return 2;
    }
    form.show();
    if (quitAfterS > 0.0) {
        QTimer::singleShot(static_cast<int>(quitAfterS * kMsPerS), &form, [&form, screenshot] {
            if (!screenshot.empty() && !form.grab().save(QString::fromStdString(screenshot)))
                std::fprintf(stderr, "dita: could not save %s\n", screenshot.c_str());
            // An open Band window is saved beside it as NAME-band.EXT.
            const QPixmap band = screenshot.empty() ? QPixmap() : form.bandWindowPicture();
            if (!band.isNull()) {
                const std::filesystem::path shot(screenshot);
                const std::filesystem::path bandShot =
                    shot.parent_path() /
                    (shot.stem().string() + "-band" + shot.extension().string());
                if (!band.save(QString::fromStdString(bandShot.string())))
                    std::fprintf(stderr, "dita: could not save %s\n", bandShot.c_str());
            }
            form.Quit1Click();
        });
    }
    return app.exec();
}
