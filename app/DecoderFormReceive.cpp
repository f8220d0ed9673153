// The receive display: what each pass shows, the receive text, the lamps and clocks.
#include "app/DecoderForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextCursor>

#include "app/BandView.h"
#include "app/FormInstruments.h"
#include "app/ReceivePanel.h"
#include "app/SetupWindows.h"
#include "app/SpectrumArea.h"
#include "app/TransmitSpeedPanel.h"
#include "gaugekit/GkBar.h"
#include "gaugekit/GkLED.h"
#include "log/StationPanel.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

// ====================================================================== per pass

void TDecoderForm::SystemTimer2Timer() {
    m_clockTexts = makeClockTexts(std::time(nullptr));
    const ClockTexts& t = m_clockTexts;
    m_instruments->showClock(t.utcTime, t.utcDate);
    StationPnl->setClockTexts(t.utcDate, t.utcTime, t.LogDateText, t.LogTimeText);
    m_setup->setClockTexts(t.utcTime, t.localTime);
}

void TDecoderForm::insertReceiveText(const std::string& utf8) {
    if (utf8.empty()) return;
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    // Writing replaces the current selection; the caret then follows the text.
    m_receive->insertText(text, m_settings.Scrolling == setting::Switch3::On);
}

void TDecoderForm::showPass(const PassResult& r, bool outputStalled) {
    ++m_passesShown;
    m_spectrum->showPass(r);
    // A pass during which the watchdog reported a stall is not drawn on the timeline.
    if (!outputStalled) m_setup->showPass(r);
    if (r.rawSnrShown && m_settings.ScreenOpMode == setting::ScreenOpMode::ReceiveOnly)
        m_receive->showRawSnr(r.displayedSnr);
    insertReceiveText(r.text);
    m_receiveWpm = r.receiveWpm;
    SystemTimer2Timer();
    m_instruments->showPass(r.signalBarValue, r.signalBarColor, r.receiveWpm);
    m_settings.TunedBin = r.tunedBin;
}

void TDecoderForm::showLeds(bool rcvOn, bool xmitOn) {
    m_instruments->showLeds(rcvOn, xmitOn);
}

double TDecoderForm::signalBarValue() const {
    return m_instruments->signalValue();
}

uint32_t TDecoderForm::signalBarColor() const {
    return m_instruments->signalColour();
}

bool TDecoderForm::rcvLedOn() const {
    return m_instruments->rcvLedOn();
}

bool TDecoderForm::xmitLedOn() const {
    return m_instruments->xmitLedOn();
}

FormReadout TDecoderForm::readout() const {
    FormReadout r;
    r.receiveText = m_receive->text();
    r.transmitText = QString::fromStdString(m_transmitPanel->transmitText());
    r.receiveWpm = m_instruments->receiveWpmText();
    r.rawSnr = m_receive->rawSnrText();
    r.marker = m_spectrum->markerLines();
    r.utcTime = m_instruments->utcTimeText();
    r.utcDate = m_instruments->utcDateText();
    r.xmitSpeed = m_speedPanel->spinValue();
    r.xmitSpeedPanel = m_speedPanel->panelText();
    return r;
}

QPixmap TDecoderForm::bandWindowPicture() const {
    return m_band->picture();
}

} // namespace dita
