#pragma once
// The gaugekit instruments of the main window, made as the form describes them: the signal bar
// SignalBar and the lamps RcvLED and XmitLED. The main window places them and drives them
// (SetValue and BarSettings()->SetColor every pass, SetChecked for the lamps).
//
// Who calls it: the main window, once, on the window thread while it builds its controls.
#include <gaugekit/gaugekit.h>

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

TGkBar* createSignalBar(QWidget* parent);
TGkLED* createRcvLED(QWidget* parent);
TGkLED* createXmitLED(QWidget* parent);

} // namespace dita
