// The off-screen spectrum and waterfall images, drawn from pass results of the real engine
// where the engine decides the data and from hand-made results where a shape is needed.
#include "display/DisplayColours.h"
#include "display/SpectrumDrawing.h"
#include "display/SpectrumPanel.h"
#include "DisplayTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace dita;
using namespace dita::test;

namespace {

PassResult linePass(int16_t height, int tunedBin = 100) {
    PassResult r;
    r.displayType = kLineMode;
    r.tunedBin = tunedBin;
    r.traceHeight.fill(height);
    return r;
}

PassResult waterfallPass(uint32_t colour, int tunedBin = 100) {
    PassResult r;
    r.displayType = kWaterfallMode;
    r.tunedBin = tunedBin;
    r.waterfallRow.fill(colour);
    return r;
}

class EngineDrawing : public ::testing::Test {
protected:
    void post(ReceiveCommandKind kind, int value) { engine->post({kind, value}); }
    const PassResult& pass(const PassSamples& s) { return engine->processPass(s.data()); }

    std::unique_ptr<ReceiveEngine> engine = std::make_unique<ReceiveEngine>();
    SpectrumDrawing drawing;
};

} // namespace

TEST_F(EngineDrawing, SilenceGivesAFlatTrace96PixelsBelowTheTopOnBothBackgrounds) {
    for (int background : {kWhiteBackground, kBlackBackground}) {
        const SpectrumPalette pal = spectrumPalette(background);
        const QImage* img = drawing.draw(pass(silence()), background);
        ASSERT_NE(img, nullptr);
        for (int k = 1; k <= kLineBins; ++k) {
            if (k == engine->tunedBin()) continue;
            ASSERT_EQ(topmostInColumn(*img, k, pal.trace), 96) << "bin " << k;
            ASSERT_EQ(countInColumn(*img, k, pal.trace, 0, kSpectrumImageHeight), 1) << "bin " << k;
        }
        EXPECT_EQ(at(*img, 300, 10), rgb(pal.fill));
    }
}

TEST_F(EngineDrawing, StrongToneIsWhiteAndZeroPowerBlackInTheWaterfallOnEitherBackground) {
    post(ReceiveCommandKind::DisplayType, kWaterfallMode);
    post(ReceiveCommandKind::DisplayGain, kMaxGainPosition);
    for (int background : {kWhiteBackground, kBlackBackground}) {
        drawing.fill(background);
        const QImage* img = drawing.draw(pass(toneAtBin(122, 20000)), background);
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(at(*img, 122, 0), rgb(kWhite));

        img = drawing.draw(pass(silence()), background);
        for (int k = 1; k < kSpectrumBoxWidth; ++k) ASSERT_EQ(at(*img, k, 0), 0u) << "bin " << k;
        // The tone's row has moved down by one and is still white.
        EXPECT_EQ(at(*img, 122, 1), rgb(kWhite));
        // Column 0 carries no bin and keeps the fill.
        EXPECT_EQ(at(*img, 0, 0), rgb(spectrumPalette(background).fill));
    }
}

TEST(SpectrumDrawing, LineModeDrawsOnlyBins1To422AtTheirHeights) {
    SpectrumDrawing drawing;
    PassResult r = linePass(0, 60);
    for (int k = 1; k <= kLineBins; ++k) r.traceHeight[k] = static_cast<int16_t>((k * 7) % 111);
    const QImage* img = drawing.draw(r, kWhiteBackground);
    ASSERT_NE(img, nullptr);
    for (int k = 1; k <= kLineBins; ++k) {
        if (k == 60) continue;
        ASSERT_EQ(at(*img, k, kTraceBaseline - r.traceHeight[k]), rgb(kBlack)) << "bin " << k;
    }
    // Full height everywhere: past bin 422 the columns stay empty.
    drawing.draw(linePass(kTraceBaseline, 60), kWhiteBackground);
    for (int x = kLineBins + 1; x < kSpectrumBoxWidth; ++x) {
        ASSERT_EQ(countInColumn(*img, x, kBlack, 0, kSpectrumImageHeight), 0) << "column " << x;
    }
    EXPECT_EQ(at(*img, kLineBins, 0), rgb(kBlack));
}

TEST(SpectrumDrawing, HeightsOutsideTheImageAreHeldInside) {
    SpectrumDrawing drawing;
    PassResult r = linePass(0);
    r.traceHeight[10] = -500;
    r.traceHeight[20] = 32000;
    const QImage* img = drawing.draw(r, kBlackBackground);
    EXPECT_EQ(at(*img, 10, kTraceBaseline), rgb(kWhite));
    EXPECT_EQ(at(*img, 20, 0), rgb(kWhite));
}

TEST(SpectrumDrawing, LineMarkerIsBlueOnWhiteAndWhiteOnBlackOverTheWholeHeight) {
    SpectrumDrawing drawing;
    const QImage* img = drawing.draw(linePass(14, 250), kWhiteBackground);
    EXPECT_EQ(countInColumn(*img, 250, kBlue, 0, kSpectrumImageHeight), kSpectrumImageHeight);
    img = drawing.draw(linePass(14, 250), kBlackBackground);
    EXPECT_EQ(countInColumn(*img, 250, kWhite, 0, kSpectrumImageHeight), kSpectrumImageHeight);
    EXPECT_EQ(at(*img, 249, 50), rgb(kBlack));
}

TEST(SpectrumDrawing, WaterfallScrollsOneRowPerPassAndDropsTheBottomRow) {
    SpectrumDrawing drawing;
    drawing.fill(kBlackBackground);
    PassResult marked = waterfallPass(0x000000);
    marked.waterfallRow[200] = 0xFFFF00;  // yellow
    drawing.draw(marked, kBlackBackground);
    const PassResult plain = waterfallPass(0x0000FF);
    for (int n = 1; n <= 5; ++n) drawing.draw(plain, kBlackBackground);
    const QImage& img = drawing.waterfallImage();
    EXPECT_EQ(at(img, 200, 5), 0xFFFF00u);
    EXPECT_EQ(at(img, 200, 4), 0x0000FFu);
    EXPECT_EQ(at(img, 200, 6), 0x000000u);  // still the fill below the history
    for (int n = 6; n <= kSpectrumImageHeight; ++n) drawing.draw(plain, kBlackBackground);
    EXPECT_EQ(countInColumn(img, 200, 0xFFFF00, 0, kSpectrumImageHeight), 0);
    EXPECT_EQ(countInColumn(img, 200, 0x0000FF, 0, kSpectrumImageHeight), kSpectrumImageHeight);
}

TEST(SpectrumDrawing, WaterfallShowsTheColumnsThatFitAndIgnoresTheRest) {
    SpectrumDrawing drawing;
    PassResult r = waterfallPass(0x000000);
    for (int k = 1; k <= kWaterfallBins; ++k) r.waterfallRow[k] = static_cast<uint32_t>(k);
    r.waterfallRow[3] = 0xFF123456;  // bits above the colour are not the image's business
    const QImage* img = drawing.draw(r, kWhiteBackground);
    EXPECT_EQ(at(*img, kSpectrumBoxWidth - 1, 0), static_cast<QRgb>(kSpectrumBoxWidth - 1));
    EXPECT_EQ(img->pixel(3, 0), 0xFF123456u);
    EXPECT_EQ(img->width(), kSpectrumBoxWidth);
}

TEST(SpectrumDrawing, ModeChangeClearsTheLineImageBlackAndKeepsTheWaterfall) {
    SpectrumDrawing drawing;
    drawing.draw(linePass(50), kWhiteBackground);
    drawing.draw(waterfallPass(0x00FF00), kWhiteBackground);
    drawing.clearSpectrumBlack();
    const QImage& line = drawing.spectrumImage();
    EXPECT_EQ(countInColumn(line, 120, kBlack, 0, kSpectrumImageHeight), kSpectrumImageHeight);
    EXPECT_EQ(at(drawing.waterfallImage(), 120, 0), 0x00FF00u);
}

TEST(SpectrumDrawing, OtherDisplayTypesDrawNothing) {
    SpectrumDrawing drawing;
    drawing.fill(kBlackBackground);
    PassResult r = linePass(100);
    r.displayType = 2;
    r.waterfallRow.fill(0xFFFFFF);
    EXPECT_EQ(drawing.draw(r, kWhiteBackground), nullptr);
    EXPECT_EQ(countInColumn(drawing.spectrumImage(), 50, kBlack, 0, kSpectrumImageHeight), kSpectrumImageHeight);
    EXPECT_EQ(countInColumn(drawing.waterfallImage(), 50, kBlack, 0, kSpectrumImageHeight), kSpectrumImageHeight);
}

TEST(SpectrumDrawing, RunLoopFillUsesTheBackgroundForBothImages) {
    SpectrumDrawing drawing;
    drawing.fill(kBlackBackground);
    EXPECT_EQ(at(drawing.spectrumImage(), 10, 10), 0u);
    EXPECT_EQ(at(drawing.waterfallImage(), 440, 120), 0u);
    drawing.fill(kWhiteBackground);
    EXPECT_EQ(at(drawing.waterfallImage(), 440, 120), rgb(kWhite));
}
