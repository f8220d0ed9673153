#pragma once
// InstrumentPanel: the main window's row of instruments under the spectrum (Panel3 on the form):
// the signal bar, the receive speed, the UTC time and date, the receive and transmit lamps, the
// local clock and the two clear buttons. Its controls are its own; the window drives it through
// the calls below and hears its buttons through its signals.
//
// Who calls it: the main window, on the window thread (every pass, every clock tick, every lamp
// change reported by the run loop).
#include <gaugekit/gaugekit.h>

#include "common/WidgetColours.h"

#include <QFrame>

#include <cstdint>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace dita {

// The bar's face: 93 x 22 pixels, of which a lowered black-edged area shows the bar.
constexpr int kSignalBarWidth = 93;
constexpr int kSignalBarHeight = 22;
// The lamps' controls as the form sizes them; each shows a 30 x 20 rectangle and no caption
// (the window writes "Receive" and "Transmit" above them).
constexpr int kRcvLEDWidth = 40;
constexpr int kRcvLEDHeight = 20;
constexpr int kXmitLEDWidth = 42;
constexpr int kXmitLEDHeight = 23;

class InstrumentPanel : public QFrame {
    Q_OBJECT
public:
    explicit InstrumentPanel(QWidget* parent);

    // One pass: the signal bar's value (not finite: 0) and colour, the receive speed.
    void showPass(double signalValue, uint32_t signalColour, int receiveWpm);
    // A stored reading of the signal bar (the configuration load).
    void showSignal(double value);
    void showLeds(bool rcvOn, bool xmitOn);
    void showClock(const std::string& utcTime, const std::string& utcDate);
    // The decoder reset's caption: in full in receive-only mode, short beside the transmit side.
    void setReceiveOnly(bool receiveOnly);
    // The colour scheme of the labels and read-outs.
    void setColours(const QColor& back, const QColor& text);

    // What it shows.
    double signalValue() const;
    uint32_t signalColour() const;
    bool rcvLedOn() const;
    bool xmitLedOn() const;
    QString receiveWpmText() const;
    QString utcTimeText() const;
    QString utcDateText() const;

signals:
    // The signal bar's reading changed (every step it takes).
    void signalChanged(double value);
    void decoderResetClicked(); // "Clear" / "Clear Decode": reset stuck decoding
    void clearReceiveClicked(); // "Clear Rcv"

private:
    QLabel* Label3;
    TGkBar* SignalBar;
    QLabel* Label12;
    QLabel* RcvWPMPnl;
    QLabel* Label13;
    QLabel* UTCPnl;
    QLabel* Label14;
    QLabel* UTCDatePnl;
    QLabel* RcvLEDLabel;
    TGkLED* RcvLED;
    QLabel* XmitLEDLabel;
    TGkLED* XmitLED;
    QLabel* Label15;
    TGkClock* LocalClock;
    QPushButton* ClearButton;
    QPushButton* ClrRcvBtn;
};

} // namespace dita
