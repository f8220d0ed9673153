#include "gaugekit/GkDraw.h"

#include <QLinearGradient>
#include <algorithm>

namespace {

constexpr int kPptFull = 1000;
constexpr int kPointWidth = 3;
constexpr int kLedSegmentPitch = 4;
constexpr int kLedSegmentStart = 1;
constexpr int kHighlightPenDivisor = 8;
constexpr int kHighlightInsetDivisor = 5;
constexpr int kArcSixteenths = 16;
constexpr int kArcStartDeg = 90;
constexpr int kArcSpanDeg = 90;
constexpr int kDiamondNear = 3; // the narrow end of a diamond is 1/3 of the width
constexpr int kTextMaskPenWidth = 1;

QColor qc(TColor c) {
    return gkToQColor(c);
}

void frame3D(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}

void outline(QPainter& p, const QRect& r, const QColor& c) {
    if (r.width() <= 0 || r.height() <= 0) return;
    frame3D(p, r, c, c);
}

void fillGradient(QPainter& p, const QRect& r, const TGkGradSettings& g) {
    if (r.width() <= 0 || r.height() <= 0) return;
    const QColor from = qc(g.ColorFrom()), to = qc(g.ColorTo());
    const bool vertical = g.Style() == gsVertical1 || g.Style() == gsVertical2;
    const bool mirrored = g.Style() == gsHorizontal2 || g.Style() == gsVertical2;
    QLinearGradient grad(r.topLeft(), vertical ? QPointF(r.left(), r.bottom() + 1)
                                               : QPointF(r.right() + 1, r.top()));
    grad.setColorAt(0.0, from);
    if (mirrored) {
        grad.setColorAt(0.5, to);
        grad.setColorAt(1.0, from);
    } else {
        grad.setColorAt(1.0, to);
    }
    p.fillRect(r, grad);
}

} // namespace

void gkPaintBevelFilled(QPainter* painter, QRect& r, const TGkSBevel& bevel) {
    const QRect outer = r;
    const bool outerLine = bevel.BevelLine() == blOuter || bevel.BevelLine() == blBoth;
    const bool innerLine = bevel.BevelLine() == blInner || bevel.BevelLine() == blBoth;
    if (painter && r.isValid()) painter->fillRect(r, qc(bevel.Color()));
    if (outerLine) r.adjust(1, 1, -1, -1);
    const int width = bevel.Width();
    const TColor hiFrom = gkResolveColor(bevel.ColorHighLightFrom()),
                 hiTo = gkResolveColor(bevel.ColorHighLightTo());
    const TColor shFrom = gkResolveColor(bevel.ColorShadowFrom()),
                 shTo = gkResolveColor(bevel.ColorShadowTo());
    for (int k = 1; k <= width; ++k) {
        if (painter) {
            const double f = double(k) / width;
            TColor tl, br;
            if (bevel.Style() == bsRaised) {
                tl = gkMixColor(hiFrom, hiTo, f);
                br = gkMixColor(shFrom, shTo, f);
            } else {
                tl = gkMixColor(shTo, shFrom, f);
                br = gkMixColor(hiTo, hiFrom, f);
            }
            frame3D(*painter, r, qc(tl), qc(br));
        }
        r.adjust(1, 1, -1, -1);
    }
    if (painter && bevel.SurfaceGrad()->Visible()) fillGradient(*painter, r, *bevel.SurfaceGrad());
    if (innerLine) {
        if (painter) outline(*painter, r, qc(bevel.PenColor()));
        r.adjust(1, 1, -1, -1);
    }
    if (outerLine && painter) outline(*painter, outer, qc(bevel.PenColor()));
    const int s = bevel.Spacing();
    r.adjust(s, s, -s, -s);
    const TGkOffset& o = *bevel.Offset();
    r.adjust(o.Left(), o.Top(), -o.Right(), -o.Bottom());
}

void gkDrawLED(QPainter& p, const QRect& r, TLEDShape shape, const QColor& fill) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.save();
    p.setPen(QPen(qc(clBtnShadow), 1));
    p.setBrush(fill);
    const int x1 = r.left(), y1 = r.top(), x2 = r.left() + r.width(), y2 = r.top() + r.height();
    const int dx = (x2 - x1) / 2, dy = (y2 - y1) / 2;
    // Pixel centres of the outermost rows and columns.
    const double l = x1 + 0.5, t = y1 + 0.5, rr = x2 - 0.5, b = y2 - 0.5;
    const double mx = x1 + dx + 0.5, my = y1 + dy + 0.5;
    auto polygon = [&p](std::initializer_list<QPointF> pts) {
        p.drawPolygon(QPolygonF(QList<QPointF>(pts)));
    };
    p.setRenderHint(QPainter::Antialiasing, shape != sRectangle);
    switch (shape) {
    case sRound: {
        p.drawEllipse(QRectF(l, t, rr - l, b - t));
        const int w = x2 - x1;
        const int inset = w / kHighlightInsetDivisor;
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(qc(clBtnHighlight), std::max(1, w / kHighlightPenDivisor)));
        const QRectF arc(l + inset, t + inset, rr - l - 2 * inset, b - t - 2 * inset);
        p.drawArc(arc, kArcStartDeg * kArcSixteenths, kArcSpanDeg * kArcSixteenths);
        break;
    }
    case sArrowLeft:
        polygon({{l, my}, {rr, t}, {rr, b}});
        break;
    case sArrowRight:
        polygon({{rr, my}, {l, t}, {l, b}});
        break;
    case sArrowUp:
        polygon({{mx, t}, {rr, b}, {l, b}});
        break;
    case sArrowDown:
        polygon({{mx, b}, {l, t}, {rr, t}});
        break;
    case sRectangle:
        p.drawRoundedRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1), 1, 1, Qt::AbsoluteSize);
        break;
    case sDiamondLeft: {
        const double waist = x1 + 2.0 * (x2 - x1) / kDiamondNear;
        polygon({{l, my}, {waist, t}, {rr, my}, {waist, b}});
        break;
    }
    case sDiamondRight: {
        const double waist = x1 + double(x2 - x1) / kDiamondNear;
        polygon({{l, my}, {waist, t}, {rr, my}, {waist, b}});
        break;
    }
    }
    p.restore();
}

namespace {

// Pixel span [begin, end) of a sector along a bar of `length` pixels.
std::pair<int, int> sectorSpan(const GkSector& s, int length) {
    const int begin = std::clamp(gkRound(double(s.From) * length / kPptFull), 0, length);
    const int end = std::clamp(gkRound(double(s.To + 1) * length / kPptFull), 0, length);
    return {begin, end};
}

void paintSectors(QPainter& p, const GkSectors& sectors, int length, int thickness, double percent,
                  bool dim) {
    for (const GkSector& s : sectors) {
        const auto [begin, end] = sectorSpan(s, length);
        if (end <= begin) continue;
        const TColor c = gkResolveColor(s.Color);
        p.fillRect(QRect(begin, 0, end - begin, thickness), qc(dim ? gkDimColor(c, percent) : c));
    }
}

} // namespace

QImage gkRenderBar(const TBarSettings& bs, int ppt, QSize size) {
    if (size.width() <= 0 || size.height() <= 0) return QImage();
    ppt = std::clamp(ppt, 0, kPptFull);
    const bool horizontal = size.height() < size.width();
    const int length = horizontal ? size.width() : size.height();
    const int thickness = horizontal ? size.height() : size.width();

    const TColor bk = gkResolveColor(bs.BkColor());
    const double percent = bs.BkBrightness();
    QImage img(length, thickness, QImage::Format_RGB32);
    img.fill(qc(bk));
    {
        QPainter p(&img);
        if (bs.BkAuto() && bs.Style() != bsLED_Bar) {
            p.fillRect(img.rect(), qc(gkDimColor(bk, percent)));
            paintSectors(p, bs.SectorsCopy, length, thickness, percent, true);
        }
        const QColor paint = qc(bs.PaintColor);
        const int end = gkRound(double(ppt) * length / kPptFull);
        switch (bs.Style()) {
        case bsBar: {
            const int start =
                bs.Options().has(opBidir)
                    ? gkRound(double(std::clamp(bs.ZeroPosition, 0, kPptFull)) * length / kPptFull)
                    : 0;
            const int lo = std::min(start, end), hi = std::max(start, end);
            if (hi > lo) p.fillRect(QRect(lo, 0, hi - lo, thickness), paint);
            break;
        }
        case bsPoint: {
            const int c = gkRound(double(ppt) * std::max(0, length - kPointWidth) / kPptFull);
            p.fillRect(QRect(c, 0, kPointWidth, thickness), paint);
            break;
        }
        case bsLED_Bar: {
            // A bar shorter than one segment pitch has no segments (and no division by zero).
            const int n = length / kLedSegmentPitch;
            for (int i = 0; n > 0 && i <= n; ++i) {
                const int pos = gkRound(double(i) / n * kPptFull);
                const int sector = gkSectorIndexOf(bs.SectorsCopy, pos);
                TColor c =
                    sector < 0 ? bk : gkResolveColor(bs.SectorsCopy[std::size_t(sector)].Color);
                if (ppt < pos + 1) c = bs.BkAuto() ? gkDimColor(c, percent) : bk;
                const int x = kLedSegmentPitch * i + kLedSegmentStart;
                const int w = std::min(kLedSegmentPitch * (i + 1), length) - x;
                if (w > 0) p.fillRect(QRect(x, 0, w, thickness), qc(c));
            }
            break;
        }
        case bsMultiColor: {
            QImage full(length, thickness, QImage::Format_RGB32);
            full.fill(qc(bk));
            {
                QPainter fp(&full);
                paintSectors(fp, bs.SectorsCopy, length, thickness, percent, false);
            }
            if (end > 0) p.drawImage(QPoint(0, 0), full, QRect(0, 0, end, thickness));
            break;
        }
        }
    }
    if (!horizontal) img = img.transformed(QTransform().rotate(-90));

    if (bs.Options().has(opValue)) {
        QString text = bs.ValueText;
        if (bs.Options().has(opUnit)) text += QLatin1Char(' ') + bs.UnitText;
        // The text is set on a black mask and combined by exclusive-or, so each text pixel shows
        // the inverse of what lies under it: readable over the bar and over the background.
        QImage mask(img.size(), QImage::Format_RGB32);
        mask.fill(Qt::black);
        {
            QPainter mp(&mask);
            QFont f = bs.Font();
            f.setStyleStrategy(QFont::NoAntialias);
            mp.setFont(f);
            mp.setPen(QPen(qc(bs.FontColor()), kTextMaskPenWidth));
            mp.drawText(mask.rect(), Qt::AlignCenter, text);
        }
        QPainter p(&img);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.drawImage(0, 0, mask);
    }
    return img;
}
