// The on/off model (checked state, status word, groups, modes, mouse) and the lamp.
#include <gtest/gtest.h>

#include <QTest>

#include "gk_test_support.h"

namespace {
struct StatusCounts {
    int status = 0, statusInt = 0;
};
void count(TGkBinGControl& c, StatusCounts& n) {
    QObject::connect(&c, &TGkBinGControl::OnStatusChanged, [&n](QObject*) { ++n.status; });
    QObject::connect(&c, &TGkBinGControl::OnStatusIntChanged, [&n](QObject*) { ++n.statusInt; });
}
} // namespace

TEST(BinaryControl, DefaultsOfThePublishedProperties) {
    TGkLED led;
    EXPECT_FALSE(led.Checked());
    EXPECT_EQ(led.StatusInt(), 0);
    EXPECT_EQ(led.StatusBit(), 0);
    EXPECT_EQ(led.GroupIndex(), 0);
    EXPECT_EQ(led.Mode(), mIndicator);
    EXPECT_FALSE(led.Flashing());
    EXPECT_EQ(led.Frequency(), ff1Hz);
    EXPECT_EQ(led.LowestStatusBit(), 32);
    EXPECT_EQ(led.size(), QSize(73, 33));
    EXPECT_EQ(led.LED()->Shape(), sRound);
    EXPECT_EQ(led.LED()->ColorOn(), clLime);
    EXPECT_EQ(led.LED()->ColorOff(), clBtnFace);
    EXPECT_EQ(led.LED_Position(), lpLeft);
    EXPECT_EQ(led.Spacing(), 5);
    EXPECT_TRUE(led.Caption().isEmpty());
    EXPECT_TRUE(led.setProperty("Mode", QStringLiteral("mSwitch")));
    EXPECT_EQ(led.Mode(), mSwitch);
    EXPECT_EQ(TGkBinGControl::FlashCode(ff8Hz), 2);
    EXPECT_EQ(TGkBinGControl::FlashCode(ff05Hz), 6);
}

TEST(BinaryControl, CheckedMirrorsItsBitOfTheStatusWord) {
    TGkLED led;
    StatusCounts n;
    count(led, n);
    led.SetStatusBit(3);
    led.SetChecked(true);
    EXPECT_EQ(led.StatusInt(), 8);
    EXPECT_EQ(led.LowestStatusBit(), 3);
    EXPECT_EQ(n.status, 1);
    led.SetChecked(true); // already so: nothing happens
    EXPECT_EQ(n.status, 1);
    EXPECT_EQ(n.statusInt, 1);
    led.SetStatusInt(8 | 1);
    EXPECT_TRUE(led.Checked());
    EXPECT_EQ(led.LowestStatusBit(), 0);
    led.SetChecked(false);
    EXPECT_EQ(led.StatusInt(), 1);
    led.SetStatusInt(8);
    EXPECT_TRUE(led.Checked());
    led.SetStatusBit(31);
    EXPECT_FALSE(led.Checked());
    led.SetChecked(true);
    EXPECT_EQ(std::uint32_t(led.StatusInt()), 0x80000008u);
    led.SetStatusBit(32);
    led.SetStatusBit(-1);
    EXPECT_EQ(led.StatusBit(), 31);
}

TEST(BinaryControl, RadioGroupSharesOneStatusWord) {
    QWidget form;
    TGkLED a(&form), b(&form), c(&form), other(&form);
    TGkLED* members[] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        members[i]->SetMode(mRadioButton);
        members[i]->SetStatusBit(i);
        members[i]->SetGroupIndex(1);
    }
    other.SetGroupIndex(2);
    b.SetChecked(true);
    for (TGkLED* m : members)
        EXPECT_EQ(m->StatusInt(), 2);
    EXPECT_FALSE(a.Checked());
    EXPECT_TRUE(b.Checked());
    EXPECT_FALSE(c.Checked());
    EXPECT_EQ(other.StatusInt(), 0);

    form.show();
    QTest::mouseClick(&c, Qt::LeftButton);
    for (TGkLED* m : members)
        EXPECT_EQ(m->StatusInt(), 4);
    EXPECT_FALSE(b.Checked());
    EXPECT_TRUE(c.Checked());

    // A newcomer takes the group's word.
    TGkLED late(&form);
    late.SetStatusBit(2);
    late.SetGroupIndex(1);
    EXPECT_EQ(late.StatusInt(), 4);
    EXPECT_TRUE(late.Checked());
}

TEST(BinaryControl, MouseModes) {
    QWidget form;
    TGkLED button(&form), sw(&form), indicator(&form);
    button.SetMode(mButton);
    sw.SetMode(mSwitch);
    form.show();
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_TRUE(button.Checked());
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_FALSE(button.Checked());
    QTest::mouseClick(&sw, Qt::LeftButton);
    EXPECT_TRUE(sw.Checked());
    QTest::mouseClick(&sw, Qt::LeftButton);
    EXPECT_FALSE(sw.Checked());
    QTest::mouseClick(&indicator, Qt::LeftButton);
    EXPECT_FALSE(indicator.Checked());
    QTest::mouseClick(&sw, Qt::RightButton);
    EXPECT_FALSE(sw.Checked());
}

TEST(Lamp, RoundLampIsSquareOfTheLargerSide) {
    TGkLED led;
    led.resize(40, 40);
    led.LED()->SetWidth(30);
    led.LED()->SetHeight(20);
    EXPECT_EQ(led.LampRect(), QRect(0, 5, 30, 30));
    led.SetChecked(true);
    led.LED()->SetColorOn(clRed);
    const QImage img = grabImage(led);
    const QRgb red = rgbOf(clRed);
    EXPECT_EQ(img.pixel(15, 20), red);
    EXPECT_EQ(img.pixel(15, 8), red); // inside a 30 x 30 circle, outside a 30 x 20 ellipse
    EXPECT_EQ(img.pixel(15, 32), red);
    EXPECT_NE(img.pixel(15, 3), red);
    EXPECT_NE(img.pixel(33, 20), red);
    led.LED()->SetShape(sRectangle);
    EXPECT_EQ(led.LampRect(), QRect(0, 10, 30, 20));
}

TEST(Lamp, DitaTransmitLampPixels) {
    QWidget form;
    form.resize(100, 50);
    TGkLED xmit(&form);
    configureDitaLamp(xmit, {42, 23}, clRed);
    xmit.SetChecked(true);
    EXPECT_EQ(xmit.LampRect(), QRect(0, 1, 30, 20));
    const QImage on = grabImage(xmit);
    const QRgb red = rgbOf(clRed);
    const QRgb shadow = rgbOf(clBtnShadow);
    EXPECT_EQ(on.pixel(15, 11), red);
    EXPECT_EQ(on.pixel(1, 2), red);
    EXPECT_EQ(on.pixel(28, 19), red);
    EXPECT_EQ(on.pixel(15, 1), shadow); // outline
    EXPECT_EQ(on.pixel(15, 20), shadow);
    EXPECT_NE(on.pixel(31, 11), red);
    EXPECT_NE(on.pixel(15, 0), red);
    xmit.SetChecked(false);
    const QImage off = grabImage(xmit);
    EXPECT_EQ(off.pixel(15, 11), rgbOf(clBtnFace));
}

TEST(Lamp, CaptionPositions) {
    TGkLED led;
    led.resize(100, 60);
    led.SetCaption(QStringLiteral("Transmit|line two"));
    const QRect left = led.CaptionRect();
    EXPECT_EQ(left.left(), 13 + 5);
    EXPECT_EQ(led.LampRect().left(), 0);
    led.SetLED_Position(lpRight);
    EXPECT_EQ(led.LampRect().right(), 99);
    EXPECT_EQ(led.CaptionRect().right() + 1, led.LampRect().left() - 5);
    led.SetLED_Position(lpTop);
    EXPECT_EQ(led.LampRect().top(), 0);
    EXPECT_EQ(led.CaptionRect().top(), 13 + 5);
    led.SetLED_Position(lpBottom);
    EXPECT_EQ(led.LampRect().bottom(), 59);
    EXPECT_EQ(led.CaptionRect().bottom() + 1, led.LampRect().top() - 5);
    EXPECT_EQ(led.CaptionRect().height(), 2 * QFontMetrics(led.font()).height());
}

TEST(Lamp, CheckedChangeRedrawsOnlyTheLamp) {
    QWidget form;
    form.resize(200, 100);
    TGkLED led(&form);
    led.SetCaption(QStringLiteral("Receive"));
    form.show();
    pumpEvents();
    PaintRecorder rec(&led);
    led.SetChecked(true);
    pumpEvents();
    ASSERT_FALSE(rec.rects.empty());
    for (const QRect& r : rec.rects)
        EXPECT_TRUE(led.LampRect().contains(r));
    rec.rects.clear();
    led.SetChecked(true);
    pumpEvents();
    EXPECT_TRUE(rec.rects.empty());
    led.LED()->SetShape(sArrowUp); // a parameter change repaints the whole lamp control
    pumpEvents();
    ASSERT_FALSE(rec.rects.empty());
    EXPECT_EQ(rec.rects.back(), led.rect());
}

TEST(Lamp, FlashingRegistersWhileCheckedAndBlinks) {
    TGkFlashList& list = TGkFlashList::Instance();
    {
        TGkLED led;
        led.SetFlashing(true);
        EXPECT_FALSE(list.Contains(&led));
        led.SetChecked(true);
        EXPECT_TRUE(list.Contains(&led));
        TGkFlashEvent dark(1, false);
        QCoreApplication::sendEvent(&led, &dark);
        EXPECT_EQ(led.LampColor(), gkToQColor(led.LED()->ColorOff()));
        TGkFlashEvent lit(2, true);
        QCoreApplication::sendEvent(&led, &lit);
        EXPECT_EQ(led.LampColor(), gkToQColor(clLime));
        led.SetChecked(false);
        EXPECT_FALSE(list.Contains(&led));
        led.SetChecked(true);
        led.SetFlashing(false); // steady on again
        EXPECT_FALSE(list.Contains(&led));
        EXPECT_EQ(led.LampColor(), gkToQColor(clLime));
        led.SetFlashing(true);
        EXPECT_TRUE(list.Contains(&led));
    }
    EXPECT_EQ(list.Count(), 0); // the destroyed lamp left the list
    EXPECT_FALSE(list.TimerRunning());
}
