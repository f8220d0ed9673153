#include "app/SetupWindows.h"

#include "app/SetupDialogs.h"
#include "app/SoundCardDialogs.h"
#include "app/settings/OperatingSettings.h"
#include "app/settings/WindowSettings.h"
#include "display/TimeLineForm.h"
#include "macros/MacroWindows.h"
#include "transmit/KeyingPort.h"
#include "transmit/PttForm.h"

namespace dita {

SetupWindows::SetupWindows(QWidget* owner, OperatingSettings& settings,
                           WindowSettings& windowSettings, KeyingPort& port,
                           SoundCardHost& soundCards, const MessageSink& messages,
                           SetupWindowHooks hooks)
    : QObject(owner), m_owner(owner), m_settings(settings), m_windowSettings(windowSettings),
      m_soundCards(soundCards) {
    AFCStartFreqForm = new TAFCStartFreqForm(owner, settings.AfcStartFreq,
                                             [&settings](int hz) { settings.AfcStartFreq = hz; });
    CharTimingForm = new TCharTimingForm(
        owner, settings.TimingWeights,
        [&settings, changed = hooks.timingWeightsChanged](int index, float weight) {
            settings.TimingWeights.at(static_cast<size_t>(index)) = weight;
            changed();
        });
    ComPortSelectForm =
        new TComPortSelectForm(owner, [&settings, chosen = hooks.comPortChosen](int port) {
            settings.ComPortNumber = port;
            settings.OutputPort = setting::OutputPort::PortNumber;
            chosen(port);
        });
    TransmitMemoryForm = new macros::TTransmitMemoryForm(owner);
    ShowMacroKeysForm =
        new macros::TShowMacroKeysForm(messages, macros::TShowMacroKeysForm::defaultKeyFile, owner);
    XmitMacrosForm = new macros::TXmitMacrosForm(windowSettings.Macros, messages,
                                                 TransmitMemoryForm, ShowMacroKeysForm, owner);
    PTTForm = new TPTTForm(port, messages, owner);
    PTTForm->setLines([&settings] { return pttLines(settings); },
                      [&settings, &port](const PttSettings& lines) {
                          setPttLines(settings, lines);
                          port.setPtt(lines);
                      });
    TimeLineForm = new TTimeLineForm(owner);
    connect(TimeLineForm, &TTimeLineForm::timelineShownChanged, this,
            [&settings](bool shown) { settings.TimelineShown = shown ? 1 : 0; });
}

void SetupWindows::showAfcStart() {
    AFCStartFreqForm->show();
}
void SetupWindows::showCharTiming() {
    CharTimingForm->show();
}
void SetupWindows::showComPortSelection() {
    ComPortSelectForm->show();
}
void SetupWindows::showPttSetup() {
    PTTForm->show();
}
void SetupWindows::showTimeline() {
    TimeLineForm->showFromSettings();
}
void SetupWindows::showMacroEditor() {
    XmitMacrosForm->show();
}
void SetupWindows::showMacroListing() {
    TransmitMemoryForm->showMacros(m_windowSettings.Macros);
}

void SetupWindows::showSoundCardSelection() {
    if (!SoundCardSelect) SoundCardSelect = new TSoundCardSelect(m_soundCards, m_owner);
    SoundCardSelect->show();
}

bool SetupWindows::showNoSoundCard() {
    if (!SndCardErrForm) SndCardErrForm = new TSndCardErrForm(m_soundCards, m_owner);
    SndCardErrForm->show();
    return SndCardErrForm->quitChosen();
}

void SetupWindows::keepWindowSettings() {
    WindowSettings& ws = m_windowSettings;
    const WindowPlacement timeline = TimeLineForm->placement();
    ws.Timeline = {timeline.top, timeline.left, timeline.height, timeline.width};
    connect(TimeLineForm, &TTimeLineForm::placementChanged, this, [&ws](const WindowPlacement& p) {
        ws.Timeline = {p.top, p.left, p.height, p.width};
    });
    auto keep = [](std::string& field) {
        return [&field](const QString& text) { field = text.toLatin1().toStdString(); };
    };
    connect(XmitMacrosForm, &macros::TXmitMacrosForm::myNameChanged, this, keep(ws.MyName));
    connect(XmitMacrosForm, &macros::TXmitMacrosForm::myQthChanged, this, keep(ws.MyQth));
    connect(XmitMacrosForm, &macros::TXmitMacrosForm::qthChanged, this, keep(ws.Qth));
}

void SetupWindows::timelinePlacementLoaded() {
    const std::array<int32_t, 4>& p = m_windowSettings.Timeline;
    TimeLineForm->setStoredPlacement({p[0], p[1], p[2], p[3]}); // reports what it keeps
}

void SetupWindows::setTimelineShown(bool shown) {
    if (shown)
        TimeLineForm->showFromSettings();
    else
        TimeLineForm->hide();
}

void SetupWindows::comPortLoaded(int port) {
    ComPortSelectForm->loadValue(port);
}

void SetupWindows::afcStartLoaded(int hz) {
    AFCStartFreqForm->loadValue(hz);
}

void SetupWindows::timingWeightsLoaded() {
    CharTimingForm->loadValues(m_settings.TimingWeights);
}

void SetupWindows::pttLinesLoaded() {
    PTTForm->refreshFromSettings();
}

void SetupWindows::setMyName(const QString& text) {
    XmitMacrosForm->setMyName(text);
}
void SetupWindows::setMyQth(const QString& text) {
    XmitMacrosForm->setMyQth(text);
}
void SetupWindows::setQth(const QString& text) {
    XmitMacrosForm->setQth(text);
}

void SetupWindows::showPass(const PassResult& pass) {
    if (TimeLineForm->running()) TimeLineForm->showPass(pass);
}

void SetupWindows::setClockTexts(const std::string& utcTime, const std::string& localTime) {
    XmitMacrosForm->setClockTexts(utcTime, localTime);
}

void SetupWindows::fillMacroFields(MacroFields& fields) const {
    XmitMacrosForm->fillMacroFields(fields);
}

} // namespace dita
