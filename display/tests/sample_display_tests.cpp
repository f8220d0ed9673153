// The displays while the receive engine decodes the bundled recording (20 wpm at 650 Hz in
// white noise), tuned by a click on the panel. The pictures are written to
// <build>/display-screenshots/ for a look by eye.
#include "display/DisplayColours.h"
#include "display/SpectrumPanel.h"
#include "display/TimeLineForm.h"
#include "DisplayTestSupport.h"
#include "receive/SoundFileReader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <memory>

using namespace dita;
using namespace dita::test;

namespace {

constexpr int kToneBin = 122;  // 650 Hz
constexpr int kSnapshotPass = 240;
// Gain bar positions that show this recording's noise floor and tone well.
constexpr int kLineGainPosition = 9;
constexpr int kWaterfallGainPosition = 11;

struct Screenshots {
    QImage lineWhite, lineBlack, waterfallWhite, waterfallBlack, timeline;
    int linePass = -1;
    std::string text;
};

Screenshots decodeSample() {
    Screenshots shots;
    SoundFileReader reader;
    std::string error;
    if (!reader.open(DITA_DATA_DIR "/samples/cq-20wpm.ogg", InputChannel::Mic, error)) {
        ADD_FAILURE() << error;
        return shots;
    }
    auto lineEngine = std::make_unique<ReceiveEngine>();
    auto waterfallEngine = std::make_unique<ReceiveEngine>();
    SpectrumPanel lineWhite, lineBlack, waterfallWhite, waterfallBlack;
    for (SpectrumPanel* p : {&lineWhite, &lineBlack, &waterfallWhite, &waterfallBlack}) {
        p->resize(p->minimumWidth(), SpectrumPanel::kPanelHeight);
    }
    lineBlack.setBackground(kBlackBackground);
    waterfallBlack.setBackground(kBlackBackground);
    wireToEngine(lineWhite, *lineEngine);
    wireToEngine(waterfallWhite, *waterfallEngine);
    // The gain bars at the position the configuration gives them, applied as at start-up.
    DisplayGainBar lineGain(nullptr, "CoarseGainBar"), waterfallGain(nullptr, "CoarseGainBar");
    lineWhite.attachGainBars(&lineGain, nullptr);
    waterfallWhite.attachGainBars(&waterfallGain, nullptr);
    lineGain.setValue(kLineGainPosition);
    waterfallGain.setValue(kWaterfallGainPosition);
    waterfallWhite.Waterfall2Click();
    for (SpectrumPanel* p : {&lineWhite, &lineBlack, &waterfallWhite, &waterfallBlack}) {
        p->runLoopEntry();
    }
    TTimeLineForm timeline;
    timeline.TimeStartBtnClick();

    // Tune both engines as the operator would, by clicking the tone in the display.
    QTest::mouseClick(lineWhite.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(kToneBin, 40));
    QTest::mouseClick(waterfallWhite.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(kToneBin, 40));

    PassSamples samples{};
    for (int pass = 0;; ++pass) {
        samples.fill(0);
        if (reader.read(samples.data(), kPassFrames) == 0) break;
        const PassResult& line = lineEngine->processPass(samples.data());
        shots.text += line.text;
        lineWhite.showPass(line);
        lineBlack.showPass(line);
        timeline.showPass(line);
        int keyDown = 0;
        for (int i = 2; i <= kTimelineEntries; ++i) keyDown += line.timelineK[i] == 1.0f ? 1 : 0;
        // A pass that is mostly key-down shows the tone's peak in the line trace.
        if (shots.linePass < 0 && pass > 20 && keyDown > 48) {
            shots.linePass = pass;
            shots.lineWhite = render(lineWhite);
            shots.lineBlack = render(lineBlack);
        }
        const PassResult& fall = waterfallEngine->processPass(samples.data());
        waterfallWhite.showPass(fall);
        waterfallBlack.showPass(fall);
        if (pass == kSnapshotPass) {
            shots.waterfallWhite = render(waterfallWhite);
            shots.waterfallBlack = render(waterfallBlack);
            shots.timeline = render(timeline);
        }
    }
    const QString dir = QStringLiteral(DITA_BINARY_DIR "/display-screenshots");
    QDir().mkpath(dir);
    shots.lineWhite.save(dir + "/line-white.png");
    shots.lineBlack.save(dir + "/line-black.png");
    shots.waterfallWhite.save(dir + "/waterfall-white.png");
    shots.waterfallBlack.save(dir + "/waterfall-black.png");
    shots.timeline.save(dir + "/timeline.png");
    return shots;
}

const Screenshots& shots() {
    static const Screenshots s = decodeSample();
    return s;
}

} // namespace

TEST(SampleDisplay, LineTracePeaksAtTheToneUnderTheMarker) {
    const Screenshots& s = shots();
    ASSERT_GE(s.linePass, 0) << "no keyed pass found";
    for (const auto& [panel, trace, marker] : {std::tuple{s.lineWhite, kBlack, kBlue},
                                               std::tuple{s.lineBlack, kWhite, kWhite}}) {
        ASSERT_FALSE(panel.isNull());
        const QImage img = panel.copy(SpectrumPanel::kBoxLeft, 0, kSpectrumBoxWidth, kSpectrumBoxHeight);
        EXPECT_EQ(countInColumn(img, kToneBin, marker, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
        int peakBin = 0, peakTop = kSpectrumBoxHeight;
        for (int k = 1; k <= kLineBins; ++k) {
            if (k == kToneBin) continue;
            const int top = topmostInColumn(img, k, trace);
            if (top >= 0 && top < peakTop) peakTop = top, peakBin = k;
        }
        EXPECT_NEAR(peakBin, kToneBin, 2);
        EXPECT_LT(peakTop, 96 - 20) << "the tone should stand well above the noise floor";
    }
    EXPECT_NE(s.text.find("cq cq cq de dl2xyz"), std::string::npos) << s.text;
}

TEST(SampleDisplay, WaterfallShowsTheKeyedToneAsBrightRowsInItsColumn) {
    const Screenshots& s = shots();
    for (const QImage& panel : {s.waterfallWhite, s.waterfallBlack}) {
        ASSERT_FALSE(panel.isNull());
        const QImage box = panel.copy(SpectrumPanel::kBoxLeft, 0, kSpectrumBoxWidth, kSpectrumBoxHeight);
        // Levels of 92 and above (red, fuchsia, white) beside the marker, against a column
        // far from the tone that holds only noise.
        auto hot = [](QRgb c) { return rgb(c) == rgb(kRed) || rgb(c) == 0xFF00FFu || rgb(c) == rgb(kWhite); };
        int hotNear = 0, hotFar = 0;
        for (int y = 0; y < kSpectrumBoxHeight; ++y) {
            hotNear += hot(box.pixel(kToneBin + 1, y)) ? 1 : 0;
            hotFar += hot(box.pixel(350, y)) ? 1 : 0;
        }
        EXPECT_GT(hotNear, 20);
        EXPECT_EQ(hotFar, 0);
    }
    // The waterfall colours do not depend on the background: only column 0 and the marker do.
    const QImage a = s.waterfallWhite.copy(SpectrumPanel::kBoxLeft + 1, 0, 100, kSpectrumBoxHeight);
    const QImage b = s.waterfallBlack.copy(SpectrumPanel::kBoxLeft + 1, 0, 100, kSpectrumBoxHeight);
    EXPECT_EQ(a, b);
}

TEST(SampleDisplay, TimelineShowsKeyingAcrossTheWholeChart) {
    const Screenshots& s = shots();
    ASSERT_FALSE(s.timeline.isNull());
    int down = 0, up = 0;
    for (int x = 0; x < TTimeLineForm::kClientWidth; ++x) {
        down += at(s.timeline, x, 5) == rgb(kRed) ? 1 : 0;
        up += at(s.timeline, x, 31) == rgb(kRed) ? 1 : 0;
    }
    EXPECT_GT(down, 50);
    EXPECT_GT(up, 50);
    EXPECT_GT(countInColumn(s.timeline, 300, kBlack, 32, 284), 0);
}
