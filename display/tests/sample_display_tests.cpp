// The displays while the receive engine decodes the bundled recording (20 wpm at 650 Hz in
// white noise), tuned by a click on the panel. The pictures go to
// <build>/display-screenshots/ to be looked at.
#include "DisplayTestSupport.h"
#include "display/DisplayColours.h"
#include "display/DisplayPanel.h"
#include "display/TimeLineForm.h"
#include "receive/SoundFileReader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <map>
#include <memory>

using namespace dita;
using namespace dita::test;

namespace {
constexpr int kToneBin = 122; // 650 Hz
constexpr int kSnapshotPass = 240;
constexpr int kLineGain = 9; // gain bar positions that show this recording well
constexpr int kWaterfallGain = 11;

QImage boxOf(const QImage& panel) {
    return panel.copy(SpectrumPanel::kBoxLeft, 0, kSpectrumBoxWidth, kSpectrumBoxHeight);
}
} // namespace

TEST(SampleDisplay, DecodingTheRecordingShowsTheToneTheKeyingAndTheText) {
    SoundFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(DITA_DATA_DIR "/samples/cq-20wpm.ogg", InputChannel::Mic, error))
        << error;
    ReceiveEngine lineEngine, waterfallEngine;
    SpectrumPanel lineWhite, lineBlack, fallWhite, fallBlack;
    SpectrumPanel* panels[] = {&lineWhite, &lineBlack, &fallWhite, &fallBlack};
    for (SpectrumPanel* p : panels)
        p->resize(p->minimumWidth(), SpectrumPanel::kPanelHeight);
    lineBlack.setBackground(kBlackBackground);
    fallBlack.setBackground(kBlackBackground);
    wireToEngine(lineWhite, lineEngine);
    wireToEngine(fallWhite, waterfallEngine);
    DisplayGainBar lineGain(nullptr, "CoarseGainBar"), fallGain(nullptr, "CoarseGainBar");
    lineWhite.attachGainBar(&lineGain);
    fallWhite.attachGainBar(&fallGain);
    lineGain.setValue(kLineGain);
    fallGain.setValue(kWaterfallGain);
    fallWhite.Waterfall2Click();
    for (SpectrumPanel* p : panels)
        p->runLoopEntry();
    TTimeLineForm timeline;
    timeline.TimeStartBtnClick();
    // Tuned as the operator would: a click on the tone.
    QTest::mouseClick(lineWhite.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(kToneBin, 40));
    QTest::mouseClick(fallWhite.image1(), Qt::LeftButton, Qt::NoModifier, QPoint(kToneBin, 40));

    std::map<std::string, QImage> shots;
    std::string text;
    PassSamples samples{};
    for (int pass = 0;; ++pass) {
        samples.fill(0);
        if (reader.read(samples.data(), kPassFrames) == 0) break;
        const PassResult& line = lineEngine.processPass(samples.data());
        text += line.text;
        for (SpectrumPanel* p : {&lineWhite, &lineBlack})
            p->showPass(line);
        timeline.showPass(line);
        int keyDown = 0;
        for (int i = 2; i <= kTimelineEntries; ++i)
            keyDown += line.timelineK[i] == 1.0f ? 1 : 0;
        // A pass that is mostly key-down shows the tone in the line trace.
        if (!shots.count("line-white") && pass > 20 && keyDown > 48) {
            shots["line-white"] = render(lineWhite);
            shots["line-black"] = render(lineBlack);
        }
        const PassResult& fall = waterfallEngine.processPass(samples.data());
        for (SpectrumPanel* p : {&fallWhite, &fallBlack})
            p->showPass(fall);
        if (pass == kSnapshotPass) {
            shots["waterfall-white"] = render(fallWhite);
            shots["waterfall-black"] = render(fallBlack);
            shots["timeline"] = render(timeline);
        }
    }
    const QString dir = QStringLiteral(DITA_BINARY_DIR "/display-screenshots");
    QDir().mkpath(dir);
    for (const auto& [name, img] : shots)
        img.save(dir + "/" + QString::fromStdString(name) + ".png");
    ASSERT_EQ(shots.size(), 5u);
    EXPECT_NE(text.find("cq cq cq de dl2xyz"), std::string::npos) << text;

    // Line trace: the highest bin is the tone, under the marker, well above the floor at 96.
    for (const auto& [name, trace, marker] :
         {std::tuple{"line-white", kBlack, kBlue}, std::tuple{"line-black", kWhite, kWhite}}) {
        const QImage img = boxOf(shots[name]);
        EXPECT_EQ(countInColumn(img, kToneBin, marker, 0, kSpectrumBoxHeight), kSpectrumBoxHeight);
        int peakBin = 0, peakTop = kSpectrumBoxHeight;
        for (int k = 1; k <= kLineBins; ++k) {
            const int top = k == kToneBin ? -1 : topmostInColumn(img, k, trace);
            if (top >= 0 && top < peakTop) peakTop = top, peakBin = k;
        }
        EXPECT_NEAR(peakBin, kToneBin, 2) << name;
        EXPECT_LT(peakTop, 76) << name;
    }
    // Waterfall: levels of 92 and up (red, fuchsia, white) beside the marker, none far away.
    auto hot = [](QRgb c) {
        return rgb(c) == rgb(kRed) || rgb(c) == 0xFF00FFu || rgb(c) == rgb(kWhite);
    };
    for (const char* name : {"waterfall-white", "waterfall-black"}) {
        const QImage img = boxOf(shots[name]);
        int hotNear = 0, hotFar = 0;
        for (int y = 0; y < kSpectrumBoxHeight; ++y) {
            hotNear += hot(img.pixel(kToneBin + 1, y)) ? 1 : 0;
            hotFar += hot(img.pixel(350, y)) ? 1 : 0;
        }
        EXPECT_GT(hotNear, 20) << name;
        EXPECT_EQ(hotFar, 0) << name;
    }
    // Timeline: key-down and key-up rows both in use, step levels drawn.
    const QImage& tl = shots["timeline"];
    int down = 0, up = 0;
    for (int x = 0; x < tl.width(); ++x) {
        down += at(tl, x, 5) == rgb(kRed) ? 1 : 0;
        up += at(tl, x, 31) == rgb(kRed) ? 1 : 0;
    }
    EXPECT_GT(down, 50);
    EXPECT_GT(up, 50);
    EXPECT_GT(countInColumn(tl, 300, kBlack, 32, 284), 0);
}
