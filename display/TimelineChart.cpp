#include "display/TimelineChart.h"

#include "display/DisplayColours.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace dita {

namespace {
constexpr int kScaleNumerator = 36;
constexpr int kScaleOffset = 10;
constexpr int kKeyTop = 5; // key-down row; key-up lies s below it

enum TraceIndex { kStepTrace, kThresholdTrace, kNoiseTrace, kKeyTrace };
constexpr std::array<QRgb, kTimelineTraces> kTraceColours = {kBlack, kBlue, kMaroon, kRed};

// Clamps a row into an int, leaving room beyond the chart for the slope of steep lines.
int clampRow(double y, int panelHeight) {
    const double lo = -static_cast<double>(panelHeight);
    const double hi = 2.0 * panelHeight;
    if (std::isnan(y)) return panelHeight;
    return static_cast<int>(std::clamp(y, lo, hi));
}
} // namespace

int timelineScale(int windowHeight, int creationHeight) {
    if (creationHeight <= 0) return kScaleNumerator - kScaleOffset;
    return kScaleNumerator * windowHeight / creationHeight - kScaleOffset;
}

int timelineLevelY(double v, int scale, int panelHeight) {
    // An infinite row (v at -1 or infinite) is held outside the chart on its side.
    return clampRow(panelHeight - scale * std::log10(v + 1.0), panelHeight);
}

int timelineKeyY(double k, int scale, int panelHeight) {
    const double y = scale + kKeyTop - scale * k;
    if (std::isnan(y)) return scale + kKeyTop; // not a state: drawn as key-up
    return clampRow(y, panelHeight);
}

TimelineChart::TimelineChart() : m_image(1, 1, QImage::Format_RGB32) {
    m_image.fill(kWhite);
}

void TimelineChart::resize(QSize panelSize) {
    const QSize size = panelSize.expandedTo(QSize(1, 1));
    if (size != m_image.size()) m_image = QImage(size, QImage::Format_RGB32);
    m_image.fill(kWhite);
    m_hasCarry = false;
}

void TimelineChart::drawPass(const PassResult& pass) {
    Trace& e = m_values[kStepTrace];
    Trace& l = m_values[kThresholdTrace];
    Trace& n = m_values[kNoiseTrace];
    Trace& k = m_values[kKeyTrace];
    const int first = m_hasCarry ? 2 : 1;
    for (int i = first; i <= kTimelineEntries; ++i) {
        // Step levels below 1 and thresholds whose integer part is below 1 are drawn as 1.
        e[i] = std::max(pass.timelineE[i], 1);
        const float threshold = pass.timelineL[i];
        l[i] = std::trunc(threshold) < 1.0f || std::isnan(threshold) ? 1.0 : threshold;
        n[i] = pass.timelineN[i];
        k[i] = pass.timelineK[i];
    }

    // Move the picture left by one pass and blank the columns the new steps take.
    const int width = m_image.width();
    const int shift = std::min(kStepsPerPass, width);
    const size_t keptBytes = static_cast<size_t>(width - shift) * sizeof(QRgb);
    for (int y = 0; y < m_image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        std::memmove(row, row + shift, keptBytes);
        std::fill(row + (width - shift), row + width, kWhite);
    }

    QPainter p(&m_image);
    for (int t = 0; t < kTimelineTraces; ++t)
        drawTrace(p, t, kTraceColours[t], t == kKeyTrace);
    for (Trace& trace : m_values)
        trace[1] = trace[kTimelineEntries];
    m_hasCarry = true;
}

void TimelineChart::drawTrace(QPainter& p, int index, QRgb colour, bool keyTrace) {
    const Trace& v = m_values[index];
    const int wp = m_image.width();
    const int hp = m_image.height();
    auto row = [&](double value) {
        return keyTrace ? timelineKeyY(value, m_scale, hp) : timelineLevelY(value, m_scale, hp);
    };
    p.setPen(QPen(QColor(colour), 1));
    for (int i = 1; i <= kStepsPerPass; ++i) {
        const int c = kTimelineEntries + 1 - i; // 65 down to 2: segments end at x = Wp - 1
        p.drawLine(wp - c, row(v[i]), wp - c + 1, row(v[i + 1]));
    }
}

} // namespace dita
