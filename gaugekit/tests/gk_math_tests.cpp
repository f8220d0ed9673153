// Arithmetic of the components without any GUI: rounding, scales, formatting, damping, colours.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "gaugekit/GkMath.h"

TEST(GkRound, TiesGoToTheEvenNeighbour) {
    EXPECT_EQ(gkRound(0.5), 0);
    EXPECT_EQ(gkRound(1.5), 2);
    EXPECT_EQ(gkRound(2.5), 2);
    EXPECT_EQ(gkRound(3.5), 4);
    EXPECT_EQ(gkRound(-2.5), -2);
    EXPECT_EQ(gkRound(-3.5), -4);
    EXPECT_EQ(gkRound(43.5), 44);
    EXPECT_EQ(gkRound(2.5000001), 3);
    EXPECT_EQ(gkRound(-0.49), 0);
}

TEST(GkRound, NonFiniteAndHugeValuesStayInRange) {
    EXPECT_EQ(gkRound(std::nan("")), 0);
    EXPECT_EQ(gkRound(1e20), INT_MAX);
    EXPECT_EQ(gkRound(-std::numeric_limits<double>::infinity()), INT_MIN);
    EXPECT_EQ(gkRound(std::numeric_limits<double>::infinity()), INT_MAX);
}

TEST(GkScale, DitaSignalBarRange) {
    GkScale s;
    s.ValueFrom = 1.0;
    s.ValueTo = 2000.0;
    s.recompute();
    EXPECT_DOUBLE_EQ(s.TotalValue, 1999.0);
    EXPECT_EQ(s.TotalDigit, 1000);
    EXPECT_EQ(s.pptOfDigit(s.digitOfValue(1000.5)), 500);
    EXPECT_EQ(s.pptOfDigit(s.digitOfValue(1.0)), 0);
    EXPECT_EQ(s.pptOfDigit(s.digitOfValue(2000.0)), 1000);
    EXPECT_LT(s.pptOfDigit(s.digitOfValue(0.0)), 0);
    EXPECT_GT(s.pptOfDigit(s.digitOfValue(2500.0)), 1000);
    EXPECT_NEAR(s.valueOfPpt(500), 1000.5, 1e-9);
}

TEST(GkScale, SignRulesOfTheRanges) {
    GkScale s;
    s.ValueFrom = -50;
    s.ValueTo = 50;
    s.recompute();
    EXPECT_DOUBLE_EQ(s.TotalValue, 100);
    EXPECT_EQ(s.pptOfValue(0), 500);

    s.ValueFrom = -100;
    s.ValueTo = -10;
    s.recompute();
    EXPECT_DOUBLE_EQ(s.TotalValue, 90);
    EXPECT_EQ(s.pptOfValue(-55), 500);

    s.DigitalFrom = -200;
    s.DigitalTo = 200;
    s.recompute();
    EXPECT_EQ(s.TotalDigit, 400);
}

TEST(GkScale, EmptyDigitalRangeGivesPositionZeroNotNaN) {
    GkScale s;
    s.DigitalFrom = 0;
    s.DigitalTo = 0;
    s.recompute();
    EXPECT_EQ(s.TotalDigit, 0);
    EXPECT_EQ(s.pptOfDigit(123), 0);
}

TEST(GkSectors, FirstSectorHoldingAPositionWins) {
    GkSectors sectors{{{0, 333, 1}, {334, 666, 2}, {600, 1000, 3}}};
    EXPECT_EQ(gkSectorIndexOf(sectors, 0), 0);
    EXPECT_EQ(gkSectorIndexOf(sectors, 333), 0);
    EXPECT_EQ(gkSectorIndexOf(sectors, 334), 1);
    EXPECT_EQ(gkSectorIndexOf(sectors, 650), 1); // overlapping: sector 2 comes first
    EXPECT_EQ(gkSectorIndexOf(sectors, 1000), 2);
    EXPECT_EQ(gkSectorIndexOf(sectors, 1001), -1);
    EXPECT_EQ(gkSectorIndexOf(sectors, -1), -1);
}

TEST(GkFormatFloat, PicturesOfTheMeters) {
    EXPECT_EQ(gkFormatFloat("##0.0", 62.5), "62.5");
    EXPECT_EQ(gkFormatFloat("##0.0", 1000.5), "1000.5");
    EXPECT_EQ(gkFormatFloat("##0.0", 0.0), "0.0");
    EXPECT_EQ(gkFormatFloat("##0.0", 0.25), "0.2"); // tie to even
    EXPECT_EQ(gkFormatFloat("##0.0", 0.75), "0.8"); // tie to even
    EXPECT_EQ(gkFormatFloat("##0.0", -3), "-3.0");
    EXPECT_EQ(gkFormatFloat("##0.0", -0.04), "0.0"); // no "-0.0"
    EXPECT_EQ(gkFormatFloat("#,##0.0", 1234567.25), "1,234,567.2");
    EXPECT_EQ(gkFormatFloat("0.00;(0.00)", -2), "(2.00)");
    EXPECT_EQ(gkFormatFloat("0.00;(0.00);'zero'", 0), "zero");
    EXPECT_EQ(gkFormatFloat("0 dB", 7.4), "7 dB");
    EXPECT_EQ(gkFormatFloat("#.##", 0.5), ".5");
    EXPECT_EQ(gkFormatFloat("000", 7), "007");
    EXPECT_EQ(gkFormatFloat("", 0.1), "0.1");
}

TEST(GkFormatFloat, ExtremeValuesGiveTextNotGarbage) {
    EXPECT_EQ(gkFormatFloat("##0.0", std::nan("")), "NAN");
    EXPECT_EQ(gkFormatFloat("##0.0", -std::numeric_limits<double>::infinity()), "-INF");
    const std::string big = gkFormatFloat("0.0", 1e300);
    EXPECT_EQ(big.size(), 303u);
    EXPECT_EQ(big.substr(0, 2), "10");
    EXPECT_EQ(big.substr(big.size() - 2), ".0");
    EXPECT_EQ(gkSizingFormat("0.0;(0.000)"), "(0.000)");
    EXPECT_EQ(gkSizingFormat("##0.0"), "##0.0");
}

TEST(GkDampingCore, LowpassStepsAndStopsAtTheThreshold) {
    GkDampingCore d;
    d.setThreshold(0.1);
    d.start(50, 90);
    double v = 50;
    EXPECT_TRUE(d.step(v));
    EXPECT_DOUBLE_EQ(v, 58.0); // 50 - (50 - 90) * 0.2
    int steps = 1;
    while (d.step(v))
        ASSERT_LT(++steps, 1000);
    EXPECT_DOUBLE_EQ(v, 90.0);
    EXPECT_GT(steps, 20);
}

TEST(GkDampingCore, SmallFactorSnapsInsteadOfOvershooting) {
    GkDampingCore d;
    d.setFactor(0.01); // held at 0.1: gain 2 would overshoot
    EXPECT_DOUBLE_EQ(d.factor(), 0.1);
    d.setThreshold(0.0);
    d.start(50, 90);
    double v = 50;
    EXPECT_FALSE(d.step(v));
    EXPECT_DOUBLE_EQ(v, 90.0);
}

TEST(GkDampingCore, ZeroThresholdStillEnds) {
    GkDampingCore d;
    d.setFactor(100);
    d.setThreshold(0.0);
    d.start(0, 1e-3);
    double v = 0;
    int steps = 0;
    while (d.step(v))
        ASSERT_LT(++steps, 2000000);
    EXPECT_EQ(v, 1e-3);
}

TEST(GkDampingCore, LinearRampReachesTargetAfterItsLength) {
    GkDampingCore d;
    d.setLinear(true);
    d.setFactor(1.0);
    d.setThreshold(0.0);
    EXPECT_EQ(d.averageLength(), 33);
    d.start(0, 33);
    double v = 0;
    EXPECT_TRUE(d.step(v));
    EXPECT_NEAR(v, 1.0, 1e-12);
    int steps = 1;
    while (d.step(v))
        ++steps;
    EXPECT_EQ(steps + 1, 33);
    EXPECT_EQ(v, 33.0);
}

TEST(GkColor, BgrLayoutMixingAndDimming) {
    EXPECT_EQ(clBlue, 0xFF0000u);
    EXPECT_EQ(clRed, 0x0000FFu);
    EXPECT_EQ(gkRgb(0, 128, 128), clTeal);
    EXPECT_EQ(gkRedOf(gkRgb(1, 2, 3)), 1);
    EXPECT_EQ(gkBlueOf(gkRgb(1, 2, 3)), 3);
    EXPECT_TRUE(gkIsSystemColor(clBtnFace));
    EXPECT_FALSE(gkIsSystemColor(clWhite));
    EXPECT_EQ(gkDimColor(clYellow, 40), gkRgb(102, 102, 0));
    EXPECT_EQ(gkDimColor(gkRgb(5, 15, 25), 10), gkRgb(0, 2, 2)); // 0.5 -> 0, 1.5 -> 2, 2.5 -> 2
    EXPECT_EQ(gkDimColor(clWhite, 400), clWhite);
    EXPECT_EQ(gkMixColor(clBlack, clWhite, 0.5), gkRgb(128, 128, 128)); // 127.5 -> 128
    EXPECT_EQ(gkMixColor(clBlack, clWhite, 1.0), clWhite);
}
