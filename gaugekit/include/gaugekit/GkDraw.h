#pragma once
// Drawing shared by the components: filled bevels, lamp shapes and the bar image. Called from
// paint code on the GUI thread (the bar image also from tests and benchmarks).
#include <QImage>
#include <QPainter>
#include <QRect>

#include "gaugekit/GkSettings.h"

// Paints `bevel` filled on `r` and shrinks `r` to the inside (frames, pen lines, spacing and
// offsets). With a null painter only the geometry is computed.
GAUGEKIT_EXPORT void gkPaintBevelFilled(QPainter* painter, QRect& r, const TGkSBevel& bevel);

// Draws a lamp shape filling `r` in colour `fill` with a button-shadow outline.
GAUGEKIT_EXPORT void gkDrawLED(QPainter& painter, const QRect& r, TLEDShape shape,
                               const QColor& fill);

// The bar area image of a bar meter at per-thousand position `ppt` (clamped to 0..1000):
// horizontal when size.height() < size.width(), else vertical growing from the bottom.
// Uses the derived members of `settings` (PaintColor, ZeroPosition, SectorsCopy, ValueText,
// UnitText).
GAUGEKIT_EXPORT QImage gkRenderBar(const TBarSettings& settings, int ppt, QSize size);
