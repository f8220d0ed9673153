#include "app/DecoderForm.h"

#include "app/FormConfigView.h"
#include "app/DecoderFormLayout.h"
#include "app/FormInstruments.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLayout>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "app/SetupDialogs.h"
#include "app/SoundCardDialogs.h"
#include "common/CallQueue.h"
#include "common/DitaPaths.h"
#include "common/MessageSink.h"
#include "common/SettingsFile.h"
#include "app/BandWorker.h"
#include "display/BandWindow.h"
#include "display/DisplayPanel.h"
#include "station/StationLink.h"
#include "display/TimeLineForm.h"
#include "gaugekit/GkBar.h"
#include "gaugekit/GkClock.h"
#include "gaugekit/GkLED.h"
#include "log/StationPanel.h"
#include "macros/MacroWindows.h"
#include "transmit/PttForm.h"
#include "transmit/SendTiming.h"
#include "transmit/TransmitControls.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

using namespace form_layout;

namespace {

// The tuned bin nearest a tone (bin 1 is 0 Hz).
int binForToneHz(int hz) {
    return static_cast<int>(std::lround(hz / kBinHz)) + 1;
}

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

// The message buttons' sends go to the transmit panel's controller.
class PanelMacroSender : public MacroSender {
public:
    explicit PanelMacroSender(TransmitPanel& panel) : m_panel(panel) {}
    bool sendBusy() const override { return m_panel.controller().sendBusy(); }
    bool macroSendAllowed() const override { return m_panel.controller().macroSendAllowed(); }
    void send(int bufferIndex, const std::string& expanded) override {
        m_panel.controller().sendMacroBuffer(bufferIndex, expanded);
    }

private:
    TransmitPanel& m_panel;
};

// What a message button changes on the window, as the window passes it in.
class FormButtonView : public MacroButtonView {
public:
    struct Calls {
        std::function<void(int)> mark;
        std::function<bool()> doubleScreen;
        std::function<void(const std::string&)> appendReceive;
        std::function<void(const std::string&)> appendTransmit;
        std::function<void()> focusTransmit;
    };
    explicit FormButtonView(Calls calls) : m_calls(std::move(calls)) {}
    void markMessageButton(int n) override { m_calls.mark(n); }
    bool doubleScreen() const override { return m_calls.doubleScreen(); }
    void appendReceiveText(const std::string& text) override { m_calls.appendReceive(text); }
    void appendTransmitText(const std::string& text) override { m_calls.appendTransmit(text); }
    void focusTransmitMemo() override { m_calls.focusTransmit(); }

private:
    Calls m_calls;
};

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
        m_form.m_session->flags().NoInputDevice = false;
        selectionClosed();
        return true;
    }
    void selectionClosed() override {
        LoopFlags& f = m_form.m_session->flags();
        f.LoopStopped = true;
        f.RestartLoop = true; // a loop entered while the dialog was up reopens the device
        f.QuitRequested = false;
        f.capturePause.set(PauseReason::SoundCardDialog, false);
        m_form.enableSystemTimer();
    }
    void terminateWithoutSaving() override {
        m_form.m_session->flags().capturePause.set(PauseReason::SoundCardDialog, false);
        m_form.stopSequence();
        m_form.terminateApplication();
    }
    void continueWithoutInput() override { m_form.m_session->flags().NoInputDevice = true; }
    void quitWithoutInput() override {
        m_form.m_session->flags().NoInputDevice = true;
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
        m_services.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
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

    LoopFlags& loop = m_session->flags();
    loop.StopLoop = false;
    loop.RestartLoop = false;
    loop.NoInputDevice = true;

    // The memos start at the size of the checked size item.
    applyFontSize(raw(m_settings.FontSize));

    AFCStartFreqForm = new TAFCStartFreqForm(this, m_settings.AfcStartFreq,
                                             [this](int hz) { m_settings.AfcStartFreq = hz; });
    CharTimingForm =
        new TCharTimingForm(this, m_settings.TimingWeights, [this](int index, float weight) {
            std::array<float, 4>& w = m_settings.TimingWeights;
            w.at(static_cast<size_t>(index)) = weight;
            m_speedControls->setTimingWeights({w[0], w[1], w[2], w[3]});
        });
    ComPortSelectForm = new TComPortSelectForm(
        this,
        [this](int port) {
            m_settings.ComPortNumber = port;
            m_settings.OutputPort = setting::OutputPort::PortNumber;
            m_outputMenu->comPortChosen(port);
        },
        [this] { m_outputMenu->comPortCancelled(); });
    TransmitMemoryForm = new macros::TTransmitMemoryForm(this);
    ShowMacroKeysForm = new macros::TShowMacroKeysForm(
        messageSink(), macros::TShowMacroKeysForm::defaultKeyFile, this);
    XmitMacrosForm = new macros::TXmitMacrosForm(m_macroSources, messageSink(), TransmitMemoryForm,
                                                 ShowMacroKeysForm, this);
    PTTForm = new TPTTForm(m_keying.port(), messageSink(), this);
    connect(PTTForm, &QDialog::finished, this, [this] { storePttSettings(); });
    TimeLineForm = new TTimeLineForm(this);
    connect(TimeLineForm, &TTimeLineForm::timelineShownChanged, this,
            [this](bool shown) { m_settings.TimelineShown = shown ? 1 : 0; });
    createBandWindow();

    selectDefaults();
    choose(SettingId::NonEnglish, setting::OnOff::Off);
    createStationLink();

    SystemTimer = new QTimer(this);
    SystemTimer->setObjectName("SystemTimer");
    SystemTimer->setInterval(m_services.systemTimerMs);
    connect(SystemTimer, &QTimer::timeout, this, [this] { SystemTimerTimer(); });
    SystemTimer2 = new QTimer(this); // bound to the clock, never switched on
    SystemTimer2->setObjectName("SystemTimer2");
    connect(SystemTimer2, &QTimer::timeout, this, [this] { SystemTimer2Timer(); });

    m_FirstStart = true;
    if (m_services.startSystemTimer) SystemTimer->start();
}

TDecoderForm::~TDecoderForm() {
    // The band thread posts into this window's call queue: it stops hearing first.
    if (m_services.bandWorker) {
        m_services.bandWorker->setPassDone({});
        m_services.bandWorker->setEnabled(false);
    }
    // The senders key through parts this window owns (the keyers, the keying port): the
    // listener that keys through the panel, then the panel and its senders go first, before
    // those members are destroyed.
    m_station.reset();
    delete m_transmitPanel;
    m_transmitPanel = nullptr;
    m_keying.connect({}); // no send thread is left to report through this window
    SystemTimer->stop();
    m_session->stop();
}

// ====================================================================== controls

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
    m_keying.connect(std::move(keying));

    TransmitSpeedControls::Hooks speed;
    speed.outputDevice = [this] { return raw(m_settings.OutputDevice); };
    speed.typingActive = [this] { return typingActive() == kStateOn; };
    speed.focusTransmitMemo = [this] { TransmitMemo->setFocus(); };
    m_speedControls =
        std::make_unique<TransmitSpeedControls>(m_keying.timing(), messageSink(), std::move(speed));
    // The keyers have lengths to use from the start, before any configuration or speed change.
    m_speedControls->applyStoredSpeed(m_settings.XmitSpeed);
    OutputMenuHandlers::Hooks output;
    output.showComPortDialog = [this] { ComPortSelectForm->show(); };
    output.setSidetone = [this](bool on) {
        choose(SettingId::SidetoneOn, on ? setting::OnOff::On : setting::OnOff::Off);
    };
    output.focusTransmitMemo = [this] { TransmitMemo->setFocus(); };
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
    m_textTarget = std::make_unique<FormTextTarget>(
        [this](int bufferIndex, const std::string& text) {
            m_transmitPanel->controller().textLoaded(bufferIndex, text);
            if (m_services.transmitTextLoaded) m_services.transmitTextLoaded(bufferIndex, text);
        });
    if (!m_services.keyUp)
        m_services.keyUp = [this] {
            if (m_transmitPanel) m_transmitPanel->shutdown();
            keyUpLines();
        };
    if (!m_services.sendActive)
        m_services.sendActive = [this] {
            return m_transmitPanel->controller().sendActive();
        };
    if (!m_services.stopSend)
        m_services.stopSend = [this] { m_transmitPanel->controller().SendBtnClick(); };
}

void TDecoderForm::createStationLink() {
    StationHooks hooks;
    hooks.rigFrequency = [this](double hz) { StationPnl->setRigFrequency(hz); };
    hooks.setSpeed = [this](int32_t wpm) { applyXmitSpeed(wpm); };
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
    hooks.keyText = [panel](std::string_view latin1, const std::atomic<bool>& stop) {
        return panel->controller().keyForOtherProgram(latin1, stop);
    };
    hooks.messages = messageSink();
    // As with DITA.cfc: on standard error and in the status line, never a box waiting for OK.
    hooks.notice = [this](const std::string& text) {
        std::fprintf(stderr, "dita: %s\n", text.c_str());
        statusBar()->showMessage(QString::fromStdString(text));
    };
    m_station = std::make_unique<StationLink>(
        std::move(hooks), m_keying.port(),
        SettingsFile(m_services.stationSettingsFile.value_or(std::filesystem::path())), nullptr,
        m_services.rigTiming);
    if (m_services.stationSettingsFile) m_station->start();
}

Keyer* TDecoderForm::currentKeyer() {
    if (m_services.keyer) return m_services.keyer();
    if (m_keying.port().OutputDevice.load() == kOutputSerialPort) return &m_keying.serialKeyer();
    return m_keying.toneKeyer();
}

int TDecoderForm::typingActive() const {
    return m_transmitPanel->controller().typingActive() ? kStateOn : kStateOff;
}

void TDecoderForm::createTransmitSide(QWidget* client) {
    m_transmitPanel = new TransmitPanel({[this] { return currentKeyer(); }, &m_keying.port(),
                                         [this](int n) {
                                             return ExpandMacro(m_macroSources.at(n),
                                                                macroFields());
                                         }},
                                        m_session->flags().capturePause, ContrlPnl);
    m_transmitPanel->setGeometry(0, kTransmitPanelTop, m_clientWidth, kTransmitPanelHeight);
    XmitCntrSpinEdit = m_transmitPanel->XmitCntrSpinEdit;
    // The transmit window has its own place on the form: it leaves the panel's layout.
    TransmitMemo = m_transmitPanel->TransmitMemo;
    m_transmitPanel->layout()->removeWidget(TransmitMemo);
    TransmitMemo->setParent(client);
    TransmitMemo->setGeometry(0, kRxTransmitMemoTop, m_clientWidth, kTransmitMemoHeight);
    TransmitMemo->show();

    TransmitPanelHooks hooks;
    hooks.appendReceiveText = [this](const std::string& utf8) {
        QTextCursor c = RcvMemo->textCursor();
        c.movePosition(QTextCursor::End);
        c.insertText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
        RcvMemo->setTextCursor(c);
    };
    hooks.setSpeedControlEnabled = [this](SpeedControl control, bool enabled) {
        (control == SpeedControl::ScreenSpin ? static_cast<QWidget*>(XmitSpdUpDn2)
                                             : static_cast<QWidget*>(XmitSpdUpDn))
            ->setEnabled(enabled);
    };
    hooks.clearMessageButtonMarks = [this] { markMessageButton(0); };
    hooks.pressMessageButton = [this](int n) { m_messageButtons->click(n); };
    hooks.selectDisplay = [this](bool waterfall) {
        if (waterfall)
            m_spectrumPanel->Waterfall2Click();
        else
            m_spectrumPanel->Spectrum1Click();
    };
    hooks.showLeds = [this](bool rcvOn, bool xmitOn) { showLeds(rcvOn, xmitOn); };
    hooks.messages = messageSink();
    hooks.transmitScreenChanged = [this](int32_t screen) { transmitScreenChanged(screen); };
    m_transmitPanel->setHooks(std::move(hooks));
}

void TDecoderForm::createMessageButtons() {
    m_macroSender = std::make_unique<PanelMacroSender>(*m_transmitPanel);
    FormButtonView::Calls calls;
    calls.mark = [this](int n) { markMessageButton(n); };
    calls.doubleScreen = [this] {
        return m_transmitPanel->controller().state().TransmitScreen == kDoubleScreen;
    };
    calls.appendReceive = [this](const std::string& text) {
        QTextCursor c = RcvMemo->textCursor();
        c.movePosition(QTextCursor::End);
        c.insertText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        RcvMemo->setTextCursor(c);
    };
    calls.appendTransmit = [this](const std::string& text) {
        QTextCursor c = TransmitMemo->textCursor();
        c.movePosition(QTextCursor::End);
        c.insertText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        TransmitMemo->setTextCursor(c);
    };
    calls.focusTransmit = [this] { TransmitMemo->setFocus(); };
    m_buttonView = std::make_unique<FormButtonView>(std::move(calls));
    m_messageButtons = std::make_unique<MessageButtons>(
        m_macroSources, [this] { return macroFields(); }, *m_macroSender, *m_buttonView,
        messageSink());

    const int width = m_clientWidth / kMacroCount;
    for (int n = 1; n <= kMacroCount; ++n) {
        auto* b = macros::createMessageButton(n, ContrlPnl);
        b->setGeometry((n - 1) * width, kMsgButtonTop, width, kMsgButtonHeight);
        connect(b, &QPushButton::clicked, this, [this, n] { m_messageButtons->click(n); });
        msgButtons[n] = b;
    }
}

void TDecoderForm::markMessageButton(int n) {
    macros::markMessageButtons(msgButtons, n);
}

void TDecoderForm::transmitScreenChanged(int32_t screen) {
    m_settings.TransmitScreen = setting::TransmitScreen(screen);
    check(optionItem(SettingId::TransmitScreen, m_settings.TransmitScreen));
}

bool TDecoderForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == XmitSpdUpDn && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        QTimer::singleShot(0, this, [this] { XmitSpdUpDnMouseUp(); }); // after the step
    return QMainWindow::eventFilter(watched, event);
}

void TDecoderForm::showTransmitSpeed() {
    const QSignalBlocker block(XmitSpdUpDn2);
    const QSignalBlocker blockUpDown(XmitSpdUpDn);
    XmitSpdUpDn2->setValue(m_speedControls->spinValue());
    XmitSpdUpDn->setValue(m_speedControls->upDownPosition());
    XmitSpeedPanel->setText(QString::fromStdString(m_speedControls->speedPanelText()));
    m_settings.XmitSpeed = XmitSpdUpDn2->value();
}

void TDecoderForm::XmitSpdUpDn2Change(int value) {
    const int shown = m_speedControls->XmitSpdUpDn2Change(value);
    const QSignalBlocker block(XmitSpdUpDn2);
    XmitSpdUpDn2->setValue(shown);
    m_settings.XmitSpeed = shown;
}

void TDecoderForm::XmitSpdUpDnMouseUp() {
    m_speedControls->XmitSpdUpDnMouseUp();
    showTransmitSpeed();
}

void TDecoderForm::applyXmitSpeed(int wpm) {
    m_speedControls->applyStoredSpeed(wpm);
    showTransmitSpeed();
}

void TDecoderForm::SyncBtnClick() {
    m_speedControls->SyncBtnClick(m_receiveWpm);
    showTransmitSpeed();
}

MacroFields TDecoderForm::macroFields() const {
    MacroFields f;
    f.CallMemo = StationPnl->CallMemo->text().toStdString();
    f.MyCallMemo = StationPnl->MyCallMemo->text().toStdString();
    f.NameMemo = StationPnl->NameMemo->text().toStdString();
    f.RSTMemo = StationPnl->RSTMemo->text().toStdString();
    f.MyRSTMemo = StationPnl->MyRSTMemo->text().toStdString();
    f.XmitCntrMemo = std::to_string(m_transmitPanel->contactCounter());
    XmitMacrosForm->fillMacroFields(f);
    return f;
}

void TDecoderForm::storePttSettings() {
    const PttSettings p = m_keying.port().ptt();
    m_settings.PttEnable = p.PttEnable ? 1 : 0;
    m_settings.PttInvert = p.PttInvert ? 1 : 0;
    m_settings.DtrIsData = p.DtrIsData ? 1 : 0;
    m_settings.DtrIsPtt = p.DtrIsPtt ? 1 : 0;
    m_settings.RtsIsData = p.RtsIsData ? 1 : 0;
    m_settings.RtsIsPtt = p.RtsIsPtt ? 1 : 0;
}

void TDecoderForm::keyUpLines() {
    m_keying.port().KeyState = kKeyUp;
    m_keying.port().SetKeyLines(kKeyUp);
    m_keying.port().updatePtt(false);
}

// ====================================================================== menus

void TDecoderForm::check(QAction* own) {
    // The common rule of option groups: the chosen item checked, the rest of its group not.
    for (QAction* a : m_groups.at(menuRow(own->objectName().toStdString()).setting))
        a->setChecked(a == own);
}

void TDecoderForm::post(ReceiveCommandKind kind, int value) {
    m_services.processor->post(ReceiveCommand{kind, value});
}

std::map<std::string, std::function<void()>> TDecoderForm::commandHandlers() {
    return {
        {"SaveRcv1", [this] { m_textFiles->SaveRcv1Click(RcvMemo); }},
        {"SaveTransmit1", [this] { m_textFiles->SaveTransmit1Click(TransmitMemo); }},
        {"LoadTransmit1", [this] { m_textFiles->LoadTransmit1Click(TransmitMemo, *m_textTarget); }},
        {"LoadDefault",
         [this] {
             if (m_services.loadDefaults) m_services.loadDefaults();
         }},
        {"Quit1", [this] { Quit1Click(); }},
        {"SelectSoundcard", [this] { SelectSoundcardClick(); }},
        {"AFCStartFreq1", [this] { AFCStartFreqForm->show(); }},
        {"Show2", [this] { TimeLineForm->showFromSettings(); }},
        {"BandDecoder1",
         [this] {
             m_bandWindow->show();
             m_bandWindow->raise();
             m_bandWindow->activateWindow();
         }},
        {"SetupPTT", [this] { PTTForm->show(); }},
        {"ShowConfiguration1", [this] { CharTimingForm->show(); }},
        {"ShowMacros", [this] { TransmitMemoryForm->showMacros(m_macroSources); }},
        {"Edit1", [this] { XmitMacrosForm->show(); }},
        {"RigControl1", [this] { m_station->showRigControlDialog(this); }},
        {"KeyingListener1", [this] { m_station->showKeyingListenerDialog(this); }},
        {"Help1", [this] { Help1Click(); }},
        {"About1", [this] { About1Click(); }},
    };
}

std::map<SettingId, TDecoderForm::OptionHandler> TDecoderForm::optionHandlers() {
    using K = ReceiveCommandKind;
    using S = SettingId;
    // Options the engine reads: store the value, tell the engine, check the item.
    auto engineOption = [this](auto& field, K kind) {
        return [this, &field, kind](int32_t value, QAction* own) {
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
            post(kind, value);
            check(own);
        };
    };
    // The output and tone items run the transmit side's handlers; the menu then shows the
    // checks those handlers hold.
    auto outputOption = [this](std::function<void(int32_t)> run) {
        return [this, run = std::move(run)](int32_t value, QAction*) {
            run(value);
            syncOutputChecks();
        };
    };
    auto toneOption = [this](std::function<void(int32_t)> run) {
        return [this, run = std::move(run)](int32_t value, QAction*) {
            run(value);
            syncToneChecks();
        };
    };
    return {
        {S::InputChannel, [this](int32_t v, QAction* own) { InputChannelClick(v, own); }},
        {S::StayOnTop, [this](int32_t v, QAction* own) { StayOnTopClick(v, own); }},
        {S::Messaging,
         [this](int32_t v, QAction* own) {
             m_settings.Messaging = setting::OnOff(v);
             check(own);
         }},
        {S::Background, [this](int32_t v, QAction* own) { BackgroundClick(v, own); }},
        {S::ScreenOpMode, [this](int32_t v, QAction* own) { ScreenOpModeClick(v, own); }},
        {S::ThresholdMode, engineOption(m_settings.ThresholdMode, K::ThresholdMode)},
        {S::NoiseFilter, engineOption(m_settings.NoiseFilter, K::NoiseFilter)},
        {S::Decoder, engineOption(m_settings.Decoder, K::Decoder)},
        {S::RxSpeedLock, [this](int32_t v, QAction* own) { ReceiveSpeedClick(v, own); }},
        {S::AfcWidth, [this](int32_t v, QAction* own) { AfcClick(v, own); }},
        {S::AfcTimer, engineOption(m_settings.AfcTimer, K::AfcTimer)},
        {S::TextCase, engineOption(m_settings.TextCase, K::TextCase)},
        {S::TextBold, [this](int32_t v, QAction* own) { TextBoldClick(v, own); }},
        {S::FontSize, [this](int32_t v, QAction* own) { FontSizeClick(v, own); }},
        {S::Scrolling,
         [this](int32_t v, QAction* own) {
             m_settings.Scrolling = setting::Switch3(v);
             check(own);
             focusRule();
         }},
        {S::SpacesMode, engineOption(m_settings.SpacesMode, K::SpacesMode)},
        {S::SpaceTime,
         [this, spaceTime = engineOption(m_settings.SpaceTime, K::SpaceTime)](int32_t v,
                                                                             QAction* own) {
             spaceTime(v, own);
             focusRule();
         }},
        {S::Prosigns, engineOption(m_settings.Prosigns, K::Prosigns)},
        {S::NonEnglish, engineOption(m_settings.NonEnglish, K::NonEnglish)},
        {S::TextDisplay, engineOption(m_settings.TextDisplay, K::TextDisplay)},
        // The spectrum panel checks these two itself.
        {S::DisplayType,
         [this](int32_t v, QAction*) {
             if (setting::DisplayType(v) == setting::DisplayType::Waterfall)
                 m_spectrumPanel->Waterfall2Click();
             else
                 m_spectrumPanel->Spectrum1Click();
         }},
        {S::TransmitScreen,
         [this](int32_t v, QAction* own) {
             m_transmitPanel->controller().setTransmitScreen(v);
             check(own);
         }},
        {S::OutputDevice, outputOption([this](int32_t v) {
             m_settings.OutputDevice = setting::OutputDevice(v);
             if (m_settings.OutputDevice == setting::OutputDevice::SoundCard) {
                 m_settings.OutputPort = setting::OutputPort::None;
                 m_outputMenu->SoundCard1Click();
             } else {
                 m_settings.OutputPort = setting::OutputPort::PortNumber;
                 m_outputMenu->SerialPort1Click(m_configLoading, m_settings.ComPortNumber);
             }
         })},
        {S::OutputPort, outputOption([this](int32_t v) {
             if (setting::OutputPort(v) == setting::OutputPort::PortNumber) {
                 m_outputMenu->PortNumber1Click();
             } else {
                 m_outputMenu->None1Click();
                 m_settings.OutputPort = setting::OutputPort::None;
             }
         })},
        {S::KeyInvert, outputOption([this](int32_t v) {
             m_settings.KeyInvert = setting::KeyInvert(v);
             if (m_settings.KeyInvert == setting::KeyInvert::Inverted)
                 m_outputMenu->Invert2Click();
             else
                 m_outputMenu->Normal1Click();
         })},
        {S::SidetoneFreq, toneOption([this](int32_t hz) {
             const auto& items = kSidetoneFrequenciesHz;
             const auto* it = std::find(std::begin(items), std::end(items), static_cast<float>(hz));
             m_toneMenu->FreqClick(static_cast<int>(it - std::begin(items)) + 1);
         })},
        {S::SidetoneWaveform, toneOption([this](int32_t v) {
             if (setting::SidetoneWaveform(v) == setting::SidetoneWaveform::Square)
                 m_toneMenu->Squarewave1Click();
             else
                 m_toneMenu->Sinewave1Click();
         })},
        {S::SidetoneOn, toneOption([this](int32_t v) {
             if (setting::OnOff(v) == setting::OnOff::On)
                 m_toneMenu->SideToneOnClick();
             else
                 m_toneMenu->SideToneOFFClick();
         })},
        {S::BeaconCarrierTime,
         toneOption([this](int32_t seconds) { m_toneMenu->beaconCarrierClick(seconds); })},
    };
}

void TDecoderForm::createMenus() {
    menuBar()->setObjectName("MainMenu");
    const auto commands = commandHandlers();
    const auto options = optionHandlers();
    std::map<std::string, QMenu*> menus;
    for (const MenuRow& row : menuRows()) {
        QMenu* parent = row.parent ? menus.at(row.parent) : nullptr;
        if (row.kind == MenuKind::Menu) {
            QMenu* m = parent ? parent->addMenu(row.caption) : menuBar()->addMenu(row.caption);
            m->setObjectName(row.name);
            m->menuAction()->setObjectName(QString(row.name) + "Menu");
            m->menuAction()->setVisible(!row.hidden);
            menus[row.name] = m;
            m_items[row.name] = m->menuAction();
            continue;
        }
        QAction* a = parent->addAction(row.caption);
        a->setObjectName(row.name);
        a->setVisible(!row.hidden);
        m_items[row.name] = a;
        // A row without its handler is a build mistake: it stops the program at once rather
        // than leaving an item that does nothing.
        if (row.kind == MenuKind::Command) {
            const auto run = commands.find(row.name);
            if (run == commands.end())
                throw std::logic_error(std::string("menu command without a handler: ") + row.name);
            connect(a, &QAction::triggered, this, run->second);
            continue;
        }
        const auto handler = options.find(row.setting);
        if (handler == options.end())
            throw std::logic_error(std::string("menu option without a handler: ") + row.name);
        a->setCheckable(true);
        m_groups[row.setting].push_back(a);
        connect(a, &QAction::triggered, this,
                [a, run = handler->second, value = row.value] { run(value, a); });
    }
    // "Locked WPM" carries the check of any locked speed.
    optionMenuItem("LockedWPM")->setCheckable(true);
    m_spectrumPanel->attachModeItems(
        optionItem(SettingId::DisplayType, setting::DisplayType::Line),
        optionItem(SettingId::DisplayType, setting::DisplayType::Waterfall));
}

QAction* TDecoderForm::optionMenuItem(const char* name) const {
    return m_items.at(menuRow(name).name);
}

void TDecoderForm::selectDefaults() {
    // Every group starts with the item of its setting's value checked (no handler runs here).
    for (const auto& [setting, group] : m_groups) {
        (void)group;
        if (const MenuRow* row = optionRow(setting, settingValue(m_settings, setting)))
            check(m_items.at(row->name));
    }
    applyColours();
}

bool TDecoderForm::click(const QString& itemName) {
    QAction* a = item(itemName);
    if (!a->isEnabled()) return false;
    a->trigger();
    return true;
}

bool TDecoderForm::choose(SettingId setting, int32_t value) {
    const MenuRow* row = optionRow(setting, value);
    if (!row) return false;
    m_items.at(row->name)->trigger();
    return true;
}

QAction* TDecoderForm::item(const QString& itemName) const {
    return m_items.at(menuRow(itemName.toStdString()).name);
}

QAction* TDecoderForm::optionItem(SettingId setting, int32_t value) const {
    const MenuRow* row = optionRow(setting, value);
    if (!row) throw std::invalid_argument("no menu item stands for this value");
    return m_items.at(row->name);
}

std::vector<QAction*> TDecoderForm::groupOf(const QString& itemName) const {
    const MenuRow& row = menuRow(itemName.toStdString());
    const auto it = m_groups.find(row.setting);
    return row.kind != MenuKind::Option || it == m_groups.end() ? std::vector<QAction*>{}
                                                                 : it->second;
}

// ====================================================================== option handlers

void TDecoderForm::focusRule() {
    if (typingActive() != kStateOff)
        TransmitMemo->setFocus();
    else
        RcvMemo->setFocus();
}

void TDecoderForm::InputChannelClick(int channel, QAction* own) {
    m_settings.InputChannel = setting::InputChannel(channel);
    check(own);
    if (m_FirstStart) return;
    messages().show(channel == kInputMic
                        ? "Be sure to set the mixer panel recording input to Microphone"
                        : "Be sure to set the mixer panel recording input to Line in",
                    "Operating Hint");
    LoopFlags& loop = m_session->flags();
    loop.LoopStopped = true;
    loop.QuitRequested = false;
    loop.RestartLoop = true;
    enableSystemTimer();
}

void TDecoderForm::SelectSoundcardClick() {
    SystemTimer->stop();
    LoopFlags& loop = m_session->flags();
    loop.QuitRequested = false;
    // Capture pauses for the dialog on its own account: a send that ends meanwhile does not
    // resume it, and closing the dialog does not resume it while a send keys.
    loop.capturePause.set(PauseReason::SoundCardDialog, true);
    if (!SoundCardSelect) SoundCardSelect = new TSoundCardSelect(*m_soundCardHost, this);
    loop.RestartLoop = true;
    SoundCardSelect->show();
}

void TDecoderForm::StayOnTopClick(int on, QAction* own) {
    m_settings.StayOnTop = setting::OnOff(on);
    check(own);
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on == 1);
    if (wasVisible) show(); // changing the flag hides a shown window
}

void TDecoderForm::BackgroundClick(int background, QAction* own) {
    m_settings.Background = setting::Background(background);
    check(own);
    applyColours();
}

void TDecoderForm::ScreenOpModeClick(int mode, QAction* own) {
    m_settings.ScreenOpMode = setting::ScreenOpMode(mode);
    check(own);
    if (m_settings.ScreenOpMode == setting::ScreenOpMode::ReceiveOnly) {
        TransmitMemo->move(0, kRxTransmitMemoTop);
        Rcv2Pnl->setVisible(true);
        Rcv2Pnl->move(0, ImagePnl->height() + Panel3->height() + RcvMemo->height() +
                             SplitPnl->height());
        Panel2->move(0, kRxPanel2Top);
        m_windowHeight = kRxWindowHeight;
        centralWidget()->setFixedHeight(kRxClientHeight);
    } else {
        TransmitMemo->move(0, kTrTransmitMemoTop);
        m_windowHeight = kTrWindowHeight;
        Rcv2Pnl->move(0, kTrRcv2PnlTop);
        Rcv2Pnl->setVisible(false);
        Panel2->move(0, kTrPanel2Top);
        centralWidget()->setFixedHeight(kTrClientHeight);
    }
    // The decoder reset's caption: in full in receive-only mode, short beside the transmit side.
    ClearButton->setText(m_settings.ScreenOpMode == setting::ScreenOpMode::ReceiveOnly
                             ? "Clear Decode"
                             : "Clr Decode");
    centralWidget()->setFixedWidth(m_clientWidth);
    adjustSize();
    post(ReceiveCommandKind::ScreenOpMode, mode);
}

void TDecoderForm::ReceiveSpeedClick(int lock, QAction* own) {
    m_settings.RxSpeedLock = setting::RxSpeedLock(lock);
    // Auto and the locked speeds form one group; "Locked WPM" carries the check of any lock.
    check(own);
    optionMenuItem("LockedWPM")->setChecked(m_settings.RxSpeedLock != setting::RxSpeedLock::Auto);
    post(ReceiveCommandKind::ReceiveSpeedMode, lock);
    // The transmit speed follows, within what the output can key. Auto takes the receive
    // speed as it stands after the decoder reset the choice runs, not Auto's starting 25.
    m_speedControls->lockedSpeed(m_settings.RxSpeedLock == setting::RxSpeedLock::Auto
                                     ? kDecoderResetSpeedWpm
                                     : lockedSpeedWpm(m_settings.RxSpeedLock));
    showTransmitSpeed();
}

void TDecoderForm::selectSoundCardOutput() {
    m_settings.OutputDevice = setting::OutputDevice::SoundCard;
    m_outputMenu->selectSoundCardOnly();
    syncOutputChecks();
}

void TDecoderForm::syncOutputChecks() {
    const OutputMenuChecks& c = m_outputMenu->checks();
    using S = SettingId;
    namespace st = setting;
    optionItem(S::OutputDevice, st::OutputDevice::SoundCard)->setChecked(c.SoundCard1);
    optionItem(S::OutputDevice, st::OutputDevice::SerialPort)->setChecked(c.SerialPort1);
    optionItem(S::OutputPort, st::OutputPort::PortNumber)->setChecked(c.PortNumber1);
    optionItem(S::OutputPort, st::OutputPort::None)->setChecked(c.None1);
    optionItem(S::KeyInvert, st::KeyInvert::Normal)->setChecked(c.Normal1);
    optionItem(S::KeyInvert, st::KeyInvert::Inverted)->setChecked(c.Invert2);
    ComPortSelectForm->portChosen = c.portChosen;
}

void TDecoderForm::checkPortNumber() {
    m_outputMenu->checkPortNumber();
    syncOutputChecks();
}

void TDecoderForm::setUnlistedSidetone(float hz) {
    m_toneMenu->setUnlistedFrequency(hz);
    syncToneChecks();
}

void TDecoderForm::setUnlistedCarrierTime(int seconds) {
    m_toneMenu->setUnlistedCarrierTime(seconds);
    syncToneChecks();
}

void TDecoderForm::syncToneChecks() {
    using S = SettingId;
    namespace st = setting;
    const ToneMenuChecks& c = m_toneMenu->checks();
    // The frequency and carrier items are in the order of the checks' arrays.
    const auto& freqs = m_groups.at(S::SidetoneFreq);
    for (size_t i = 0; i < c.freq.size(); ++i)
        freqs.at(i)->setChecked(c.freq[i]);
    optionItem(S::SidetoneWaveform, st::SidetoneWaveform::Sine)->setChecked(c.Sinewave1);
    optionItem(S::SidetoneWaveform, st::SidetoneWaveform::Square)->setChecked(c.Squarewave1);
    optionItem(S::SidetoneOn, st::OnOff::On)->setChecked(c.SideToneOn);
    optionItem(S::SidetoneOn, st::OnOff::Off)->setChecked(c.SideToneOFF);
    const auto& carriers = m_groups.at(S::BeaconCarrierTime);
    for (size_t i = 0; i < c.carrierSeconds.size(); ++i)
        carriers.at(i)->setChecked(c.carrierSeconds[i]);
}

void TDecoderForm::AfcClick(int width, QAction* own) {
    static constexpr int kSpan[] = {10, 20, 80, 400};
    m_settings.AfcOn = width == 0 ? 0 : 1;
    m_settings.AfcSpan = kSpan[width];
    m_settings.AfcWidth = setting::AfcWidth(width);
    check(own);
    post(ReceiveCommandKind::AfcMode, width);
}

void TDecoderForm::TextBoldClick(int bold, QAction* own) {
    m_settings.TextBold = setting::TextBold(bold);
    check(own);
    QFont f = RcvMemo->font();
    f.setBold(bold == 1);
    RcvMemo->setFont(f);
}

void TDecoderForm::FontSizeClick(int size, QAction* own) {
    m_settings.FontSize = setting::FontSize(size);
    check(own);
    applyFontSize(size);
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
            if (!SndCardErrForm) SndCardErrForm = new TSndCardErrForm(*m_soundCardHost, this);
            SndCardErrForm->show();
            if (SndCardErrForm->quitChosen) { // chosen at an earlier showing
                terminateApplication();
                return;
            }
        } else {
            m_session->flags().NoInputDevice = false;
        }
        if (m_services.loadConfiguration) m_services.loadConfiguration();
        if (m_services.startInputDeviceId)
            m_settings.InputDeviceId = *m_services.startInputDeviceId;
        if (m_services.startToneHz) {
            m_settings.TunedBin = binForToneHz(*m_services.startToneHz);
            post(ReceiveCommandKind::TuneToBin, m_settings.TunedBin);
        }
        m_FirstStart = false;
        enterRunLoop();
    } else if (m_session->flags().LoopStopped.load()) {
        if (m_session->running()) {
            SystemTimer->start(); // the loop is still finishing its buffer: look again later
            return;
        }
        LoopFlags& loop = m_session->flags();
        loop.LoopStopped = false;
        loop.QuitRequested = false;
        loop.RestartLoop = false;
        enterRunLoop();
    }
}

void TDecoderForm::enterRunLoop() {
    m_session->join();
    m_spectrumPanel->runLoopEntry();
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
    storePttSettings();
    saveBandPlacement();
    // Before the first load (the first SystemTimer tick) the window holds only its creation
    // defaults: saving them would overwrite the operator's stored settings.
    if (!m_FirstStart && m_services.saveConfiguration) m_services.saveConfiguration();
    stopSendIfActive();
    stopSequence();
    terminateApplication();
}

// ====================================================================== band window

namespace {
constexpr const char* kBandOpenKey = "band.open";
constexpr const char* kBandXKey = "band.x";
constexpr const char* kBandYKey = "band.y";
constexpr const char* kBandWidthKey = "band.width";
constexpr const char* kBandHeightKey = "band.height";
constexpr int32_t kMaxPlacement = 100000;
constexpr int32_t kMinBandSize = 120;
} // namespace

void TDecoderForm::createBandWindow() {
    m_bandWindow = new BandWindow(this);
    // A row click tunes exactly as a click on the spectrum does.
    connect(m_bandWindow, &BandWindow::tuneRequested, this,
            [this](int bin) { post(ReceiveCommandKind::TuneToBin, bin); });
    connect(m_bandWindow, &BandWindow::shownChanged, this, [this](bool shown) {
        if (m_services.bandWorker) m_services.bandWorker->setEnabled(shown);
        if (!shown) m_spectrumPanel->spectrumBox()->setBandMarks({});
        // Closing the window is remembered at once; the quit saves its last placement.
        if (!m_quitting) saveBandPlacement();
    });
    if (m_services.bandWorker) {
        m_services.bandWorker->setPassDone([this](const BandPassResult& r, long dropped) {
            m_calls->post([this, r, dropped] {
                if (!m_bandWindow->isVisible()) return;
                m_bandWindow->showPass(r, dropped);
                std::vector<int> marks;
                marks.reserve(static_cast<size_t>(r.channelCount));
                for (int i = 0; i < r.channelCount; ++i) {
                    marks.push_back(static_cast<int>(std::lround(r.channels[static_cast<size_t>(i)].pitchHz / kBinHz)) + 1);
                }
                m_spectrumPanel->spectrumBox()->setBandMarks(marks);
            });
        });
    }
    if (!m_services.settingsFile) return;
    const SettingsFile& f = *m_services.settingsFile;
    const int32_t w = f.number(kBandWidthKey, 0, kMinBandSize, kMaxPlacement);
    const int32_t h = f.number(kBandHeightKey, 0, kMinBandSize, kMaxPlacement);
    if (w > 0 && h > 0) m_bandWindow->resize(w, h);
    if (f.value(kBandXKey) && f.value(kBandYKey)) {
        m_bandWindow->move(f.number(kBandXKey, 0, -kMaxPlacement, kMaxPlacement),
                           f.number(kBandYKey, 0, -kMaxPlacement, kMaxPlacement));
    }
    if (f.flag(kBandOpenKey, false)) QTimer::singleShot(0, m_bandWindow, [this] { m_bandWindow->show(); });
}

void TDecoderForm::saveBandPlacement() {
    if (!m_services.settingsFile) return;
    SettingsFile& f = *m_services.settingsFile;
    f.setFlag(kBandOpenKey, m_bandWindow->isVisible());
    f.setNumber(kBandXKey, m_bandWindow->x());
    f.setNumber(kBandYKey, m_bandWindow->y());
    f.setNumber(kBandWidthKey, m_bandWindow->width());
    f.setNumber(kBandHeightKey, m_bandWindow->height());
    const std::string problem = f.save();
    if (!problem.empty()) messages().show(problem, "Band window");
}

void TDecoderForm::closeEvent(QCloseEvent* event) {
    Quit1Click();
    event->accept();
}

void TDecoderForm::About1Click() {
    messages().show(kAboutText, "About DITA");
}

void TDecoderForm::Help1Click() {
    auto page = findDataFile("DITA.html");
#ifdef DITA_BUILD_HELP
    if (!page && std::filesystem::exists(DITA_BUILD_HELP))
        page = std::filesystem::path(DITA_BUILD_HELP);
#endif
    if (!page || !m_services.openUrl(QUrl::fromLocalFile(QString::fromStdString(page->string()))))
        messages().show("Could not run the help application", "");
}

ConfigWindow& TDecoderForm::configWindow() {
    return *m_configView;
}

// ====================================================================== per pass

void TDecoderForm::SystemTimer2Timer() {
    m_clockTexts = makeClockTexts(std::time(nullptr));
    const ClockTexts& t = m_clockTexts;
    UTCPnl->setText(QString::fromStdString(t.utcTime));
    UTCDatePnl->setText(QString::fromStdString(t.utcDate));
    StationPnl->setClockTexts(t.utcDate, t.utcTime, t.LogDateText, t.LogTimeText);
    XmitMacrosForm->setClockTexts(t.utcTime, t.localTime);
}

void TDecoderForm::insertReceiveText(const std::string& utf8) {
    if (utf8.empty()) return;
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    // Writing replaces the current selection; the caret then follows the text.
    QTextCursor c = RcvMemo->textCursor();
    c.insertText(text);
    RcvMemo->setTextCursor(c);
    if (m_settings.Scrolling == setting::Switch3::On) RcvMemo->ensureCursorVisible();
}

void TDecoderForm::showPass(const PassResult& r, bool outputStalled) {
    ++m_passesShown;
    m_spectrumPanel->showPass(r);
    // A pass during which the watchdog reported a stall is not drawn on the timeline.
    if (!outputStalled && TimeLineForm->running()) TimeLineForm->showPass(r);
    if (r.rawSnrShown && m_settings.ScreenOpMode == setting::ScreenOpMode::ReceiveOnly)
        RawSnrMemo->setText("RAW = " + QString::number(r.displayedSnr));
    insertReceiveText(r.text);
    m_receiveWpm = r.receiveWpm;
    RcvWPMPnl->setText(QString::number(r.receiveWpm));
    SystemTimer2Timer();
    SignalBar->SetValue(std::isfinite(r.signalBarValue) ? r.signalBarValue : 0.0);
    SignalBar->BarSettings()->SetColor(r.signalBarColor);
    m_settings.TunedBin = r.tunedBin;
}

void TDecoderForm::showLeds(bool rcvOn, bool xmitOn) {
    RcvLED->SetChecked(rcvOn);
    XmitLED->SetChecked(xmitOn);
}

double TDecoderForm::signalBarValue() const {
    return SignalBar->Value();
}

uint32_t TDecoderForm::signalBarColor() const {
    return SignalBar->BarSettings()->Color();
}

bool TDecoderForm::rcvLedOn() const {
    return RcvLED->Checked();
}

bool TDecoderForm::xmitLedOn() const {
    return XmitLED->Checked();
}

FormReadout TDecoderForm::readout() const {
    FormReadout r;
    r.receiveText = RcvMemo->toPlainText();
    r.transmitText = TransmitMemo->toPlainText();
    r.receiveWpm = RcvWPMPnl->text();
    r.rawSnr = RawSnrMemo->text();
    r.marker = MkrLabel->text();
    r.utcTime = UTCPnl->text();
    r.utcDate = UTCDatePnl->text();
    r.xmitSpeed = XmitSpdUpDn2->value();
    r.xmitSpeedPanel = XmitSpeedPanel->text();
    return r;
}

QPixmap TDecoderForm::bandWindowPicture() const {
    return m_bandWindow->isVisible() ? m_bandWindow->grab() : QPixmap();
}

} // namespace dita
