// Gallery of gaugekit components: DITA's SignalBar, XmitLED, RcvLED and GkClock1 as its forms
// describe them, then each bar style, orientation, lamp shape and caption position.
// Usage: gaugekit-gallery [--screenshot FILE.png] [--zoom-dita FILE.png]
// (--zoom-dita saves DITA's components enlarged three times, pixels kept sharp).
#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <cmath>

#include "gaugekit/gaugekit.h"

namespace {

constexpr int kAnimateMs = 100;
constexpr double kDitaBarValue = 1000.5;
constexpr int kZoom = 3;

// DITA's main-window signal bar.
TGkBar* makeSignalBar(QWidget* parent) {
    auto* bar = new TGkBar(parent);
    bar->setObjectName(QStringLiteral("SignalBar"));
    bar->BeginUpdate();
    bar->setFixedSize(93, 22);
    TSignalSettings* s = bar->SignalSettings();
    s->SetValueFrom(1.0);
    s->SetValueTo(2000.0);
    s->SetValueFormat(QStringLiteral("##0.0"));
    s->SetValueUnit(QStringLiteral(" "));
    bar->SetLimitUpper(250.0);
    bar->SetLimitLower(1.0);
    bar->SectorSettings()->SetSector1Color(clGreen);
    bar->MinMax()->SetMaxColor(clRed);
    bar->MinMax()->SetMinColor(clYellow);
    TBarSettings* b = bar->BarSettings();
    b->SetStyle(bsBar);
    b->SetOptions({});
    b->SetColor(clTeal);
    b->SetBkColor(clBtnFace);
    b->SetBkBrightness(40.0);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(11);
    b->SetFont(f);
    b->Bevel()->SetStyle(bsLowered);
    b->Bevel()->SetSpacing(0);
    b->Bevel()->SetBevelLine(blOuter);
    b->Bevel()->SetWidth(5);
    b->Bevel()->SetColor(clBlack);
    b->SetminHeight(12);
    b->SetminWidth(25);
    bar->BevelOuter()->SetStyle(bsRaised);
    bar->BevelOuter()->SetSpacing(-4);
    bar->BevelOuter()->SetWidth(1);
    bar->setToolTip(QStringLiteral("Input Sound Card Level"));
    bar->Loaded();
    bar->SetValue(kDitaBarValue);
    b->SetColor(clBlue); // as DITA does on every pass
    return bar;
}

TGkLED* makeDitaLED(QWidget* parent, const QString& name, QSize size, TColor on, bool checked) {
    auto* led = new TGkLED(parent);
    led->setObjectName(name);
    led->setFixedSize(size);
    led->LED()->SetShape(sRectangle);
    led->LED()->SetColorOn(on);
    led->LED()->SetWidth(30);
    led->LED()->SetHeight(20);
    led->SetLED_Position(lpLeft);
    led->SetSpacing(5);
    led->Loaded();
    led->SetChecked(checked);
    return led;
}

TGkClock* makeDitaClock(QWidget* parent) {
    auto* clock = new TGkClock(parent);
    clock->setObjectName(QStringLiteral("GkClock1"));
    clock->resize(113, 35);
    QFont f = clock->font();
    f.setPixelSize(13);
    clock->setFont(f);
    clock->SetFontColor(clLime);
    clock->BevelInner()->SetStyle(bsLowered);
    clock->BevelInner()->SetSpacing(0);
    clock->BevelInner()->SetColor(clBlack);
    clock->BevelOuter()->SetStyle(bsRaised);
    clock->BevelOuter()->SetSpacing(2);
    clock->Loaded();
    return clock;
}

QWidget* labelled(const QString& caption, QWidget* w) {
    auto* box = new QWidget;
    auto* l = new QVBoxLayout(box);
    l->setContentsMargins(2, 2, 2, 2);
    l->addWidget(new QLabel(caption));
    w->setParent(box);
    l->addWidget(w);
    l->addStretch();
    return box;
}

TGkBar* makeBar(TBarStyle style, double value, QSize size, TBarOptions options, bool bkAuto) {
    auto* bar = new TGkBar;
    bar->setFixedSize(size);
    bar->BarSettings()->SetStyle(style);
    bar->BarSettings()->SetOptions(options);
    bar->BarSettings()->SetBkAuto(bkAuto);
    bar->Loaded();
    bar->SetValue(value);
    return bar;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString screenshot, zoomed;
    for (int i = 1; i + 1 < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--screenshot")) screenshot = QString::fromLocal8Bit(argv[i + 1]);
        if (arg == QLatin1String("--zoom-dita")) zoomed = QString::fromLocal8Bit(argv[i + 1]);
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("gaugekit gallery"));
    auto* grid = new QGridLayout(&window);

    // Row 0: DITA's own components.
    auto* dita = new QGroupBox(QStringLiteral("DITA"));
    auto* dl = new QHBoxLayout(dita);
    dl->addWidget(
        labelled(QStringLiteral("Input Level (SignalBar, 1000.5)"), makeSignalBar(nullptr)));
    dl->addWidget(labelled(QStringLiteral("Transmit (XmitLED, on)"),
                           makeDitaLED(nullptr, QStringLiteral("XmitLED"), {42, 23}, clRed, true)));
    dl->addWidget(
        labelled(QStringLiteral("Receive (RcvLED, off)"),
                 makeDitaLED(nullptr, QStringLiteral("RcvLED"), {40, 20}, clLime, false)));
    dl->addWidget(labelled(QStringLiteral("GkClock1"), makeDitaClock(nullptr)));
    grid->addWidget(dita, 0, 0, 1, 2);

    // Row 1: bar styles.
    auto* bars = new QGroupBox(QStringLiteral("Bar styles"));
    auto* bl = new QGridLayout(bars);
    bl->addWidget(labelled(QStringLiteral("bsBar, value and unit"),
                           makeBar(bsBar, 62.5, {164, 28}, {opValue, opUnit}, false)),
                  0, 0);
    bl->addWidget(labelled(QStringLiteral("bsBar, BkAuto, sector colour"),
                           makeBar(bsBar, 80, {164, 28}, {opValue, opUnit, opUseSectorCol}, true)),
                  0, 1);
    bl->addWidget(
        labelled(QStringLiteral("bsLED_Bar, BkAuto"), makeBar(bsLED_Bar, 75, {164, 28}, {}, true)),
        1, 0);
    bl->addWidget(
        labelled(QStringLiteral("bsLED_Bar"), makeBar(bsLED_Bar, 45, {164, 28}, {}, false)), 1, 1);
    bl->addWidget(labelled(QStringLiteral("bsPoint, BkAuto"),
                           makeBar(bsPoint, 30, {164, 28}, {opValue}, true)),
                  2, 0);
    bl->addWidget(labelled(QStringLiteral("bsMultiColor"),
                           makeBar(bsMultiColor, 90, {164, 28}, {opValue, opUnit}, false)),
                  2, 1);
    auto* bidir = makeBar(bsBar, -30, {164, 28}, {opValue, opBidir}, false);
    bidir->SignalSettings()->SetValueFrom(-100);
    bl->addWidget(labelled(QStringLiteral("bsBar, opBidir, -100..100"), bidir), 3, 0);
    auto* small = makeBar(bsBar, 50, {20, 8}, {}, false);
    small->setMinimumSize(0, 0);
    small->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    bl->addWidget(labelled(QStringLiteral("too small: grows on paint"), small), 3, 1);
    grid->addWidget(bars, 1, 0);

    auto* vert = new QGroupBox(QStringLiteral("Vertical"));
    auto* vl = new QHBoxLayout(vert);
    vl->addWidget(makeBar(bsBar, 70, {40, 150}, {opValue}, true));
    vl->addWidget(makeBar(bsLED_Bar, 55, {40, 150}, {}, true));
    vl->addWidget(makeBar(bsMultiColor, 85, {40, 150}, {}, false));
    vl->addWidget(makeBar(bsPoint, 20, {40, 150}, {}, true));
    grid->addWidget(vert, 1, 1);

    // Row 2: lamps.
    auto* lamps = new QGroupBox(QStringLiteral("Lamps"));
    auto* ll = new QGridLayout(lamps);
    const TLEDShape shapes[] = {sRound,     sArrowLeft, sArrowRight,  sArrowUp,
                                sArrowDown, sRectangle, sDiamondLeft, sDiamondRight};
    const char* names[] = {"sRound",     "sArrowLeft", "sArrowRight",  "sArrowUp",
                           "sArrowDown", "sRectangle", "sDiamondLeft", "sDiamondRight"};
    for (int i = 0; i < 8; ++i) {
        auto* led = new TGkLED;
        led->setFixedSize(125, 30);
        led->LED()->SetShape(shapes[i]);
        led->LED()->SetWidth(20);
        led->LED()->SetHeight(20);
        led->SetCaption(QString::fromLatin1(names[i]));
        led->SetChecked(i % 2 == 0);
        ll->addWidget(led, i / 4, i % 4);
    }
    const TLEDPosition positions[] = {lpLeft, lpRight, lpTop, lpBottom};
    const char* posNames[] = {"lpLeft", "lpRight", "lpTop", "lpBottom"};
    for (int i = 0; i < 4; ++i) {
        auto* led = new TGkLED;
        led->setFixedSize(110, 50);
        led->SetLED_Position(positions[i]);
        led->SetCaption(QString::fromLatin1(posNames[i]) + QStringLiteral("|two lines"));
        led->LED()->SetColorOn(clRed);
        led->SetChecked(true);
        ll->addWidget(led, 2, i);
    }
    auto* flashing = new TGkLED;
    flashing->setFixedSize(110, 30);
    flashing->SetCaption(QStringLiteral("flashing 2 Hz"));
    flashing->SetFlashing(true);
    flashing->SetFrequency(ff2Hz);
    flashing->SetChecked(true);
    ll->addWidget(flashing, 3, 0);
    auto* round = new TGkLED;
    round->setFixedSize(110, 34);
    round->LED()->SetWidth(30);
    round->LED()->SetHeight(20);
    round->SetCaption(QStringLiteral("round 30x20"));
    round->SetChecked(true);
    ll->addWidget(round, 3, 1);
    auto* dateClock = new TGkClock;
    dateClock->SetClockOption(coDateTime);
    ll->addWidget(dateClock, 3, 2, 1, 2);
    grid->addWidget(lamps, 2, 0, 1, 2);

    window.show();
    if (!screenshot.isEmpty() || !zoomed.isEmpty()) {
        // Two passes of the event loop: paints, then the growth of undersized controls.
        for (int i = 0; i < 3; ++i)
            app.processEvents();
        QTimer::singleShot(kAnimateMs, &app, [&] {
            app.processEvents();
            if (!screenshot.isEmpty()) window.grab().save(screenshot);
            if (!zoomed.isEmpty()) {
                const QPixmap p = dita->grab();
                p.scaled(p.size() * kZoom, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                    .save(zoomed);
            }
            app.quit();
        });
    }
    return app.exec();
}
