#include "display/BandMap.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace dita {

namespace {
constexpr int kMargin = 6; // pixels left and right of the span
constexpr int kLanes = 3;  // rows of call labels, so that close calls do not overlap
constexpr int kLaneHeight = 14;
constexpr int kScaleHeight = 16; // the kHz scale under the labels
constexpr int kTickHeight = 6;
constexpr int kLabelGap = 4; // pixels between two labels in one lane
constexpr double kHzPerKHz = 1000.0;
// Scale steps tried in turn until the labels have room.
constexpr std::array<double, 6> kScaleStepsKHz = {1.0, 2.0, 5.0, 10.0, 20.0, 50.0};
constexpr int kMinScaleLabelGap = 60;
const QColor kStoppedColour(128, 128, 128);
const QColor kTunedColour(220, 0, 0);
} // namespace

BandMap::BandMap(QWidget* parent) : QWidget(parent) {
    setObjectName("BandMap");
    setFixedHeight(kLanes * kLaneHeight + kScaleHeight + kTickHeight);
    setToolTip("Click a call to tune the decoder to it");
}

void BandMap::setSpan(double lowHz, double highHz) {
    m_lowHz = lowHz;
    m_highHz = std::max(highHz, lowHz + 1.0);
    update();
}

void BandMap::setSignals(std::vector<BandMapSignal> bandSignals, double tunedHz) {
    m_signals = std::move(bandSignals);
    std::sort(m_signals.begin(), m_signals.end(),
              [](const BandMapSignal& a, const BandMapSignal& b) { return a.freqHz < b.freqHz; });
    m_tunedHz = tunedHz;
    update();
}

double BandMap::xOf(double hz) const {
    const double w = std::max(1, width() - 2 * kMargin);
    return kMargin + (hz - m_lowHz) / (m_highHz - m_lowHz) * w;
}

double BandMap::hzAt(double x) const {
    const double w = std::max(1, width() - 2 * kMargin);
    return m_lowHz + (x - kMargin) / w * (m_highHz - m_lowHz);
}

void BandMap::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QFontMetrics metrics(font());
    const int scaleTop = kLanes * kLaneHeight + kTickHeight;
    // The kHz scale: the smallest step whose labels have room.
    const double spanKHz = (m_highHz - m_lowHz) / kHzPerKHz;
    double stepKHz = kScaleStepsKHz.back();
    for (const double step : kScaleStepsKHz) {
        if (width() / (spanKHz / step) >= kMinScaleLabelGap) {
            stepKHz = step;
            break;
        }
    }
    p.setPen(palette().text().color());
    p.drawLine(kMargin, scaleTop, width() - kMargin, scaleTop);
    for (double k = std::ceil(m_lowHz / kHzPerKHz / stepKHz) * stepKHz; k <= m_highHz / kHzPerKHz;
         k += stepKHz) {
        const int x = static_cast<int>(std::lround(xOf(k * kHzPerKHz)));
        p.drawLine(x, scaleTop, x, scaleTop + 3);
        const QString label = QString::number(k, 'f', stepKHz < 1.0 ? 1 : 0);
        const int w = metrics.horizontalAdvance(label);
        p.drawText(std::clamp(x - w / 2, 0, width() - w), scaleTop + kScaleHeight - 3, label);
    }
    // Signals: a tick at each, and its call in the first lane where it fits.
    std::array<int, kLanes> laneEnd;
    laneEnd.fill(-1000);
    for (const BandMapSignal& s : m_signals) {
        const int x = static_cast<int>(std::lround(xOf(s.freqHz)));
        const QColor colour = s.stopped ? kStoppedColour : palette().text().color();
        p.setPen(colour);
        p.drawLine(x, scaleTop - kTickHeight, x, scaleTop);
        if (s.call.empty()) continue;
        const QString call = QString::fromStdString(s.call);
        const int w = metrics.horizontalAdvance(call);
        const int left = std::clamp(x - w / 2, 0, std::max(0, width() - w));
        for (int lane = kLanes - 1; lane >= 0; --lane) {
            if (left < laneEnd[static_cast<size_t>(lane)] + kLabelGap) continue;
            laneEnd[static_cast<size_t>(lane)] = left + w;
            p.drawText(left, (lane + 1) * kLaneHeight - 3, call);
            break;
        }
    }
    if (m_tunedHz >= m_lowHz && m_tunedHz <= m_highHz) {
        p.setPen(QPen(kTunedColour, 2));
        const int x = static_cast<int>(std::lround(xOf(m_tunedHz)));
        p.drawLine(x, 0, x, scaleTop);
    }
}

void BandMap::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_signals.empty()) return;
    const double hz = hzAt(event->position().x());
    const auto nearest = std::min_element(
        m_signals.begin(), m_signals.end(), [hz](const BandMapSignal& a, const BandMapSignal& b) {
            return std::abs(a.freqHz - hz) < std::abs(b.freqHz - hz);
        });
    emit tuneRequested(nearest->freqHz);
}

} // namespace dita
