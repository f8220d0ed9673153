// Pixel checks of the bar meter where the drawing rules are exact, and its redraw regions.
#include <gtest/gtest.h>

#include "gk_test_support.h"

namespace {

TBarSettings& plainBar(TBarSettings& s, TBarStyle style) {
    s.SetStyle(style);
    s.SetOptions({});
    s.SetBkColor(clBlack);
    s.SetBkAuto(false);
    s.PaintColor = clLime;
    TSectorSettings sectors(nullptr);
    s.SectorsCopy = sectors.Sectors();
    return s;
}

int countColumns(const QImage& img, QRgb colour, int row) {
    int n = 0;
    for (int x = 0; x < img.width(); ++x)
        n += img.pixel(x, row) == colour;
    return n;
}

} // namespace

TEST(BarDrawing, DitaSignalBarGeometryAndFill) {
    QWidget form;
    form.resize(200, 60);
    TGkBar bar(&form);
    configureSignalBar(bar);
    // Outer bevel: 1 frame then spacing -4; inner: outer line, 5 frames.
    EXPECT_EQ(bar.BarRect(), QRect(3, 3, 87, 16));
    bar.SetValue(1000.5);
    bar.BarSettings()->SetColor(clBlue);
    const QImage img = grabImage(bar);
    const QRgb blue = rgbOf(clBlue), face = rgbOf(clBtnFace);
    // p = 500: round(500 * 87 / 1000) = round(43.5) = 44 pixels (tie to even).
    for (int y = 3; y < 19; ++y) {
        EXPECT_EQ(img.pixel(3, y), blue);
        EXPECT_EQ(img.pixel(46, y), blue);
        EXPECT_EQ(img.pixel(47, y), face);
        EXPECT_EQ(img.pixel(89, y), face);
    }
    // Lowered inner frames: shadow top-left, highlight bottom-right.
    EXPECT_EQ(img.pixel(0, 10), rgbOf(clBtnShadow));
    EXPECT_EQ(img.pixel(2, 10), rgbOf(clBtnShadow));
    EXPECT_EQ(img.pixel(92, 10), rgbOf(clBtnHighlight));
    EXPECT_EQ(img.pixel(50, 21), rgbOf(clBtnHighlight));

    bar.SetValue(1.0);
    EXPECT_EQ(countColumns(grabImage(bar), blue, 10), 0);
    bar.SetValue(0.0); // below the scale: empty too
    EXPECT_EQ(countColumns(grabImage(bar), blue, 10), 0);
    bar.SetValue(2000.0);
    EXPECT_EQ(countColumns(grabImage(bar), blue, 10), 87);
    bar.SetValue(99999.0);
    EXPECT_EQ(countColumns(grabImage(bar), blue, 10), 87);
}

TEST(BarDrawing, ValueChangeRedrawsOnlyTheBarArea) {
    QWidget form;
    form.resize(300, 100);
    TGkBar bar(&form);
    configureSignalBar(bar);
    form.show();
    pumpEvents();
    PaintRecorder rec(&bar);
    bar.SetValue(700);
    pumpEvents();
    ASSERT_EQ(rec.rects.size(), 1u);
    EXPECT_EQ(rec.rects[0], bar.BarRect());
    rec.rects.clear();
    bar.BarSettings()->SetColor(clTeal); // unchanged colour: nothing
    bar.SetValue(700);
    pumpEvents();
    EXPECT_TRUE(rec.rects.empty());
    bar.BarSettings()->SetColor(clBlue);
    pumpEvents();
    ASSERT_EQ(rec.rects.size(), 1u);
    EXPECT_EQ(rec.rects[0], bar.BarRect());
    rec.rects.clear();
    bar.BevelOuter()->SetWidth(2); // moves the bar: whole control
    pumpEvents();
    ASSERT_FALSE(rec.rects.empty());
    EXPECT_EQ(rec.rects.back(), bar.rect());
    EXPECT_EQ(bar.BarRect(), QRect(4, 4, 85, 14));
}

TEST(BarDrawing, UndersizedControlGrowsOnFirstPaint) {
    QWidget form;
    form.resize(300, 100);
    TGkBar bar(&form);
    bar.resize(10, 5);
    const QSize minimum = bar.MinimumControlSize();
    EXPECT_EQ(minimum, QSize(2 * 7 + 25, 2 * 7 + 2 * 1 + 12));
    form.show();
    pumpEvents(5);
    EXPECT_EQ(bar.size(), minimum);

    // Held at a fixed size below the minimum: it still draws its bar.
    TGkBar fixed(&form);
    fixed.setFixedSize(30, 20);
    fixed.BarSettings()->SetOptions({});
    fixed.SetValue(100);
    fixed.show();
    pumpEvents(5);
    EXPECT_EQ(fixed.size(), QSize(30, 20));
    const QImage img = grabImage(fixed);
    const QRect r = fixed.BarRect();
    ASSERT_TRUE(r.isValid());
    EXPECT_EQ(img.pixel(r.center()), rgbOf(clLime));
}

TEST(BarDrawing, StylesOnTheBarImage) {
    TBarSettings s(nullptr);
    const QRgb lime = rgbOf(clLime), black = rgbOf(clBlack);

    plainBar(s, bsBar);
    QImage img = gkRenderBar(s, 250, {100, 10});
    EXPECT_EQ(countColumns(img, lime, 5), 25);
    EXPECT_EQ(img.pixel(24, 0), lime);
    EXPECT_EQ(img.pixel(25, 9), black);

    plainBar(s, bsPoint);
    img = gkRenderBar(s, 500, {103, 10}); // c = round(500 * 100 / 1000) = 50
    EXPECT_EQ(countColumns(img, lime, 5), 3);
    EXPECT_EQ(img.pixel(50, 5), lime);
    EXPECT_EQ(img.pixel(52, 5), lime);
    EXPECT_EQ(img.pixel(53, 5), black);

    // Bidirectional from the position of value 0.
    plainBar(s, bsBar);
    s.SetOptions({opBidir});
    s.ZeroPosition = 500;
    img = gkRenderBar(s, 300, {100, 10});
    EXPECT_EQ(countColumns(img, lime, 5), 20);
    EXPECT_EQ(img.pixel(30, 5), lime);
    EXPECT_EQ(img.pixel(49, 5), lime);
    EXPECT_EQ(img.pixel(50, 5), black);
}

TEST(BarDrawing, LedBarSegmentsAndBackgroundSectors) {
    TBarSettings s(nullptr);
    plainBar(s, bsLED_Bar);
    // 40 px: n = 10 segments (+1), each 3 px at 4i+1; positions 0, 100, ... 1000.
    QImage img = gkRenderBar(s, 450, {40, 8});
    const QRgb yellow = rgbOf(clYellow), green = rgbOf(clGreen), black = rgbOf(clBlack);
    EXPECT_EQ(img.pixel(0, 4), black);  // gap
    EXPECT_EQ(img.pixel(1, 4), yellow); // segment 0, position 0
    EXPECT_EQ(img.pixel(3, 4), yellow);
    EXPECT_EQ(img.pixel(4, 4), black);
    EXPECT_EQ(img.pixel(17, 4), green); // segment 4, position 400
    EXPECT_EQ(img.pixel(21, 4), black); // segment 5, position 500 > p: off
    s.SetBkAuto(true);
    s.SetBkBrightness(40);
    img = gkRenderBar(s, 450, {40, 8});
    EXPECT_EQ(img.pixel(21, 4), rgbOf(gkDimColor(clGreen, 40)));
    EXPECT_EQ(img.pixel(37, 4), rgbOf(gkDimColor(clRed, 40)));
    // Too short for a segment: nothing but background, and no division by zero.
    img = gkRenderBar(s, 1000, {3, 2});
    EXPECT_EQ(img.pixel(1, 1), black);

    plainBar(s, bsBar);
    s.SetBkAuto(true);
    s.SetBkBrightness(40);
    img = gkRenderBar(s, 0, {1000, 4});
    EXPECT_EQ(img.pixel(100, 2), rgbOf(gkDimColor(clYellow, 40)));
    EXPECT_EQ(img.pixel(333, 2), rgbOf(gkDimColor(clYellow, 40)));
    EXPECT_EQ(img.pixel(334, 2), rgbOf(gkDimColor(clGreen, 40)));
    EXPECT_EQ(img.pixel(999, 2), rgbOf(gkDimColor(clRed, 40)));

    plainBar(s, bsMultiColor);
    img = gkRenderBar(s, 500, {1000, 4});
    EXPECT_EQ(img.pixel(200, 2), yellow);
    EXPECT_EQ(img.pixel(499, 2), green);
    EXPECT_EQ(img.pixel(500, 2), black);
}

TEST(BarDrawing, VerticalBarGrowsFromTheBottom) {
    TBarSettings s(nullptr);
    plainBar(s, bsBar);
    const QImage img = gkRenderBar(s, 250, {10, 100});
    ASSERT_EQ(img.size(), QSize(10, 100));
    const QRgb lime = rgbOf(clLime);
    EXPECT_EQ(img.pixel(5, 99), lime);
    EXPECT_EQ(img.pixel(5, 75), lime);
    EXPECT_NE(img.pixel(5, 74), lime);
    EXPECT_NE(img.pixel(5, 0), lime);
}

TEST(BarDrawing, ValueTextIsInvertedOverBarAndBackground) {
    TBarSettings s(nullptr);
    plainBar(s, bsBar);
    s.SetOptions({opValue, opUnit});
    s.ValueText = QStringLiteral("88.8");
    s.UnitText = QStringLiteral("%");
    const QRgb hi = rgbOf(clBtnHighlight);
    const QRgb overBar = (rgbOf(clLime) ^ hi) | 0xFF000000u;
    const QRgb overBk = (rgbOf(clBlack) ^ hi) | 0xFF000000u;
    for (int ppt : {0, 1000}) {
        const QImage img = gkRenderBar(s, ppt, {120, 20});
        const QRgb under = ppt ? rgbOf(clLime) : rgbOf(clBlack);
        const QRgb text = ppt ? overBar : overBk;
        int textPixels = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb px = img.pixel(x, y);
                EXPECT_TRUE(px == under || px == text) << ppt << ": " << x << "," << y;
                textPixels += px == text;
            }
        EXPECT_GT(textPixels, 20);
    }
}
