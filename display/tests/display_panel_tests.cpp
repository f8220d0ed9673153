// The spectrum panel: images drawn from the real engine's passes (hand-made passes where a
// shape is needed), clicks that tune the engine, the marker, gain bars, mode items, colours.
#include "DisplayTestSupport.h"
#include "display/BandWindow.h"
#include "display/DisplayColours.h"
#include "display/DisplayPanel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <memory>

using namespace dita;
using namespace dita::test;

namespace {

class Panel : public ::testing::Test {
protected:
    Panel() { wireToEngine(panel, *engine); }
    void run(const PassSamples& s) { panel.showPass(engine->processPass(s.data())); }
    QImage box() { return render(*panel.spectrumBox()); }
    void click(int x, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(panel.image1(), button, Qt::NoModifier, QPoint(x, 50));
    }

    std::unique_ptr<ReceiveEngine> engine = std::make_unique<ReceiveEngine>();
    SpectrumPanel panel;
};

PassResult handMade(int displayType, int tunedBin = 60) {
    PassResult r;
    r.displayType = displayType;
    r.tunedBin = tunedBin;
    return r;
}

} // namespace

TEST_F(Panel, SilenceDrawsAFlatTraceAt96OverBins1To422WithTheMarkerOnEitherBackground) {
    for (int background : {kWhiteBackground, kBlackBackground}) {
        panel.setBackground(background);
        run(silence());
        const SpectrumPalette pal = spectrumPalette(background);
        const QImage img = box();
        for (int k = 1; k < kSpectrumBoxWidth; ++k) {
            if (k == 100) continue;
            const int expected = k <= kLineBins ? 1 : 0;
            ASSERT_EQ(countInColumn(img, k, pal.trace, 0, kSpectrumBoxHeight), expected) << k;
            if (expected) {
                ASSERT_EQ(at(img, k, 96), rgb(pal.trace)) << k;
            }
        }
        // The marker runs from the frequency labels along the top edge to the bottom.
        EXPECT_EQ(countInColumn(img, 100, pal.lineMarker, kScaleLabelRows, kSpectrumBoxHeight),
                  kSpectrumBoxHeight - kScaleLabelRows);
        // The scale's 1000 Hz tick stands where a click tunes to 1000 Hz (within half a bin).
        const int tick = columnForHz(1000.0);
        EXPECT_NE(at(img, tick, kSpectrumBoxHeight - 1), rgb(pal.fill));
        EXPECT_EQ(at(img, tick + 1, kSpectrumBoxHeight - 1), rgb(pal.fill));
        EXPECT_NEAR((tick - 1) * kBinHz, 1000.0, kBinHz / 2);
        EXPECT_EQ(panel.mkrLabel()->palette().color(QPalette::WindowText), QColor(pal.markerText));
        EXPECT_EQ(at(render(panel), 20, 50), rgb(pal.fill));
    }
}

TEST(SpectrumDrawing, TraceColumnsFollowTheirHeightsAndStayInsideTheImage) {
    SpectrumDrawing drawing;
    PassResult r = handMade(kLineMode);
    for (int k = 1; k <= kLineBins; ++k)
        r.traceHeight[k] = static_cast<int16_t>((k * 7) % 111);
    r.traceHeight[10] = -500;
    r.traceHeight[20] = 32000;
    const QImage* img = drawing.draw(r, kWhiteBackground);
    for (int k = 1; k <= kLineBins; ++k) {
        const int y = k == 10 ? kTraceBaseline : k == 20 ? 0 : kTraceBaseline - r.traceHeight[k];
        if (k != 60) {
            ASSERT_EQ(at(*img, k, y), rgb(kBlack)) << "bin " << k;
        }
    }
}

TEST_F(Panel, StrongToneIsWhiteAndZeroPowerBlackInTheWaterfallOnEitherBackground) {
    engine->post(ReceiveCommand::displayGain(kMaxGainPosition));
    panel.Waterfall2Click();
    for (int background : {kWhiteBackground, kBlackBackground}) {
        panel.setBackground(background);
        panel.runLoopEntry();
        run(toneAtBin(122, 20000));
        run(silence());
        const QImage& img = panel.drawing().waterfallImage();
        for (int k = 1; k < kSpectrumBoxWidth; ++k)
            ASSERT_EQ(at(img, k, 0), 0u) << "bin " << k;
        EXPECT_EQ(at(img, 122, 1), rgb(kWhite)); // the tone's row, moved down by one
        EXPECT_EQ(at(img, 0, 0), rgb(spectrumPalette(background).fill)); // column 0: no bin
    }
}

TEST(SpectrumDrawing, WaterfallMovesDownOneRowPerPassDropsTheBottomAndClipsPastTheBox) {
    SpectrumDrawing drawing;
    drawing.fill(kBlackBackground);
    PassResult marked = handMade(kWaterfallMode);
    for (int k = 1; k <= kWaterfallBins; ++k)
        marked.waterfallRow[k] = static_cast<uint32_t>(k);
    marked.waterfallRow[200] = 0xFFFF00;
    PassResult plain = handMade(kWaterfallMode);
    plain.waterfallRow.fill(0x0000FF);
    drawing.draw(marked, kBlackBackground);
    for (int n = 1; n <= 5; ++n)
        drawing.draw(plain, kBlackBackground);
    const QImage& img = drawing.waterfallImage();
    EXPECT_EQ(at(img, 200, 5), 0xFFFF00u);
    EXPECT_EQ(at(img, kSpectrumBoxWidth - 1, 5), static_cast<uint32_t>(kSpectrumBoxWidth - 1));
    EXPECT_EQ(at(img, 200, 4), 0x0000FFu);
    EXPECT_EQ(at(img, 200, 6), 0u); // below the history: still the fill
    for (int n = 6; n <= kSpectrumImageHeight; ++n)
        drawing.draw(plain, kBlackBackground);
    EXPECT_EQ(countInColumn(img, 200, 0x0000FF, 0, kSpectrumImageHeight), kSpectrumImageHeight);
}

TEST_F(Panel, ClickAt200TunesTheEngineAndTheMarkerFollowsOnTheNextPass) {
    run(silence());
    EXPECT_EQ(panel.markerText(), "532"); // trunc(99 x 5.38330078125)
    click(200);
    EXPECT_EQ(panel.markerText(), "532"); // nothing moves before the engine's next pass
    run(silence());
    EXPECT_EQ(engine->tunedBin(), 200);
    EXPECT_EQ(panel.markerText(), "1071"); // trunc(199 x 5.38330078125)
    EXPECT_EQ(panel.mkrLabel()->text(), "1\n0\n7\n1");
    const QImage img = box();
    EXPECT_EQ(countInColumn(img, 200, kBlue, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
    EXPECT_EQ(countInColumn(img, 100, kBlue, 0, kSpectrumBoxHeight), 0);
}

TEST_F(Panel, OnlyLeftReleasesInsideTuneAndColumnsAreHeldTo1Through480) {
    QSignalSpy spy(&panel, &SpectrumPanel::tuneRequested);
    click(300, Qt::RightButton);
    // Pressed inside, released after leaving the display: a cancelled click.
    for (QPoint outside : {QPoint(-20, 50), QPoint(300, 130)}) {
        QTest::mousePress(panel.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 50));
        QTest::mouseRelease(panel.image1(), Qt::LeftButton, Qt::NoModifier, outside);
    }
    EXPECT_EQ(spy.count(), 0);
    click(0);
    panel.Image1MouseUp(5000);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(1).at(0).toInt(), kMaxClickBin);
    run(silence());
    EXPECT_EQ(engine->tunedBin(), kMaxClickBin);
    EXPECT_EQ(panel.markerText(), "2578"); // trunc(479 x 5.38330078125)
}

TEST_F(Panel, GainBarsAreIndependentAndAToneRisesWithEveryStepFrom15To20) {
    DisplayGainBar bar(nullptr, "CoarseGainBar"), bar2(nullptr, "CoarseGainBar2");
    EXPECT_EQ(bar.value(), kFormGainPosition);
    EXPECT_EQ(bar.toolTip(), "Spectrum Display Gain ");
    panel.attachGainBar(&bar);
    // The second bar sits on another panel, which reports its moves.
    QObject::connect(&bar2, &QSlider::valueChanged, &panel, &SpectrumPanel::CoarseGainBar2Change);
    EXPECT_EQ(panel.displayGain(), kDefaultDisplayGain);
    QSignalSpy spy(&panel, &SpectrumPanel::displayGainChanged);
    bar2.setValue(3);
    EXPECT_EQ(bar.value(), kFormGainPosition);
    EXPECT_EQ(panel.displayGain(), 3);
    bar.setValue(16);
    bar.setValue(16);
    panel.CoarseGainBarChange(); // as the configuration loader does after setting the bar
    EXPECT_EQ(bar2.value(), 3);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(2).at(0).toInt(), 16);

    int previousTop = kSpectrumBoxHeight;
    for (int position = 15; position <= kMaxGainPosition; ++position) {
        bar.setValue(position);
        for (int n = 0; n < 12; ++n)
            run(toneAtBin(300, 10, n)); // the smoothing settles
        const int top = topmostInColumn(box(), 300, kBlack);
        ASSERT_GE(top, 0) << "position " << position;
        EXPECT_LT(top, previousTop) << "position " << position;
        previousTop = top;
    }
}

TEST_F(Panel, ModeItemsFollowTheHandlersAndModeChangesFromAnywhereClearTheLineImage) {
    QAction spectrum1("Line"), waterfall2("Waterfall");
    panel.attachModeItems(&spectrum1, &waterfall2);
    QSignalSpy spy(&panel, &SpectrumPanel::displayTypeChanged);
    panel.Waterfall2Click();
    EXPECT_TRUE(waterfall2.isChecked());
    EXPECT_FALSE(spectrum1.isChecked());
    run(toneAtBin(122, 20000));
    QImage img = box();
    EXPECT_NE(at(img, 122, 0), 0u);
    EXPECT_EQ(at(img, 300, 0), 0u);
    EXPECT_EQ(at(img, 300, 1), rgb(kWhite)); // below the first row: still the white fill

    panel.Spectrum1Click();
    EXPECT_TRUE(spectrum1.isChecked());
    EXPECT_FALSE(waterfall2.isChecked());
    run(silence());
    EXPECT_EQ(at(box(), 300, 96), 0u);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toInt(), kLineMode);

    // Posted without the panel, to a type that draws nothing: the line image is blacked out,
    // the waterfall history and the screen stay as they were.
    const QImage screen = box();
    engine->post(ReceiveCommand::displayType(setting::DisplayType{2}));
    run(toneAtBin(122, 20000));
    EXPECT_EQ(countInColumn(panel.drawing().spectrumImage(), 300, kBlack, 0, kSpectrumImageHeight),
              kSpectrumImageHeight);
    EXPECT_NE(at(panel.drawing().waterfallImage(), 122, 0), 0u);
    EXPECT_EQ(box(), screen);
}

TEST_F(Panel, WaterfallMarkerIsDrawnOnTheScreenOnlyNeverIntoTheHistory) {
    panel.Waterfall2Click();
    for (int n = 0; n <= kSpectrumBoxHeight; ++n)
        run(silence()); // black history everywhere
    click(250);
    for (int n = 0; n < 3; ++n)
        run(silence());
    const QImage img = box();
    EXPECT_EQ(countInColumn(img, 250, kWhite, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
    EXPECT_EQ(countInColumn(img, 100, kWhite, 0, kSpectrumBoxHeight), 0);
    EXPECT_EQ(countInColumn(panel.drawing().waterfallImage(), 250, kWhite, 0, 6), 0);
    panel.setBackground(kBlackBackground);
    run(silence());
    EXPECT_EQ(countInColumn(box(), 250, kWhite, 0, kSpectrumBoxHeight), 0);
}

TEST(SpectrumPanel, StartsAt600HzWithItsHintsAndLayout) {
    SpectrumPanel panel;
    EXPECT_EQ(panel.mkrLabel()->text(), "6\n0\n0");
    EXPECT_EQ(panel.image1()->toolTip(), "Click on Spectrum Peak to Decode");
    EXPECT_EQ(panel.spectrumBox()->geometry(), QRect(163, 0, 450, 100));
    EXPECT_EQ(panel.image1()->geometry(), QRect(163, 0, 450, 104));
    EXPECT_EQ(panel.mkrLabel()->x(), 145);
    panel.setBackground(kBlackBackground); // before any pass the box takes the background
    EXPECT_EQ(at(render(*panel.spectrumBox()), 200, 50), 0u);
}

// A signal that stops stays listed, greyed, for the hold time (input time), then goes; a
// channel that opens again on its frequency takes its place; merged channels are not kept.
TEST(BandWindowRows, AStoppedSignalStaysGreyedForTheHoldTimeThenGoes) {
    dita::BandWindow window;
    window.setHoldSeconds(600.0);
    auto pass = std::make_unique<dita::BandPassResult>();
    auto channel = [](int id, double hz, const char* text) {
        dita::BandChannel c;
        c.id = id;
        c.pitchHz = hz;
        c.wpm = 20;
        c.text = text;
        return c;
    };
    pass->timeSeconds = 10.0;
    pass->channelCount = 2;
    pass->channels[0] = channel(1, 500.0, "cq de w1aw");
    pass->channels[1] = channel(2, 900.0, "tu");
    window.showPass(*pass, 0);
    // 500 Hz stops; 900 Hz is merged away.
    pass->timeSeconds = 25.0;
    pass->channelCount = 0;
    pass->closedCount = 2;
    pass->closed[0] = channel(1, 500.0, " k");
    pass->closed[1] = channel(2, 900.0, "");
    pass->closed[1].mergedInto = 1;
    window.showPass(*pass, 0);
    QTableWidget* t = window.table();
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(t->item(0, dita::BandWindow::kTextColumn)->text(), "cq de w1aw k");
    const QColor grey = t->item(0, dita::BandWindow::kTextColumn)->foreground().color();
    EXPECT_NE(grey, window.palette().text().color());
    pass->closedCount = 0;
    pass->timeSeconds = 620.0;
    window.showPass(*pass, 0);
    EXPECT_EQ(t->rowCount(), 1) << "still within ten minutes";
    pass->timeSeconds = 630.0;
    window.showPass(*pass, 0);
    EXPECT_EQ(t->rowCount(), 0);

    // Stopped, then back on the same frequency: one row, in the normal colour.
    pass->channelCount = 0;
    pass->closedCount = 1;
    pass->closed[0] = channel(3, 700.0, "qrl?");
    window.showPass(*pass, 0);
    pass->closedCount = 0;
    pass->channelCount = 1;
    pass->channels[0] = channel(4, 705.0, "cq");
    window.showPass(*pass, 0);
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(t->item(0, dita::BandWindow::kTextColumn)->text(), "cq");
    EXPECT_EQ(t->item(0, dita::BandWindow::kTextColumn)->foreground().color(),
              window.palette().text().color());
}
