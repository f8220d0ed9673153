// The spectrum panel as a window: clicks that tune the real engine, the marker and its
// frequency, the gain bars, the mode items and the colours, checked on grabbed images.
#include "display/DisplayColours.h"
#include "display/SpectrumPanel.h"
#include "DisplayTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace dita;
using namespace dita::test;

namespace {

class PanelWithEngine : public ::testing::Test {
protected:
    PanelWithEngine() {
        wireToEngine(panel, *engine);
        panel.resize(kPanelWidth, SpectrumPanel::kPanelHeight);
    }
    void run(const PassSamples& s) { panel.showPass(engine->processPass(s.data())); }
    QImage box() { return render(*panel.spectrumBox()); }
    void clickAt(int x, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(panel.image1(), button, Qt::NoModifier, QPoint(x, 50));
    }
    // Top of the trace in a column of the grabbed box (trace drawn black on white).
    int traceTop(int bin) { return topmostInColumn(box(), bin, kBlack); }

    static constexpr int kPanelWidth = 640;
    std::unique_ptr<ReceiveEngine> engine = std::make_unique<ReceiveEngine>();
    SpectrumPanel panel;
};

} // namespace

TEST_F(PanelWithEngine, ClickAt200TunesTheEngineAndTheMarkerFollowsOnTheNextPass) {
    run(silence());
    ASSERT_EQ(engine->tunedBin(), 100);
    EXPECT_EQ(panel.markerText(), "532");  // trunc(99 x 5.38330078125)
    clickAt(200);
    // Nothing moves until the engine has run a pass.
    EXPECT_EQ(panel.markerText(), "532");
    EXPECT_EQ(countInColumn(box(), 200, kBlue, 0, kSpectrumBoxHeight), 0);

    run(silence());
    EXPECT_EQ(engine->tunedBin(), 200);
    EXPECT_EQ(panel.markerText(), "1071");  // trunc(199 x 5.38330078125)
    EXPECT_EQ(panel.mkrLabel()->text(), "1\n0\n7\n1");
    const QImage img = box();
    EXPECT_EQ(countInColumn(img, 200, kBlue, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
    EXPECT_EQ(countInColumn(img, 100, kBlue, 0, kSpectrumBoxHeight), 0);
}

TEST_F(PanelWithEngine, ClicksAreTakenOnlyAsLeftButtonReleasesInsideTheDisplay) {
    QSignalSpy spy(&panel, &SpectrumPanel::tuneRequested);
    clickAt(300, Qt::RightButton);
    // Pressed inside, released after leaving the display: a cancelled click.
    QTest::mousePress(panel.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 50));
    QTest::mouseRelease(panel.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(-20, 50));
    QTest::mousePress(panel.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 50));
    QTest::mouseRelease(panel.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 130));
    EXPECT_EQ(spy.count(), 0);
    clickAt(0);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);  // column 0 carries no bin: the lowest bin
    run(silence());
    EXPECT_EQ(engine->tunedBin(), 1);
}

TEST_F(PanelWithEngine, ColumnsPast480TuneTo480) {
    QSignalSpy spy(&panel, &SpectrumPanel::tuneRequested);
    panel.Image1MouseUp(481);
    panel.Image1MouseUp(5000);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), kMaxClickBin);
    EXPECT_EQ(spy.at(1).at(0).toInt(), kMaxClickBin);
    run(silence());
    EXPECT_EQ(engine->tunedBin(), kMaxClickBin);
    EXPECT_EQ(panel.markerText(), "2578");  // trunc(479 x 5.38330078125)
}

TEST_F(PanelWithEngine, GainBarsAreIndependentAndEachMoveReachesTheEngine) {
    DisplayGainBar bar(nullptr, "CoarseGainBar");
    DisplayGainBar bar2(nullptr, "CoarseGainBar2");
    EXPECT_EQ(bar.value(), kFormGainPosition);
    EXPECT_EQ(bar.minimum(), 1);
    EXPECT_EQ(bar.maximum(), 20);
    EXPECT_EQ(bar.toolTip(), "Spectrum Display Gain ");
    panel.attachGainBars(&bar, &bar2);
    EXPECT_EQ(panel.displayGain(), kDefaultDisplayGain);

    QSignalSpy spy(&panel, &SpectrumPanel::displayGainChanged);
    bar2.setValue(3);
    EXPECT_EQ(panel.displayGain(), 3);
    EXPECT_EQ(bar.value(), kFormGainPosition);
    bar.setValue(16);
    EXPECT_EQ(panel.displayGain(), 16);
    EXPECT_EQ(bar2.value(), 3);
    ASSERT_EQ(spy.count(), 2);

    // The configuration loader sets the position without a change and calls the handler.
    bar.setValue(16);
    panel.CoarseGainBarChange();
    EXPECT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 16);
}

TEST_F(PanelWithEngine, TraceOfAToneRisesWithEveryGainStepFrom15To20) {
    DisplayGainBar bar(nullptr, "CoarseGainBar");
    panel.attachGainBars(&bar, nullptr);
    panel.setBackground(kWhiteBackground);
    int previousTop = kSpectrumBoxHeight;
    for (int position = 15; position <= 20; ++position) {
        bar.setValue(position);
        // The smoothing settles within a few passes.
        for (int n = 0; n < 12; ++n) run(toneAtBin(300, 10, n));
        const int top = traceTop(300);
        ASSERT_GE(top, 0) << "position " << position;
        EXPECT_LT(top, previousTop) << "position " << position;
        previousTop = top;
    }
}

TEST_F(PanelWithEngine, ModeItemsFollowTheHandlersAndTheEngineSwitchesOnTheNextPass) {
    QAction spectrum1("Line"), waterfall2("Waterfall");
    panel.attachModeItems(&spectrum1, &waterfall2);
    QSignalSpy spy(&panel, &SpectrumPanel::displayTypeChanged);
    panel.Waterfall2Click();
    EXPECT_TRUE(waterfall2.isChecked());
    EXPECT_FALSE(spectrum1.isChecked());
    EXPECT_EQ(panel.displayType(), kWaterfallMode);
    run(toneAtBin(122, 20000));
    QImage img = box();
    EXPECT_NE(at(img, 122, 0), rgb(kBlack));
    EXPECT_EQ(at(img, 300, 0), rgb(kBlack));
    EXPECT_EQ(at(img, 300, 1), rgb(kWhite));  // below the first row: still the white fill

    panel.Spectrum1Click();
    EXPECT_TRUE(spectrum1.isChecked());
    EXPECT_FALSE(waterfall2.isChecked());
    run(silence());
    img = box();
    EXPECT_EQ(at(img, 300, 96), 0u);
    EXPECT_EQ(at(img, 300, 20), rgb(kWhite));
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), kLineMode);
}

TEST_F(PanelWithEngine, ModeChangePostedElsewhereStillClearsTheLineImageBlack) {
    run(silence());
    engine->post({ReceiveCommandKind::DisplayType, kWaterfallMode});
    run(silence());
    const QImage& line = panel.drawing().spectrumImage();
    EXPECT_EQ(countInColumn(line, 300, kBlack, 0, kSpectrumImageHeight), kSpectrumImageHeight);
    EXPECT_EQ(at(render(*panel.spectrumBox()), 300, 0), rgb(kBlack));  // the silent waterfall row
}

TEST_F(PanelWithEngine, WaterfallMarkerIsOnTheScreenOnlyAndNeverEntersTheHistory) {
    panel.Waterfall2Click();
    // Fill the visible box with silent (black) history.
    for (int n = 0; n <= kSpectrumBoxHeight; ++n) run(silence());
    clickAt(250);
    for (int n = 0; n < 3; ++n) run(silence());
    QImage img = box();
    // White marker on the white scheme over the black (silent) waterfall, at the new bin only.
    EXPECT_EQ(countInColumn(img, 250, kWhite, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
    EXPECT_EQ(countInColumn(img, 100, kWhite, 0, kSpectrumBoxHeight), 0);
    EXPECT_EQ(countInColumn(panel.drawing().waterfallImage(), 250, kWhite, 0, 6), 0);

    panel.setBackground(kBlackBackground);
    run(silence());
    img = box();
    EXPECT_EQ(countInColumn(img, 250, kWhite, 0, kSpectrumBoxHeight), 0);
}

TEST_F(PanelWithEngine, BackgroundsColourThePanelTheMarkerLabelAndTheTrace) {
    panel.setBackground(kBlackBackground);
    panel.runLoopEntry();
    run(silence());
    QImage img = box();
    EXPECT_EQ(at(img, 300, 96), rgb(kWhite));  // white trace
    EXPECT_EQ(at(img, 300, 50), 0u);
    EXPECT_EQ(countInColumn(img, 100, kWhite, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
    EXPECT_EQ(panel.mkrLabel()->palette().color(QPalette::WindowText), QColor(kWhite));
    EXPECT_EQ(panel.mkrLabel()->palette().color(QPalette::Window), QColor(kBlack));
    EXPECT_EQ(at(render(panel), 20, 50), 0u);

    panel.setBackground(kWhiteBackground);
    run(silence());
    img = box();
    EXPECT_EQ(at(img, 300, 96), 0u);
    EXPECT_EQ(countInColumn(img, 100, kBlue, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
    EXPECT_EQ(panel.mkrLabel()->palette().color(QPalette::WindowText), QColor(kRed));
    EXPECT_EQ(at(render(panel), 20, 50), rgb(kWhite));
}

TEST(SpectrumPanel, StartsAt600HzWithItsHintsAndLayout) {
    SpectrumPanel panel;
    EXPECT_EQ(panel.mkrLabel()->text(), "6\n0\n0");
    EXPECT_EQ(panel.image1()->toolTip(), "Click on Spectrum Peak to Decode");
    EXPECT_EQ(panel.spectrumBox()->geometry(), QRect(163, 0, 450, 100));
    EXPECT_EQ(panel.image1()->geometry(), QRect(163, 0, 450, 104));
    EXPECT_EQ(panel.mkrLabel()->x(), 145);
    EXPECT_EQ(panel.height(), 100);
    EXPECT_TRUE(panel.mkrLabel()->font().bold());
}
