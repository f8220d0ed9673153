#pragma once
// TimelineChart: the strip chart of the tone detector drawn in the timeline window. Each pass
// moves the picture 64 pixels to the left and draws the pass's 64 steps of four traces at the
// right edge: step level, threshold, noise and key state, in that order.
//
// Owned by TTimeLineForm and used on the window thread only. Nothing is redrawn from history;
// a pass costs one in-place copy of the image and 4 x 64 line segments.
#include "receive/ReceiveEngine.h"

#include <QImage>
#include <QSize>
#include <array>

class QPainter;

namespace dita {

constexpr int kTimelineTraces = 4;
constexpr int kTimelineEntries = kStepsPerPass + 1; // entry 1 repeats the last step before

// Vertical scale from the window height: 36 * height / creationHeight - 10, integer division.
int timelineScale(int windowHeight, int creationHeight);
// Row of a level v (step, threshold or noise): trunc(Hp - s * log10(v + 1)). Rows far
// outside the chart, infinite ones included, are held within one chart height of it so that
// the line to them keeps its direction and the row stays an int; a level that is not a
// number (v below -1 or NaN) lies on the bottom edge.
int timelineLevelY(double v, int scale, int panelHeight);
// Row of a key state k (1 down, 0 up): trunc(s + 5 - s * k), held like the levels.
int timelineKeyY(double k, int scale, int panelHeight);

class TimelineChart {
public:
    TimelineChart();

    // A new panel size: the image is made that size and white; the history is lost.
    void resize(QSize panelSize);
    void setScale(int scale) { m_scale = scale; }
    int scale() const { return m_scale; }

    // One pass: scroll, blank and draw the four traces from entries 1..65 of the pass. Entry 1
    // of each trace is the last value this chart drew (after a clear: the pass's own entry 1),
    // so the line continues even when passes were skipped while the chart was stopped.
    void drawPass(const PassResult& pass);

    const QImage& image() const { return m_image; }

private:
    using Trace = std::array<double, kTimelineEntries + 1>; // index 0 unused

    void drawTrace(QPainter& p, int index, QRgb colour, bool keyTrace);

    QImage m_image;
    int m_scale = 0;
    bool m_hasCarry = false;
    std::array<Trace, kTimelineTraces> m_values{};
};

} // namespace dita
