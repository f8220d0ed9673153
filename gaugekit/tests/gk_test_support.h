#pragma once
// Helpers of the widget tests: DITA's component configurations and paint recording.
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QWidget>
#include <vector>

#include "gaugekit/gaugekit.h"

// The signal bar as DITA's main-window form describes it.
inline void configureSignalBar(TGkBar& bar) {
    bar.BeginUpdate();
    bar.resize(93, 22);
    bar.SignalSettings()->SetValueFrom(1.0);
    bar.SignalSettings()->SetValueTo(2000.0);
    bar.SignalSettings()->SetValueUnit(QStringLiteral(" "));
    bar.SetLimitUpper(250.0);
    bar.SetLimitLower(1.0);
    bar.SectorSettings()->SetSector1Color(clGreen);
    TBarSettings* b = bar.BarSettings();
    b->SetStyle(bsBar);
    b->SetOptions({});
    b->SetColor(clTeal);
    b->SetBkColor(clBtnFace);
    b->SetBkBrightness(40.0);
    b->Bevel()->SetStyle(bsLowered);
    b->Bevel()->SetSpacing(0);
    b->Bevel()->SetBevelLine(blOuter);
    b->Bevel()->SetWidth(5);
    b->Bevel()->SetColor(clBlack);
    b->SetminHeight(12);
    b->SetminWidth(25);
    bar.BevelOuter()->SetStyle(bsRaised);
    bar.BevelOuter()->SetSpacing(-4);
    bar.BevelOuter()->SetWidth(1);
    bar.EndUpdate();
    bar.Loaded();
}

// A lamp as DITA's XmitLED / RcvLED.
inline void configureDitaLamp(TGkLED& led, QSize size, TColor on) {
    led.resize(size);
    led.LED()->SetShape(sRectangle);
    led.LED()->SetColorOn(on);
    led.LED()->SetWidth(30);
    led.LED()->SetHeight(20);
    led.Loaded();
}

inline void pumpEvents(int rounds = 3) {
    for (int i = 0; i < rounds; ++i)
        QCoreApplication::processEvents();
}

// Records the rectangles of the paint events a widget receives.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* w) { w->installEventFilter(this); }
    std::vector<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(e)->rect());
        return false;
    }
};

inline QImage grabImage(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRgb rgbOf(TColor c) {
    return gkToQColor(c).rgb();
}
