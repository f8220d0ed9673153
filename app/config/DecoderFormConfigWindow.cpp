#include "app/config/DecoderFormConfigWindow.h"

#include "app/DecoderForm.h"
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
QString fromLatin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string toLatin1(const QString& s) { return s.toLatin1().toStdString(); }
} // namespace

OperatingSettings& DecoderFormConfigWindow::settings() { return m_form.settings(); }
bool DecoderFormConfigWindow::choose(SettingId setting, int32_t value) { return m_form.choose(setting, value); }
void DecoderFormConfigWindow::setConfigLoading(bool loading) { m_form.setConfigLoading(loading); }
void DecoderFormConfigWindow::checkPortNumber() { m_form.checkPortNumber(); }
double DecoderFormConfigWindow::signalBarValue() { return m_form.SignalBar->Value(); }
void DecoderFormConfigWindow::setSignalBarValue(double value) { m_form.SignalBar->SetValue(value); }
int DecoderFormConfigWindow::xmitSpeed() { return m_form.XmitSpdUpDn2->value(); }
void DecoderFormConfigWindow::applyXmitSpeed(int wpm) { m_form.applyXmitSpeed(wpm); }
std::string DecoderFormConfigWindow::macro(int slot) { return m_form.macroSources()[slot]; }
void DecoderFormConfigWindow::setMacro(int slot, const std::string& latin1) { m_form.macroSources()[slot] = latin1; }

std::array<int, 4> DecoderFormConfigWindow::timelinePlacement() {
    const WindowPlacement p = m_form.timeLineForm()->placement();
    return {p.top, p.left, p.height, p.width};
}
void DecoderFormConfigWindow::setTimelinePlacement(int index, int value) {
    WindowPlacement p = m_form.timeLineForm()->placement();
    int* fields[] = {&p.top, &p.left, &p.height, &p.width};
    *fields[index] = value;
    m_form.timeLineForm()->setStoredPlacement(p);
}
void DecoderFormConfigWindow::showTimeline(bool shown) {
    if (shown) m_form.timeLineForm()->showFromSettings();
    else m_form.timeLineForm()->hide();
}
int DecoderFormConfigWindow::mainWindowTop() { return m_form.y(); }
int DecoderFormConfigWindow::mainWindowLeft() { return m_form.x(); }
void DecoderFormConfigWindow::setMainWindowTop(int top) { m_form.move(m_form.x(), top); }
void DecoderFormConfigWindow::setMainWindowLeft(int left) { m_form.move(left, m_form.y()); }
int DecoderFormConfigWindow::coarseGainBarPosition() { return m_form.CoarseGainBar->value(); }
void DecoderFormConfigWindow::setCoarseGainBarPosition(int position) {
    const QSignalBlocker quiet(m_form.CoarseGainBar);  // the loader calls the change handler itself
    m_form.CoarseGainBar->setValue(position);
}
void DecoderFormConfigWindow::coarseGainBarChange() { m_form.spectrumPanel()->CoarseGainBarChange(); }
int DecoderFormConfigWindow::portInUse() { return m_form.ComPortSelectForm->portInUse; }
void DecoderFormConfigWindow::setPortInUse(int port) { m_form.ComPortSelectForm->portInUse = port; }
void DecoderFormConfigWindow::setPortChosen(bool chosen) { m_form.ComPortSelectForm->portChosen = chosen; }
void DecoderFormConfigWindow::setComPortSpin(int port) { m_form.ComPortSelectForm->loadValue(port); }
void DecoderFormConfigWindow::applyAfcStart(int hz) {
    m_form.AFCStartFreqForm->loadValue(hz);
    m_form.settings().TunedBin = kAfcStartBin;
    m_form.postReceiveCommand(ReceiveCommandKind::SetTunedBin, kAfcStartBin);
    m_form.spectrumPanel()->setMarkerHz(hz);  // until the next pass shows the tuned frequency
}
int DecoderFormConfigWindow::contactCounter() { return m_form.transmitPanel().contactCounter(); }
void DecoderFormConfigWindow::setContactCounter(int value) { m_form.transmitPanel().setContactCounter(value); }
void DecoderFormConfigWindow::setTimingWeightControls(const std::array<float, 4>& weights) {
    m_form.CharTimingForm->loadValues(weights);
    m_form.speedControls().setTimingWeights({weights[0], weights[1], weights[2], weights[3]});
}

std::string DecoderFormConfigWindow::text(ConfigTextField field) {
    switch (field) {
    case ConfigTextField::MyName: return toLatin1(m_form.XmitMacrosForm->MyNameMemo->text());
    case ConfigTextField::MyQth: return toLatin1(m_form.XmitMacrosForm->MyQTHMemo->text());
    case ConfigTextField::MyCall: return toLatin1(m_form.MyCallMemo->text());
    case ConfigTextField::Qth: return toLatin1(m_form.XmitMacrosForm->QTHMemo->text());
    }
    return {};
}
void DecoderFormConfigWindow::setText(ConfigTextField field, const std::string& latin1) {
    const QString t = fromLatin1(latin1);
    switch (field) {
    case ConfigTextField::MyName: m_form.XmitMacrosForm->MyNameMemo->setText(t); break;
    case ConfigTextField::MyQth: m_form.XmitMacrosForm->MyQTHMemo->setText(t); break;
    case ConfigTextField::MyCall: m_form.MyCallMemo->setText(t); break;
    case ConfigTextField::Qth: m_form.XmitMacrosForm->QTHMemo->setText(t); break;
    }
}

// Record order: enable, invert, DTR data, DTR PTT, RTS data, RTS PTT.
std::array<uint8_t, 6> DecoderFormConfigWindow::pttBoxes() {
    const PttSettings p = m_form.keyingPort().ptt();
    return {p.PttEnable, p.PttInvert, p.DtrIsData, p.DtrIsPtt, p.RtsIsData, p.RtsIsPtt};
}
void DecoderFormConfigWindow::setPttBox(int index, bool checked) {
    PttSettings p = m_form.keyingPort().ptt();
    bool* fields[] = {&p.PttEnable, &p.PttInvert, &p.DtrIsData, &p.DtrIsPtt, &p.RtsIsData, &p.RtsIsPtt};
    *fields[index] = checked;
    m_form.keyingPort().setPtt(p);
    OperatingSettings& s = m_form.settings();
    s.PttEnable = p.PttEnable;
    s.PttInvert = p.PttInvert;
    s.DtrIsData = p.DtrIsData;
    s.DtrIsPtt = p.DtrIsPtt;
    s.RtsIsData = p.RtsIsData;
    s.RtsIsPtt = p.RtsIsPtt;
    m_form.PTTForm->refreshFromSettings();
}
int DecoderFormConfigWindow::band() { return m_form.StationPnl->bandIndex(); }
void DecoderFormConfigWindow::setBand(int band) { m_form.StationPnl->setBandIndex(band); }
void DecoderFormConfigWindow::setUnlistedSidetone(float hz) { m_form.setUnlistedSidetone(hz); }
void DecoderFormConfigWindow::setUnlistedCarrierTime(int seconds) { m_form.setUnlistedCarrierTime(seconds); }
void DecoderFormConfigWindow::selectSoundCardOutput() { m_form.selectSoundCardOutput(); }
void DecoderFormConfigWindow::setLoopStopped() { m_form.flags().LoopStopped = true; }
bool DecoderFormConfigWindow::firstStart() { return m_form.FirstStart(); }

} // namespace dita
