#pragma once
// The band map strip of the Band window when the input is a whole band's I/Q: the span across
// the width with a kHz scale, a tick at each signal (grey once it stopped), the call read from
// it above the tick, and a red line where the main decoder listens. A click tunes to the signal
// nearest the pointer.
//
// Who calls it: the Band window, on the window thread.
#include <QWidget>

#include <string>
#include <vector>

namespace dita {

struct BandMapSignal {
    double freqHz = 0.0;
    std::string call; // empty until one is read
    bool stopped = false;
};

class BandMap : public QWidget {
    Q_OBJECT
public:
    explicit BandMap(QWidget* parent = nullptr);

    void setSpan(double lowHz, double highHz);
    void setSignals(std::vector<BandMapSignal> bandSignals, double tunedHz);

    // Where a frequency is drawn, and back (for clicks).
    double xOf(double hz) const;
    double hzAt(double x) const;

signals:
    void tuneRequested(double radioHz);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    double m_lowHz = 0.0, m_highHz = 1.0;
    std::vector<BandMapSignal> m_signals;
    double m_tunedHz = 0.0;
};

} // namespace dita
