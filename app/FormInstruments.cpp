#include "app/FormInstruments.h"

#include <QFont>
#include <QWidget>

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

} // namespace

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

TGkLED* createRcvLED(QWidget* parent) {
    return createLamp(parent, "RcvLED", clLime, kRcvLEDWidth, kRcvLEDHeight);
}

TGkLED* createXmitLED(QWidget* parent) {
    return createLamp(parent, "XmitLED", clRed, kXmitLEDWidth, kXmitLEDHeight);
}

} // namespace dita
