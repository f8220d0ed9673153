#include "display/DisplayDrawing.h"

#include "display/DisplayColours.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace dita {

namespace {
constexpr QRgb kOpaque = 0xFF000000u;  // alpha of an RGB32 pixel
constexpr QRgb kRgbMask = 0x00FFFFFFu; // 0xRRGGBB of the engine's colour row
} // namespace

SpectrumDrawing::SpectrumDrawing()
    : m_spectrum(kSpectrumBoxWidth, kSpectrumImageHeight, QImage::Format_RGB32),
      m_waterfall(kSpectrumBoxWidth, kSpectrumImageHeight, QImage::Format_RGB32) {
    fill(kWhiteBackground);
}

void SpectrumDrawing::fill(int background) {
    const QRgb colour = spectrumPalette(background).fill;
    m_spectrum.fill(colour);
    m_waterfall.fill(colour);
}

void SpectrumDrawing::clearSpectrumBlack() {
    m_spectrum.fill(kBlack);
}

const QImage* SpectrumDrawing::draw(const PassResult& pass, int background) {
    if (pass.displayType == kLineMode) {
        drawLine(pass, background);
        return &m_spectrum;
    }
    if (pass.displayType == kWaterfallMode) {
        drawWaterfall(pass);
        return &m_waterfall;
    }
    return nullptr;
}

void SpectrumDrawing::drawLine(const PassResult& pass, int background) {
    const SpectrumPalette palette = spectrumPalette(background);
    m_spectrum.fill(palette.fill);
    m_trace[0] = QPoint(0, kTraceBaseline);
    for (int k = 1; k <= kLineBins; ++k) {
        // The engine limits h to the baseline; a value from elsewhere must not leave the image.
        const int h = std::clamp<int>(pass.traceHeight[k], 0, kTraceBaseline);
        m_trace[k] = QPoint(k, kTraceBaseline - h);
    }
    QPainter p(&m_spectrum);
    p.setPen(QPen(QColor(palette.trace), 1));
    p.drawPolyline(m_trace.data(), static_cast<int>(m_trace.size()));
    p.setPen(QPen(QColor(palette.lineMarker), 1));
    p.drawLine(pass.tunedBin, kSpectrumImageHeight, pass.tunedBin, 0);
}

void SpectrumDrawing::drawWaterfall(const PassResult& pass) {
    // Move the history down by one row with one copy of the image onto itself, then put the
    // new row on top; the bottom row drops out.
    const qsizetype rowBytes = m_waterfall.bytesPerLine();
    uchar* bits = m_waterfall.bits();
    std::memmove(bits + rowBytes, bits, static_cast<size_t>(rowBytes) * (kSpectrumImageHeight - 1));
    auto* top = reinterpret_cast<QRgb*>(bits);
    const int columns = std::min(kWaterfallBins, kSpectrumBoxWidth - 1); // the rest is clipped
    for (int k = 1; k <= columns; ++k)
        top[k] = kOpaque | (pass.waterfallRow[k] & kRgbMask);
}

} // namespace dita
