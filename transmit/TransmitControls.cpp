#include "transmit/TransmitControls.h"

#include <algorithm>

namespace dita {

TransmitSpeedControls::TransmitSpeedControls(SendTimingStore& timing, MessageSink messages,
                                             Hooks hooks)
    : m_timing(timing), m_messages(std::move(messages)), m_hooks(std::move(hooks)) {}

int32_t TransmitSpeedControls::limitForOutput(int32_t wpm) const {
    wpm = std::clamp(wpm, kMinXmitWpm, kMaxXmitWpm);
    const bool serial = m_hooks.outputDevice && m_hooks.outputDevice() == kOutputSerialPort;
    return serial ? std::min(wpm, kSerialMaxWpm) : wpm;
}

void TransmitSpeedControls::compute(int32_t wpm) {
    m_timing.publish(ComputeSendTiming(wpm, m_weights));
}

int32_t TransmitSpeedControls::XmitSpdUpDn2Change(int32_t value) {
    const bool typing = m_hooks.typingActive && m_hooks.typingActive();
    if (!typing) {
        m_spinValue = limitForOutput(value);
        compute(m_spinValue);
        showKeyedSpeed();
    }
    if (m_hooks.focusTransmitMemo) m_hooks.focusTransmitMemo();
    return m_spinValue;
}

void TransmitSpeedControls::XmitSpdUpDnChanging(int32_t position) {
    if (m_hooks.typingActive && m_hooks.typingActive()) return;
    m_upDownPosition = std::clamp(position, kMinXmitWpm, kMaxXmitWpm);
    // Never key the serial lines faster than they can follow, not even while dragging. A wheel
    // or arrow key ends no change with a release: the speed keyed is shown at once.
    m_spinValue = limitForOutput(m_upDownPosition);
    compute(m_spinValue);
    m_panelValue = m_spinValue;
}

void TransmitSpeedControls::XmitSpdUpDnMouseUp() {
    if (!(m_hooks.typingActive && m_hooks.typingActive())) {
        const int32_t limited = limitForOutput(m_upDownPosition);
        if (limited < m_upDownPosition && m_upDownPosition > kSerialNoteAboveWpm) {
            m_upDownPosition = kSerialMaxWpm;
            if (m_messages) m_messages(kSerialSpeedNoteText, kTransmitSpeedNoteCaption);
        }
        m_spinValue = limitForOutput(m_upDownPosition);
        compute(m_spinValue);
        m_panelValue = m_spinValue;
    }
    if (m_hooks.focusTransmitMemo) m_hooks.focusTransmitMemo();
}

void TransmitSpeedControls::SyncBtnClick(int32_t receiveWpm) {
    XmitSpdUpDn2Change(receiveWpm);
}

void TransmitSpeedControls::lockedSpeed(int32_t wpm) {
    // Runs also while sending; the serial limit holds here too.
    m_spinValue = limitForOutput(wpm);
    compute(m_spinValue);
    showKeyedSpeed();
}

void TransmitSpeedControls::showKeyedSpeed() {
    // Both speed controls show the speed being keyed, so they never disagree.
    m_upDownPosition = m_spinValue;
    m_panelValue = m_spinValue;
}

void TransmitSpeedControls::setTimingWeights(const TimingWeights& weights) {
    m_weights = weights;
    compute(m_spinValue);
}

OutputMenuHandlers::OutputMenuHandlers(KeyingPort& port, Hooks hooks)
    : m_port(port), m_hooks(std::move(hooks)) {
    m_checks.SerialPort1 = m_port.OutputDevice.load() == kOutputSerialPort;
    m_checks.SoundCard1 = !m_checks.SerialPort1;
    m_checks.Normal1 = m_port.KeyInvert.load() != kKeyInverted;
    m_checks.Invert2 = !m_checks.Normal1;
}

void OutputMenuHandlers::SoundCard1Click() {
    m_port.OutputDevice = kOutputSoundCard;
    m_port.OutputPort = kOutputPortNone;
    m_checks.SoundCard1 = true;
    m_checks.SerialPort1 = false;
    if (m_hooks.setSidetone) m_hooks.setSidetone(true);
}

void OutputMenuHandlers::selectSoundCardOnly() {
    m_port.OutputDevice = kOutputSoundCard;
    m_checks.SoundCard1 = true;
    m_checks.SerialPort1 = false;
}

void OutputMenuHandlers::SerialPort1Click(bool configLoading, int32_t storedPortNumber) {
    m_port.OutputDevice = kOutputSerialPort;
    m_port.OutputPort = kOutputPortNumber;
    m_checks.SerialPort1 = true;
    m_checks.SoundCard1 = false;
    if (configLoading) {
        // Port number 0 is the state of a fresh installation: no port was ever chosen, so
        // there is nothing to open and nothing to complain about at every start. The
        // operator picks one with Port Number when a keying interface is connected.
        if (storedPortNumber >= 1) m_port.OpenComPort(storedPortNumber);
    } else {
        PortNumber1Click();
    }
    if (m_hooks.setSidetone) m_hooks.setSidetone(false);
}

void OutputMenuHandlers::PortNumber1Click() {
    m_checks.PortNumber1 = true;
    m_checks.None1 = false;
    if (m_hooks.showComPortDialog) m_hooks.showComPortDialog();
}

void OutputMenuHandlers::checkPortNumber() {
    m_checks.PortNumber1 = true;
    m_checks.None1 = false;
}

void OutputMenuHandlers::None1Click() {
    m_checks.None1 = true;
    m_checks.PortNumber1 = false;
    if (m_port.OutputPort.load() == kOutputPortNumber && m_port.PortOpen()) m_port.ClosePort();
    if (m_hooks.focusTransmitMemo) m_hooks.focusTransmitMemo();
}

void OutputMenuHandlers::Normal1Click() {
    m_port.KeyInvert = kKeyNormal;
    m_checks.Normal1 = true;
    m_checks.Invert2 = false;
    m_port.SetKeyLines(m_port.KeyState.load());
}

void OutputMenuHandlers::Invert2Click() {
    m_port.KeyInvert = kKeyInverted;
    m_checks.Invert2 = true;
    m_checks.Normal1 = false;
    m_port.SetKeyLines(m_port.KeyState.load());
}

void OutputMenuHandlers::comPortChosen(int32_t n) {
    m_port.OpenComPort(n);
}

ToneMenuHandlers::ToneMenuHandlers(Apply apply) : m_apply(std::move(apply)) {
    publish();
}

void ToneMenuHandlers::publish() {
    if (m_apply) m_apply(m_tone, m_carrier);
}

void ToneMenuHandlers::FreqClick(int item) {
    const int count = static_cast<int>(std::size(kSidetoneFrequenciesHz));
    if (item < 1 || item > count) return;
    m_tone.SidetoneFreq = kSidetoneFrequenciesHz[item - 1];
    for (int i = 0; i < count; ++i)
        m_checks.freq[i] = i == item - 1;
    publish();
}

void ToneMenuHandlers::setUnlistedFrequency(float hz) {
    m_tone.SidetoneFreq = hz;
    m_checks.freq.fill(false);
    publish();
}

void ToneMenuHandlers::setUnlistedCarrierTime(int32_t seconds) {
    m_carrier.BeaconCarrierTime = seconds;
    m_checks.carrierSeconds.fill(false);
    publish();
}

void ToneMenuHandlers::Sinewave1Click() {
    m_tone.SidetoneWaveform = kSineWave;
    m_checks.Sinewave1 = true;
    m_checks.Squarewave1 = false;
    publish();
}

void ToneMenuHandlers::Squarewave1Click() {
    m_tone.SidetoneWaveform = kSquareWave;
    m_checks.Squarewave1 = true;
    m_checks.Sinewave1 = false;
    publish();
}

void ToneMenuHandlers::SideToneOnClick() {
    m_tone.SidetoneOn = true;
    m_checks.SideToneOn = true;
    m_checks.SideToneOFF = false;
    publish();
}

void ToneMenuHandlers::SideToneOFFClick() {
    m_tone.SidetoneOn = false;
    m_checks.SideToneOFF = true;
    m_checks.SideToneOn = false;
    publish();
}

void ToneMenuHandlers::beaconCarrierClick(int32_t seconds) {
    m_carrier = beaconCarrierFor(seconds);
    for (int i = 0; i < static_cast<int>(m_checks.carrierSeconds.size()); ++i) {
        m_checks.carrierSeconds[i] = i + 1 == m_carrier.BeaconCarrierTime;
    }
    publish();
}

} // namespace dita
