#include "app/DecoderForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

#include <cmath>

#include "app/SetupDialogs.h"
#include "app/SoundCardDialogs.h"
#include "common/DitaPaths.h"
#include "gaugekit/GkBar.h"
#include "gaugekit/GkClock.h"
#include "gaugekit/GkLED.h"

namespace dita {

namespace {

// Layout of the client area (the parts not fixed by the screen modes are our own choice).
constexpr int kClientWidth = 760;
constexpr int kImagePnlHeight = 130; // the display bitmaps are 130 pixels high
constexpr int kPanel3Height = 40;
constexpr int kRcvMemoHeight = 94;
constexpr int kSplitPnlHeight = 4;
constexpr int kRcv2PnlHeight = 44;
constexpr int kTransmitMemoHeight = 126;
constexpr int kPanel2Height = 5;
constexpr int kSpectrumLeft = 160;
constexpr int kSpectrumWidth = 557;
constexpr int kMkrLabelLeft = 145;
constexpr int kMkrLabelWidth = 12;
constexpr int kMkrLabelHeight = 102;
constexpr int kMkrLabelFontPx = 16;
constexpr int kMkrLabelTop = 14;

// Places of the controls inside their panels.
constexpr QRect kCoarseGainBarRect{8, 8, 24, 114};
constexpr QRect kBrandLabelRect{40, 50, 90, 30};
constexpr QRect kLabel3Rect{4, 10, 44, 20};
constexpr QRect kSignalBarRect{48, 6, 150, 28};
constexpr QRect kLabel12Rect{204, 10, 34, 20};
constexpr QRect kRcvWPMPnlRect{238, 6, 40, 28};
constexpr QRect kLabel13Rect{284, 10, 30, 20};
constexpr QRect kUTCPnlRect{314, 6, 70, 28};
constexpr QRect kLabel14Rect{390, 10, 32, 20};
constexpr QRect kGMTDateMemoRect{422, 6, 90, 28};
constexpr QRect kRcvLEDRect{516, 4, 52, 32};
constexpr QRect kXmitLEDRect{568, 4, 52, 32};
constexpr QRect kLabel15Rect{624, 0, 68, 14};
constexpr QRect kGkClock1Rect{624, 14, 68, 24};
constexpr QRect kClearButtonRect{696, 2, 60, 18};
constexpr QRect kClrRcvBtnRect{696, 20, 60, 18};
constexpr QRect kCoarseGainBar2Rect{8, 10, 200, 24};
constexpr QRect kRawSnrMemoRect{230, 8, 110, 28};
constexpr QRect kClrRcvBtn2Rect{360, 8, 80, 28};
constexpr QRect kContactCaptionRect{500, 8, 80, 18};
constexpr QRect kXmitWPMCaptionRect{590, 8, 110, 18};
constexpr QRect kBandCaptionRect{8, 72, 40, 18};
constexpr QRect kXmitCntrSpinEditRect{500, 28, 80, 28};
constexpr QRect kXmitSpdUpDn2Rect{590, 28, 70, 28};
constexpr QRect kXmitSpeedPanelRect{668, 28, 40, 28};
constexpr int kFieldCaptionTop = 8;
constexpr int kFieldTop = 28;
constexpr int kFieldHeight = 28;
constexpr int kCaptionHeight = 18;
constexpr int kBrandFontPt = 16;
constexpr int kBandSpinLeft = 8;
constexpr int kBandSpinTop = 92;
constexpr int kBandSpinWidth = 60;
// Station fields: left edge and width of each.
constexpr int kCallLeft = 8, kCallWidth = 110;
constexpr int kNameLeft = 126, kNameWidth = 110;
constexpr int kRstLeft = 244, kRstWidth = 60;
constexpr int kMyRstLeft = 312, kMyRstWidth = 60;
constexpr int kMyCallLeft = 380, kMyCallWidth = 110;

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

constexpr int kGainMin = 1;
constexpr int kGainMax = 20;
constexpr int kGainInForm = 10;
constexpr int kCounterMax = 10000;
constexpr int kXmitSpeedMin = 10;
constexpr int kXmitSpeedMax = 125;
constexpr int kBandMax = 11;
constexpr int kBandSpinHeight = 34;
constexpr int kInitialFontPt = 12;
constexpr int kMsPerSecond = 1000;

constexpr double kSignalBarTop = 1500.0; // full scale: a strong, clean signal
constexpr TColor kRcvLedOn = gkRgb(0, 220, 0);
constexpr TColor kXmitLedOn = gkRgb(230, 0, 0);

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
    if (!m_services.terminate) m_services.terminate = [] { QCoreApplication::quit(); };

    // Capture buffers live in the capture cycle; it and the loop are made once.
    m_capture = std::make_unique<CaptureCycle>(
        *m_services.catalog,
        [this](WaveOp op) {
            QMetaObject::invokeMethod(
                this, [this, op] { messages().show(waveMessage(op), kWaveCaption); },
                Qt::QueuedConnection);
        },
        m_services.captureTimings);
    RunLoopEvents events;
    events.passDone = [this](const PassResult& r) {
        QMetaObject::invokeMethod(
            this, [this, r] { showPass(r); }, Qt::QueuedConnection);
    };
    events.leds = [this](bool rcv, bool xmit) {
        QMetaObject::invokeMethod(
            this, [this, rcv, xmit] { showLeds(rcv, xmit); }, Qt::QueuedConnection);
    };
    events.fatalError = [this] {
        QMetaObject::invokeMethod(
            this, [this] { errorExit(0); }, Qt::QueuedConnection);
    };
    events.inputDeviceFallback = [this](int id) {
        QMetaObject::invokeMethod(
            this, [this, id] { m_settings.InputDeviceId = id; }, Qt::QueuedConnection);
    };
    m_runLoop = std::make_unique<RunLoop>(m_flags, *m_capture, *m_services.processor,
                                          std::move(events), m_services.loopTimings);

    createControls();
    createMenus();

    // Screen mode at creation: receive only.
    ScreenOpModeClick(0, item("ReceiveOnly1"));

    m_flags.StopLoop = false;
    m_flags.RestartLoop = false;
    m_flags.NoInputDevice = true;

    BandSpinEdit->setFixedHeight(kBandSpinHeight);
    BandSpinEdit->setValue(1);

    QFont f = RcvMemo->font();
    f.setPointSize(kInitialFontPt);
    RcvMemo->setFont(f);
    TransmitMemo->setFont(f);

    m_spectrumBitmap =
        std::make_unique<QImage>(SpectrumBox->width(), kImagePnlHeight, QImage::Format_RGB32);
    m_waterfallBitmap =
        std::make_unique<QImage>(SpectrumBox->width(), kImagePnlHeight, QImage::Format_RGB32);
    m_spectrumBitmap->fill(Qt::white);
    m_waterfallBitmap->fill(Qt::white);
    SpectrumBox->setPixmap(QPixmap::fromImage(*m_spectrumBitmap));

    selectDefaults();
    click("DisableEnglish");

    AFCStartFreqForm = new TAFCStartFreqForm(this, m_settings);
    CharTimingForm = new TCharTimingForm(this, m_settings);
    ComPortSelectForm = new TComPortSelectForm(this, m_settings, [this](int port) {
        m_settings.OutputPort = 1;
        placeholder("Keying a COM port", "Communications I/O Error");
        (void)port;
    });
    TransmitMemoryForm = new TTransmitMemoryForm(this);

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
    SystemTimer->stop();
    m_flags.StopLoop = true;
    m_flags.QuitRequested = true;
    joinRunLoop();
}

// ====================================================================== controls

void TDecoderForm::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName("Client");
    setCentralWidget(client);
    auto frame = [client](const char* name, int top, int height) {
        auto* f = new QFrame(client);
        f->setObjectName(name);
        f->setGeometry(0, top, kClientWidth, height);
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

    ImagePnl = frame("ImagePnl", 0, kImagePnlHeight);
    CoarseGainBar = new QSlider(Qt::Vertical, ImagePnl);
    CoarseGainBar->setObjectName("CoarseGainBar");
    CoarseGainBar->setRange(kGainMin, kGainMax);
    CoarseGainBar->setValue(kGainInForm);
    CoarseGainBar->setToolTip("Spectrum Display Gain ");
    CoarseGainBar->setGeometry(kCoarseGainBarRect);
    connect(CoarseGainBar, &QSlider::valueChanged, this, [this](int p) {
        m_settings.DisplayGain = p;
        post(ReceiveCommandKind::DisplayGain, p);
        focusRule();
    });
    MkrLabel = label(ImagePnl, "MkrLabel", "",
                     QRect(kMkrLabelLeft, kMkrLabelTop, kMkrLabelWidth, kMkrLabelHeight));
    QFont mk = MkrLabel->font();
    mk.setBold(true);
    mk.setPixelSize(kMkrLabelFontPx);
    MkrLabel->setFont(mk);
    MkrLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SpectrumBox = label(ImagePnl, "SpectrumBox", "",
                        QRect(kSpectrumLeft, 0, kSpectrumWidth, kImagePnlHeight));
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
    SignalBar = new TGkBar(Panel3);
    SignalBar->setObjectName("SignalBar");
    SignalBar->SignalSettings()->SetValueFrom(0.0);
    SignalBar->SignalSettings()->SetValueTo(kSignalBarTop);
    SignalBar->BarSettings()->SetOptionBits(0); // a plain bar, no number on it
    SignalBar->setGeometry(kSignalBarRect);
    Label12 = label(Panel3, "Label12", "WPM", kLabel12Rect);
    RcvWPMPnl = label(Panel3, "RcvWPMPnl", "", kRcvWPMPnlRect);
    RcvWPMPnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RcvWPMPnl->setAlignment(Qt::AlignCenter);
    Label13 = label(Panel3, "Label13", "UTC", kLabel13Rect);
    UTCPnl = label(Panel3, "UTCPnl", "", kUTCPnlRect);
    UTCPnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    UTCPnl->setAlignment(Qt::AlignCenter);
    Label14 = label(Panel3, "Label14", "Date", kLabel14Rect);
    GMTDateMemo = new QLineEdit(Panel3);
    GMTDateMemo->setObjectName("GMTDateMemo");
    GMTDateMemo->setReadOnly(true);
    GMTDateMemo->setGeometry(kGMTDateMemoRect);
    RcvLED = new TGkLED(Panel3);
    RcvLED->setObjectName("RcvLED");
    RcvLED->LED()->SetColorOn(kRcvLedOn);
    RcvLED->SetCaption("Rcv");
    RcvLED->setGeometry(kRcvLEDRect);
    XmitLED = new TGkLED(Panel3);
    XmitLED->setObjectName("XmitLED");
    XmitLED->LED()->SetColorOn(kXmitLedOn);
    XmitLED->SetCaption("Xmt");
    XmitLED->setGeometry(kXmitLEDRect);
    Label15 = label(Panel3, "Label15", "Local", kLabel15Rect);
    GkClock1 = new TGkClock(Panel3);
    GkClock1->setObjectName("GkClock1");
    GkClock1->setGeometry(kGkClock1Rect);
    ClearButton = new QPushButton("Clear", Panel3);
    ClearButton->setObjectName("ClearButton");
    ClearButton->setToolTip("Reset the decoder");
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
    RcvMemo->setGeometry(0, kImagePnlHeight + kPanel3Height, kClientWidth, kRcvMemoHeight);
    SplitPnl = frame("SplitPnl", kImagePnlHeight + kPanel3Height + kRcvMemoHeight, kSplitPnlHeight);

    Rcv2Pnl = frame("Rcv2Pnl", 0, kRcv2PnlHeight);
    CoarseGainBar2 = new QSlider(Qt::Horizontal, Rcv2Pnl);
    CoarseGainBar2->setObjectName("CoarseGainBar2");
    CoarseGainBar2->setRange(kGainMin, kGainMax);
    CoarseGainBar2->setValue(kGainInForm);
    CoarseGainBar2->setToolTip("Spectrum Display Gain ");
    CoarseGainBar2->setGeometry(kCoarseGainBar2Rect);
    connect(CoarseGainBar2, &QSlider::valueChanged, this, [this](int p) {
        m_settings.DisplayGain = p;
        post(ReceiveCommandKind::DisplayGain, p);
        focusRule();
    });
    RawSnrMemo = new QLineEdit(Rcv2Pnl);
    RawSnrMemo->setObjectName("RawSnrMemo");
    RawSnrMemo->setReadOnly(true);
    RawSnrMemo->setGeometry(kRawSnrMemoRect);
    ClrRcvBtn2 = new QPushButton("Clear Rcv", Rcv2Pnl);
    ClrRcvBtn2->setObjectName("ClrRcvBtn2");
    ClrRcvBtn2->setToolTip("Clear Receive Text");
    ClrRcvBtn2->setGeometry(kClrRcvBtn2Rect);
    connect(ClrRcvBtn2, &QPushButton::clicked, this, [this] { RcvMemo->clear(); });

    TransmitMemo = new QPlainTextEdit(client);
    TransmitMemo->setObjectName("TransmitMemo");
    TransmitMemo->setGeometry(0, kRxTransmitMemoTop, kClientWidth, kTransmitMemoHeight);

    StationPnl = frame("StationPnl", kTrTransmitMemoTop + kTransmitMemoHeight,
                       kTrPanel2Top - kTrTransmitMemoTop - kTransmitMemoHeight);
    auto field = [this, label](const char* name, const char* caption, int x, int w) {
        label(StationPnl, "", caption, QRect(x, kFieldCaptionTop, w, kCaptionHeight))
            ->setAutoFillBackground(false);
        auto* e = new QLineEdit(StationPnl);
        e->setObjectName(name);
        e->setGeometry(x, kFieldTop, w, kFieldHeight);
        return e;
    };
    CallMemo = field("CallMemo", "Call", kCallLeft, kCallWidth);
    NameMemo = field("NameMemo", "Name", kNameLeft, kNameWidth);
    RSTMemo = field("RSTMemo", "RST", kRstLeft, kRstWidth);
    MyRSTMemo = field("MyRSTMemo", "My RST", kMyRstLeft, kMyRstWidth);
    MyCallMemo = field("MyCallMemo", "My Call", kMyCallLeft, kMyCallWidth);
    label(StationPnl, "", "Contact", kContactCaptionRect)->setAutoFillBackground(false);
    label(StationPnl, "", "Xmit WPM", kXmitWPMCaptionRect)->setAutoFillBackground(false);
    label(StationPnl, "", "Band", kBandCaptionRect)->setAutoFillBackground(false);
    XmitCntrSpinEdit = new QSpinBox(StationPnl);
    XmitCntrSpinEdit->setObjectName("XmitCntrSpinEdit");
    XmitCntrSpinEdit->setRange(1, kCounterMax);
    XmitCntrSpinEdit->setGeometry(kXmitCntrSpinEditRect);
    XmitSpdUpDn2 = new QSpinBox(StationPnl);
    XmitSpdUpDn2->setObjectName("XmitSpdUpDn2");
    XmitSpdUpDn2->setRange(kXmitSpeedMin, kXmitSpeedMax);
    XmitSpdUpDn2->setValue(m_settings.XmitSpeed);
    XmitSpdUpDn2->setGeometry(kXmitSpdUpDn2Rect);
    XmitSpeedPanel = label(StationPnl, "XmitSpeedPanel", "25", kXmitSpeedPanelRect);
    XmitSpeedPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    XmitSpeedPanel->setAlignment(Qt::AlignCenter);
    BandSpinEdit = new QSpinBox(StationPnl);
    BandSpinEdit->setObjectName("BandSpinEdit");
    BandSpinEdit->setRange(1, kBandMax);
    BandSpinEdit->setGeometry(kBandSpinLeft, kBandSpinTop, kBandSpinWidth, kBandSpinHeight);

    Panel2 = frame("Panel2", kRxPanel2Top, kPanel2Height);
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

void TDecoderForm::placeholder(const char* what, const char* caption) {
    messages().show(std::string(what) + " is not available in this version of DITA yet.", caption);
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
    command(file, "SaveRcv1", "Save Rcv",
            [this] { placeholder("Saving the receive text", "File Message"); });
    command(file, "SaveTransmit1", "Save Transmit",
            [this] { placeholder("Saving the transmit text", "File Message"); });
    command(file, "LoadTransmit1", "Load Transmit",
            [this] { placeholder("Loading a transmit text", "File Message"); });
    command(file, "LoadDefault", "Load Defaults",
            [this] { placeholder("Loading the default configuration", "File Message"); });
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
    group(
        {engineOption(dt, "Spectrum1", "Line", &OperatingSettings::DisplayType, 0, K::DisplayType),
         engineOption(dt, "Waterfall2", "Waterfall", &OperatingSettings::DisplayType, 1,
                      K::DisplayType)});
    QMenu* tl = menu(display, "imeline1", "Timeline");
    command(tl, "Show2", "Show", [this] {
        m_settings.TimelineShown = 1;
        placeholder("The timeline window", "Operating Hint");
    });
    QMenu* tscreen = menu(display, "ransmit2", "Transmit");
    group({option(tscreen, "SingleScreen1", "Single Screen",
                  [this] { m_settings.TransmitScreen = 0; }),
           option(tscreen, "DoubleScreen1", "Double Screen",
                  [this] { m_settings.TransmitScreen = 1; })});

    // ---- Transmit
    QMenu* transmit = menu(nullptr, "ransmit1", "Transmit");
    QMenu* od = menu(transmit, "OutputDevice1", "Output Device");
    group({option(od, "SoundCard1", "Sound Card",
                  [this] {
                      m_settings.OutputDevice = 0;
                      m_settings.OutputPort = 2;
                  }),
           option(od, "SerialPort1", "Serial Port", [this] {
               m_settings.OutputDevice = 1;
               if (!m_FirstStart) ComPortSelectForm->show();
           })});
    QMenu* op = menu(transmit, "OutputPort1", "Output Port");
    command(op, "PortNumber1", "Port Number", [this] { ComPortSelectForm->show(); });
    command(op, "None1", "None", [this] { m_settings.OutputPort = 2; })->setVisible(false);
    QMenu* inv = menu(transmit, "InvertXmit1", "Invert Xmit");
    group({option(inv, "Normal1", "Normal", [this] { m_settings.KeyInvert = 1; }),
           option(inv, "Invert2", "Invert", [this] { m_settings.KeyInvert = 2; })});
    QMenu* side = menu(transmit, "Sidetone1", "Sidetone");
    QMenu* sf = menu(side, "SidetoneFrequency1", "Sidetone Frequency");
    static const char* const kFreqNames[] = {"Freq1", "Freq2", "Freq3", "Freq4"};
    static const char* const kFreqCaptions[] = {"600 Hz", "750 Hz", "1000 Hz", "2500 Hz"};
    static const float kFreqHz[] = {600.0f, 750.0f, 1000.0f, 2500.0f};
    std::vector<A> freqs;
    for (int i = 0; i < static_cast<int>(std::size(kFreqNames)); ++i)
        freqs.push_back(option(sf, kFreqNames[i], kFreqCaptions[i],
                               [this, i] { m_settings.SidetoneFreq = kFreqHz[i]; }));
    group(freqs);
    QMenu* sw = menu(side, "SidetoneWaveform1", "Sidetone Waveform");
    group({option(sw, "Sinewave1", "Sinewave", [this] { m_settings.SidetoneWaveform = 0; }),
           option(sw, "Squarewave1", "Squarewave", [this] { m_settings.SidetoneWaveform = 1; })});
    group({option(side, "SideToneOn", "On", [this] { m_settings.SidetoneOn = 1; }),
           option(side, "SideToneOFF", "Off", [this] { m_settings.SidetoneOn = 0; })});
    QMenu* ptt = menu(transmit, "SetPTT", "Set PTT");
    command(ptt, "SetupPTT", "Setup PTT",
            [this] { placeholder("The PTT setup window", "Operating Hint"); });
    QMenu* ct = menu(transmit, "CharTiming", "Character Timing");
    command(ct, "ShowConfiguration1", "Show Configuration", [this] { CharTimingForm->show(); });
    QMenu* bc = menu(transmit, "BeaconCarrierTime1", "Beacon Carrier Time");
    static const char* const kBeaconNames[] = {"N1Second1", "N2Seconds1", "N3Seconds1",
                                               "N4Seconds1", "N5Seconds1"};
    static const char* const kBeaconCaptions[] = {"1 Second", "2 Seconds", "3 Seconds", "4 Seconds",
                                                  "5 Seconds"};
    std::vector<A> beacons;
    for (int i = 0; i < static_cast<int>(std::size(kBeaconNames)); ++i)
        beacons.push_back(option(bc, kBeaconNames[i], kBeaconCaptions[i], [this, i] {
            m_settings.BeaconCarrierTime = i + 1;
            m_settings.BeaconCarrierMs = kMsPerSecond * (i + 1);
            m_settings.BeaconCarrierSamples = kCaptureRateHz * (i + 1);
        }));
    group(beacons);

    // ---- Macros, Help
    QMenu* macros = menu(nullptr, "Macros", "Macros");
    command(macros, "ShowMacros", "Show Macros",
            [this] { TransmitMemoryForm->showMacros(m_macroSources); });
    command(macros, "Edit1", "Edit Macros",
            [this] { placeholder("The macro editor", "Operating Hint"); });
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
    if (m_typingActive != 0)
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
    m_flags.TransmitActive = true;
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
    QPalette ip = ImagePnl->palette();
    ip.setColor(QPalette::Window, back);
    ImagePnl->setPalette(ip);
    for (QWidget* w : std::initializer_list<QWidget*>{
             UTCPnl, Label13, Label14, Label15, Label12, Label3, RcvWPMPnl, CallMemo, MyCallMemo,
             NameMemo, RSTMemo, MyRSTMemo, XmitCntrSpinEdit, RcvMemo, XmitSpdUpDn2})
        paint(w, text);
    paint(MkrLabel, white ? QColor(Qt::red) : QColor(Qt::white));
    paint(TransmitMemo, white ? QColor(Qt::red) : QColor(Qt::white));
}

void TDecoderForm::clearDisplayImages() {
    const QColor back = m_settings.Background == 1 ? Qt::white : Qt::black;
    m_spectrumBitmap->fill(back);
    m_waterfallBitmap->fill(back);
    SpectrumBox->setPixmap(QPixmap::fromImage(*m_spectrumBitmap));
}

void TDecoderForm::BackgroundClick(int background, QAction* own) {
    m_settings.Background = background;
    check(own);
    applyColours();
    clearDisplayImages();
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
    centralWidget()->setFixedWidth(kClientWidth);
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
    const int wpm = lockedSpeedWpm(lock);
    XmitSpdUpDn2->setValue(wpm);
    m_settings.XmitSpeed = XmitSpdUpDn2->value();
    XmitSpeedPanel->setText(QString::number(XmitSpdUpDn2->value()));
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
    static constexpr int kTransmitPt[] = {12, 14, 16, 20};
    static constexpr int kReceivePt[] = {12, 14, 18, 20};
    m_settings.FontSize = size;
    check(own);
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
    clearDisplayImages();
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
    if (m_services.saveConfiguration) m_services.saveConfiguration();
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
    LogTimeText = t.LogTimeText;
    LogDateText = t.LogDateText;
    GMTDateMemo->setText(QString::fromStdString(t.utcDate));
}

void TDecoderForm::showMarker(int hz) {
    // The marker is a narrow column: one digit per line.
    const QString digits = QString::number(hz);
    QStringList lines;
    for (QChar c : digits)
        lines << QString(c);
    MkrLabel->setText(lines.join('\n'));
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

void TDecoderForm::showPass(const PassResult& r) {
    ++m_passesShown;
    showMarker(r.markerHz);
    if (r.rawSnrShown && m_settings.ScreenOpMode == 0)
        RawSnrMemo->setText("RAW = " + QString::number(r.displayedSnr));
    insertReceiveText(r.text);
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
