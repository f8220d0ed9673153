#include "gaugekit/GkTypes.h"

#include <QGuiApplication>
#include <QPalette>

namespace {
constexpr TColor kIndexMask = 0xFFu;
constexpr int kBtnFaceIndex = int(clBtnFace & kIndexMask);
constexpr int kBtnShadowIndex = int(clBtnShadow & kIndexMask);
constexpr int kBtnHighlightIndex = int(clBtnHighlight & kIndexMask);
// Classic theme values used when no application (and so no palette) exists.
constexpr TColor kFallbackFace = gkRgb(240, 240, 240);
constexpr TColor kFallbackShadow = gkRgb(160, 160, 160);
} // namespace

TColor gkFromQColor(const QColor& c) {
    return gkRgb(c.red(), c.green(), c.blue());
}

TColor gkResolveColor(TColor c) {
    if (!gkIsSystemColor(c)) return c & ~kGkSystemColorFlag;
    const bool havePalette = QGuiApplication::instance() != nullptr;
    const QPalette pal = havePalette ? QGuiApplication::palette() : QPalette();
    switch (int(c & kIndexMask)) {
    case kBtnFaceIndex:
        return havePalette ? gkFromQColor(pal.color(QPalette::Button)) : kFallbackFace;
    case kBtnShadowIndex:
        return havePalette ? gkFromQColor(pal.color(QPalette::Dark)) : kFallbackShadow;
    case kBtnHighlightIndex:
        return havePalette ? gkFromQColor(pal.color(QPalette::Light)) : clWhite;
    default:
        return havePalette ? gkFromQColor(pal.color(QPalette::Window)) : kFallbackFace;
    }
}

QColor gkToQColor(TColor c) {
    const TColor plain = gkResolveColor(c);
    return QColor(gkRedOf(plain), gkGreenOf(plain), gkBlueOf(plain));
}
