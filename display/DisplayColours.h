#pragma once
// Colours of the spectrum panel and the timeline chart, and the background setting's values.
// Read by the display classes on the window thread.
#include <QRgb>

namespace dita {

// Values of the Background setting.
constexpr int kBlackBackground = 0;
constexpr int kWhiteBackground = 1;

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kMaroon = qRgb(128, 0, 0);

// Colours of the spectrum panel under one background.
struct SpectrumPalette {
    QRgb fill;            // image fill, ImagePnl and MkrLabel background
    QRgb trace;           // line-mode trace
    QRgb lineMarker;      // marker line in line mode
    QRgb waterfallMarker; // marker line in waterfall mode
    QRgb markerText;      // MkrLabel digits
};

constexpr SpectrumPalette spectrumPalette(int background) {
    if (background == kBlackBackground) return {kBlack, kWhite, kWhite, kBlack, kWhite};
    return {kWhite, kBlack, kBlue, kWhite, kRed};
}

} // namespace dita
