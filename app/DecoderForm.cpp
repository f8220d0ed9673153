#include "app/DecoderForm.h"

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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLayout>
#include <QSpinBox>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cmath>

#include "app/SetupDialogs.h"
#include "app/SoundCardDialogs.h"
#include "common/CallQueue.h"
#include "common/DitaPaths.h"
#include "display/DisplayPanel.h"
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

namespace {

// Layout of the client area (the parts not fixed by the screen modes are our own choice).
// The client is at least this wide, and as wide as the station panel needs.
constexpr int kMinClientWidth = 784;
constexpr int kImagePnlHeight = SpectrumPanel::kPanelHeight;
constexpr int kPanel3Height = 40;
constexpr int kRcvMemoHeight = 124;
constexpr int kSplitPnlHeight = 4;
constexpr int kRcv2PnlHeight = 44;
constexpr int kTransmitMemoHeight = 126;
constexpr int kPanel2Height = 5;

// Places of the controls inside their panels.
constexpr QRect kBrandLabelRect{40, 50, 90, 30};
constexpr QRect kLabel3Rect{4, 10, 44, 20};
constexpr QPoint kSignalBarPos{48, 9};
constexpr QRect kLabel12Rect{150, 10, 34, 20};
constexpr QRect kRcvWPMPnlRect{184, 6, 40, 28};
constexpr QRect kLabel13Rect{234, 10, 30, 20};
constexpr QRect kUTCPnlRect{264, 6, 70, 28};
constexpr QRect kLabel14Rect{344, 10, 32, 20};
constexpr QRect kUTCDatePnlRect{376, 6, 90, 28};
// The lamps sit under their captions, centred.
constexpr QRect kRcvLEDLabelRect{476, 0, 64, 14};
constexpr QPoint kRcvLEDPos{488, 17};
constexpr QRect kXmitLEDLabelRect{546, 0, 64, 14};
constexpr QPoint kXmitLEDPos{557, 15};
constexpr QRect kLabel15Rect{624, 0, 68, 14};
constexpr QRect kGkClock1Rect{624, 14, 68, 24};
constexpr QRect kClearButtonRect{696, 2, 84, 18}; // wide enough for "Clear Decode"
constexpr QRect kClrRcvBtnRect{696, 20, 84, 18};
constexpr QRect kCoarseGainBar2Rect{8, 10, 200, 24};
constexpr QRect kRawSnrMemoRect{230, 8, 110, 28};
constexpr QRect kClrRcvBtn2Rect{360, 8, 80, 28};
// The lower control panel: the station panel on top, the gain bar and the transmit speed and
// contact controls below it.
constexpr int kStationPnlTop = 4;
constexpr int kControlRowTop = 96;
constexpr int kControlCaptionTop = kControlRowTop - 20;
constexpr int kCaptionHeight = 18;
constexpr QRect kCoarseGainBarRect{8, kControlRowTop, 200, 24};
constexpr QRect kGainCaptionRect{8, kControlCaptionTop, 200, kCaptionHeight};
constexpr QRect kXmitWPMCaptionRect{330, kControlCaptionTop, 110, kCaptionHeight};
constexpr QRect kXmitSpdUpDn2Rect{330, kControlRowTop, 70, 28};
constexpr QRect kXmitSpdUpDnRect{404, kControlRowTop, 22, 28};
constexpr QRect kXmitSpeedPanelRect{430, kControlRowTop, 40, 28};
constexpr QRect kSyncBtnRect{476, kControlRowTop, 50, 28};
// Below the control row: the transmit buttons with their captions, then the message buttons.
constexpr int kTransmitPanelTop = 126;
constexpr int kTransmitPanelHeight = 48;
constexpr int kMsgButtonTop = kTransmitPanelTop + kTransmitPanelHeight;
constexpr int kMsgButtonHeight = 24;

// Screen op modes.
constexpr int kRxTransmitMemoTop = 661;
constexpr int kRxPanel2Top = 312;
constexpr int kRxWindowHeight = 366;
constexpr int kRxClientHeight = 317;
constexpr int kTrTransmitMemoTop = 268;
constexpr int kTrWindowHeight = 649;
constexpr int kTrRcv2PnlTop = 616;
constexpr int kTrPanel2Top = 594;
constexpr int kTrClientHeight = 599;

constexpr int kXmitSpeedMin = 10;
constexpr int kXmitSpeedMax = 125;
constexpr int kBrandFontPt = 16;


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

// ====================================================================== FormCreate

TDecoderForm::TDecoderForm(DecoderFormServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)) {
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
    // Capture buffers live in the capture cycle; it and the loop are made once.
    m_capture = std::make_unique<CaptureCycle>(
        *m_services.catalog,
        [this](WaveOp op) {
            m_calls->post([this, op] { messages().show(waveMessage(op), kWaveCaption); });
        },
        m_services.captureTimings);
    RunLoopEvents events;
    events.passDone = [this](const PassResult& r) {
        // The watchdog's flag as it stands at the end of this pass decides its timeline.
        const bool stalled = m_flags.OutputStalled.load();
        m_calls->post([this, r, stalled] { showPass(r, stalled); });
    };
    events.leds = [this](bool rcv, bool xmit) {
        m_calls->post([this, rcv, xmit] { showLeds(rcv, xmit); });
    };
    events.fatalError = [this] { m_calls->post([this] { errorExit(0); }); };
    events.inputDeviceFallback = [this](int id) {
        m_calls->post([this, id] { m_settings.InputDeviceId = id; });
    };
    m_runLoop = std::make_unique<RunLoop>(m_flags, *m_capture, *m_services.processor,
                                          std::move(events), m_services.loopTimings);

    createSubsystems();
    createControls();
    createMenus();

    // Screen mode at creation: receive only.
    ScreenOpModeClick(0, item("ReceiveOnly1"));

    m_flags.StopLoop = false;
    m_flags.RestartLoop = false;
    m_flags.NoInputDevice = true;

    // The memos start at the size of the checked size item.
    applyFontSize(m_settings.FontSize);

    AFCStartFreqForm = new TAFCStartFreqForm(this, m_settings);
    CharTimingForm = new TCharTimingForm(this, m_settings, [this](const std::array<float, 4>& w) {
        m_speedControls->setTimingWeights({w[0], w[1], w[2], w[3]});
    });
    ComPortSelectForm = new TComPortSelectForm(
        this, m_settings,
        [this](int port) {
            m_settings.OutputPort = kOutputPortNumber;
            m_outputMenu->comPortChosen(port);
        },
        [this] { m_outputMenu->comPortCancelled(); });
    TransmitMemoryForm = new macros::TTransmitMemoryForm(this);
    ShowMacroKeysForm = new macros::TShowMacroKeysForm(
        messageSink(), macros::TShowMacroKeysForm::defaultKeyFile, this);
    XmitMacrosForm = new macros::TXmitMacrosForm(m_macroSources, messageSink(), TransmitMemoryForm,
                                                 ShowMacroKeysForm, this);
    PTTForm = new TPTTForm(*m_keyingPort, messageSink(), this);
    connect(PTTForm, &QDialog::finished, this, [this] { storePttSettings(); });
    TimeLineForm = new TTimeLineForm(this);
    connect(TimeLineForm, &TTimeLineForm::timelineShownChanged, this,
            [this](bool shown) { m_settings.TimelineShown = shown ? 1 : 0; });

    selectDefaults();
    click("DisableEnglish");

    SystemTimer = new QTimer(this);
    SystemTimer->setObjectName("SystemTimer");
    SystemTimer->setInterval(m_services.systemTimerMs);
    connect(SystemTimer, &QTimer::timeout, this, [this] { SystemTimerTimer(); });
    SystemTimer2 = new QTimer(this); // bound to the clock, never switched on
    SystemTimer2->setObjectName("SystemTimer2");
    connect(SystemTimer2, &QTimer::timeout, this, [this] { SystemTimer2Timer(); });

    SoundCardSelect = nullptr;
    SndCardErrForm = nullptr;
    m_FirstStart = true;
    SystemTimer->start();
}

TDecoderForm::~TDecoderForm() {
    // The senders key through parts this window owns (the keyers, the keying port): the panel
    // and its senders go first, before those members are destroyed.
    delete m_transmitPanel;
    m_transmitPanel = nullptr;
    SystemTimer->stop();
    m_flags.StopLoop = true;
    m_flags.QuitRequested = true;
    joinRunLoop();
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
    m_keyingPort = std::make_unique<KeyingPort>(messageSink(), m_services.keyingOpener);
    m_sendTiming = std::make_unique<SendTimingStore>();
    m_keyingClock = std::make_unique<MonotonicClock>();
    m_pttHold = std::make_unique<PttHoldTimer>(*m_keyingPort);
    m_serialKeyer =
        std::make_unique<SerialKeyer>(*m_keyingPort, *m_sendTiming, *m_keyingClock, m_pttHold.get());
    if (m_services.toneDevice) {
        m_toneOutput = std::make_unique<ToneOutput>(
            *m_services.toneDevice, messageSink(),
            [this] { m_calls->post([this] { errorExit(0); }); },
            *m_keyingClock,
            // The output watchdog's stall: the receive loop resets its input, or skips the
            // timeline of the pass it lands in.
            [this] { m_flags.OutputStalled.store(true); });
        m_toneKeyer = std::make_unique<ToneKeyer>(*m_toneOutput, *m_sendTiming);
    }

    TransmitSpeedControls::Hooks speed;
    speed.outputDevice = [this] { return m_settings.OutputDevice; };
    speed.typingActive = [this] { return typingActive() == kStateOn; };
    speed.focusTransmitMemo = [this] { TransmitMemo->setFocus(); };
    m_speedControls =
        std::make_unique<TransmitSpeedControls>(*m_sendTiming, messageSink(), std::move(speed));
    // The keyers have lengths to use from the start, before any configuration or speed change.
    m_speedControls->applyStoredSpeed(m_settings.XmitSpeed);
    OutputMenuHandlers::Hooks output;
    output.showComPortDialog = [this] { ComPortSelectForm->show(); };
    output.setSidetone = [this](bool on) { click(on ? "SideToneOn" : "SideToneOFF"); };
    output.focusTransmitMemo = [this] { TransmitMemo->setFocus(); };
    m_outputMenu = std::make_unique<OutputMenuHandlers>(*m_keyingPort, std::move(output));
    m_toneMenu = std::make_unique<ToneMenuHandlers>(
        [this](const ToneSettings& tone, const BeaconCarrier& carrier) {
            m_settings.SidetoneFreq = tone.SidetoneFreq;
            m_settings.SidetoneWaveform = tone.SidetoneWaveform;
            m_settings.SidetoneOn = tone.SidetoneOn ? 1 : 0;
            m_settings.BeaconCarrierTime = carrier.BeaconCarrierTime;
            m_settings.BeaconCarrierMs = static_cast<int32_t>(carrier.BeaconCarrierMs);
            m_settings.BeaconCarrierSamples = static_cast<int32_t>(carrier.BeaconCarrierSamples);
            m_serialKeyer->setBeaconCarrier(carrier);
            if (m_toneKeyer) {
                m_toneKeyer->setTone(tone);
                m_toneKeyer->setBeaconCarrier(carrier);
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
            return m_transmitPanel->controller().state().SendActive.load();
        };
    if (!m_services.stopSend)
        m_services.stopSend = [this] { m_transmitPanel->controller().SendBtnClick(); };
}

Keyer* TDecoderForm::currentKeyer() {
    if (m_services.keyer) return m_services.keyer();
    if (m_keyingPort->OutputDevice.load() == kOutputSerialPort) return m_serialKeyer.get();
    return m_toneKeyer.get();
}

int TDecoderForm::typingActive() const {
    return m_transmitPanel->controller().state().TypingActive.load();
}

void TDecoderForm::setTypingActive(int state) {
    m_transmitPanel->controller().state().TypingActive = state;
}

void TDecoderForm::createTransmitSide(QWidget* client) {
    m_transmitPanel = new TransmitPanel({[this] { return currentKeyer(); }, m_keyingPort.get(),
                                         [this](int n) {
                                             return ExpandMacro(m_macroSources.at(n),
                                                                macroFields());
                                         }},
                                        m_flags.TransmitActive, ContrlPnl);
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
    MsgButton1 = msgButtons[1];
    MsgButton2 = msgButtons[2];
    MsgButton3 = msgButtons[3];
    MsgButton4 = msgButtons[4];
    MsgButton5 = msgButtons[5];
    MsgButton6 = msgButtons[6];
    MsgButton7 = msgButtons[7];
    MsgButton8 = msgButtons[8];
    MsgButton9 = msgButtons[9];
    MsgButton10 = msgButtons[10];
    MsgButton11 = msgButtons[11];
    MsgButton12 = msgButtons[12];
    MsgButton130 = msgButtons[13];
    MsgButton140 = msgButtons[14];
    MsgButton150 = msgButtons[15];
}

void TDecoderForm::markMessageButton(int n) {
    macros::markMessageButtons(msgButtons, n);
}

void TDecoderForm::transmitScreenChanged(int32_t screen) {
    m_settings.TransmitScreen = screen;
    check(item(screen == kDoubleScreen ? "DoubleScreen1" : "SingleScreen1"));
}

void TDecoderForm::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName("Client");
    setCentralWidget(client);

    // The station panel decides how wide the window is.
    StationPnl = new StationPanel(messageSink(), AdifLogWriter::defaultLogPath, client);
    m_clientWidth = std::max(kMinClientWidth, StationPnl->width());

    auto frame = [this, client](const char* name, int top, int height) {
        auto* f = new QFrame(client);
        f->setObjectName(name);
        f->setGeometry(0, top, m_clientWidth, height);
        f->setAutoFillBackground(true);
        return f;
    };
    auto label = [](QWidget* parent, const char* name, const QString& text, QRect r) {
        auto* l = new QLabel(text, parent);
        l->setObjectName(name);
        l->setGeometry(r);
        l->setAutoFillBackground(true);
        return l;
    };

    m_spectrumPanel = new SpectrumPanel(client);
    m_spectrumPanel->setGeometry(0, 0, m_clientWidth, kImagePnlHeight);
    ImagePnl = m_spectrumPanel;
    MkrLabel = m_spectrumPanel->mkrLabel();
    // Clicks, mode and gain changes reach the engine as commands between passes.
    connect(m_spectrumPanel, &SpectrumPanel::tuneRequested, this,
            [this](int bin) { post(ReceiveCommandKind::TuneToBin, bin); });
    connect(m_spectrumPanel, &SpectrumPanel::displayTypeChanged, this, [this](int type) {
        m_settings.DisplayType = type;
        post(ReceiveCommandKind::DisplayType, type);
    });
    connect(m_spectrumPanel, &SpectrumPanel::displayGainChanged, this, [this](int position) {
        m_settings.DisplayGain = position;
        post(ReceiveCommandKind::DisplayGain, position);
        focusRule();
    });
    auto* brand = label(ImagePnl, "BrandLabel", "DITA", kBrandLabelRect);
    QFont bf = brand->font();
    bf.setPointSize(kBrandFontPt);
    bf.setBold(true);
    brand->setFont(bf);
    brand->setAutoFillBackground(false);
    QPalette bp = brand->palette();
    bp.setColor(QPalette::WindowText, Qt::gray); // readable on both backgrounds
    brand->setPalette(bp);

    Panel3 = frame("Panel3", kImagePnlHeight, kPanel3Height);
    Label3 = label(Panel3, "Label3", "Signal", kLabel3Rect);
    SignalBar = createSignalBar(Panel3);
    SignalBar->move(kSignalBarPos);
    Label12 = label(Panel3, "Label12", "WPM", kLabel12Rect);
    RcvWPMPnl = label(Panel3, "RcvWPMPnl", "", kRcvWPMPnlRect);
    RcvWPMPnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RcvWPMPnl->setAlignment(Qt::AlignCenter);
    Label13 = label(Panel3, "Label13", "UTC", kLabel13Rect);
    UTCPnl = label(Panel3, "UTCPnl", "", kUTCPnlRect);
    UTCPnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    UTCPnl->setAlignment(Qt::AlignCenter);
    // The date is also shown here, where it stays in sight in receive-only mode.
    Label14 = label(Panel3, "Label14", "Date", kLabel14Rect);
    UTCDatePnl = label(Panel3, "UTCDatePnl", "", kUTCDatePnlRect);
    UTCDatePnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    UTCDatePnl->setAlignment(Qt::AlignCenter);
    RcvLEDLabel = label(Panel3, "RcvLEDLabel", "Receive", kRcvLEDLabelRect);
    RcvLEDLabel->setAlignment(Qt::AlignCenter);
    RcvLED = createRcvLED(Panel3);
    RcvLED->move(kRcvLEDPos);
    XmitLEDLabel = label(Panel3, "XmitLEDLabel", "Transmit", kXmitLEDLabelRect);
    XmitLEDLabel->setAlignment(Qt::AlignCenter);
    XmitLED = createXmitLED(Panel3);
    XmitLED->move(kXmitLEDPos);
    Label15 = label(Panel3, "Label15", "Local", kLabel15Rect);
    GkClock1 = new TGkClock(Panel3);
    GkClock1->setObjectName("GkClock1");
    GkClock1->setGeometry(kGkClock1Rect);
    ClearButton = new QPushButton(Panel3); // captioned by the screen mode
    ClearButton->setObjectName("ClearButton");
    ClearButton->setToolTip("Reset Stuck Decoding");
    ClearButton->setGeometry(kClearButtonRect);
    connect(ClearButton, &QPushButton::clicked, this,
            [this] { post(ReceiveCommandKind::DecoderReset, 0); });
    ClrRcvBtn = new QPushButton("Clear Rcv", Panel3);
    ClrRcvBtn->setObjectName("ClrRcvBtn");
    ClrRcvBtn->setToolTip("Clear Receive Text");
    ClrRcvBtn->setGeometry(kClrRcvBtnRect);
    connect(ClrRcvBtn, &QPushButton::clicked, this, [this] { RcvMemo->clear(); });

    RcvMemo = new QPlainTextEdit(client);
    RcvMemo->setObjectName("RcvMemo");
    RcvMemo->setGeometry(0, kImagePnlHeight + kPanel3Height, m_clientWidth, kRcvMemoHeight);
    SplitPnl = frame("SplitPnl", kImagePnlHeight + kPanel3Height + kRcvMemoHeight, kSplitPnlHeight);

    Rcv2Pnl = frame("Rcv2Pnl", 0, kRcv2PnlHeight);
    CoarseGainBar2 = new DisplayGainBar(Rcv2Pnl, "CoarseGainBar2");
    CoarseGainBar2->setGeometry(kCoarseGainBar2Rect);
    RawSnrMemo = new QLineEdit(Rcv2Pnl);
    RawSnrMemo->setObjectName("RawSnrMemo");
    RawSnrMemo->setReadOnly(true);
    RawSnrMemo->setGeometry(kRawSnrMemoRect);
    ClrRcvBtn2 = new QPushButton("Clear Rcv", Rcv2Pnl);
    ClrRcvBtn2->setObjectName("ClrRcvBtn2");
    ClrRcvBtn2->setToolTip("Clear Receive Text");
    ClrRcvBtn2->setGeometry(kClrRcvBtn2Rect);
    connect(ClrRcvBtn2, &QPushButton::clicked, this, [this] { RcvMemo->clear(); });

    ContrlPnl = frame("ContrlPnl", kTrTransmitMemoTop + kTransmitMemoHeight,
                      kTrPanel2Top - kTrTransmitMemoTop - kTransmitMemoHeight);
    StationPnl->setParent(ContrlPnl);
    StationPnl->move(0, kStationPnlTop);
    StationPnl->show();
    CallMemo = StationPnl->CallMemo;
    MyCallMemo = StationPnl->MyCallMemo;
    NameMemo = StationPnl->NameMemo;
    RSTMemo = StationPnl->RSTMemo;
    MyRSTMemo = StationPnl->MyRSTMemo;
    BandSpinEdit = StationPnl->BandSpinEdit;
    GMTDateMemo = StationPnl->GMTDateMemo;

    CoarseGainBar = new DisplayGainBar(ContrlPnl, "CoarseGainBar");
    CoarseGainBar->setGeometry(kCoarseGainBarRect);
    m_spectrumPanel->attachGainBars(CoarseGainBar, CoarseGainBar2);
    // The engine starts at the gain of the DisplayGain setting: without it a first run, which
    // has no configuration to apply, would draw with the engine's near-zero start gain and show
    // an empty display until the operator moved a bar.
    post(ReceiveCommandKind::DisplayGain, m_settings.DisplayGain);
    label(ContrlPnl, "", "Display Gain", kGainCaptionRect)->setAutoFillBackground(false);
    label(ContrlPnl, "", "Xmit WPM", kXmitWPMCaptionRect)->setAutoFillBackground(false);
    XmitSpdUpDn2 = new QSpinBox(ContrlPnl);
    XmitSpdUpDn2->setObjectName("XmitSpdUpDn2");
    XmitSpdUpDn2->setToolTip("Set Transmit Code Speed");
    XmitSpdUpDn2->setRange(kXmitSpeedMin, kXmitSpeedMax);
    XmitSpdUpDn2->setValue(m_speedControls->spinValue());
    XmitSpdUpDn2->setGeometry(kXmitSpdUpDn2Rect);
    XmitSpdUpDn2->setKeyboardTracking(false); // one change per finished entry, not per digit
    connect(XmitSpdUpDn2, &QSpinBox::valueChanged, this,
            [this](int value) { XmitSpdUpDn2Change(value); });
    // The up-down: its arrows only; a release ends a change (mouse or keyboard).
    XmitSpdUpDn = new QSpinBox(ContrlPnl);
    XmitSpdUpDn->setObjectName("XmitSpdUpDn");
    XmitSpdUpDn->setRange(kXmitSpeedMin, kXmitSpeedMax);
    XmitSpdUpDn->setValue(m_speedControls->upDownPosition());
    XmitSpdUpDn->setGeometry(kXmitSpdUpDnRect);
    // Only the arrows show: XmitSpeedPanel beside it carries the number.
    if (auto* number = XmitSpdUpDn->findChild<QLineEdit*>()) number->setMaximumWidth(0);
    XmitSpdUpDn->installEventFilter(this);
    connect(XmitSpdUpDn, &QSpinBox::valueChanged, this,
            [this](int position) { m_speedControls->XmitSpdUpDnChanging(position); });
    connect(XmitSpdUpDn, &QSpinBox::editingFinished, this, [this] { XmitSpdUpDnMouseUp(); });
    XmitSpeedPanel =
        label(ContrlPnl, "XmitSpeedPanel",
              QString::fromStdString(m_speedControls->speedPanelText()), kXmitSpeedPanelRect);
    XmitSpeedPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    XmitSpeedPanel->setAlignment(Qt::AlignCenter);
    SyncBtn = new QPushButton("Sync", ContrlPnl);
    SyncBtn->setObjectName("SyncBtn");
    SyncBtn->setToolTip("Synchronize Transmit Speed to Receive Speed");
    SyncBtn->setGeometry(kSyncBtnRect);
    connect(SyncBtn, &QPushButton::clicked, this, [this] { SyncBtnClick(); });

    createTransmitSide(client);
    createMessageButtons();

    Panel2 = frame("Panel2", kRxPanel2Top, kPanel2Height);
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
    f.CallMemo = CallMemo->text().toStdString();
    f.MyCallMemo = MyCallMemo->text().toStdString();
    f.NameMemo = NameMemo->text().toStdString();
    f.RSTMemo = RSTMemo->text().toStdString();
    f.MyRSTMemo = MyRSTMemo->text().toStdString();
    f.XmitCntrMemo = std::to_string(m_transmitPanel->contactCounter());
    XmitMacrosForm->fillMacroFields(f);
    return f;
}

void TDecoderForm::storePttSettings() {
    const PttSettings p = m_keyingPort->ptt();
    m_settings.PttEnable = p.PttEnable ? 1 : 0;
    m_settings.PttInvert = p.PttInvert ? 1 : 0;
    m_settings.DtrIsData = p.DtrIsData ? 1 : 0;
    m_settings.DtrIsPtt = p.DtrIsPtt ? 1 : 0;
    m_settings.RtsIsData = p.RtsIsData ? 1 : 0;
    m_settings.RtsIsPtt = p.RtsIsPtt ? 1 : 0;
}

void TDecoderForm::keyUpLines() {
    m_keyingPort->KeyState = kKeyUp;
    m_keyingPort->SetKeyLines(kKeyUp);
    m_keyingPort->updatePtt(false);
}

// ====================================================================== menus

QAction* TDecoderForm::addItem(QMenu* menu, const char* name, const char* caption,
                               std::function<void(QAction*)> handler, bool checkable) {
    auto* a = menu->addAction(caption);
    a->setObjectName(name);
    a->setCheckable(checkable);
    connect(a, &QAction::triggered, this, [a, handler = std::move(handler)] { handler(a); });
    m_items[name] = a;
    return a;
}

void TDecoderForm::check(QAction* own) {
    // The common rule of option groups: the chosen item checked, the rest of its group not.
    const auto it = m_groups.find(own);
    if (it == m_groups.end()) {
        own->setChecked(true);
        return;
    }
    for (QAction* a : it->second)
        a->setChecked(a == own);
}

void TDecoderForm::post(ReceiveCommandKind kind, int value) {
    m_services.processor->post(ReceiveCommand{kind, value});
}

void TDecoderForm::createMenus() {
    using K = ReceiveCommandKind;
    using A = QAction*;
    menuBar()->setObjectName("MainMenu");
    auto menu = [this](QMenu* parent, const char* name, const char* caption) {
        QMenu* m = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
        m->setObjectName(name);
        m->menuAction()->setObjectName(QString(name) + "Menu");
        return m;
    };
    auto command = [this](QMenu* m, const char* name, const char* caption,
                          std::function<void()> run) {
        return addItem(
            m, name, caption, [run = std::move(run)](A) { run(); }, false);
    };
    // An option item: store the value (and tell the engine when it reads the setting), then
    // check the item and uncheck the rest of its group.
    auto option = [this](QMenu* m, const char* name, const char* caption,
                         std::function<void()> store) {
        return addItem(m, name, caption, [this, store = std::move(store)](A a) {
            store();
            check(a);
        });
    };
    auto engineOption = [this, option](QMenu* m, const char* name, const char* caption, auto field,
                                       int value, K kind) {
        return option(m, name, caption, [this, field, value, kind] {
            using T = std::remove_reference_t<decltype(m_settings.*field)>;
            m_settings.*field = static_cast<T>(value);
            post(kind, value);
        });
    };
    auto group = [this](const std::vector<A>& items) {
        for (A a : items)
            m_groups[a] = items;
    };

    // ---- File
    QMenu* file = menu(nullptr, "File1", "File");
    command(file, "SaveRcv1", "Save Rcv", [this] { m_textFiles->SaveRcv1Click(RcvMemo); });
    command(file, "SaveTransmit1", "Save Transmit",
            [this] { m_textFiles->SaveTransmit1Click(TransmitMemo); });
    command(file, "LoadTransmit1", "Load Transmit",
            [this] { m_textFiles->LoadTransmit1Click(TransmitMemo, *m_textTarget); });
    command(file, "LoadDefault", "Load Defaults", [this] {
        if (m_services.loadDefaults) m_services.loadDefaults();
    });
    command(file, "Quit1", "Quit", [this] { Quit1Click(); });

    // ---- Options
    QMenu* options = menu(nullptr, "Options1", "Options");
    command(options, "SelectSoundcard", "Select SoundCard", [this] { SelectSoundcardClick(); });
    QMenu* input = menu(options, "Input1", "Input");
    group(
        {addItem(input, "MicInput", "Mic", [this](A a) { InputChannelClick(kInputMic, a); }),
         addItem(input, "RightInput", "Right", [this](A a) { InputChannelClick(kInputRight, a); }),
         addItem(input, "LeftInput", "Left", [this](A a) { InputChannelClick(kInputLeft, a); })});
    QMenu* top = menu(options, "StayOnTop1", "Stay On Top");
    group({addItem(top, "Off2", "Off", [this](A a) { StayOnTopClick(0, a); }),
           addItem(top, "On2", "On", [this](A a) { StayOnTopClick(1, a); })});
    m_messagingMenu = menu(options, "Messaging1", "Messaging");
    group({option(m_messagingMenu, "MsgsOFF", "Msgs OFF", [this] { m_settings.Messaging = 0; }),
           option(m_messagingMenu, "MsgsON", "Msgs  On", [this] { m_settings.Messaging = 1; })});
    m_messagingMenu->menuAction()->setVisible(false);
    QMenu* bg = menu(options, "BackGround1", "BackGround");
    group(
        {addItem(bg, "WhiteBackground", "White Background", [this](A a) { BackgroundClick(1, a); }),
         addItem(bg, "BlackBackground", "Black Background",
                 [this](A a) { BackgroundClick(0, a); })});
    QMenu* som = menu(options, "ScreenOpMode1", "Screen Op Mode");
    group({addItem(som, "ReceiveOnly1", "Receive", [this](A a) { ScreenOpModeClick(0, a); }),
           addItem(som, "TransmitReceive1", "Transmit/Receive",
                   [this](A a) { ScreenOpModeClick(1, a); })});

    // ---- Receive
    QMenu* receive = menu(nullptr, "Receive1", "Receive");
    QMenu* thr = menu(receive, "hreshold1", "Threshold");
    group({engineOption(thr, "Quiet2", "Quiet", &OperatingSettings::ThresholdMode, 4,
                        K::ThresholdMode),
           engineOption(thr, "Normal2", "Normal", &OperatingSettings::ThresholdMode, 0,
                        K::ThresholdMode),
           engineOption(thr, "Noisy2", "Noisy", &OperatingSettings::ThresholdMode, 1,
                        K::ThresholdMode)});
    QMenu* nf = menu(receive, "NoiseFilter1", "Noise Filter");
    group({engineOption(nf, "FilterOn1", "Filter On", &OperatingSettings::NoiseFilter, 3,
                        K::NoiseFilter),
           engineOption(nf, "FilterOff1", "Filter Off", &OperatingSettings::NoiseFilter, 0,
                        K::NoiseFilter)});
    QMenu* rs = menu(receive, "ReceiveSpeed1", "Receive Speed");
    std::vector<A> speeds{addItem(rs, "Auto3", "Auto", [this](A a) { ReceiveSpeedClick(1, a); })};
    QMenu* locked = menu(rs, "LockedWPM", "Locked WPM");
    locked->menuAction()->setCheckable(true);
    m_items["LockedWPM"] = locked->menuAction();
    static const char* const kLockNames[] = {"N50PLUSWPM", "N50WPM", "N45WPM", "N40WPM", "N35WPM",
                                             "N30WPM",     "N25WPM", "N20WPM", "N15WPM", "N10WPM"};
    static const char* const kLockCaptions[] = {"50+ WPM", "50 WPM", "45 WPM", "40 WPM", "35 WPM",
                                                "30 WPM",  "25 WPM", "20 WPM", "15 WPM", "10 WPM"};
    for (int i = 0; i < static_cast<int>(std::size(kLockNames)); ++i)
        speeds.push_back(addItem(locked, kLockNames[i], kLockCaptions[i],
                                 [this, i](A a) { ReceiveSpeedClick(2 + i, a); }));
    group(speeds);
    QMenu* afc = menu(receive, "AFC1", "AFC");
    A off3 = addItem(afc, "Off3", "Off", [this](A a) { AfcClick(0, a); });
    QMenu* afcTimer = menu(afc, "AFCTimer1", "AFC Timer");
    group({engineOption(afcTimer, "TimerOn1", "Timer On", &OperatingSettings::AfcTimer, 1,
                        K::AfcTimer),
           engineOption(afcTimer, "TimerOff1", "Timer Off", &OperatingSettings::AfcTimer, 0,
                        K::AfcTimer)});
    group({off3, addItem(afc, "Narrow1", "Narrow", [this](A a) { AfcClick(1, a); }),
           addItem(afc, "Medium1", "Medium", [this](A a) { AfcClick(2, a); }),
           addItem(afc, "Wide1", "Wide", [this](A a) { AfcClick(3, a); })});
    command(afc, "AFCStartFreq1", "AFC Start Freq", [this] { AFCStartFreqForm->show(); });

    // ---- Text
    QMenu* text = menu(nullptr, "ext1", "Text");
    QMenu* cs = menu(text, "Case1", "Case");
    group({engineOption(cs, "Upper1", "Upper", &OperatingSettings::TextCase, 1, K::TextCase),
           engineOption(cs, "Lower1", "Lower", &OperatingSettings::TextCase, 0, K::TextCase)});
    QMenu* tp = menu(text, "ype1", "Type");
    group({addItem(tp, "Normal3", "Normal", [this](A a) { TextBoldClick(0, a); }),
           addItem(tp, "Bold1", "Bold", [this](A a) { TextBoldClick(1, a); })});
    QMenu* sz = menu(text, "Size1", "Size");
    static const char* const kSizeNames[] = {"SmallFont1", "NormalFont1", "MediumFont1",
                                             "LargeFont1"};
    static const char* const kSizeCaptions[] = {"Small Font", "Normal Font", "Medium Font",
                                                "Large Font"};
    std::vector<A> sizes;
    for (int i = 0; i < static_cast<int>(std::size(kSizeNames)); ++i)
        sizes.push_back(addItem(sz, kSizeNames[i], kSizeCaptions[i],
                                [this, i](A a) { FontSizeClick(i + 1, a); }));
    group(sizes);
    QMenu* sc = menu(text, "Scrolling1", "Scrolling");
    group({option(sc, "ScrollingOn1", "Scrollling On", [this] { m_settings.Scrolling = 3; }),
           option(sc, "ScrollingOff1", "Scrollng Off", [this] { m_settings.Scrolling = 0; })});
    QMenu* sp = menu(text, "Spaces1", "Spaces");
    group({engineOption(sp, "SpacesOn", "On", &OperatingSettings::SpacesMode, 3, K::SpacesMode),
           engineOption(sp, "SpacesOff", "Off", &OperatingSettings::SpacesMode, 0, K::SpacesMode)});
    QMenu* st = menu(text, "SpaceTime1", "Space Time");
    group({engineOption(st, "Short1", "Short", &OperatingSettings::SpaceTime, 0, K::SpaceTime),
           engineOption(st, "Medium2", "Medium", &OperatingSettings::SpaceTime, 1, K::SpaceTime),
           engineOption(st, "Long1", "Long", &OperatingSettings::SpaceTime, 2, K::SpaceTime)});
    for (const char* name : {"ScrollingOn1", "ScrollingOff1", "Short1", "Medium2", "Long1"})
        connect(item(name), &QAction::triggered, this, [this] { focusRule(); });
    QMenu* ps = menu(text, "Prosigns1", "Prosigns");
    group(
        {engineOption(ps, "ProsignEnable", "Enable", &OperatingSettings::Prosigns, 1, K::Prosigns),
         engineOption(ps, "ProsignDisable", "Disable", &OperatingSettings::Prosigns, 0,
                      K::Prosigns)});
    QMenu* ne = menu(text, "NonEnglish1", "Non English");
    group({engineOption(ne, "EnableEnglish", "Enable", &OperatingSettings::NonEnglish, 1,
                        K::NonEnglish),
           engineOption(ne, "DisableEnglish", "Disable", &OperatingSettings::NonEnglish, 0,
                        K::NonEnglish)});
    QMenu* td = menu(text, "extDisplay1", "Text Display");
    group(
        {engineOption(td, "TextOn", "Text On", &OperatingSettings::TextDisplay, 1, K::TextDisplay),
         engineOption(td, "TextOff", "Text Off", &OperatingSettings::TextDisplay, 0,
                      K::TextDisplay)});

    // ---- Display
    QMenu* display = menu(nullptr, "Display1", "Display");
    QMenu* dt = menu(display, "ype2", "Type");
    // The spectrum panel checks these two itself.
    group({addItem(dt, "Spectrum1", "Line", [this](A) { m_spectrumPanel->Spectrum1Click(); }),
           addItem(dt, "Waterfall2", "Waterfall",
                   [this](A) { m_spectrumPanel->Waterfall2Click(); })});
    m_spectrumPanel->attachModeItems(item("Spectrum1"), item("Waterfall2"));
    QMenu* tl = menu(display, "imeline1", "Timeline");
    command(tl, "Show2", "Show", [this] { TimeLineForm->showFromSettings(); });
    QMenu* tscreen = menu(display, "ransmit2", "Transmit");
    group({option(tscreen, "SingleScreen1", "Single Screen",
                  [this] { m_transmitPanel->controller().setTransmitScreen(kSingleScreen); }),
           option(tscreen, "DoubleScreen1", "Double Screen",
                  [this] { m_transmitPanel->controller().setTransmitScreen(kDoubleScreen); })});

    // ---- Transmit
    QMenu* transmit = menu(nullptr, "ransmit1", "Transmit");
    // Output, sidetone and beacon items run the transmit side's handlers; the menu then shows
    // the checks those handlers hold.
    auto outputItem = [this](QMenu* m, const char* name, const char* caption,
                             std::function<void()> run, bool checkable = true) {
        return addItem(
            m, name, caption,
            [this, run = std::move(run)](A) {
                run();
                syncOutputChecks();
            },
            checkable);
    };
    auto toneItem = [this](QMenu* m, const char* name, const char* caption,
                           std::function<void()> run) {
        return addItem(m, name, caption, [this, run = std::move(run)](A) {
            run();
            syncToneChecks();
        });
    };
    QMenu* od = menu(transmit, "OutputDevice1", "Output Device");
    group({outputItem(od, "SoundCard1", "Sound Card",
                      [this] {
                          m_settings.OutputDevice = kOutputSoundCard;
                          m_settings.OutputPort = kOutputPortNone;
                          m_outputMenu->SoundCard1Click();
                      }),
           outputItem(od, "SerialPort1", "Serial Port", [this] {
               m_settings.OutputDevice = kOutputSerialPort;
               m_settings.OutputPort = kOutputPortNumber;
               m_outputMenu->SerialPort1Click(m_configLoading, m_settings.ComPortNumber);
           })});
    QMenu* op = menu(transmit, "OutputPort1", "Output Port");
    group({outputItem(op, "PortNumber1", "Port Number", [this] { m_outputMenu->PortNumber1Click(); }),
           outputItem(op, "None1", "None", [this] {
               m_outputMenu->None1Click();
               m_settings.OutputPort = kOutputPortNone;
           })});
    item("None1")->setVisible(false);
    QMenu* inv = menu(transmit, "InvertXmit1", "Invert Xmit");
    group({outputItem(inv, "Normal1", "Normal",
                      [this] {
                          m_settings.KeyInvert = kKeyNormal;
                          m_outputMenu->Normal1Click();
                      }),
           outputItem(inv, "Invert2", "Invert", [this] {
               m_settings.KeyInvert = kKeyInverted;
               m_outputMenu->Invert2Click();
           })});
    QMenu* side = menu(transmit, "Sidetone1", "Sidetone");
    QMenu* sf = menu(side, "SidetoneFrequency1", "Sidetone Frequency");
    static const char* const kFreqNames[] = {"Freq1", "Freq2", "Freq3", "Freq4"};
    static const char* const kFreqCaptions[] = {"600 Hz", "750 Hz", "1000 Hz", "2500 Hz"};
    std::vector<A> freqs;
    for (int i = 0; i < static_cast<int>(std::size(kFreqNames)); ++i)
        freqs.push_back(toneItem(sf, kFreqNames[i], kFreqCaptions[i],
                                 [this, i] { m_toneMenu->FreqClick(i + 1); }));
    group(freqs);
    QMenu* sw = menu(side, "SidetoneWaveform1", "Sidetone Waveform");
    group({toneItem(sw, "Sinewave1", "Sinewave", [this] { m_toneMenu->Sinewave1Click(); }),
           toneItem(sw, "Squarewave1", "Squarewave", [this] { m_toneMenu->Squarewave1Click(); })});
    group({toneItem(side, "SideToneOn", "On", [this] { m_toneMenu->SideToneOnClick(); }),
           toneItem(side, "SideToneOFF", "Off", [this] { m_toneMenu->SideToneOFFClick(); })});
    QMenu* ptt = menu(transmit, "SetPTT", "Set PTT");
    command(ptt, "SetupPTT", "Setup PTT", [this] { PTTForm->show(); });
    QMenu* ct = menu(transmit, "CharTiming", "Character Timing");
    command(ct, "ShowConfiguration1", "Show Configuration", [this] { CharTimingForm->show(); });
    QMenu* bc = menu(transmit, "BeaconCarrierTime1", "Beacon Carrier Time");
    static const char* const kBeaconNames[] = {"N1Second1", "N2Seconds1", "N3Seconds1",
                                               "N4Seconds1", "N5Seconds1"};
    static const char* const kBeaconCaptions[] = {"1 Second", "2 Seconds", "3 Seconds", "4 Seconds",
                                                  "5 Seconds"};
    std::vector<A> beacons;
    for (int i = 0; i < static_cast<int>(std::size(kBeaconNames)); ++i)
        beacons.push_back(toneItem(bc, kBeaconNames[i], kBeaconCaptions[i],
                                   [this, i] { m_toneMenu->beaconCarrierClick(i + 1); }));
    group(beacons);

    // ---- Macros, Help
    QMenu* macros = menu(nullptr, "Macros", "Macros");
    command(macros, "ShowMacros", "Show Macros",
            [this] { TransmitMemoryForm->showMacros(m_macroSources); });
    command(macros, "Edit1", "Edit Macros", [this] { XmitMacrosForm->show(); });
    QMenu* help = menu(nullptr, "Help", "Help");
    command(help, "Help1", "Help Menu", [this] { Help1Click(); });
    command(help, "About1", "About", [this] { About1Click(); });
}

void TDecoderForm::selectDefaults() {
    // Every group starts with the item of its default value checked (no handler runs here).
    for (const char* name : {"MicInput",      "Off2",           "MsgsOFF",    "WhiteBackground",
                             "ReceiveOnly1",  "Noisy2",         "FilterOff1", "Auto3",
                             "Off3",          "TimerOff1",      "Lower1",     "Normal3",
                             "NormalFont1",   "ScrollingOn1",   "SpacesOn",   "Medium2",
                             "ProsignEnable", "DisableEnglish", "TextOn",     "Spectrum1",
                             "SingleScreen1", "SerialPort1",    "Normal1",    "Freq2",
                             "Sinewave1",     "SideToneOFF",    "N1Second1"})
        check(item(name));
    applyColours();
}

bool TDecoderForm::click(const QString& itemName) {
    QAction* a = item(itemName);
    if (!a) return false;
    a->trigger();
    return true;
}

QAction* TDecoderForm::item(const QString& itemName) const {
    const auto it = m_items.find(itemName);
    return it == m_items.end() ? nullptr : it->second;
}

std::vector<QAction*> TDecoderForm::groupOf(const QString& itemName) const {
    const auto it = m_groups.find(item(itemName));
    return it == m_groups.end() ? std::vector<QAction*>{} : it->second;
}

// ====================================================================== option handlers

void TDecoderForm::focusRule() {
    if (typingActive() != kStateOff)
        TransmitMemo->setFocus();
    else
        RcvMemo->setFocus();
}

void TDecoderForm::InputChannelClick(int channel, QAction* own) {
    m_settings.InputChannel = channel;
    check(own);
    if (m_FirstStart) return;
    messages().show(channel == kInputMic
                        ? "Be sure to set the mixer panel recording input to Microphone"
                        : "Be sure to set the mixer panel recording input to Line in",
                    "Operating Hint");
    m_flags.LoopStopped = true;
    m_flags.QuitRequested = false;
    m_flags.RestartLoop = true;
    enableSystemTimer();
}

void TDecoderForm::SelectSoundcardClick() {
    SystemTimer->stop();
    m_flags.QuitRequested = false;
    // Capture pauses for the dialog on its own account: a send that ends meanwhile does not
    // resume it, and closing the dialog does not resume it while a send keys.
    m_flags.SelectionDialogVisible = true;
    if (!SoundCardSelect) SoundCardSelect = new TSoundCardSelect(*this);
    m_flags.RestartLoop = true;
    SoundCardSelect->show();
}

void TDecoderForm::StayOnTopClick(int on, QAction* own) {
    m_settings.StayOnTop = static_cast<uint8_t>(on);
    check(own);
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on == 1);
    if (wasVisible) show(); // changing the flag hides a shown window
}

void TDecoderForm::applyColours() {
    const bool white = m_settings.Background == 1;
    const QColor back = white ? Qt::white : Qt::black;
    const QColor text = white ? Qt::black : Qt::white;
    auto paint = [&](QWidget* w, const QColor& fg) {
        QPalette p = w->palette();
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            p.setColor(role, back);
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(role, fg);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    };
    // The spectrum panel colours itself and MkrLabel; the station panel its own fields.
    m_spectrumPanel->setBackground(m_settings.Background);
    StationPnl->setBlackScheme(!white);
    for (QWidget* w : std::initializer_list<QWidget*>{UTCPnl, UTCDatePnl, Label13, Label14, Label15,
                                                      Label12, Label3, RcvWPMPnl, XmitCntrSpinEdit,
                                                      RcvMemo, XmitSpdUpDn2, RcvLEDLabel,
                                                      XmitLEDLabel})
        paint(w, text);
    paint(TransmitMemo, white ? QColor(Qt::red) : QColor(Qt::white));
}

void TDecoderForm::BackgroundClick(int background, QAction* own) {
    m_settings.Background = background;
    check(own);
    applyColours();
}

void TDecoderForm::ScreenOpModeClick(int mode, QAction* own) {
    m_settings.ScreenOpMode = mode;
    check(own);
    if (mode == 0) {
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
    ClearButton->setText(mode == 0 ? "Clear Decode" : "Clr Decode");
    centralWidget()->setFixedWidth(m_clientWidth);
    adjustSize();
    post(ReceiveCommandKind::ScreenOpMode, mode);
}

int TDecoderForm::clientHeight() const {
    return centralWidget()->height();
}

void TDecoderForm::ReceiveSpeedClick(int lock, QAction* own) {
    m_settings.RxSpeedLock = lock;
    // Auto and the locked speeds form one group; "Locked WPM" carries the check of any lock.
    check(own);
    item("LockedWPM")->setChecked(lock != 1);
    post(ReceiveCommandKind::ReceiveSpeedMode, lock);
    // The transmit speed follows, within what the output can key. Auto takes the receive
    // speed as it stands after the decoder reset the choice runs, not Auto's starting 25.
    m_speedControls->lockedSpeed(lock == 1 ? kDecoderResetSpeedWpm : lockedSpeedWpm(lock));
    showTransmitSpeed();
}

void TDecoderForm::selectSoundCardOutput() {
    m_settings.OutputDevice = kOutputSoundCard;
    m_outputMenu->selectSoundCardOnly();
    syncOutputChecks();
}

void TDecoderForm::syncOutputChecks() {
    const OutputMenuChecks& c = m_outputMenu->checks();
    item("SoundCard1")->setChecked(c.SoundCard1);
    item("SerialPort1")->setChecked(c.SerialPort1);
    item("PortNumber1")->setChecked(c.PortNumber1);
    item("None1")->setChecked(c.None1);
    item("Normal1")->setChecked(c.Normal1);
    item("Invert2")->setChecked(c.Invert2);
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
    const ToneMenuChecks& c = m_toneMenu->checks();
    static const char* const kFreqNames[] = {"Freq1", "Freq2", "Freq3", "Freq4"};
    for (size_t i = 0; i < c.freq.size(); ++i)
        item(kFreqNames[i])->setChecked(c.freq[i]);
    item("Sinewave1")->setChecked(c.Sinewave1);
    item("Squarewave1")->setChecked(c.Squarewave1);
    item("SideToneOn")->setChecked(c.SideToneOn);
    item("SideToneOFF")->setChecked(c.SideToneOFF);
    static const char* const kBeaconNames[] = {"N1Second1", "N2Seconds1", "N3Seconds1",
                                               "N4Seconds1", "N5Seconds1"};
    for (size_t i = 0; i < c.carrierSeconds.size(); ++i)
        item(kBeaconNames[i])->setChecked(c.carrierSeconds[i]);
}

void TDecoderForm::AfcClick(int width, QAction* own) {
    static constexpr int kSpan[] = {10, 20, 80, 400};
    m_settings.AfcOn = width == 0 ? 0 : 1;
    m_settings.AfcSpan = kSpan[width];
    m_settings.AfcWidth = width;
    check(own);
    post(ReceiveCommandKind::AfcMode, width);
}

void TDecoderForm::TextBoldClick(int bold, QAction* own) {
    m_settings.TextBold = bold;
    check(own);
    QFont f = RcvMemo->font();
    f.setBold(bold == 1);
    RcvMemo->setFont(f);
}

void TDecoderForm::FontSizeClick(int size, QAction* own) {
    m_settings.FontSize = size;
    check(own);
    applyFontSize(size);
}

void TDecoderForm::applyFontSize(int size) {
    static constexpr int kTransmitPt[] = {12, 14, 16, 20};
    static constexpr int kReceivePt[] = {12, 14, 18, 20};
    QFont t = TransmitMemo->font();
    t.setPointSize(kTransmitPt[size - 1]);
    TransmitMemo->setFont(t);
    QFont r = RcvMemo->font();
    r.setPointSize(kReceivePt[size - 1]);
    RcvMemo->setFont(r);
}

// ====================================================================== life cycle

void TDecoderForm::enableSystemTimer() {
    SystemTimer->start();
}

bool TDecoderForm::systemTimerActive() const {
    return SystemTimer->isActive();
}

void TDecoderForm::SystemTimerTimer() {
    SystemTimer->stop();
    if (m_FirstStart) {
        m_inputDeviceCount = m_services.catalog->count();
        if (m_inputDeviceCount == 0) {
            if (!SndCardErrForm) SndCardErrForm = new TSndCardErrForm(*this);
            SndCardErrForm->show();
            if (SndCardErrForm->quitChosen) { // chosen at an earlier showing
                terminateApplication();
                return;
            }
        } else {
            m_flags.NoInputDevice = false;
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
    } else if (m_flags.LoopStopped.load()) {
        if (m_loopRunning.load()) {
            SystemTimer->start(); // the loop is still finishing its buffer: look again later
            return;
        }
        m_flags.LoopStopped = false;
        m_flags.QuitRequested = false;
        m_flags.RestartLoop = false;
        enterRunLoop();
    }
}

void TDecoderForm::enterRunLoop() {
    joinRunLoop();
    ++m_loopEntries;
    m_spectrumPanel->runLoopEntry();
    if (m_toneOutput && !m_toneOutput->isOpen()) m_toneOutput->openIfInputExists(m_inputDeviceCount);
    m_transmitPanel->loopEntry();
    m_loopRunning = true;
    const int id = m_settings.InputDeviceId;
    const int channel = m_settings.InputChannel;
    const int count = m_inputDeviceCount;
    m_loopThread = std::thread([this, id, channel, count] {
        m_runLoop->run(id, channel, count);
        m_loopRunning = false;
    });
}

void TDecoderForm::joinRunLoop() {
    if (m_loopThread.joinable()) m_loopThread.join();
}

void TDecoderForm::stopSequence() {
    if (m_services.keyUp) m_services.keyUp();
    SystemTimer->stop();
    m_flags.StopLoop = true;
    m_flags.QuitRequested = true;
    // The loop sees the flags within one poll of its wait; joining replaces a fixed pause.
    joinRunLoop();
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
    // Before the first load (the first SystemTimer tick) the window holds only its creation
    // defaults: saving them would overwrite the operator's stored settings.
    if (!m_FirstStart && m_services.saveConfiguration) m_services.saveConfiguration();
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

void TDecoderForm::Help1Click() {
    auto page = findDataFile("DITA.html");
#ifdef DITA_BUILD_HELP
    if (!page && std::filesystem::exists(DITA_BUILD_HELP))
        page = std::filesystem::path(DITA_BUILD_HELP);
#endif
    if (!page || !m_services.openUrl(QUrl::fromLocalFile(QString::fromStdString(page->string()))))
        messages().show("Could not run the help application", "");
}

bool TDecoderForm::testOpenInputDevice(int deviceId) {
    auto device = m_services.catalog->create(deviceId);
    if (!device) return false;
    const CaptureFormat format = makeCaptureFormat(m_settings.InputChannel);
    const bool ok = device->formatSupported(format) && device->open(format);
    device->close();
    return ok;
}

// ====================================================================== per pass

void TDecoderForm::SystemTimer2Timer() {
    const ClockTexts t = makeClockTexts(std::time(nullptr));
    LocalTimeMemoText = t.localTime;
    GMTMemoText = t.utcTime;
    UTCPnl->setText(QString::fromStdString(t.utcTime));
    UTCDatePnl->setText(QString::fromStdString(t.utcDate));
    LogTimeText = t.LogTimeText;
    LogDateText = t.LogDateText;
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
    if (m_settings.Scrolling == 3) RcvMemo->ensureCursorVisible();
}

void TDecoderForm::showPass(const PassResult& r, bool outputStalled) {
    ++m_passesShown;
    m_spectrumPanel->showPass(r);
    // A pass during which the watchdog reported a stall is not drawn on the timeline.
    if (!outputStalled && TimeLineForm->running()) TimeLineForm->showPass(r);
    if (r.rawSnrShown && m_settings.ScreenOpMode == 0)
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

} // namespace dita
