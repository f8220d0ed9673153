// The timeline window: trace rows and colours, the 64-pixel scroll, the carry of the last
// step, the scale from the window height, the buttons and the stored placement.
#include "display/DisplayColours.h"
#include "display/TimeLineForm.h"
#include "DisplayTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>

using namespace dita;
using namespace dita::test;

namespace {

// Levels chosen so that the four traces lie on separate rows at s = 26, Hp = 284:
// E 0 -> 276, L 1000 -> 205, N 100 -> 231, K up -> 31.
PassResult steadyPass(int32_t e = 0, float l = 1000.0f, float n = 100.0f, float k = 0.0f) {
    PassResult r;
    r.timelineE.fill(e);
    r.timelineL.fill(l);
    r.timelineN.fill(n);
    r.timelineK.fill(k);
    return r;
}

class Timeline : public ::testing::Test {
protected:
    Timeline() { form.TimeStartBtnClick(); }
    QImage chart() { return render(*form.spectrumBox3()); }
    int wp() const { return form.panelSize().width(); }
    int hp() const { return form.panelSize().height(); }

    TTimeLineForm form;
};

int countInRow(const QImage& img, int y, QRgb colour, int left, int right) {
    int n = 0;
    for (int x = left; x < right; ++x) n += at(img, x, y) == rgb(colour) ? 1 : 0;
    return n;
}

} // namespace

TEST_F(Timeline, CreationSizeGivesScale26AndAPanel284High) {
    EXPECT_EQ(form.windowTitle(), "Time Line Display");
    EXPECT_EQ(form.size(), QSize(516, 315));
    EXPECT_EQ(form.creationHeight(), 315);
    EXPECT_EQ(form.panelSize(), QSize(516, 284));
    EXPECT_EQ(form.chart().scale(), 26);
    EXPECT_EQ(form.chart().image().size(), QSize(516, 284));
    EXPECT_EQ(form.timeStartBtn()->text(), "START");
    EXPECT_EQ(form.timeStopBtn()->text(), "STOP");
    EXPECT_EQ(form.timeCloseBtn()->text(), "CLOSE");
}

TEST_F(Timeline, KeyDownAt5KeyUpAt31AndStepLevelZeroAt276) {
    PassResult r = steadyPass();
    for (int i = 34; i <= kTimelineEntries; ++i) r.timelineK[i] = 1.0f;
    form.showPass(r);
    const QImage img = chart();
    const int w = wp();
    EXPECT_GT(countInRow(img, 31, kRed, w - 64, w - 33), 25);
    EXPECT_GT(countInRow(img, 5, kRed, w - 31, w), 25);
    EXPECT_EQ(countInRow(img, 5, kRed, 0, w - 33), 0);
    // trunc(284 - 26 log10 2) = 276 for a step level of 0, drawn as 1.
    EXPECT_EQ(countInRow(img, 276, kBlack, w - 64, w), 64);
    EXPECT_EQ(countInRow(img, 277, kBlack, w - 64, w), 0);
    EXPECT_EQ(countInRow(img, 205, kBlue, w - 64, w), 64);
    EXPECT_EQ(countInRow(img, 231, kMaroon, w - 64, w), 64);
    // Nothing left of the new pass.
    EXPECT_EQ(countInRow(img, 276, kBlack, 0, w - 65), 0);
}

TEST_F(Timeline, ThresholdBelowOneIsDrawnAsOneAndNoiseHasNoLowerLimit) {
    form.showPass(steadyPass(50, 0.6f, 0.5f));
    const QImage img = chart();
    const int w = wp();
    EXPECT_EQ(countInRow(img, 276, kBlue, w - 64, w), 64);          // L 0.6 -> 1.0
    EXPECT_EQ(countInRow(img, timelineLevelY(0.5, 26, 284), kMaroon, w - 64, w), 64);
    EXPECT_EQ(timelineLevelY(0.5, 26, 284), 279);
}

TEST_F(Timeline, LaterTracesCoverEarlierOnesInTheirOrder) {
    // E, L and N on the same row: noise (maroon) is drawn last of the three.
    form.showPass(steadyPass(99, 99.0f, 99.0f));
    QImage img = chart();
    const int y = timelineLevelY(99, 26, 284);
    EXPECT_EQ(countInRow(img, y, kMaroon, wp() - 64, wp()), 64);
    // The key trace covers everything: a noise level whose row is the key-up row.
    float noiseOnKeyRow = 1e9f;
    while (timelineLevelY(noiseOnKeyRow, 26, 284) > 31) noiseOnKeyRow *= 1.01f;
    ASSERT_EQ(timelineLevelY(noiseOnKeyRow, 26, 284), 31);
    form.showPass(steadyPass(99, 99.0f, noiseOnKeyRow, 0.0f));
    img = chart();
    EXPECT_EQ(countInRow(img, 31, kRed, wp() - 64, wp()), 64);
    EXPECT_EQ(countInRow(img, 31, kMaroon, wp() - 64, wp()), 0);
}

TEST_F(Timeline, EachPassMovesThePictureLeftBy64) {
    form.showPass(steadyPass(0, 1000.0f, 100.0f, 1.0f));
    form.showPass(steadyPass(0, 1000.0f, 100.0f, 0.0f));
    const QImage img = chart();
    const int w = wp();
    EXPECT_EQ(countInRow(img, 5, kRed, w - 129, w - 65), 64);
    EXPECT_EQ(countInRow(img, 31, kRed, w - 63, w), 63);
    EXPECT_EQ(countInRow(img, 5, kRed, 0, w - 129), 0);
    // Eight passes cover the chart; the first pass has left it.
    for (int n = 0; n < w / 64 + 1; ++n) form.showPass(steadyPass());
    EXPECT_EQ(countInRow(chart(), 5, kRed, 0, w), 0);
}

TEST_F(Timeline, LastStepOfAPassStartsTheNextEvenWhenTheEntryCarriedInDiffers) {
    form.showPass(steadyPass(0, 1000.0f, 100.0f, 1.0f));
    PassResult next = steadyPass(0, 1000.0f, 100.0f, 1.0f);
    next.timelineK[1] = 0.0f;  // a stale entry 1 must not pull the line down to key-up
    form.showPass(next);
    const QImage img = chart();
    EXPECT_EQ(countInRow(img, 31, kRed, 0, wp()), 0);
    EXPECT_EQ(countInRow(img, 5, kRed, wp() - 129, wp()), 129);
}

TEST_F(Timeline, FirstPassAfterAClearStartsFromItsOwnEntryOne) {
    PassResult r = steadyPass(0, 1000.0f, 100.0f, 1.0f);
    r.timelineK[1] = 0.0f;
    form.showPass(r);
    const QImage img = chart();
    const int x = wp() - 65;
    EXPECT_EQ(at(img, x, 31), rgb(kRed));
    EXPECT_GE(countInColumn(img, x, kRed, 5, 32), 13);
}

TEST_F(Timeline, LevelsWithoutAFiniteRowStayOnTheChart) {
    EXPECT_EQ(timelineLevelY(-1.0, 26, 284), 284);
    EXPECT_EQ(timelineLevelY(std::numeric_limits<double>::quiet_NaN(), 26, 284), 284);
    EXPECT_EQ(timelineLevelY(std::numeric_limits<double>::infinity(), 26, 284), 284);
    EXPECT_EQ(timelineLevelY(-5.0, 26, 284), 284);
    EXPECT_EQ(timelineLevelY(1e300, 26, 284), -284);
    EXPECT_EQ(timelineKeyY(std::numeric_limits<double>::quiet_NaN(), 26, 284), 31);
    EXPECT_EQ(timelineKeyY(1e30, 26, 284), -284);
    PassResult r = steadyPass();
    r.timelineN.fill(-1.0f);
    r.timelineN[30] = std::numeric_limits<float>::quiet_NaN();
    r.timelineL[31] = std::numeric_limits<float>::infinity();
    r.timelineE[32] = std::numeric_limits<int32_t>::max();
    form.showPass(r);
    EXPECT_EQ(countInRow(chart(), 283, kMaroon, 0, wp()), 0);
}

TEST_F(Timeline, TallerWindowRaisesTheScaleAndClearsTheHistory) {
    form.show();
    form.showPass(steadyPass(1000, 5.0f, 2.0f));
    const int yBefore = topmostInColumn(chart(), wp() - 10, kBlack);
    form.resize(516, 630);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.chart().scale(), 36 * 630 / 315 - 10);
    EXPECT_EQ(form.panelSize(), QSize(516, 599));
    QImage img = chart();
    EXPECT_EQ(countInColumn(img, wp() - 10, kBlack, 0, hp()), 0);
    form.showPass(steadyPass(1000, 5.0f, 2.0f));
    img = chart();
    const int yAfter = topmostInColumn(img, wp() - 10, kBlack);
    // Same level: higher above the chart's bottom edge than before.
    EXPECT_GT(hp() - yAfter, 284 - yBefore);
    EXPECT_EQ(yAfter, timelineLevelY(1000, 62, 599));
}

TEST_F(Timeline, StopKeepsThePictureStartResumesCloseHidesAndForgetsShown) {
    QSignalSpy shown(&form, &TTimeLineForm::timelineShownChanged);
    form.showFromSettings();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.running());
    EXPECT_TRUE(form.timelineShown());
    form.showPass(steadyPass(0, 1000.0f, 100.0f, 1.0f));

    QTest::mouseClick(form.timeStopBtn(), Qt::LeftButton);
    EXPECT_FALSE(form.running());
    const QImage stopped = chart();
    form.showPass(steadyPass());
    EXPECT_EQ(chart(), stopped);

    QTest::mouseClick(form.timeStartBtn(), Qt::LeftButton);
    EXPECT_TRUE(form.running());
    form.showPass(steadyPass());
    EXPECT_NE(chart(), stopped);

    QTest::mouseClick(form.timeCloseBtn(), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.running());
    EXPECT_FALSE(form.timelineShown());
    ASSERT_EQ(shown.count(), 2);
    EXPECT_FALSE(shown.at(1).at(0).toBool());
}

TEST_F(Timeline, PlacementIsRestoredOnShowAndStoredOnClose) {
    form.setStoredPlacement({120, 80, 400, 600});
    form.showFromSettings();
    EXPECT_EQ(form.placement(), (WindowPlacement{120, 80, 400, 600}));
    EXPECT_EQ(form.size(), QSize(600, 400));

    form.move(30, 40);
    form.resize(700, 500);
    QCoreApplication::processEvents();
    form.close();
    EXPECT_FALSE(form.timelineShown());
    EXPECT_FALSE(form.running());
    EXPECT_EQ(form.placement(), (WindowPlacement{40, 30, 500, 700}));
    // Showing again puts it back where it was closed.
    form.show();
    EXPECT_TRUE(form.running());
    EXPECT_EQ(form.placement(), (WindowPlacement{40, 30, 500, 700}));
}

TEST_F(Timeline, DamagedStoredSizesAreHeldWithinTheWindowLimits) {
    form.setStoredPlacement({0, 0, 0, -5});
    EXPECT_EQ(form.placement().width, 240);
    EXPECT_EQ(form.placement().height, 286);
    form.showFromSettings();
    EXPECT_GT(form.chart().scale(), 0);
    form.setStoredPlacement({0, 0, 100000, 100000});
    EXPECT_EQ(form.placement().width, form.width());  // shown: the current size
    form.hide();
    EXPECT_EQ(form.placement().width, 1600);
    EXPECT_EQ(form.placement().height, 1231);
}
