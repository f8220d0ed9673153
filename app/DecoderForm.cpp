// The main window's construction and life cycle: the subsystems it is handed and wires up,
// the start and restart of the run loop, and the ways out of the program.
#include "app/DecoderForm.h"

#include "app/FormConfigView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <cstdio>

#include "app/BandView.h"
#include "app/BandWorker.h"
#include "app/FormInstruments.h"
#include "app/IqBand.h"
#include "app/SetupWindows.h"
#include "app/SoundCardDialogs.h"
#include "app/SpectrumArea.h"
#include "app/TransmitSpeedPanel.h"
#include "common/CallQueue.h"
#include "common/DitaPaths.h"
#include "common/MessageSink.h"
#include "common/SettingsFile.h"
#include "log/StationPanel.h"
#include "station/StationLink.h"
#include "transmit/TransmitControls.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

int binForToneHz(int hz) {
    return static_cast<int>(std::lround(hz / kBinHz)) + 1;
}

namespace {

// Load Transmit's hand-over to transmit control.
class FormTextTarget : public TransmitTextTarget {
public:
    explicit FormTextTarget(std::function<void(int, const std::string&)> loaded)
        : m_loaded(std::move(loaded)) {}
    void transmitTextLoaded(int bufferIndex, const std::string& text) override {
        if (m_loaded) m_loaded(bufferIndex, text);
    }

private:
    std::function<void(int, const std::string&)> m_loaded;
};

constexpr const char* kHelpFailedText = "Could not run the help application";

// Under half a second, so the seconds shown never skip one.
constexpr int kClockRefreshMs = 250;

constexpr const char* kAboutText =
    "DITA, a CW decoder and keyer for radio amateurs, designed by its authors\n"
    "             Version 1.38";

} // namespace

// ====================================================================== sound card windows

// The sound card windows' view of the window: they report choices here, and the loop flags
// change only here.
class TDecoderForm::SoundCardHostImpl : public SoundCardHost {
public:
    explicit SoundCardHostImpl(TDecoderForm& form) : m_form(form) {}
    int inputDeviceCount() const override { return m_form.m_inputDeviceCount; }
    std::string deviceName(int deviceId) const override {
        return m_form.m_services.catalog->name(deviceId);
    }
    int inputDeviceId() const override { return m_form.m_settings.InputDeviceId; }
    void showMessage(const std::string& text, const std::string& caption) override {
        m_form.messages().show(text, caption);
    }
    void selectionShown() override {
        m_form.m_session->flags().capturePause.set(PauseReason::SoundCardDialog, true);
    }
    bool deviceChosen(int deviceId) override {
        if (!m_form.m_session->testOpen(deviceId, raw(m_form.m_settings.InputChannel)))
            return false;
        m_form.m_settings.InputDeviceId = deviceId;
        m_form.m_storedInputDeviceId.reset(); // the operator's own choice is kept
        m_form.m_session->flags().setNoInputDevice(false);
        selectionClosed();
        return true;
    }
    void selectionClosed() override {
        LoopFlags& f = m_form.m_session->flags();
        f.markStopped();
        f.restartAfterBuffer(); // a loop entered while the dialog was up reopens the device
        f.capturePause.set(PauseReason::SoundCardDialog, false);
        m_form.enableSystemTimer();
    }
    void terminateWithoutSaving() override {
        m_form.m_session->flags().capturePause.set(PauseReason::SoundCardDialog, false);
        m_form.stopSequence();
        m_form.terminateApplication();
    }
    void continueWithoutInput() override { m_form.m_session->flags().setNoInputDevice(true); }
    void quitWithoutInput() override {
        m_form.m_session->flags().setNoInputDevice(true);
        m_form.Quit1Click();
    }

private:
    TDecoderForm& m_form;
};

// ====================================================================== FormCreate

TDecoderForm::TDecoderForm(DecoderFormServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)), m_keying(*m_services.keying) {
    setObjectName("DecoderForm");
    setWindowTitle("DITA");
    if (!m_services.openUrl)
        m_services.openUrl = [this](const QUrl& url) { return openInViewer(url); };
    // Ends the event loop outright. quit() would first ask every window to close, and the
    // sound card windows answer a close by hiding (their close box means "not now"), so a quit
    // with one of them open would be refused and the program would idle for ever.
    if (!m_services.terminate) m_services.terminate = [] { QCoreApplication::exit(0); };

    // What the run loop's worker and the senders report reaches this thread through here.
    m_calls = new CallQueue(this);
    m_soundCardHost = std::make_unique<SoundCardHostImpl>(*this);
    m_configView = std::make_unique<ConfigView>(*this);
    // The receive session is made once: capture buffers, the loop and its thread.
    RunLoopEvents events;
    events.passDone = [this](const PassResult& r, bool stalled) {
        m_calls->post([this, r, stalled] { showPass(r, stalled); });
    };
    events.samplesDone = [this](const int32_t* samples) {
        if (m_services.bandWorker) m_services.bandWorker->feed(samples);
    };
    events.leds = [this](bool rcv, bool xmit) {
        m_calls->post([this, rcv, xmit] { showLeds(rcv, xmit); });
    };
    events.fatalError = [this] { m_calls->post([this] { errorExit(0); }); };
    events.inputDeviceFallback = [this](int id) {
        m_calls->post([this, id] { m_settings.InputDeviceId = id; });
    };
    m_session = std::make_unique<ReceiveSession>(
        *m_services.catalog, *m_services.processor, std::move(events),
        [this](WaveOp op) {
            m_calls->post([this, op] { messages().show(waveMessage(op), kWaveDeviceCaption); });
        },
        m_services.captureTimings, m_services.loopTimings);

    createSubsystems();
    createControls();
    createMenus();

    // Screen mode at creation: receive only.
    choose(SettingId::ScreenOpMode, setting::ScreenOpMode::ReceiveOnly);

    // The memos start at the size of the checked size item.
    applyFontSize(raw(m_settings.FontSize));

    SetupWindowHooks setupHooks;
    setupHooks.timingWeightsChanged = [this] { keyWithTimingWeights(); };
    setupHooks.comPortChosen = [this](int port) { m_outputMenu->comPortChosen(port); };
    m_setup = new SetupWindows(this, m_settings, m_windowSettings, m_keying.port(),
                               *m_soundCardHost, messageSink(), std::move(setupHooks));
    createBandView();

    selectDefaults();
    choose(SettingId::NonEnglish, setting::OnOff::Off);
    createStationLink();

    SystemTimer = new QTimer(this);
    SystemTimer->setObjectName("SystemTimer");
    SystemTimer->setInterval(m_services.systemTimerMs);
    connect(SystemTimer, &QTimer::timeout, this, [this] { SystemTimerTimer(); });
    // The clock also follows each pass, but passes stop while anything is sent and while the
    // sound card is chosen: the clock, and the time a log entry takes, must not stop with them.
    SystemTimer2 = new QTimer(this);
    SystemTimer2->setObjectName("SystemTimer2");
    SystemTimer2->setInterval(kClockRefreshMs);
    connect(SystemTimer2, &QTimer::timeout, this, [this] { SystemTimer2Timer(); });
    SystemTimer2->start();

    keepWindowSettings();

    m_FirstStart = true;
    if (m_services.startSystemTimer) SystemTimer->start();
}

void TDecoderForm::keepWindowSettings() {
    WindowSettings& ws = m_windowSettings;
    ws.SignalBar = m_instruments->signalValue();
    connect(m_instruments, &InstrumentPanel::signalChanged, this,
            [this](double value) { m_windowSettings.SignalBar = value; });
    m_setup->keepWindowSettings(); // the timeline's place, the macro editor's texts
    windowPlaced();
    ws.CoarseGainBar = m_spectrum->gainBarPosition();
    connect(m_spectrum, &SpectrumArea::gainBarMoved, this,
            [this](int position) { m_windowSettings.CoarseGainBar = position; });
    ws.ContactCounter = m_transmitPanel->contactCounter();
    ws.Band = StationPnl->bandIndex();
    connect(StationPnl, &StationPanel::bandChanged, this,
            [this](int band) { m_windowSettings.Band = band; });
    auto keep = [](std::string& field) {
        return [&field](const QString& text) { field = text.toLatin1().toStdString(); };
    };
    connect(StationPnl, &StationPanel::myCallChanged, this, keep(ws.MyCall));
}

void TDecoderForm::windowPlaced() {
    m_windowSettings.MainTop = y();
    m_windowSettings.MainLeft = x();
}

void TDecoderForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    windowPlaced();
}

TDecoderForm::~TDecoderForm() {
    // The band thread posts into this window's call queue: it stops hearing first.
    if (m_services.bandWorker) {
        m_services.bandWorker->setPassDone({});
        m_services.bandWorker->setEnabled(false);
    }
    if (m_services.iqBand) m_services.iqBand->setBandListener({});
    // The senders key through parts this window owns (the keyers, the keying port), and every
    // sender asks the station for the rig's keyer: the station stops keying first (its listener
    // keys through the panel), then the panel and its senders go, and only then the station
    // object they read, all before the keyers and the port are destroyed.
    if (m_station) m_station->shutdown();
    delete m_transmitPanel;
    m_transmitPanel = nullptr;
    m_station.reset();
    m_keying.connect({}); // no send thread is left to report through this window
    SystemTimer->stop();
    m_session->stop();
}

// ====================================================================== subsystems

MessageSink TDecoderForm::messageSink() {
    // Subsystems may report from their own threads; the box is always shown by this one.
    return [this](const std::string& text, const std::string& caption) {
        if (QThread::currentThread() == thread()) {
            messages().show(text, caption);
            return;
        }
        m_calls->post([this, text, caption] { messages().show(text, caption); });
    };
}

void TDecoderForm::createSubsystems() {
    KeyingEvents keying;
    keying.messages = messageSink();
    keying.outputFailed = [this] { m_calls->post([this] { errorExit(0); }); };
    // The output watchdog's stall pauses capture until the output has restarted; the input
    // then restarts too, and a pass it lands in skips its timeline.
    keying.outputStalled = [this](bool stalled) {
        m_session->flags().capturePause.set(PauseReason::OutputStall, stalled);
    };
    keying.speed.outputDevice = [this] { return raw(m_settings.OutputDevice); };
    keying.speed.typingActive = [this] { return typingActive() == kStateOn; };
    keying.speed.focusTransmitMemo = [this] { m_transmitPanel->focusTransmitMemo(); };
    m_keying.connect(std::move(keying));
    // The keyers have lengths and lines to use from the start, before any configuration or
    // speed change.
    m_keying.speedControls().applyStoredSpeed(m_settings.XmitSpeed);
    m_keying.port().setPtt(pttLines(m_settings));

    OutputMenuHandlers::Hooks output;
    output.showComPortDialog = [this] { m_setup->showComPortSelection(); };
    output.setSidetone = [this](bool on) {
        choose(SettingId::SidetoneOn, on ? setting::OnOff::On : setting::OnOff::Off);
    };
    output.focusTransmitMemo = [this] { m_transmitPanel->focusTransmitMemo(); };
    m_outputMenu = std::make_unique<OutputMenuHandlers>(m_keying.port(), std::move(output));
    m_toneMenu = std::make_unique<ToneMenuHandlers>(
        [this](const ToneSettings& tone, const BeaconCarrier& carrier) {
            m_settings.SidetoneFreq = tone.SidetoneFreq;
            m_settings.SidetoneWaveform = setting::SidetoneWaveform(tone.SidetoneWaveform);
            m_settings.SidetoneOn = tone.SidetoneOn ? setting::OnOff::On : setting::OnOff::Off;
            m_settings.BeaconCarrierTime = carrier.BeaconCarrierTime;
            m_settings.BeaconCarrierMs = static_cast<int32_t>(carrier.BeaconCarrierMs);
            m_settings.BeaconCarrierSamples = static_cast<int32_t>(carrier.BeaconCarrierSamples);
            m_keying.serialKeyer().setBeaconCarrier(carrier);
            if (ToneKeyer* toneKeyer = m_keying.toneKeyer()) {
                toneKeyer->setTone(tone);
                toneKeyer->setBeaconCarrier(carrier);
            }
            if (m_services.applyTone) m_services.applyTone(tone, carrier);
        });
    m_textFiles = std::make_unique<TextFileActions>(this, messageSink());
    if (m_services.chooseSaveFile || m_services.chooseOpenFile)
        m_textFiles->setChoosers(m_services.chooseSaveFile, m_services.chooseOpenFile);
    m_textTarget =
        std::make_unique<FormTextTarget>([this](int bufferIndex, const std::string& text) {
            m_transmitPanel->controller().textLoaded(bufferIndex, text);
            if (m_services.transmitTextLoaded) m_services.transmitTextLoaded(bufferIndex, text);
        });
    if (!m_services.keyUp)
        m_services.keyUp = [this] {
            if (m_transmitPanel) m_transmitPanel->shutdown();
            keyUpLines();
        };
    if (!m_services.sendActive)
        m_services.sendActive = [this] { return m_transmitPanel->controller().sendActive(); };
    if (!m_services.stopSend)
        m_services.stopSend = [this] { m_transmitPanel->controller().SendBtnClick(); };
}

void TDecoderForm::createStationLink() {
    StationHooks hooks;
    hooks.rigFrequency = [this](double hz) { StationPnl->setRigFrequency(hz); };
    hooks.setSpeed = [this](int32_t wpm) { m_speedPanel->applyStoredSpeed(wpm); };
    hooks.setTone = [this](int32_t hz) {
        if (hz == 0) {
            choose(SettingId::SidetoneOn, setting::OnOff::Off);
            return;
        }
        m_toneMenu->setUnlistedFrequency(static_cast<float>(hz));
        choose(SettingId::SidetoneOn, setting::OnOff::On);
    };
    hooks.showKeyed = [this](const std::string& utf8) {
        m_transmitPanel->appendTransmitText(utf8);
    };
    TransmitPanel* panel = m_transmitPanel;
    hooks.keySteps = [panel](const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                             PttHang hang) {
        return panel->controller().keyForOtherProgram(steps, stop, hang);
    };
    hooks.transmitEnabled = [panel] { return panel->controller().transmitEnabled(); };
    hooks.transmitWpm = [this] { return m_keying.timing().current().Wpm; };
    hooks.messages = messageSink();
    hooks.notice = [this](const std::string& text) { notice(text); };
    m_station = std::make_unique<StationLink>(
        std::move(hooks), m_keying.port(),
        SettingsFile(m_services.stationSettingsFile.value_or(std::filesystem::path())), nullptr,
        m_services.rigTiming);
    if (m_services.stationSettingsFile) m_station->start();
    item("RigCat1")->setChecked(m_station->catKeying());
}

void TDecoderForm::createBandView() {
    BandViewServices band;
    band.bandWorker = m_services.bandWorker;
    band.iqBand = m_services.iqBand;
    band.settingsFile = m_services.settingsFile;
    band.tune = [this](int bin) { post(ReceiveCommand::tuneToBin(bin)); };
    band.markSpectrum = [this](const std::vector<int>& bins) { m_spectrum->setBandMarks(bins); };
    band.quitting = [this] { return m_quitting; };
    band.notice = [this](const std::string& text) { notice(text); };
    m_band = new BandView(this, *m_calls, std::move(band));
}

void TDecoderForm::post(ReceiveCommand command) {
    m_services.processor->post(command);
}

// ====================================================================== life cycle

void TDecoderForm::enableSystemTimer() {
    SystemTimer->start();
}

void TDecoderForm::SystemTimerTimer() {
    SystemTimer->stop();
    if (m_FirstStart) {
        m_inputDeviceCount = m_services.catalog->count();
        if (m_inputDeviceCount == 0) {
            if (m_setup->showNoSoundCard()) { // Quit chosen at an earlier showing
                terminateApplication();
                return;
            }
        } else {
            m_session->flags().setNoInputDevice(false);
        }
        if (m_services.loadConfiguration) m_services.loadConfiguration();
        // The stored frequency must not hide the rig's: the rig may have answered already.
        if (m_station) m_station->repeatRigFrequency();
        if (m_services.startInputDeviceId) {
            m_storedInputDeviceId = m_settings.InputDeviceId;
            m_settings.InputDeviceId = *m_services.startInputDeviceId;
        }
        if (m_services.startToneHz) {
            m_settings.TunedBin = binForToneHz(*m_services.startToneHz);
            post(ReceiveCommand::tuneToBin(m_settings.TunedBin));
        }
        m_FirstStart = false;
        enterRunLoop();
    } else if (m_session->flags().loopStopped()) {
        if (m_session->running()) {
            SystemTimer->start(); // the loop is still finishing its buffer: look again later
            return;
        }
        m_session->flags().entering();
        enterRunLoop();
    }
}

void TDecoderForm::enterRunLoop() {
    m_session->join();
    m_spectrum->runLoopEntry();
    ToneOutput* tone = m_keying.toneOutput();
    if (tone && !tone->isOpen()) tone->openIfInputExists(m_inputDeviceCount);
    m_transmitPanel->loopEntry();
    m_session->enter(m_settings.InputDeviceId, raw(m_settings.InputChannel), m_inputDeviceCount);
}

void TDecoderForm::stopSequence() {
    // No logger's text and no rig PTT after this point.
    if (m_station) m_station->shutdown();
    if (m_services.keyUp) m_services.keyUp();
    SystemTimer->stop();
    // The loop sees the flags within one poll of its wait; joining replaces a fixed pause.
    m_session->stop();
}

void TDecoderForm::terminateApplication() {
    m_services.terminate();
}

void TDecoderForm::errorExit(int code) {
    if (code == 1 || m_quitting) return;
    m_quitting = true;
    stopSequence();
    terminateApplication();
}

void TDecoderForm::notice(const std::string& text) {
    std::fprintf(stderr, "dita: %s\n", text.c_str());
    statusBar()->showMessage(QString::fromStdString(text));
}

void TDecoderForm::Quit1Click() {
    if (m_quitting) return;
    m_quitting = true;
    // A whole-text send is stopped before the save and again after it, in case it was
    // still finishing its last character.
    auto stopSendIfActive = [this] {
        if (m_services.sendActive && m_services.sendActive() && m_services.stopSend)
            m_services.stopSend();
    };
    stopSendIfActive();
    m_band->savePlacement();
    // The window's frame can change after its last move (the window system adds or drops its
    // border without moving the client area): its place as it is now is the one kept.
    windowPlaced();
    // Before the first load (the first SystemTimer tick) the window holds only its creation
    // defaults: saving them would overwrite the operator's stored settings.
    if (!m_FirstStart && m_services.saveConfiguration) {
        const int inUse = m_settings.InputDeviceId;
        if (m_storedInputDeviceId) m_settings.InputDeviceId = *m_storedInputDeviceId;
        m_services.saveConfiguration();
        m_settings.InputDeviceId = inUse;
    }
    stopSendIfActive();
    stopSequence();
    terminateApplication();
}

void TDecoderForm::closeEvent(QCloseEvent* event) {
    Quit1Click();
    event->accept();
}

void TDecoderForm::About1Click() {
    messages().show(kAboutText, "About DITA");
}

bool TDecoderForm::openInViewer(const QUrl& url) {
    // xdg-open's exit status tells whether a viewer took the page; a desktop without a browser
    // would otherwise show nothing at all. The process is no child of the window, so quitting
    // DITA leaves an open browser alone.
    auto* viewer = new QProcess;
    connect(viewer, &QProcess::finished, this, [this, viewer](int code, QProcess::ExitStatus how) {
        if (how != QProcess::NormalExit || code != 0) messages().show(kHelpFailedText, "");
        viewer->deleteLater();
    });
    connect(viewer, &QProcess::errorOccurred, this, [this, viewer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        messages().show(kHelpFailedText, "");
        viewer->deleteLater();
    });
    viewer->start(QStringLiteral("xdg-open"), {url.toString()});
    return true;
}

void TDecoderForm::Help1Click() {
    auto page = findDataFile("DITA.html");
#ifdef DITA_BUILD_HELP
    if (!page && std::filesystem::exists(DITA_BUILD_HELP))
        page = std::filesystem::path(DITA_BUILD_HELP);
#endif
    if (!page || !m_services.openUrl(QUrl::fromLocalFile(QString::fromStdString(page->string()))))
        messages().show(kHelpFailedText, "");
}

ConfigWindow& TDecoderForm::configWindow() {
    return *m_configView;
}

} // namespace dita
