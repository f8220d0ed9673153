// The value model of the analog control (through the bar meter, its real descendant).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cmath>

#include "gk_test_support.h"

namespace {
struct Counts {
    int value = 0, overflow = 0, sector = 0, limit = 0, minmax = 0, settings = 0;
    int lastOverflowPpt = 0;
    bool lastLower = false, lastUpper = false;
};

void count(TGkAnalogGControl& c, Counts& n) {
    QObject::connect(&c, &TGkAnalogGControl::OnValueChange, [&n](QObject*) { ++n.value; });
    QObject::connect(&c, &TGkAnalogGControl::OnOverflow, [&n](QObject*, int ppt) {
        ++n.overflow;
        n.lastOverflowPpt = ppt;
    });
    QObject::connect(&c, &TGkAnalogGControl::OnSectorChange, [&n](QObject*) { ++n.sector; });
    QObject::connect(&c, &TGkAnalogGControl::OnLimit, [&n](QObject*, bool lower, bool upper) {
        ++n.limit;
        n.lastLower = lower;
        n.lastUpper = upper;
    });
    QObject::connect(&c, &TGkAnalogGControl::OnMinMaxChange, [&n](QObject*) { ++n.minmax; });
    QObject::connect(&c, &TGkAnalogGControl::OnSettingsChange, [&n](QObject*) { ++n.settings; });
}
} // namespace

TEST(AnalogControl, DefaultsOfThePublishedProperties) {
    TGkBar bar;
    EXPECT_DOUBLE_EQ(bar.Value(), 50.0);
    EXPECT_EQ(bar.Digit(), 500);
    EXPECT_DOUBLE_EQ(bar.LimitUpper(), 90.0);
    EXPECT_DOUBLE_EQ(bar.LimitLower(), 10.0);
    EXPECT_EQ(bar.HintOptionBits(), 0xFFu);
    EXPECT_FALSE(bar.LogScale());
    EXPECT_EQ(bar.SignalSettings()->ValueFormat(), QStringLiteral("##0.0"));
    EXPECT_EQ(bar.SignalSettings()->ValueUnit(), QStringLiteral("%"));
    EXPECT_EQ(bar.SectorSettings()->Sector2From(), 334);
    EXPECT_EQ(bar.SectorSettings()->Sector3Color(), clRed);
    EXPECT_EQ(bar.MinMax()->MinColor(), clAqua);
    EXPECT_FALSE(bar.Damping()->Enabled());
    EXPECT_EQ(bar.Damping()->Mode(), dmLowpass);
    EXPECT_EQ(bar.size(), QSize(164, 28));
    EXPECT_EQ(bar.BarSettings()->Options(), TBarOptions({opValue, opUnit}));
    EXPECT_DOUBLE_EQ(bar.BarSettings()->BkBrightness(), 40.0);
    EXPECT_EQ(bar.BevelOuter()->Spacing(), 5);
    EXPECT_EQ(bar.BarSettings()->Bevel()->Style(), bsLowered);
    // Forms set properties by name, enumerations too.
    EXPECT_TRUE(bar.BarSettings()->setProperty("Style", QStringLiteral("bsLED_Bar")));
    EXPECT_EQ(bar.BarSettings()->Style(), bsLED_Bar);
    EXPECT_TRUE(bar.setProperty("Value", 75.0));
    EXPECT_DOUBLE_EQ(bar.Value(), 75.0);
}

TEST(AnalogControl, RepeatedValueReportsOnce) {
    TGkBar bar;
    Counts n;
    count(bar, n);
    bar.SetValue(70);
    bar.SetValue(70);
    EXPECT_EQ(n.value, 1);
    bar.SetValue(50); // back to the creation value: a real change
    EXPECT_EQ(n.value, 2);
    bar.SetValue(std::nan(""));
    EXPECT_EQ(n.value, 2);
    EXPECT_DOUBLE_EQ(bar.Value(), 50.0);
}

TEST(AnalogControl, OverflowRaisedOnceAndClearedOnReturn) {
    TGkBar bar;
    Counts n;
    count(bar, n);
    bar.SetValue(150);
    EXPECT_EQ(n.overflow, 1);
    EXPECT_EQ(n.lastOverflowPpt, 1500);
    EXPECT_TRUE(bar.UpperOverflow());
    EXPECT_EQ(bar.Ppt(), 1000);
    bar.SetValue(170);
    EXPECT_EQ(n.overflow, 1);
    bar.SetValue(40);
    EXPECT_EQ(n.overflow, 2);
    EXPECT_FALSE(bar.UpperOverflow());
    EXPECT_FALSE(bar.LowerOverflow());
    bar.SetValue(-5);
    EXPECT_EQ(n.overflow, 3);
    EXPECT_TRUE(bar.LowerOverflow());
    EXPECT_EQ(bar.Ppt(), 0);
    bar.SetValue(500); // straight from below to above: one entry notification
    EXPECT_EQ(n.overflow, 4);
    EXPECT_TRUE(bar.UpperOverflow());
    EXPECT_FALSE(bar.LowerOverflow());
}

TEST(AnalogControl, LimitLowerZeroIsStoredAsTenThousandth) {
    TGkBar bar;
    bar.SetLimitLower(0.0);
    EXPECT_DOUBLE_EQ(bar.LimitLower(), 0.0001);
    bar.SetLimitLower(2.0);
    EXPECT_DOUBLE_EQ(bar.LimitLower(), 2.0);
}

TEST(AnalogControl, LimitsFireOnCrossingOnly) {
    TGkBar bar;
    Counts n;
    count(bar, n);
    bar.SetValue(95);
    EXPECT_EQ(n.limit, 1);
    EXPECT_TRUE(n.lastUpper);
    bar.SetValue(99);
    EXPECT_EQ(n.limit, 1);
    bar.SetValue(90); // not above the limit any more
    EXPECT_EQ(n.limit, 2);
    EXPECT_FALSE(bar.UpperLimitActive());
    bar.SetValue(9.5);
    EXPECT_EQ(n.limit, 3);
    EXPECT_TRUE(n.lastLower);
    bar.SetValue(10); // at the lower limit is inside
    EXPECT_FALSE(bar.LowerLimitActive());
}

TEST(AnalogControl, DitaPositionsOnTheSignalBar) {
    TGkBar bar;
    configureSignalBar(bar);
    bar.SetValue(1000.5);
    EXPECT_EQ(bar.Ppt(), 500);
    bar.SetValue(1.0);
    EXPECT_EQ(bar.Ppt(), 0);
    EXPECT_FALSE(bar.LowerOverflow());
    bar.SetValue(0.2); // digit round(-0.4) = 0: still on the scale
    EXPECT_EQ(bar.Ppt(), 0);
    EXPECT_FALSE(bar.LowerOverflow());
    bar.SetValue(-5);
    EXPECT_EQ(bar.Ppt(), 0);
    EXPECT_TRUE(bar.LowerOverflow());
    bar.SetValue(2000);
    EXPECT_EQ(bar.Ppt(), 1000);
    EXPECT_FALSE(bar.UpperOverflow());
    bar.SetValue(5000);
    EXPECT_EQ(bar.Ppt(), 1000);
    EXPECT_TRUE(bar.UpperOverflow());
    EXPECT_EQ(bar.ValueStr(), QStringLiteral("5000.0"));
}

TEST(AnalogControl, SectorFlagsAndActiveColour) {
    TGkBar bar;
    Counts n;
    count(bar, n);
    bar.SetValue(20);
    EXPECT_TRUE(bar.InSector(0));
    EXPECT_FALSE(bar.InSector(1));
    EXPECT_EQ(bar.SectorColor(), clYellow);
    EXPECT_EQ(n.sector, 2); // left sector 2, entered sector 1
    bar.SetValue(33.25);    // digit 332.5 ties to the even 332
    EXPECT_EQ(bar.Digit(), 332);
    EXPECT_EQ(bar.SectorColor(), clYellow);
    bar.SetValue(33.375);
    EXPECT_EQ(bar.Ppt(), 334);
    EXPECT_EQ(bar.SectorColor(), clGreen);
    bar.SetValue(43.25);
    EXPECT_EQ(bar.Digit(), 432);
    bar.SetValue(80);
    EXPECT_EQ(bar.SectorColor(), clRed);
    // Past the end the bar still shows the end sector's colour.
    bar.SetValue(140);
    EXPECT_TRUE(bar.HasSectorColor());
    EXPECT_EQ(bar.SectorColor(), clRed);
    bar.SectorSettings()->SetSector3From(700);
    bar.SetValue(68.5); // ppt 685: in no sector
    EXPECT_FALSE(bar.HasSectorColor());
}

TEST(AnalogControl, MinMaxTrackingAndReset) {
    TGkBar bar;
    bar.Loaded();
    Counts n;
    count(bar, n);
    bar.SetValue(30); // first minimum (from the initial one): not reported; first maximum is
    EXPECT_EQ(n.minmax, 1);
    bar.SetValue(70);
    bar.SetValue(20);
    EXPECT_DOUBLE_EQ(bar.MinMax()->Min(), 20);
    EXPECT_DOUBLE_EQ(bar.MinMax()->Max(), 70);
    EXPECT_EQ(n.minmax, 3);
    EXPECT_LE(bar.MinMax()->MaxTime(), QDateTime::currentDateTime());
    bar.ResetMinMax();
    EXPECT_DOUBLE_EQ(bar.MinMax()->Min(), 20);
    EXPECT_DOUBLE_EQ(bar.MinMax()->Max(), 20);
    bar.Loaded();
    EXPECT_DOUBLE_EQ(bar.MinMax()->Min(), TMinMax::kInitialMin);
    EXPECT_DOUBLE_EQ(bar.MinMax()->Max(), TMinMax::kInitialMax);
}

TEST(AnalogControl, AutomaticHint) {
    TGkBar bar;
    bar.Loaded();
    bar.SetValue(62.5);
    const QStringList lines = bar.toolTip().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("Value= 62.5 %"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("MIN= 62.5 % ")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("MAX= 62.5 % ")));
    EXPECT_EQ(lines[3], QStringLiteral("SignalName1"));
    EXPECT_EQ(lines[4], QStringLiteral("SignalName2"));

    TGkBar plain;
    plain.setToolTip(QStringLiteral("Input Sound Card Level"));
    plain.SetHintOptions({hoValue});
    plain.SetValue(10);
    EXPECT_EQ(plain.toolTip(), QStringLiteral("Input Sound Card Level"));
}

TEST(AnalogControl, UpdateCounterHoldsChangesBack) {
    TGkBar bar;
    Counts n;
    count(bar, n);
    bar.BeginUpdate();
    bar.BeginUpdate();
    bar.SignalSettings()->SetValueTo(200);
    bar.SignalSettings()->SetValueFrom(100);
    EXPECT_EQ(n.settings, 0);
    bar.EndUpdate();
    EXPECT_EQ(n.settings, 0);
    bar.EndUpdate();
    EXPECT_EQ(n.settings, 1);
    bar.EndUpdate(); // never below 0
    EXPECT_EQ(bar.UpdateCount(), 0);
    EXPECT_EQ(n.settings, 1);
    // The new range moved the value 50 below the scale.
    EXPECT_TRUE(bar.LowerOverflow());
    bar.SignalSettings()->SetValueTo(200); // unchanged: no report
    EXPECT_EQ(n.settings, 1);
}

TEST(AnalogControl, LogarithmicScaleAndItsUndefinedValues) {
    TGkBar bar;
    bar.SignalSettings()->SetValueFrom(1);
    bar.SignalSettings()->SetValueTo(1000);
    bar.SetLogScale(true);
    bar.SetValue(10);
    EXPECT_EQ(bar.Digit(), 333);
    bar.SetValue(1000);
    EXPECT_EQ(bar.Digit(), 1000);
    bar.SetValue(0); // no logarithm of 0: the digit stays
    EXPECT_EQ(bar.Digit(), 1000);
    bar.SetDigit(667);
    EXPECT_NEAR(bar.Value(), 100.0, 0.5);
    bar.SignalSettings()->SetValueFrom(0); // range start 0: no update, no NaN
    EXPECT_FALSE(std::isnan(bar.Value()));
    EXPECT_EQ(bar.Ppt(), bar.SignalSettings()->Scale().pptOfDigit(bar.Digit()));
}

TEST(AnalogControl, DampingReachesItsTargetAndStopsItsTimer) {
    TGkBar bar;
    Counts n;
    count(bar, n);
    TGkDamping* d = bar.Damping();
    EXPECT_FALSE(d->TimerExists());
    d->SetEnabled(true);
    EXPECT_TRUE(d->TimerExists());
    EXPECT_FALSE(d->TimerActive());
    bar.SetValue(90);
    EXPECT_TRUE(d->TimerActive());
    EXPECT_DOUBLE_EQ(bar.Value(), 50.0);
    d->Step();
    EXPECT_DOUBLE_EQ(bar.Value(), 58.0);
    QElapsedTimer clock;
    clock.start();
    while (d->TimerActive() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(d->TimerActive());
    EXPECT_DOUBLE_EQ(bar.Value(), 90.0);
    EXPECT_GT(n.value, 10); // each step is reported

    d->SetMode(dmLinear);
    bar.SetValue(0);
    for (int i = 0; i < 32; ++i)
        d->Step();
    EXPECT_GT(bar.Value(), 0.0);
    d->Step();
    EXPECT_DOUBLE_EQ(bar.Value(), 0.0);
    EXPECT_FALSE(d->TimerActive());

    bar.SetValue(40);
    d->SetEnabled(false); // a motion in progress ends at its target
    EXPECT_FALSE(d->TimerExists());
    EXPECT_DOUBLE_EQ(bar.Value(), 40.0);
}

TEST(SettingsObjects, ReportOnlyRealChanges) {
    TBarSettings s(nullptr);
    int changes = 0;
    TGkPersistent* sender = nullptr;
    s.SetOnChange([&](QObject*, TGkPersistent* who) {
        ++changes;
        sender = who;
    });
    s.SetColor(clLime); // the default
    EXPECT_EQ(changes, 0);
    s.SetColor(clBlue);
    s.SetColor(clBlue);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(sender, &s);
    s.SetminWidth(0);
    s.SetminHeight(-3);
    EXPECT_EQ(changes, 1);
    s.Bevel()->SurfaceGrad()->SetVisible(true);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(sender, s.Bevel()->SurfaceGrad());

    TGkSBevel bevel(nullptr);
    EXPECT_EQ(bevel.TotalWidth(), 7);
    bevel.SetBevelLine(blBoth);
    EXPECT_EQ(bevel.TotalWidth(), 9);
    bevel.SetWidth(-1);
    EXPECT_EQ(bevel.Width(), 2);

    TGkDamping damping(nullptr);
    damping.SetFactor(1000);
    EXPECT_DOUBLE_EQ(damping.Factor(), 100.0);
}

TEST(SettingsObjects, LampSizeOutsideFourToEightyIsRefused) {
    TLED led(nullptr);
    int changes = 0;
    led.SetOnChange([&](QObject*, TGkPersistent*) { ++changes; });
    led.SetWidth(3);
    led.SetWidth(81);
    led.SetHeight(0);
    EXPECT_EQ(led.Width(), 13);
    EXPECT_EQ(led.Height(), 13);
    EXPECT_EQ(changes, 0);
    led.SetWidth(4);
    led.SetHeight(80);
    EXPECT_EQ(led.Width(), 4);
    EXPECT_EQ(led.Height(), 80);
    EXPECT_EQ(changes, 2);
}
