#pragma once
// Helpers for the display tests: steady tones and silence for the receive engine, and pixel
// queries on rendered images.
#include "receive/ReceiveEngine.h"

#include <QImage>
#include <QWidget>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace dita::test {

using PassSamples = std::array<int32_t, kPassFrames>;

inline PassSamples silence() {
    return PassSamples{};
}

// A steady sine at the centre of a spectrum bin, amplitude in 16-bit units.
inline PassSamples toneAtBin(int bin, double amplitude, long passIndex = 0) {
    PassSamples s{};
    const double hz = (bin - 1) * kBinHz;
    for (int i = 0; i < kPassFrames; ++i) {
        const double t = (static_cast<double>(passIndex) * kPassFrames + i) / kSampleRateHz;
        s[i] = static_cast<int32_t>(amplitude * std::sin(2.0 * std::numbers::pi * hz * t));
    }
    return s;
}

inline QImage render(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Colours compared without their alpha byte, as 0xRRGGBB.
constexpr uint32_t rgb(QRgb colour) {
    return colour & 0xFFFFFFu;
}

inline uint32_t at(const QImage& img, int x, int y) {
    return rgb(img.pixel(x, y));
}

// Number of pixels of one colour in a column, rows [top, bottom).
inline int countInColumn(const QImage& img, int x, QRgb colour, int top, int bottom) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        n += at(img, x, y) == rgb(colour) ? 1 : 0;
    return n;
}

// Topmost row of a colour in a column, or -1.
inline int topmostInColumn(const QImage& img, int x, QRgb colour) {
    for (int y = 0; y < img.height(); ++y) {
        if (at(img, x, y) == rgb(colour)) return y;
    }
    return -1;
}

} // namespace dita::test
