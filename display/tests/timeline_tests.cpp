// The timeline window: trace rows, colours and order, the 64-pixel scroll with the carried
// step, the scale from the window height, the buttons and the stored placement.
#include "DisplayTestSupport.h"
#include "display/DisplayColours.h"
#include "display/TimeLineForm.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <limits>

using namespace dita;
using namespace dita::test;

namespace {

// Defaults put the traces on separate rows at s = 26, Hp = 284:
// E 0 -> 276, L 1000 -> 205, N 100 -> 231, K up -> 31.
PassResult steady(int32_t e = 0, float l = 1000.0f, float n = 100.0f, float k = 0.0f) {
    PassResult r;
    r.timelineE.fill(e);
    r.timelineL.fill(l);
    r.timelineN.fill(n);
    r.timelineK.fill(k);
    return r;
}

int countInRow(const QImage& img, int y, QRgb colour, int left, int right) {
    int n = 0;
    for (int x = left; x < right; ++x)
        n += at(img, x, y) == rgb(colour) ? 1 : 0;
    return n;
}

class Timeline : public ::testing::Test {
protected:
    Timeline() { form.TimeStartBtnClick(); }
    QImage chart() { return render(*form.spectrumBox3()); }
    int wp() const { return form.panelSize().width(); }
    // Pixels of a colour in a row among the columns of the newest pass.
    int newest(int y, QRgb colour) { return countInRow(chart(), y, colour, wp() - 64, wp()); }

    TTimeLineForm form;
};

} // namespace

TEST_F(Timeline, AtCreationSizeKeyDownIs5KeyUp31AndStepLevelZero276) {
    EXPECT_EQ(form.windowTitle(), "Time Line Display");
    EXPECT_EQ(form.size(), QSize(516, 315));
    EXPECT_EQ(form.panelSize(), QSize(516, 284));
    EXPECT_EQ(form.chart().scale(), 26);
    PassResult r = steady();
    for (int i = 34; i <= kTimelineEntries; ++i)
        r.timelineK[i] = 1.0f;
    form.showPass(r);
    const QImage img = chart();
    const int w = wp();
    EXPECT_GT(countInRow(img, 31, kRed, w - 64, w - 33), 25);
    EXPECT_GT(countInRow(img, 5, kRed, w - 31, w), 25);
    EXPECT_EQ(countInRow(img, 5, kRed, 0, w - 33), 0);
    EXPECT_EQ(newest(276, kBlack), 64); // trunc(284 - 26 log10 2): level 0 drawn as 1
    EXPECT_EQ(newest(277, kBlack), 0);
    EXPECT_EQ(newest(205, kBlue), 64);
    EXPECT_EQ(newest(231, kMaroon), 64);
    EXPECT_EQ(countInRow(img, 276, kBlack, 0, w - 65), 0);
}

TEST_F(Timeline, LowLimitsAndDrawingOrderOfTheTraces) {
    form.showPass(steady(50, 0.6f, 0.5f));
    EXPECT_EQ(newest(276, kBlue), 64);   // threshold 0.6 is drawn as 1
    EXPECT_EQ(newest(279, kMaroon), 64); // noise 0.5 keeps its value
    form.showPass(steady(99, 99.0f, 99.0f));
    EXPECT_EQ(newest(timelineLevelY(99, 26, 284), kMaroon), 64); // noise over threshold over E
    float noiseOnKeyRow = 1e9f;
    while (timelineLevelY(noiseOnKeyRow, 26, 284) > 31)
        noiseOnKeyRow *= 1.01f;
    ASSERT_EQ(timelineLevelY(noiseOnKeyRow, 26, 284), 31);
    form.showPass(steady(99, 99.0f, noiseOnKeyRow, 0.0f));
    EXPECT_EQ(newest(31, kRed), 64); // the key state is drawn last
}

TEST_F(Timeline, PassesMoveLeftBy64AndTheLastStepStartsTheNextPass) {
    PassResult first = steady(0, 1000.0f, 100.0f, 1.0f);
    first.timelineK[1] = 0.0f; // after a clear the pass's own entry 1 starts the line
    form.showPass(first);
    EXPECT_GE(countInColumn(chart(), wp() - 65, kRed, 5, 32), 13);
    PassResult next = steady(0, 1000.0f, 100.0f, 0.0f);
    next.timelineK[1] = 0.0f; // differs from the 1.0 drawn last: the carried value wins
    form.showPass(next);
    const QImage img = chart();
    const int w = wp();
    EXPECT_EQ(countInRow(img, 5, kRed, w - 128, w - 65), 63);
    EXPECT_GE(countInColumn(img, w - 65, kRed, 5, 32), 13); // the step down, where it happened
    EXPECT_EQ(countInRow(img, 31, kRed, w - 63, w), 63);
    for (int n = 0; n < w / 64 + 1; ++n)
        form.showPass(steady());
    EXPECT_EQ(countInRow(chart(), 5, kRed, 0, w), 0);
}

TEST_F(Timeline, LevelsWithoutAFiniteRowStayOnTheChart) {
    EXPECT_EQ(timelineLevelY(-1.0, 26, 284), 568); // log10(0): below the chart
    EXPECT_EQ(timelineLevelY(-5.0, 26, 284), 284); // log10 of a negative: not a number
    EXPECT_EQ(timelineLevelY(std::numeric_limits<double>::quiet_NaN(), 26, 284), 284);
    EXPECT_EQ(timelineLevelY(std::numeric_limits<double>::infinity(), 26, 284), -284);
    EXPECT_EQ(timelineLevelY(1e300, 26, 284), -284);
    EXPECT_EQ(timelineKeyY(std::numeric_limits<double>::quiet_NaN(), 26, 284), 31);
    EXPECT_EQ(timelineKeyY(1e30, 26, 284), -284);
    PassResult r = steady();
    r.timelineN.fill(-1.0f);
    r.timelineN[30] = std::numeric_limits<float>::quiet_NaN();
    r.timelineL[31] = std::numeric_limits<float>::infinity();
    r.timelineE[32] = std::numeric_limits<int32_t>::max();
    form.showPass(r);
    EXPECT_EQ(newest(283, kMaroon), 0);
}

TEST_F(Timeline, TallerWindowRaisesTheScaleAndClearsTheHistory) {
    form.show();
    form.showPass(steady(1000, 5.0f, 2.0f));
    const int before = 284 - topmostInColumn(chart(), wp() - 10, kBlack);
    form.resize(516, 630);
    EXPECT_EQ(form.chart().scale(), 36 * 630 / 315 - 10);
    EXPECT_EQ(form.panelSize(), QSize(516, 599));
    EXPECT_EQ(countInColumn(chart(), wp() - 10, kBlack, 0, 599), 0);
    form.showPass(steady(1000, 5.0f, 2.0f));
    const int y = topmostInColumn(chart(), wp() - 10, kBlack);
    EXPECT_EQ(y, timelineLevelY(1000, 62, 599));
    EXPECT_GT(599 - y, before);
}

TEST_F(Timeline, StopKeepsThePictureStartResumesCloseHidesAndForgetsShown) {
    QSignalSpy shown(&form, &TTimeLineForm::timelineShownChanged);
    form.showFromSettings();
    EXPECT_TRUE(form.isVisible() && form.running() && form.timelineShown());
    QTest::mouseClick(form.timeStopBtn(), Qt::LeftButton);
    EXPECT_FALSE(form.running());
    const QImage stopped = chart();
    form.showPass(steady(0, 1000.0f, 100.0f, 1.0f));
    EXPECT_EQ(chart(), stopped);
    QTest::mouseClick(form.timeStartBtn(), Qt::LeftButton);
    form.showPass(steady(0, 1000.0f, 100.0f, 1.0f));
    EXPECT_NE(chart(), stopped);
    QTest::mouseClick(form.timeCloseBtn(), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible() || form.running() || form.timelineShown());
    ASSERT_EQ(shown.count(), 2);
    EXPECT_FALSE(shown.at(1).at(0).toBool());
}

TEST_F(Timeline, PlacementIsRestoredOnShowStoredOnCloseAndHeldWithinLimits) {
    form.setStoredPlacement({120, 80, 400, 600});
    form.showFromSettings();
    EXPECT_EQ(form.placement(), (WindowPlacement{120, 80, 400, 600}));
    form.move(30, 40);
    form.resize(700, 500);
    form.close();
    EXPECT_FALSE(form.timelineShown() || form.running());
    EXPECT_EQ(form.placement(), (WindowPlacement{40, 30, 500, 700}));
    form.show();
    EXPECT_TRUE(form.running());
    EXPECT_EQ(form.placement(), (WindowPlacement{40, 30, 500, 700}));
    form.hide();
    // A damaged configuration record cannot make the chart vanish or the scale negative.
    form.setStoredPlacement({0, 0, 0, -5});
    EXPECT_EQ(form.placement(), (WindowPlacement{0, 0, 286, 240}));
    form.showFromSettings();
    EXPECT_GT(form.chart().scale(), 0);
    form.hide();
    form.setStoredPlacement({0, 0, 100000, 100000});
    EXPECT_EQ(form.placement(), (WindowPlacement{0, 0, 1231, 1600}));
}
