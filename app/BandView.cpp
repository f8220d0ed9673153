#include "app/BandView.h"

#include <QTimer>

#include <cmath>

#include "app/BandWorker.h"
#include "app/IqBand.h"
#include "common/CallQueue.h"
#include "common/SettingsFile.h"
#include "display/BandWindow.h"
#include "receive/ReceiveEngine.h"
#include "receive/ReceiveRates.h"

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

BandView::BandView(QWidget* owner, CallQueue& calls, BandViewServices services)
    : QObject(owner), m_calls(calls), m_services(std::move(services)) {
    m_bandWindow = new BandWindow(owner);
    // A row click tunes exactly as a click on the spectrum does.
    connect(m_bandWindow, &BandWindow::tuneRequested, this,
            [this](int bin) { m_services.tune(bin); });
    connect(m_bandWindow, &BandWindow::shownChanged, this, [this](bool shown) {
        if (shown) m_shown = true;
        if (m_services.bandWorker) m_services.bandWorker->setEnabled(shown);
        if (!shown) m_services.markSpectrum({});
        // Closing the window is remembered at once; the quit saves its last placement.
        if (!m_services.quitting()) savePlacement();
    });
    if (m_services.bandWorker) {
        m_services.bandWorker->setPassDone([this](const BandPassResult& r, long dropped) {
            m_calls.post([this, r, dropped] {
                if (!m_bandWindow->isVisible()) return;
                m_bandWindow->showPass(r, dropped);
                std::vector<int> marks;
                marks.reserve(static_cast<size_t>(r.channelCount));
                for (int i = 0; i < r.channelCount; ++i) {
                    marks.push_back(static_cast<int>(std::lround(
                                        r.channels[static_cast<size_t>(i)].pitchHz / kBinHz)) +
                                    1);
                }
                m_services.markSpectrum(marks);
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

void BandView::connectIqBand() {
    IqBand& band = *m_services.iqBand;
    // A click on a signal puts it at the I/Q receiver's pitch, and the main decoder there.
    const int pitchBin = BandWindow::binForHz(band.pitchHz());
    connect(m_bandWindow, &BandWindow::radioTuneRequested, this, [this, pitchBin](double hz) {
        m_services.iqBand->tune(hz);
        m_services.tune(pitchBin);
    });
    const IqBandSource& source = band.source();
    m_bandWindow->setIqSpan(source.centerHz - source.rateHz / 2,
                            source.centerHz + source.rateHz / 2);
    band.setBandListener([this](const SkimResult& r) {
        m_calls.post([this, r] {
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
            m_services.markSpectrum(marks);
        });
    });
    QTimer::singleShot(0, m_bandWindow, [this] { m_bandWindow->show(); });
}

void BandView::savePlacement() {
    // A window never opened in this run has no placement of its own: what the file holds
    // stays, and a quit writes nothing for it.
    if (!m_services.settingsFile || !m_shown) return;
    SettingsFile& f = *m_services.settingsFile;
    f.setFlag(kBandOpenKey, m_bandWindow->isVisible());
    f.setNumber(kBandXKey, m_bandWindow->x());
    f.setNumber(kBandYKey, m_bandWindow->y());
    f.setNumber(kBandWidthKey, m_bandWindow->width());
    f.setNumber(kBandHeightKey, m_bandWindow->height());
    const std::string problem = f.save();
    if (!problem.empty()) m_services.notice(problem);
}

void BandView::show() {
    m_bandWindow->show();
    m_bandWindow->raise();
    m_bandWindow->activateWindow();
}

QPixmap BandView::picture() const {
    return m_bandWindow->isVisible() ? m_bandWindow->grab() : QPixmap();
}

} // namespace dita
