// The menus: built from the menu table, each item wired to its command or option handler,
// and the option handlers themselves.
#include "app/DecoderForm.h"

#include "app/DecoderFormLayout.h"

#include <QAction>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

#include "app/FormInstruments.h"
#include "app/ReceivePanel.h"
#include "app/SetupDialogs.h"
#include "app/TransmitSpeedPanel.h"
#include "display/BandWindow.h"
#include "display/DisplayPanel.h"
#include "display/TimeLineForm.h"
#include "log/StationPanel.h"
#include "macros/MacroWindows.h"
#include "station/StationLink.h"
#include "transmit/PttForm.h"
#include "transmit/TransmitControls.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

using namespace form_layout;

void TDecoderForm::check(QAction* own) {
    // The common rule of option groups: the chosen item checked, the rest of its group not.
    for (QAction* a : m_groups.at(menuRow(own->objectName().toStdString()).setting))
        a->setChecked(a == own);
}

std::map<std::string, std::function<void()>> TDecoderForm::commandHandlers() {
    return {
        {"SaveRcv1", [this] { m_receive->saveText(*m_textFiles); }},
        {"SaveTransmit1", [this] { m_transmitPanel->saveText(*m_textFiles); }},
        {"LoadTransmit1", [this] { m_transmitPanel->loadText(*m_textFiles, *m_textTarget); }},
        {"LoadDefault",
         [this] {
             // One slip from Quit would wipe the station's settings and macros: ask first.
             if (m_services.loadDefaults && messages().ask(kLoadDefaultsQuestion, "Load Defaults"))
                 m_services.loadDefaults();
         }},
        {"Quit1", [this] { Quit1Click(); }},
        {"SelectSoundcard", [this] { SelectSoundcardClick(); }},
        {"AFCStartFreq1", [this] { AFCStartFreqForm->show(); }},
        {"Show2", [this] { TimeLineForm->showFromSettings(); }},
        {"BandDecoder1",
         [this] {
             m_bandWindow->show();
             m_bandWindow->raise();
             m_bandWindow->activateWindow();
         }},
        {"SetupPTT", [this] { PTTForm->show(); }},
        {"ShowConfiguration1", [this] { CharTimingForm->show(); }},
        {"ShowMacros", [this] { TransmitMemoryForm->showMacros(m_windowSettings.Macros); }},
        {"Edit1", [this] { XmitMacrosForm->show(); }},
        {"RigControl1", [this] { m_station->showRigControlDialog(this); }},
        {"KeyingListener1", [this] { m_station->showKeyingListenerDialog(this); }},
        {"RigCat1", [this] { m_station->setCatKeying(item("RigCat1")->isChecked()); }},
        {"Help1", [this] { Help1Click(); }},
        {"About1", [this] { About1Click(); }},
    };
}

std::map<SettingId, TDecoderForm::OptionHandler> TDecoderForm::optionHandlers() {
    std::map<SettingId, OptionHandler> handlers = receiveOptionHandlers();
    handlers.merge(windowOptionHandlers());
    handlers.merge(keyingOptionHandlers());
    return handlers;
}

// The options the receiver reads: what it decodes and how it writes the text.
std::map<SettingId, TDecoderForm::OptionHandler> TDecoderForm::receiveOptionHandlers() {
    using C = ReceiveCommand;
    using S = SettingId;
    // Options the engine reads: store the value, tell the engine, check the item.
    auto engineOption = [this](auto& field, auto command) {
        return [this, &field, command](int32_t value, QAction* own) {
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
            post(command(field));
            check(own);
        };
    };
    return {
        {S::InputChannel, [this](int32_t v, QAction* own) { InputChannelClick(v, own); }},
        {S::ThresholdMode, engineOption(m_settings.ThresholdMode, &C::thresholdMode)},
        {S::NoiseFilter, engineOption(m_settings.NoiseFilter, &C::noiseFilter)},
        {S::Decoder, engineOption(m_settings.Decoder, &C::decoder)},
        {S::RxSpeedLock, [this](int32_t v, QAction* own) { ReceiveSpeedClick(v, own); }},
        {S::AfcWidth, [this](int32_t v, QAction* own) { AfcClick(v, own); }},
        {S::AfcTimer, engineOption(m_settings.AfcTimer, &C::afcTimer)},
        {S::TextCase, engineOption(m_settings.TextCase, &C::textCase)},
        {S::SpacesMode, engineOption(m_settings.SpacesMode, &C::spacesMode)},
        {S::SpaceTime,
         [this, spaceTime = engineOption(m_settings.SpaceTime, &C::spaceTime)](int32_t v,
                                                                               QAction* own) {
             spaceTime(v, own);
             focusRule();
         }},
        {S::Prosigns, engineOption(m_settings.Prosigns, &C::prosigns)},
        {S::NonEnglish, engineOption(m_settings.NonEnglish, &C::nonEnglish)},
        {S::TextDisplay, engineOption(m_settings.TextDisplay, &C::textDisplay)},
    };
}

// How the window shows: its screens, colours, fonts and the spectrum.
std::map<SettingId, TDecoderForm::OptionHandler> TDecoderForm::windowOptionHandlers() {
    using S = SettingId;
    return {
        {S::StayOnTop, [this](int32_t v, QAction* own) { StayOnTopClick(v, own); }},
        {S::Messaging,
         [this](int32_t v, QAction* own) {
             m_settings.Messaging = setting::OnOff(v);
             check(own);
         }},
        {S::Background, [this](int32_t v, QAction* own) { BackgroundClick(v, own); }},
        {S::ScreenOpMode, [this](int32_t v, QAction* own) { ScreenOpModeClick(v, own); }},
        {S::TextBold, [this](int32_t v, QAction* own) { TextBoldClick(v, own); }},
        {S::FontSize, [this](int32_t v, QAction* own) { FontSizeClick(v, own); }},
        {S::Scrolling,
         [this](int32_t v, QAction* own) {
             m_settings.Scrolling = setting::Switch3(v);
             check(own);
             focusRule();
         }},
        // The spectrum panel checks these two itself.
        {S::DisplayType,
         [this](int32_t v, QAction*) {
             if (setting::DisplayType(v) == setting::DisplayType::Waterfall)
                 m_spectrumPanel->Waterfall2Click();
             else
                 m_spectrumPanel->Spectrum1Click();
         }},
        {S::TransmitScreen,
         [this](int32_t v, QAction* own) {
             m_transmitPanel->controller().setTransmitScreen(v);
             check(own);
         }},
    };
}

// The keying output and the tone.
std::map<SettingId, TDecoderForm::OptionHandler> TDecoderForm::keyingOptionHandlers() {
    using S = SettingId;
    // The output and tone items run the transmit side's handlers; the menu then shows the
    // checks those handlers hold.
    auto outputOption = [this](std::function<void(int32_t)> run) {
        return [this, run = std::move(run)](int32_t value, QAction*) {
            run(value);
            syncOutputChecks();
            m_transmitPanel->controller().keyingOutputChanged();
        };
    };
    auto toneOption = [this](std::function<void(int32_t)> run) {
        return [this, run = std::move(run)](int32_t value, QAction*) {
            run(value);
            syncToneChecks();
            m_transmitPanel->controller().keyingOutputChanged();
        };
    };
    return {
        {S::OutputDevice, outputOption([this](int32_t v) {
             m_settings.OutputDevice = setting::OutputDevice(v);
             if (m_settings.OutputDevice == setting::OutputDevice::SoundCard) {
                 m_settings.OutputPort = setting::OutputPort::None;
                 m_outputMenu->SoundCard1Click();
             } else {
                 m_settings.OutputPort = setting::OutputPort::PortNumber;
                 m_outputMenu->SerialPort1Click(m_configLoading, m_settings.ComPortNumber);
             }
         })},
        {S::OutputPort, outputOption([this](int32_t v) {
             if (setting::OutputPort(v) == setting::OutputPort::PortNumber) {
                 m_outputMenu->PortNumber1Click();
             } else {
                 m_outputMenu->None1Click();
                 m_settings.OutputPort = setting::OutputPort::None;
             }
         })},
        {S::KeyInvert, outputOption([this](int32_t v) {
             m_settings.KeyInvert = setting::KeyInvert(v);
             if (m_settings.KeyInvert == setting::KeyInvert::Inverted)
                 m_outputMenu->Invert2Click();
             else
                 m_outputMenu->Normal1Click();
         })},
        {S::SidetoneFreq, toneOption([this](int32_t hz) {
             const auto& items = kSidetoneFrequenciesHz;
             const auto* it = std::find(std::begin(items), std::end(items), static_cast<float>(hz));
             m_toneMenu->FreqClick(static_cast<int>(it - std::begin(items)) + 1);
         })},
        {S::SidetoneWaveform, toneOption([this](int32_t v) {
             if (setting::SidetoneWaveform(v) == setting::SidetoneWaveform::Square)
                 m_toneMenu->Squarewave1Click();
             else
                 m_toneMenu->Sinewave1Click();
         })},
        {S::SidetoneOn, toneOption([this](int32_t v) {
             if (setting::OnOff(v) == setting::OnOff::On)
                 m_toneMenu->SideToneOnClick();
             else
                 m_toneMenu->SideToneOFFClick();
         })},
        {S::BeaconCarrierTime,
         toneOption([this](int32_t seconds) { m_toneMenu->beaconCarrierClick(seconds); })},
    };
}

void TDecoderForm::createMenus() {
    menuBar()->setObjectName("MainMenu");
    const auto commands = commandHandlers();
    const auto options = optionHandlers();
    std::map<std::string, QMenu*> menus;
    for (const MenuRow& row : menuRows()) {
        QMenu* parent = row.parent ? menus.at(row.parent) : nullptr;
        if (row.kind == MenuKind::Menu) {
            QMenu* m = parent ? parent->addMenu(row.caption) : menuBar()->addMenu(row.caption);
            m->setObjectName(row.name);
            m->menuAction()->setObjectName(QString(row.name) + "Menu");
            m->menuAction()->setVisible(!row.hidden);
            menus[row.name] = m;
            m_items[row.name] = m->menuAction();
            continue;
        }
        QAction* a = parent->addAction(row.caption);
        a->setObjectName(row.name);
        a->setVisible(!row.hidden);
        m_items[row.name] = a;
        // A row without its handler is a build mistake: it stops the program at once rather
        // than leaving an item that does nothing.
        if (row.kind == MenuKind::Command) {
            const auto run = commands.find(row.name);
            if (run == commands.end())
                throw std::logic_error(std::string("menu command without a handler: ") + row.name);
            connect(a, &QAction::triggered, this, run->second);
            continue;
        }
        const auto handler = options.find(row.setting);
        if (handler == options.end())
            throw std::logic_error(std::string("menu option without a handler: ") + row.name);
        a->setCheckable(true);
        m_groups[row.setting].push_back(a);
        connect(a, &QAction::triggered, this,
                [a, run = handler->second, value = row.value] { run(value, a); });
    }
    // "Locked WPM" carries the check of any locked speed.
    optionMenuItem("LockedWPM")->setCheckable(true);
    // "Rig (CAT)" is on or off by itself (DITA.conf), beside the Output Device choice.
    optionMenuItem("RigCat1")->setCheckable(true);
    m_spectrumPanel->attachModeItems(
        optionItem(SettingId::DisplayType, setting::DisplayType::Line),
        optionItem(SettingId::DisplayType, setting::DisplayType::Waterfall));
}

QAction* TDecoderForm::optionMenuItem(const char* name) const {
    return m_items.at(menuRow(name).name);
}

void TDecoderForm::selectDefaults() {
    // Every group starts with the item of its setting's value checked (no handler runs here).
    for (const auto& [setting, group] : m_groups) {
        (void)group;
        if (const MenuRow* row = optionRow(setting, settingValue(m_settings, setting)))
            check(m_items.at(row->name));
    }
    applyColours();
}

bool TDecoderForm::click(const QString& itemName) {
    QAction* a = item(itemName);
    if (!a->isEnabled()) return false;
    a->trigger();
    return true;
}

bool TDecoderForm::choose(SettingId setting, int32_t value) {
    const MenuRow* row = optionRow(setting, value);
    if (!row) {
        postUnlisted(setting, value);
        return false;
    }
    m_items.at(row->name)->trigger();
    return true;
}

void TDecoderForm::postUnlisted(SettingId setting, int32_t value) {
    // A value no menu item stands for comes only from a settings file (threshold mode 3 has
    // factors of its own): the receive engine gets it as it is, as it gets any choice, rather
    // than going on with the mode it had.
    using C = ReceiveCommand;
    switch (setting) {
    case SettingId::ThresholdMode:
        post(C::thresholdMode(setting::ThresholdMode(value)));
        break;
    case SettingId::RxSpeedLock:
        post(C::receiveSpeedMode(setting::RxSpeedLock(value)));
        break;
    case SettingId::SpaceTime:
        post(C::spaceTime(setting::SpaceTime(value)));
        break;
    case SettingId::AfcWidth:
        post(C::afcMode(setting::AfcWidth(value)));
        break;
    default:
        break;
    }
}

QAction* TDecoderForm::item(const QString& itemName) const {
    return m_items.at(menuRow(itemName.toStdString()).name);
}

QAction* TDecoderForm::optionItem(SettingId setting, int32_t value) const {
    const MenuRow* row = optionRow(setting, value);
    if (!row) throw std::invalid_argument("no menu item stands for this value");
    return m_items.at(row->name);
}

std::vector<QAction*> TDecoderForm::groupOf(const QString& itemName) const {
    const MenuRow& row = menuRow(itemName.toStdString());
    const auto it = m_groups.find(row.setting);
    return row.kind != MenuKind::Option || it == m_groups.end() ? std::vector<QAction*>{}
                                                                : it->second;
}

// ====================================================================== option handlers

void TDecoderForm::focusRule() {
    if (typingActive() != kStateOff)
        m_transmitPanel->focusTransmitMemo();
    else
        m_receive->focus();
}

void TDecoderForm::InputChannelClick(int channel, QAction* own) {
    m_settings.InputChannel = setting::InputChannel(channel);
    check(own);
    if (m_FirstStart) return;
    messages().show(channel == kInputMic
                        ? "Be sure to set the mixer panel recording input to Microphone"
                        : "Be sure to set the mixer panel recording input to Line in",
                    "Operating Hint");
    LoopFlags& loop = m_session->flags();
    loop.markStopped();
    loop.restartAfterBuffer();
    enableSystemTimer();
}

void TDecoderForm::SelectSoundcardClick() {
    SystemTimer->stop();
    LoopFlags& loop = m_session->flags();
    // Capture pauses for the dialog on its own account: a send that ends meanwhile does not
    // resume it, and closing the dialog does not resume it while a send keys.
    loop.capturePause.set(PauseReason::SoundCardDialog, true);
    if (!SoundCardSelect) SoundCardSelect = new TSoundCardSelect(*m_soundCardHost, this);
    loop.restartAfterBuffer();
    SoundCardSelect->show();
}

void TDecoderForm::StayOnTopClick(int on, QAction* own) {
    m_settings.StayOnTop = setting::OnOff(on);
    check(own);
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on == 1);
    if (wasVisible) show(); // changing the flag hides a shown window
}

void TDecoderForm::BackgroundClick(int background, QAction* own) {
    m_settings.Background = setting::Background(background);
    check(own);
    applyColours();
}

void TDecoderForm::ScreenOpModeClick(int mode, QAction* own) {
    m_settings.ScreenOpMode = setting::ScreenOpMode(mode);
    check(own);
    if (m_settings.ScreenOpMode == setting::ScreenOpMode::ReceiveOnly) {
        m_transmitPanel->moveTransmitWindow({0, kRxTransmitMemoTop});
        m_receive->showSecondRow(ImagePnl->height() + m_instruments->height());
        Panel2->move(0, kRxPanel2Top);
        m_windowHeight = kRxWindowHeight;
        centralWidget()->setFixedHeight(kRxClientHeight);
    } else {
        m_transmitPanel->moveTransmitWindow({0, kTrTransmitMemoTop});
        m_windowHeight = kTrWindowHeight;
        m_receive->hideSecondRow(kTrRcv2PnlTop);
        Panel2->move(0, kTrPanel2Top);
        centralWidget()->setFixedHeight(kTrClientHeight);
    }
    // The decoder reset's caption: in full in receive-only mode, short beside the transmit side.
    m_instruments->setReceiveOnly(m_settings.ScreenOpMode == setting::ScreenOpMode::ReceiveOnly);
    centralWidget()->setFixedWidth(m_clientWidth);
    adjustSize();
    post(ReceiveCommand::screenOpMode(m_settings.ScreenOpMode));
}

void TDecoderForm::ReceiveSpeedClick(int lock, QAction* own) {
    m_settings.RxSpeedLock = setting::RxSpeedLock(lock);
    // Auto and the locked speeds form one group; "Locked WPM" carries the check of any lock.
    check(own);
    optionMenuItem("LockedWPM")->setChecked(m_settings.RxSpeedLock != setting::RxSpeedLock::Auto);
    post(ReceiveCommand::receiveSpeedMode(m_settings.RxSpeedLock));
    // The transmit speed follows, within what the output can key. Auto takes the receive
    // speed as it stands after the decoder reset the choice runs, not Auto's starting 25.
    m_speedPanel->lockSpeed(m_settings.RxSpeedLock == setting::RxSpeedLock::Auto
                                ? kDecoderResetSpeedWpm
                                : lockedSpeedWpm(m_settings.RxSpeedLock));
}

void TDecoderForm::selectSoundCardOutput() {
    m_settings.OutputDevice = setting::OutputDevice::SoundCard;
    m_outputMenu->selectSoundCardOnly();
    syncOutputChecks();
}

void TDecoderForm::syncOutputChecks() {
    const OutputMenuChecks& c = m_outputMenu->checks();
    using S = SettingId;
    namespace st = setting;
    optionItem(S::OutputDevice, st::OutputDevice::SoundCard)->setChecked(c.SoundCard1);
    optionItem(S::OutputDevice, st::OutputDevice::SerialPort)->setChecked(c.SerialPort1);
    optionItem(S::OutputPort, st::OutputPort::PortNumber)->setChecked(c.PortNumber1);
    optionItem(S::OutputPort, st::OutputPort::None)->setChecked(c.None1);
    optionItem(S::KeyInvert, st::KeyInvert::Normal)->setChecked(c.Normal1);
    optionItem(S::KeyInvert, st::KeyInvert::Inverted)->setChecked(c.Invert2);
}

void TDecoderForm::checkPortNumber() {
    m_outputMenu->checkPortNumber();
    syncOutputChecks();
}

void TDecoderForm::setUnlistedSidetone(float hz) {
    m_toneMenu->setUnlistedFrequency(hz);
    syncToneChecks();
}

void TDecoderForm::setUnlistedCarrierTime(int seconds) {
    m_toneMenu->setUnlistedCarrierTime(seconds);
    syncToneChecks();
}

void TDecoderForm::syncToneChecks() {
    using S = SettingId;
    namespace st = setting;
    const ToneMenuChecks& c = m_toneMenu->checks();
    // The frequency and carrier items are in the order of the checks' arrays.
    const auto& freqs = m_groups.at(S::SidetoneFreq);
    for (size_t i = 0; i < c.freq.size(); ++i)
        freqs.at(i)->setChecked(c.freq[i]);
    optionItem(S::SidetoneWaveform, st::SidetoneWaveform::Sine)->setChecked(c.Sinewave1);
    optionItem(S::SidetoneWaveform, st::SidetoneWaveform::Square)->setChecked(c.Squarewave1);
    optionItem(S::SidetoneOn, st::OnOff::On)->setChecked(c.SideToneOn);
    optionItem(S::SidetoneOn, st::OnOff::Off)->setChecked(c.SideToneOFF);
    const auto& carriers = m_groups.at(S::BeaconCarrierTime);
    for (size_t i = 0; i < c.carrierSeconds.size(); ++i)
        carriers.at(i)->setChecked(c.carrierSeconds[i]);
}

void TDecoderForm::AfcClick(int width, QAction* own) {
    static constexpr int kSpan[] = {10, 20, 80, 400};
    m_settings.AfcOn = width == 0 ? 0 : 1;
    m_settings.AfcSpan = kSpan[width];
    m_settings.AfcWidth = setting::AfcWidth(width);
    check(own);
    post(ReceiveCommand::afcMode(m_settings.AfcWidth));
}

void TDecoderForm::TextBoldClick(int bold, QAction* own) {
    m_settings.TextBold = setting::TextBold(bold);
    check(own);
    m_receive->setBold(bold == 1);
}

void TDecoderForm::FontSizeClick(int size, QAction* own) {
    m_settings.FontSize = setting::FontSize(size);
    check(own);
    applyFontSize(size);
}

} // namespace dita
