#pragma once
// Colours as the form descriptions write them. No Qt here: the value model and the tests of its
// arithmetic use these without a GUI.
//
// A TColor is 0x00BBGGRR (the byte order of the forms, so 0xFF0000 is BLUE and 0x0000FF is red).
// Build colours with gkRgb(r, g, b) rather than hex literals to avoid mistakes. A value whose top
// byte is 0xFF names a theme colour (button face, highlight, shadow); gkToQColor() in GkTypes.h
// resolves it from the running application's palette.
#include <cstdint>

#include "gaugekit/gaugekit_export.h"

using TColor = std::uint32_t;

constexpr TColor gkRgb(int r, int g, int b) {
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr int gkRedOf(TColor c) {
    return int(c & 0xFF);
}
constexpr int gkGreenOf(TColor c) {
    return int((c >> 8) & 0xFF);
}
constexpr int gkBlueOf(TColor c) {
    return int((c >> 16) & 0xFF);
}

constexpr TColor kGkSystemColorFlag = 0xFF000000u;
constexpr bool gkIsSystemColor(TColor c) {
    return (c & kGkSystemColorFlag) == kGkSystemColorFlag;
}

// The sixteen named colours of the forms.
constexpr TColor clBlack = gkRgb(0, 0, 0);
constexpr TColor clMaroon = gkRgb(128, 0, 0);
constexpr TColor clGreen = gkRgb(0, 128, 0);
constexpr TColor clOlive = gkRgb(128, 128, 0);
constexpr TColor clNavy = gkRgb(0, 0, 128);
constexpr TColor clPurple = gkRgb(128, 0, 128);
constexpr TColor clTeal = gkRgb(0, 128, 128);
constexpr TColor clGray = gkRgb(128, 128, 128);
constexpr TColor clSilver = gkRgb(192, 192, 192);
constexpr TColor clRed = gkRgb(255, 0, 0);
constexpr TColor clLime = gkRgb(0, 255, 0);
constexpr TColor clYellow = gkRgb(255, 255, 0);
constexpr TColor clBlue = gkRgb(0, 0, 255);
constexpr TColor clFuchsia = gkRgb(255, 0, 255);
constexpr TColor clAqua = gkRgb(0, 255, 255);
constexpr TColor clWhite = gkRgb(255, 255, 255);

// Theme colours, numbered as the forms number them.
constexpr TColor clBtnFace = kGkSystemColorFlag | 15u;
constexpr TColor clBtnShadow = kGkSystemColorFlag | 16u;
constexpr TColor clBtnHighlight = kGkSystemColorFlag | 20u;

// Channel-wise blend of two plain (already resolved) colours: `fraction` 0 gives `from`,
// 1 gives `to`; each channel is rounded to nearest, ties to even.
GAUGEKIT_EXPORT TColor gkMixColor(TColor from, TColor to, double fraction);
// Each channel multiplied by percent / 100, rounded, kept within 0..255.
GAUGEKIT_EXPORT TColor gkDimColor(TColor c, double percent);
