// The receive display: what each pass shows, the receive text, the lamps and clocks, and the
// band window with its placement.
#include "app/DecoderForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextCursor>
#include <QTimer>

#include <cmath>

#include "app/BandWorker.h"
#include "app/FormInstruments.h"
#include "app/IqBand.h"
#include "app/ReceivePanel.h"
#include "app/TransmitSpeedPanel.h"
#include "common/CallQueue.h"
#include "common/SettingsFile.h"
#include "display/BandWindow.h"
#include "display/DisplayPanel.h"
#include "display/TimeLineForm.h"
#include "gaugekit/GkBar.h"
#include "gaugekit/GkLED.h"
#include "log/StationPanel.h"
#include "macros/MacroWindows.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

namespace {
constexpr const char* kBandOpenKey = "band.open";
constexpr const char* kBandXKey = "band.x";
constexpr const char* kBandYKey = "band.y";
constexpr const char* kBandWidthKey = "band.width";
constexpr const char* kBandHeightKey = "band.height";
// Minutes a signal that stopped stays listed (greyed) in the Band window; an operator sets it
// in DITA.conf.
constexpr const char* kBandHoldKey = "band.hold_minutes";
constexpr int32_t kDefaultBandHoldMinutes = 10;
constexpr int32_t kMaxBandHoldMinutes = 24 * 60;
constexpr double kSecondsPerMinute = 60.0;
constexpr int32_t kMaxPlacement = 100000;
constexpr int32_t kMinBandSize = 120;
} // namespace

void TDecoderForm::createBandWindow() {
    m_bandWindow = new BandWindow(this);
    // A row click tunes exactly as a click on the spectrum does.
    connect(m_bandWindow, &BandWindow::tuneRequested, this,
            [this](int bin) { post(ReceiveCommand::tuneToBin(bin)); });
    connect(m_bandWindow, &BandWindow::shownChanged, this, [this](bool shown) {
        if (shown) m_bandWindowShown = true;
        if (m_services.bandWorker) m_services.bandWorker->setEnabled(shown);
        if (!shown) m_spectrumPanel->spectrumBox()->setBandMarks({});
        // Closing the window is remembered at once; the quit saves its last placement.
        if (!m_quitting) saveBandPlacement();
    });
    if (m_services.bandWorker) {
        m_services.bandWorker->setPassDone([this](const BandPassResult& r, long dropped) {
            m_calls->post([this, r, dropped] {
                if (!m_bandWindow->isVisible()) return;
                m_bandWindow->showPass(r, dropped);
                std::vector<int> marks;
                marks.reserve(static_cast<size_t>(r.channelCount));
                for (int i = 0; i < r.channelCount; ++i) {
                    marks.push_back(static_cast<int>(std::lround(
                                        r.channels[static_cast<size_t>(i)].pitchHz / kBinHz)) +
                                    1);
                }
                m_spectrumPanel->spectrumBox()->setBandMarks(marks);
            });
        });
    }
    if (m_services.iqBand) connectIqBand();
    if (!m_services.settingsFile) return;
    const SettingsFile& f = *m_services.settingsFile;
    m_bandWindow->setHoldSeconds(kSecondsPerMinute * f.number(kBandHoldKey, kDefaultBandHoldMinutes,
                                                              0, kMaxBandHoldMinutes));
    const int32_t w = f.number(kBandWidthKey, 0, kMinBandSize, kMaxPlacement);
    const int32_t h = f.number(kBandHeightKey, 0, kMinBandSize, kMaxPlacement);
    if (w > 0 && h > 0) m_bandWindow->resize(w, h);
    if (f.value(kBandXKey) && f.value(kBandYKey)) {
        m_bandWindow->move(f.number(kBandXKey, 0, -kMaxPlacement, kMaxPlacement),
                           f.number(kBandYKey, 0, -kMaxPlacement, kMaxPlacement));
    }
    if (f.flag(kBandOpenKey, false))
        QTimer::singleShot(0, m_bandWindow, [this] { m_bandWindow->show(); });
}

void TDecoderForm::connectIqBand() {
    IqBand& band = *m_services.iqBand;
    // A click on a signal puts it at the I/Q receiver's pitch, and the main decoder there.
    const int pitchBin = BandWindow::binForHz(band.pitchHz());
    connect(m_bandWindow, &BandWindow::radioTuneRequested, this, [this, pitchBin](double hz) {
        m_services.iqBand->tune(hz);
        post(ReceiveCommand::tuneToBin(pitchBin));
    });
    const IqBandSource& source = band.source();
    m_bandWindow->setIqSpan(source.centerHz - source.rateHz / 2,
                            source.centerHz + source.rateHz / 2);
    band.setBandListener([this](const SkimResult& r) {
        m_calls->post([this, r] {
            IqBand& b = *m_services.iqBand;
            m_bandWindow->showIq(r, b.tunedHz());
            // The band's signals the receiver's filter passes are marked on the spectrum.
            std::vector<int> marks;
            for (const SkimChannel& c : r.channels) {
                if (std::abs(c.freqHz - b.tunedHz()) > IqChannelMixer::kHalfWidthHz) continue;
                const double audioHz = b.pitchHz() + c.freqHz - b.tunedHz();
                const int bin = static_cast<int>(std::lround(audioHz / kBinHz)) + 1;
                if (bin >= 1 && bin <= kMaxClickBin) marks.push_back(bin);
            }
            m_spectrumPanel->spectrumBox()->setBandMarks(marks);
        });
    });
    QTimer::singleShot(0, m_bandWindow, [this] { m_bandWindow->show(); });
}

void TDecoderForm::saveBandPlacement() {
    // A window never opened in this run has no placement of its own: what the file holds
    // stays, and a quit writes nothing for it.
    if (!m_services.settingsFile || !m_bandWindowShown) return;
    SettingsFile& f = *m_services.settingsFile;
    f.setFlag(kBandOpenKey, m_bandWindow->isVisible());
    f.setNumber(kBandXKey, m_bandWindow->x());
    f.setNumber(kBandYKey, m_bandWindow->y());
    f.setNumber(kBandWidthKey, m_bandWindow->width());
    f.setNumber(kBandHeightKey, m_bandWindow->height());
    const std::string problem = f.save();
    if (!problem.empty()) notice(problem);
}

// ====================================================================== per pass

void TDecoderForm::SystemTimer2Timer() {
    m_clockTexts = makeClockTexts(std::time(nullptr));
    const ClockTexts& t = m_clockTexts;
    m_instruments->showClock(t.utcTime, t.utcDate);
    StationPnl->setClockTexts(t.utcDate, t.utcTime, t.LogDateText, t.LogTimeText);
    XmitMacrosForm->setClockTexts(t.utcTime, t.localTime);
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
    m_spectrumPanel->showPass(r);
    // A pass during which the watchdog reported a stall is not drawn on the timeline.
    if (!outputStalled && TimeLineForm->running()) TimeLineForm->showPass(r);
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
    r.marker = MkrLabel->text();
    r.utcTime = m_instruments->utcTimeText();
    r.utcDate = m_instruments->utcDateText();
    r.xmitSpeed = m_speedPanel->spinValue();
    r.xmitSpeedPanel = m_speedPanel->panelText();
    return r;
}

QPixmap TDecoderForm::bandWindowPicture() const {
    return m_bandWindow->isVisible() ? m_bandWindow->grab() : QPixmap();
}

} // namespace dita
