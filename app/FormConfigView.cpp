#include "app/FormConfigView.h"

#include "app/FormInstruments.h"
#include "app/SetupWindows.h"
#include "app/SpectrumArea.h"
#include "app/TransmitSpeedPanel.h"
#include "log/StationPanel.h"
#include "receive/ReceiveEngine.h"
#include "transmit/KeyingPort.h"
#include "transmit/TransmitControls.h"
#include "transmit/control/TransmitPanel.h"

#include <QAction>

#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>

namespace dita {

namespace {
QString fromLatin1(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

OperatingSettings& TDecoderForm::ConfigView::settings() {
    return m_form.m_settings;
}
WindowSettings& TDecoderForm::ConfigView::windowSettings() {
    return m_form.m_windowSettings;
}
bool TDecoderForm::ConfigView::choose(SettingId setting, int32_t value) {
    return m_form.choose(setting, value);
}
void TDecoderForm::ConfigView::setConfigLoading(bool loading) {
    m_form.m_configLoading = loading;
}
void TDecoderForm::ConfigView::checkPortNumber() {
    m_form.checkPortNumber();
}
void TDecoderForm::ConfigView::signalBarChanged() {
    m_form.m_instruments->showSignal(m_form.m_windowSettings.SignalBar);
}
void TDecoderForm::ConfigView::applyXmitSpeed(int wpm) {
    m_form.m_speedPanel->applyStoredSpeed(wpm);
}

void TDecoderForm::ConfigView::timelinePlacementChanged() {
    m_form.m_setup->timelinePlacementLoaded();
}
void TDecoderForm::ConfigView::showTimeline(bool shown) {
    m_form.m_setup->setTimelineShown(shown);
}
void TDecoderForm::ConfigView::mainWindowPlacementChanged() {
    const WindowSettings& ws = m_form.m_windowSettings;
    m_form.move(ws.MainLeft, ws.MainTop);
    m_form.windowPlaced();
}
void TDecoderForm::ConfigView::coarseGainBarPositionChanged() {
    // The loader runs the change handler itself; the position is kept within the bar's range.
    int32_t& position = m_form.m_windowSettings.CoarseGainBar;
    position = m_form.m_spectrum->loadGainBarPosition(position);
}
void TDecoderForm::ConfigView::coarseGainBarChange() {
    m_form.m_spectrum->applyGainBar();
}
void TDecoderForm::ConfigView::setComPortSpin(int port) {
    m_form.m_setup->comPortLoaded(port);
}
void TDecoderForm::ConfigView::applyAfcStart(int hz) {
    // Reception starts at the stored AFC start frequency, the receiver's CW pitch.
    m_form.m_setup->afcStartLoaded(hz);
    const int bin = binForToneHz(hz);
    m_form.m_settings.TunedBin = bin;
    m_form.post(ReceiveCommand::setTunedBin(bin));
    m_form.m_spectrum->setMarkerHz(hz); // until the next pass shows the tuned frequency
}
void TDecoderForm::ConfigView::contactCounterChanged() {
    int32_t& counter = m_form.m_windowSettings.ContactCounter;
    counter = std::clamp(counter, kContactCounterMin, kContactCounterMax);
    m_form.m_transmitPanel->setContactCounter(counter);
}
void TDecoderForm::ConfigView::timingWeightsChanged() {
    m_form.m_setup->timingWeightsLoaded();
    m_form.keyWithTimingWeights();
}

void TDecoderForm::ConfigView::stationTextChanged(ConfigTextField field) {
    const WindowSettings& ws = m_form.m_windowSettings;
    switch (field) {
    case ConfigTextField::MyName:
        m_form.m_setup->setMyName(fromLatin1(ws.MyName));
        break;
    case ConfigTextField::MyQth:
        m_form.m_setup->setMyQth(fromLatin1(ws.MyQth));
        break;
    case ConfigTextField::MyCall:
        m_form.StationPnl->setMyCall(fromLatin1(ws.MyCall));
        break;
    case ConfigTextField::Qth:
        m_form.m_setup->setQth(fromLatin1(ws.Qth));
        break;
    }
}

void TDecoderForm::ConfigView::pttLinesChanged() {
    m_form.m_keying.port().setPtt(pttLines(m_form.m_settings));
    m_form.m_setup->pttLinesLoaded();
}
void TDecoderForm::ConfigView::bandChanged() {
    m_form.StationPnl->setBandIndex(m_form.m_windowSettings.Band); // reports the band it selects
}
void TDecoderForm::ConfigView::setUnlistedSidetone(float hz) {
    m_form.setUnlistedSidetone(hz);
}
void TDecoderForm::ConfigView::setUnlistedCarrierTime(int seconds) {
    m_form.setUnlistedCarrierTime(seconds);
}
void TDecoderForm::ConfigView::selectSoundCardOutput() {
    m_form.selectSoundCardOutput();
}
void TDecoderForm::ConfigView::setLoopStopped() {
    m_form.m_session->flags().markStopped();
}
bool TDecoderForm::ConfigView::firstStart() {
    return m_form.m_FirstStart;
}

} // namespace dita
