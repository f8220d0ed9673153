// The transmit side: the transmit panel and window, the message buttons, the transmit speed
// controls and the keying lines.
#include "app/DecoderForm.h"

#include "app/DecoderFormLayout.h"
#include "app/MessageButtonRow.h"
#include "app/ReceivePanel.h"
#include "app/SetupWindows.h"
#include "app/SpectrumArea.h"
#include "app/TransmitSpeedPanel.h"

#include <QStatusBar>

#include <cstdio>

#include "log/StationPanel.h"
#include "macros/MacroWindows.h"
#include "station/StationLink.h"
#include "transmit/TransmitControls.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

using namespace form_layout;

Keyer* TDecoderForm::currentKeyer() {
    if (m_services.keyer) return m_services.keyer();
    if (Keyer* rig = m_station ? m_station->catKeyer() : nullptr) return rig;
    if (m_keying.port().OutputDevice.load() == kOutputSerialPort) return &m_keying.serialKeyer();
    return m_keying.toneKeyer();
}

std::string TDecoderForm::keyingProblem() {
    if (m_services.keyer) return {}; // a keyer handed in keys by itself
    if (m_station && m_station->catKeying()) {
        if (m_station->rigConnected()) return {};
        return "Nothing is keyed: the output device is the rig's keyer (Transmit > Output Device "
               "> Rig (CAT)) and rig control is not connected. Set up Setup > Rig Control, or "
               "choose Serial Port or Sound Card.";
    }
    const KeyingPort& port = m_keying.port();
    if (port.OutputDevice.load() == kOutputSerialPort) {
        if (port.PortOpen()) return {};
        if (port.OutputPort.load() != kOutputPortNumber)
            return "Nothing is keyed: no serial port is chosen. Choose one with Transmit > "
                   "Output Port > Port Number, or key a tone with Transmit > Output Device > "
                   "Sound Card.";
        return "Nothing is keyed: serial port COM " + std::to_string(m_settings.ComPortNumber) +
               " is not open. Choose another with Transmit > Output Port > Port Number, or "
               "key a tone with Transmit > Output Device > Sound Card.";
    }
    const ToneOutput* tone = m_keying.toneOutput();
    if (!tone || !tone->isOpen())
        return "Nothing is keyed: the sound card output is not open. Choose Transmit > Output "
               "Device > Serial Port.";
    if (m_settings.SidetoneOn == setting::OnOff::Off)
        return "Nothing is keyed: the tone is off. Choose Transmit > Sidetone > On.";
    return {};
}

int TDecoderForm::typingActive() const {
    return m_transmitPanel->controller().typingActive() ? kStateOn : kStateOff;
}

void TDecoderForm::createTransmitSide(QWidget* client) {
    // The speed controls report each speed they key to the settings, which keep it.
    m_speedPanel = new TransmitSpeedPanel(ContrlPnl, m_keying.speedControls(),
                                          [this] { return m_receiveWpm; });
    connect(m_speedPanel, &TransmitSpeedPanel::speedChanged, this,
            [this](int wpm) { m_settings.XmitSpeed = wpm; });

    m_transmitPanel = new TransmitPanel(
        {[this] { return currentKeyer(); }, &m_keying.port(),
         [this](int n) { return ExpandMacro(m_windowSettings.Macros.at(n), macroFields()); },
         [this] { return keyingProblem(); }},
        m_session->flags().capturePause, ContrlPnl);
    m_transmitPanel->setGeometry(0, kTransmitPanelTop, m_clientWidth, kTransmitPanelHeight);
    // The transmit window has its own place on the form.
    m_transmitPanel->placeTransmitWindow(
        client, QRect(0, kRxTransmitMemoTop, m_clientWidth, kTransmitMemoHeight));

    TransmitPanelHooks hooks;
    hooks.appendReceiveText = [this](const std::string& utf8) {
        m_receive->appendText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    };
    hooks.setSpeedControlEnabled = [this](SpeedControl control, bool enabled) {
        m_speedPanel->setControlEnabled(control, enabled);
    };
    hooks.clearMessageButtonMarks = [this] { m_messageRow->mark(0); };
    hooks.pressMessageButton = [this](int n) { m_messageRow->press(n); };
    hooks.selectDisplay = [this](bool waterfall) { m_spectrum->selectDisplay(waterfall); };
    hooks.showLeds = [this](bool rcvOn, bool xmitOn) { showLeds(rcvOn, xmitOn); };
    hooks.messages = messageSink();
    hooks.transmitScreenChanged = [this](int32_t screen) { transmitScreenChanged(screen); };
    hooks.contactCounterChanged = [this](int32_t counter) {
        m_windowSettings.ContactCounter = counter;
    };
    hooks.keyingProblem = [this](const std::string& text) {
        if (!text.empty()) std::fprintf(stderr, "dita: %s\n", text.c_str());
        if (text.empty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(QString::fromStdString(text));
    };
    m_transmitPanel->setHooks(std::move(hooks));

    createMessageButtons();
}

void TDecoderForm::createMessageButtons() {
    MessageButtonRow::WindowCalls calls;
    calls.doubleScreen = [this] {
        return m_transmitPanel->controller().state().TransmitScreen == kDoubleScreen;
    };
    calls.appendReceiveText = [this](const std::string& text) {
        m_receive->appendText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    };
    calls.appendTransmitText = [this](const std::string& text) {
        m_transmitPanel->appendTransmitText(text);
    };
    calls.focusTransmitMemo = [this] { m_transmitPanel->focusTransmitMemo(); };
    m_messageRow = new MessageButtonRow(
        ContrlPnl, m_clientWidth, kMsgButtonTop, m_windowSettings.Macros,
        [this] { return macroFields(); }, m_transmitPanel->controller(), std::move(calls),
        messageSink());
}

void TDecoderForm::transmitScreenChanged(int32_t screen) {
    m_settings.TransmitScreen = setting::TransmitScreen(screen);
    m_menus->check(m_menus->optionItem(SettingId::TransmitScreen, m_settings.TransmitScreen));
}

MacroFields TDecoderForm::macroFields() const {
    MacroFields f;
    const ContactTexts contact = StationPnl->contactTexts();
    f.CallMemo = contact.call;
    f.MyCallMemo = contact.myCall;
    f.NameMemo = contact.name;
    f.RSTMemo = contact.report;
    f.MyRSTMemo = contact.myReport;
    f.XmitCntrMemo = std::to_string(m_transmitPanel->contactCounter());
    m_setup->fillMacroFields(f);
    return f;
}

void TDecoderForm::keyWithTimingWeights() {
    const std::array<float, 4>& w = m_settings.TimingWeights;
    m_keying.speedControls().setTimingWeights({w[0], w[1], w[2], w[3]});
}

void TDecoderForm::keyUpLines() {
    m_keying.port().KeyState = kKeyUp;
    m_keying.port().SetKeyLines(kKeyUp);
    m_keying.port().updatePtt(false);
}

} // namespace dita
