#include "app/FormInstruments.h"

#include "app/DecoderFormLayout.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <cmath>

namespace dita {
namespace {

// SignalBar's scale: the value 0.55 x sqrt(signal level) runs from 1 (empty) to 2000 (full).
constexpr double kSignalBarFrom = 1.0;
constexpr double kSignalBarTo = 2000.0;
constexpr double kSignalBarStartValue = 50.0;
constexpr double kSignalBarLimitUpper = 250.0;
constexpr double kSignalBarLimitLower = 1.0;
// Outer bevel: one raised frame whose negative spacing lets the inner bevel reach over it.
constexpr int kOuterBevelSpacing = -4;
constexpr int kOuterBevelWidth = 1;
// Inner bevel: five lowered frames inside a black line round the bar area.
constexpr int kInnerBevelWidth = 5;
constexpr int kBarMinWidth = 25;
constexpr int kBarMinHeight = 12;
constexpr double kBarBkBrightness = 40.0;
constexpr int kBarFontPixels = 11;

constexpr int kLampWidth = 30;
constexpr int kLampHeight = 20;
constexpr int kLampSpacing = 5;

TGkLED* createLamp(QWidget* parent, const char* name, TColor on, int width, int height) {
    auto* led = new TGkLED(parent);
    led->setObjectName(name);
    led->LED()->SetShape(sRectangle);
    led->LED()->SetColorOn(on);
    led->LED()->SetWidth(kLampWidth);
    led->LED()->SetHeight(kLampHeight);
    led->SetLED_Position(lpLeft);
    led->SetSpacing(kLampSpacing);
    led->SetCaption(QString()); // a lamp loaded from the form has no caption of its own
    led->resize(width, height);
    led->Loaded();
    return led;
}

QLabel* createLabel(QWidget* parent, const char* name, const QString& text, QRect r) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(r);
    l->setAutoFillBackground(true);
    return l;
}

// A sunken read-out with its text centred.
QLabel* createReadout(QWidget* parent, const char* name, QRect r) {
    QLabel* l = createLabel(parent, name, "", r);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

TGkBar* createSignalBar(QWidget* parent) {
    auto* bar = new TGkBar(parent);
    bar->setObjectName("SignalBar");
    bar->setToolTip("Input Sound Card Level");
    bar->resize(kSignalBarWidth, kSignalBarHeight);
    bar->SetLimitUpper(kSignalBarLimitUpper);
    bar->SetLimitLower(kSignalBarLimitLower);
    bar->SignalSettings()->SetValueFrom(kSignalBarFrom);
    bar->SignalSettings()->SetValueTo(kSignalBarTo);
    bar->SignalSettings()->SetValueFormat("##0.0");
    bar->SignalSettings()->SetValueUnit(" ");
    bar->SectorSettings()->SetSector1Color(clGreen);
    bar->MinMax()->SetMaxColor(clRed);
    bar->MinMax()->SetMinColor(clYellow);

    TBarSettings* s = bar->BarSettings();
    s->SetStyle(bsBar);
    s->SetOptions({});   // a plain bar, no number on it
    s->SetColor(clTeal); // until the first pass paints it blue
    s->SetBkColor(clBtnFace);
    s->SetBkBrightness(kBarBkBrightness);
    s->SetBkAuto(false);
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kBarFontPixels);
    s->SetFont(font);
    s->SetFontColor(clBtnHighlight);
    s->SetminWidth(kBarMinWidth);
    s->SetminHeight(kBarMinHeight);
    TGkSBevel* inner = s->Bevel();
    inner->SetStyle(bsLowered);
    inner->SetSpacing(0);
    inner->SetBevelLine(blOuter);
    inner->SetWidth(kInnerBevelWidth);
    inner->SetColor(clBlack);

    TGkSBevel* outer = bar->BevelOuter();
    outer->SetStyle(bsRaised);
    outer->SetSpacing(kOuterBevelSpacing);
    outer->SetBevelLine(blNone);
    outer->SetWidth(kOuterBevelWidth);

    bar->SetValue(kSignalBarStartValue);
    bar->Loaded();
    return bar;
}

} // namespace

InstrumentPanel::InstrumentPanel(QWidget* parent) : QFrame(parent) {
    using namespace form_layout;
    setObjectName("Panel3");
    setAutoFillBackground(true);
    Label3 = createLabel(this, "Label3", "Signal", kLabel3Rect);
    SignalBar = createSignalBar(this);
    SignalBar->move(kSignalBarPos);
    Label12 = createLabel(this, "Label12", "WPM", kLabel12Rect);
    RcvWPMPnl = createReadout(this, "RcvWPMPnl", kRcvWPMPnlRect);
    Label13 = createLabel(this, "Label13", "UTC", kLabel13Rect);
    UTCPnl = createReadout(this, "UTCPnl", kUTCPnlRect);
    // The date is also shown here, where it stays in sight in receive-only mode.
    Label14 = createLabel(this, "Label14", "Date", kLabel14Rect);
    UTCDatePnl = createReadout(this, "UTCDatePnl", kUTCDatePnlRect);
    RcvLEDLabel = createLabel(this, "RcvLEDLabel", "Receive", kRcvLEDLabelRect);
    RcvLEDLabel->setAlignment(Qt::AlignCenter);
    RcvLED = createLamp(this, "RcvLED", clLime, kRcvLEDWidth, kRcvLEDHeight);
    RcvLED->move(kRcvLEDPos);
    XmitLEDLabel = createLabel(this, "XmitLEDLabel", "Transmit", kXmitLEDLabelRect);
    XmitLEDLabel->setAlignment(Qt::AlignCenter);
    XmitLED = createLamp(this, "XmitLED", clRed, kXmitLEDWidth, kXmitLEDHeight);
    XmitLED->move(kXmitLEDPos);
    Label15 = createLabel(this, "Label15", "Local", kLabel15Rect);
    LocalClock = new TGkClock(this);
    // Not "GkClock1": the macro editor, a child of the main window, has a clock of that name.
    LocalClock->setObjectName("LocalClock");
    LocalClock->setGeometry(kLocalClockRect);
    ClearButton = new QPushButton(this); // captioned by the screen mode
    ClearButton->setObjectName("ClearButton");
    ClearButton->setToolTip("Reset Stuck Decoding");
    ClearButton->setGeometry(kClearButtonRect);
    connect(ClearButton, &QPushButton::clicked, this, &InstrumentPanel::decoderResetClicked);
    ClrRcvBtn = new QPushButton("Clear Rcv", this);
    ClrRcvBtn->setObjectName("ClrRcvBtn");
    ClrRcvBtn->setToolTip("Clear Receive Text");
    ClrRcvBtn->setGeometry(kClrRcvBtnRect);
    connect(ClrRcvBtn, &QPushButton::clicked, this, &InstrumentPanel::clearReceiveClicked);
    connect(SignalBar, &TGkBar::OnValueChange, this,
            [this] { emit signalChanged(SignalBar->Value()); });
}

void InstrumentPanel::showPass(double signalValue, uint32_t signalColour, int receiveWpm) {
    RcvWPMPnl->setText(QString::number(receiveWpm));
    showSignal(std::isfinite(signalValue) ? signalValue : 0.0);
    SignalBar->BarSettings()->SetColor(signalColour);
}

void InstrumentPanel::showSignal(double value) {
    SignalBar->SetValue(value);
}

void InstrumentPanel::showLeds(bool rcvOn, bool xmitOn) {
    RcvLED->SetChecked(rcvOn);
    XmitLED->SetChecked(xmitOn);
}

void InstrumentPanel::showClock(const std::string& utcTime, const std::string& utcDate) {
    UTCPnl->setText(QString::fromStdString(utcTime));
    UTCDatePnl->setText(QString::fromStdString(utcDate));
}

void InstrumentPanel::setReceiveOnly(bool receiveOnly) {
    ClearButton->setText(receiveOnly ? "Clear Decode" : "Clr Decode");
}

void InstrumentPanel::setColours(const QColor& back, const QColor& text) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{UTCPnl, UTCDatePnl, Label13, Label14, Label15, Label12,
                                         Label3, RcvWPMPnl, RcvLEDLabel, XmitLEDLabel})
        paintControl(w, back, text);
}

double InstrumentPanel::signalValue() const {
    return SignalBar->Value();
}
uint32_t InstrumentPanel::signalColour() const {
    return SignalBar->BarSettings()->Color();
}
bool InstrumentPanel::rcvLedOn() const {
    return RcvLED->Checked();
}
bool InstrumentPanel::xmitLedOn() const {
    return XmitLED->Checked();
}
QString InstrumentPanel::receiveWpmText() const {
    return RcvWPMPnl->text();
}
QString InstrumentPanel::utcTimeText() const {
    return UTCPnl->text();
}
QString InstrumentPanel::utcDateText() const {
    return UTCDatePnl->text();
}

} // namespace dita
