#pragma once
// SpectrumDrawing: the two off-screen images of the spectrum panel (line spectrum and
// waterfall) and the per-pass drawing into them.
//
// Owned by SpectrumPanel and used on the window thread only: fill() at the start of the run
// loop, draw() once per pass, clearSpectrumBlack() on a display-mode change. Nothing here
// allocates per pass; the waterfall history moves by one copy of the image onto itself.
#include "receive/ReceiveEngine.h"

#include <QImage>
#include <QPoint>
#include <array>

namespace dita {

constexpr int kSpectrumBoxWidth = 450;  // SpectrumBox and both images
constexpr int kSpectrumBoxHeight = 100; // visible part of the images
constexpr int kSpectrumImageHeight = 130;
constexpr int kTraceBaseline = kSpectrumImageHeight - 20; // Y0: rows below it stay empty

// The column of the display that shows a tone: column x holds bin x, and bin 1 is 0 Hz, as
// click-to-tune and the marker have it.
inline int columnForHz(double hz) {
    return static_cast<int>(hz / kBinHz + 0.5) + 1;
}

constexpr int kLineMode = 0;
constexpr int kWaterfallMode = 1;

class SpectrumDrawing {
public:
    SpectrumDrawing();

    // Both images in the background colour (start of the run loop).
    void fill(int background);
    // The line-spectrum image in black (the display mode changed); the waterfall keeps its
    // history.
    void clearSpectrumBlack();

    // Draws one pass into the image of its display type and returns that image, or nullptr
    // when the type is neither line nor waterfall (then nothing is drawn). The line image gets
    // its marker here; the waterfall marker is drawn over the screen copy only (see
    // SpectrumBox), so that old marker positions never enter the scrolling history.
    const QImage* draw(const PassResult& pass, int background);

    const QImage& spectrumImage() const { return m_spectrum; }
    const QImage& waterfallImage() const { return m_waterfall; }

private:
    void drawLine(const PassResult& pass, int background);
    void drawWaterfall(const PassResult& pass);

    QImage m_spectrum;
    QImage m_waterfall;
    std::array<QPoint, kLineBins + 1> m_trace{}; // baseline start plus one point per bin
};

} // namespace dita
