// The menus' handlers: the commands and options each item runs (FormMenus builds the items
// from the menu table and wires them to these), and the checks the transmit side's handlers hold.
#include "app/DecoderForm.h"

#include "app/DecoderFormLayout.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "app/BandView.h"
#include "app/FormInstruments.h"
#include "app/ReceivePanel.h"
#include "app/SetupWindows.h"
#include "app/SpectrumArea.h"
#include "app/TransmitSpeedPanel.h"
#include "log/StationPanel.h"
#include "station/StationLink.h"
#include "transmit/TransmitControls.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

using namespace form_layout;

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
        {"AFCStartFreq1", [this] { m_setup->showAfcStart(); }},
        {"Show2", [this] { m_setup->showTimeline(); }},
        {"BandDecoder1", [this] { m_band->show(); }},
        {"SetupPTT", [this] { m_setup->showPttSetup(); }},
        {"ShowConfiguration1", [this] { m_setup->showCharTiming(); }},
        {"ShowMacros", [this] { m_setup->showMacroListing(); }},
        {"Edit1", [this] { m_setup->showMacroEditor(); }},
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
            m_menus->check(own);
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
             m_menus->check(own);
         }},
        {S::Background, [this](int32_t v, QAction* own) { BackgroundClick(v, own); }},
        {S::ScreenOpMode, [this](int32_t v, QAction* own) { ScreenOpModeClick(v, own); }},
        {S::TextBold, [this](int32_t v, QAction* own) { TextBoldClick(v, own); }},
        {S::FontSize, [this](int32_t v, QAction* own) { FontSizeClick(v, own); }},
        {S::Scrolling,
         [this](int32_t v, QAction* own) {
             m_settings.Scrolling = setting::Switch3(v);
             m_menus->check(own);
             focusRule();
         }},
        // The spectrum panel checks these two itself.
        {S::DisplayType,
         [this](int32_t v, QAction*) {
             m_spectrum->selectDisplay(setting::DisplayType(v) == setting::DisplayType::Waterfall);
         }},
        {S::TransmitScreen,
         [this](int32_t v, QAction* own) {
             m_transmitPanel->controller().setTransmitScreen(v);
             m_menus->check(own);
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
    m_menus = std::make_unique<FormMenus>(menuBar(), commandHandlers(), optionHandlers());
    m_spectrum->attachModeItems(
        m_menus->optionItem(SettingId::DisplayType, setting::DisplayType::Line),
        m_menus->optionItem(SettingId::DisplayType, setting::DisplayType::Waterfall));
}

void TDecoderForm::selectDefaults() {
    // Every group starts with the item of its setting's value checked (no handler runs here).
    m_menus->checkValues(m_settings);
    applyColours();
}

bool TDecoderForm::click(const QString& itemName) {
    QAction* a = item(itemName);
    if (!a->isEnabled()) return false;
    a->trigger();
    return true;
}

bool TDecoderForm::choose(SettingId setting, int32_t value) {
    if (m_menus->trigger(setting, value)) return true;
    postUnlisted(setting, value);
    return false;
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
    return m_menus->item(itemName.toStdString());
}

std::vector<QAction*> TDecoderForm::groupOf(const QString& itemName) const {
    return m_menus->groupOf(itemName.toStdString());
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
    m_menus->check(own);
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
    loop.restartAfterBuffer();
    m_setup->showSoundCardSelection();
}

void TDecoderForm::StayOnTopClick(int on, QAction* own) {
    m_settings.StayOnTop = setting::OnOff(on);
    m_menus->check(own);
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on == 1);
    if (wasVisible) show(); // changing the flag hides a shown window
}

void TDecoderForm::BackgroundClick(int background, QAction* own) {
    m_settings.Background = setting::Background(background);
    m_menus->check(own);
    applyColours();
}

void TDecoderForm::ScreenOpModeClick(int mode, QAction* own) {
    m_settings.ScreenOpMode = setting::ScreenOpMode(mode);
    m_menus->check(own);
    if (m_settings.ScreenOpMode == setting::ScreenOpMode::ReceiveOnly) {
        m_transmitPanel->moveTransmitWindow({0, kRxTransmitMemoTop});
        m_receive->showSecondRow(kImagePnlHeight + m_instruments->height());
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
    m_menus->check(own);
    m_menus->item("LockedWPM")->setChecked(m_settings.RxSpeedLock != setting::RxSpeedLock::Auto);
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
    const FormMenus& menus = *m_menus;
    const OutputMenuChecks& c = m_outputMenu->checks();
    using S = SettingId;
    namespace st = setting;
    menus.optionItem(S::OutputDevice, st::OutputDevice::SoundCard)->setChecked(c.SoundCard1);
    menus.optionItem(S::OutputDevice, st::OutputDevice::SerialPort)->setChecked(c.SerialPort1);
    menus.optionItem(S::OutputPort, st::OutputPort::PortNumber)->setChecked(c.PortNumber1);
    menus.optionItem(S::OutputPort, st::OutputPort::None)->setChecked(c.None1);
    menus.optionItem(S::KeyInvert, st::KeyInvert::Normal)->setChecked(c.Normal1);
    menus.optionItem(S::KeyInvert, st::KeyInvert::Inverted)->setChecked(c.Invert2);
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
    const FormMenus& menus = *m_menus;
    using S = SettingId;
    namespace st = setting;
    const ToneMenuChecks& c = m_toneMenu->checks();
    // The frequency and carrier items are in the order of the checks' arrays.
    const auto& freqs = menus.group(S::SidetoneFreq);
    for (size_t i = 0; i < c.freq.size(); ++i)
        freqs.at(i)->setChecked(c.freq[i]);
    menus.optionItem(S::SidetoneWaveform, st::SidetoneWaveform::Sine)->setChecked(c.Sinewave1);
    menus.optionItem(S::SidetoneWaveform, st::SidetoneWaveform::Square)->setChecked(c.Squarewave1);
    menus.optionItem(S::SidetoneOn, st::OnOff::On)->setChecked(c.SideToneOn);
    menus.optionItem(S::SidetoneOn, st::OnOff::Off)->setChecked(c.SideToneOFF);
    const auto& carriers = menus.group(S::BeaconCarrierTime);
    for (size_t i = 0; i < c.carrierSeconds.size(); ++i)
        carriers.at(i)->setChecked(c.carrierSeconds[i]);
}

void TDecoderForm::AfcClick(int width, QAction* own) {
    static constexpr int kSpan[] = {10, 20, 80, 400};
    m_settings.AfcOn = width == 0 ? 0 : 1;
    m_settings.AfcSpan = kSpan[width];
    m_settings.AfcWidth = setting::AfcWidth(width);
    m_menus->check(own);
    post(ReceiveCommand::afcMode(m_settings.AfcWidth));
}

void TDecoderForm::TextBoldClick(int bold, QAction* own) {
    m_settings.TextBold = setting::TextBold(bold);
    m_menus->check(own);
    m_receive->setBold(bold == 1);
}

void TDecoderForm::FontSizeClick(int size, QAction* own) {
    m_settings.FontSize = setting::FontSize(size);
    m_menus->check(own);
    applyFontSize(size);
}

} // namespace dita
