#include "app/FormConfigView.h"

#include "app/SetupDialogs.h"
#include "display/DisplayPanel.h"
#include "display/TimeLineForm.h"
#include "gaugekit/GkBar.h"
#include "log/StationPanel.h"
#include "macros/MacroWindows.h"
#include "receive/ReceiveEngine.h"
#include "transmit/KeyingPort.h"
#include "transmit/PttForm.h"
#include "transmit/TransmitControls.h"
#include "transmit/control/TransmitPanel.h"

#include <QAction>
#include <QLineEdit>
#include <QSpinBox>

namespace dita {

namespace {
QString fromLatin1(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string toLatin1(const QString& s) {
    return s.toLatin1().toStdString();
}
} // namespace

OperatingSettings& TDecoderForm::ConfigView::settings() {
    return m_form.m_settings;
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
double TDecoderForm::ConfigView::signalBarValue() {
    return m_form.SignalBar->Value();
}
void TDecoderForm::ConfigView::setSignalBarValue(double value) {
    m_form.SignalBar->SetValue(value);
}
void TDecoderForm::ConfigView::applyXmitSpeed(int wpm) {
    m_form.applyXmitSpeed(wpm);
}
std::string TDecoderForm::ConfigView::macro(int slot) {
    return m_form.m_macroSources[slot];
}
void TDecoderForm::ConfigView::setMacro(int slot, const std::string& latin1) {
    m_form.m_macroSources[slot] = latin1;
}

std::array<int, 4> TDecoderForm::ConfigView::timelinePlacement() {
    const WindowPlacement p = m_form.TimeLineForm->placement();
    return {p.top, p.left, p.height, p.width};
}
void TDecoderForm::ConfigView::setTimelinePlacement(int index, int value) {
    WindowPlacement p = m_form.TimeLineForm->placement();
    int* fields[] = {&p.top, &p.left, &p.height, &p.width};
    *fields[index] = value;
    m_form.TimeLineForm->setStoredPlacement(p);
}
void TDecoderForm::ConfigView::showTimeline(bool shown) {
    if (shown)
        m_form.TimeLineForm->showFromSettings();
    else
        m_form.TimeLineForm->hide();
}
int TDecoderForm::ConfigView::mainWindowTop() {
    return m_form.y();
}
int TDecoderForm::ConfigView::mainWindowLeft() {
    return m_form.x();
}
void TDecoderForm::ConfigView::setMainWindowTop(int top) {
    m_form.move(m_form.x(), top);
}
void TDecoderForm::ConfigView::setMainWindowLeft(int left) {
    m_form.move(left, m_form.y());
}
int TDecoderForm::ConfigView::coarseGainBarPosition() {
    return m_form.CoarseGainBar->value();
}
void TDecoderForm::ConfigView::setCoarseGainBarPosition(int position) {
    const QSignalBlocker quiet(m_form.CoarseGainBar); // the loader calls the change handler itself
    m_form.CoarseGainBar->setValue(position);
}
void TDecoderForm::ConfigView::coarseGainBarChange() {
    m_form.m_spectrumPanel->CoarseGainBarChange();
}
void TDecoderForm::ConfigView::setComPortSpin(int port) {
    m_form.ComPortSelectForm->loadValue(port);
}
void TDecoderForm::ConfigView::applyAfcStart(int hz) {
    // Reception starts at the stored AFC start frequency, the receiver's CW pitch.
    m_form.AFCStartFreqForm->loadValue(hz);
    const int bin = binForToneHz(hz);
    m_form.m_settings.TunedBin = bin;
    m_form.post(ReceiveCommand::setTunedBin(bin));
    m_form.m_spectrumPanel->setMarkerHz(hz); // until the next pass shows the tuned frequency
}
int TDecoderForm::ConfigView::contactCounter() {
    return m_form.m_transmitPanel->contactCounter();
}
void TDecoderForm::ConfigView::setContactCounter(int value) {
    m_form.m_transmitPanel->setContactCounter(value);
}
void TDecoderForm::ConfigView::timingWeightsChanged() {
    m_form.CharTimingForm->loadValues(m_form.m_settings.TimingWeights);
    m_form.keyWithTimingWeights();
}

std::string TDecoderForm::ConfigView::text(ConfigTextField field) {
    switch (field) {
    case ConfigTextField::MyName:
        return toLatin1(m_form.XmitMacrosForm->MyNameMemo->text());
    case ConfigTextField::MyQth:
        return toLatin1(m_form.XmitMacrosForm->MyQTHMemo->text());
    case ConfigTextField::MyCall:
        return toLatin1(m_form.StationPnl->MyCallMemo->text());
    case ConfigTextField::Qth:
        return toLatin1(m_form.XmitMacrosForm->QTHMemo->text());
    }
    return {};
}
void TDecoderForm::ConfigView::setText(ConfigTextField field, const std::string& latin1) {
    const QString t = fromLatin1(latin1);
    switch (field) {
    case ConfigTextField::MyName:
        m_form.XmitMacrosForm->MyNameMemo->setText(t);
        break;
    case ConfigTextField::MyQth:
        m_form.XmitMacrosForm->MyQTHMemo->setText(t);
        break;
    case ConfigTextField::MyCall:
        m_form.StationPnl->MyCallMemo->setText(t);
        break;
    case ConfigTextField::Qth:
        m_form.XmitMacrosForm->QTHMemo->setText(t);
        break;
    }
}

void TDecoderForm::ConfigView::pttLinesChanged() {
    m_form.m_keying.port().setPtt(pttLines(m_form.m_settings));
    m_form.PTTForm->refreshFromSettings();
}
int TDecoderForm::ConfigView::band() {
    return m_form.StationPnl->bandIndex();
}
void TDecoderForm::ConfigView::setBand(int band) {
    m_form.StationPnl->setBandIndex(band);
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
