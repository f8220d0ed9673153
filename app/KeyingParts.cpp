#include "app/KeyingParts.h"

#include <utility>

namespace dita {

KeyingParts::KeyingParts(ToneDevice* toneDevice, KeyingPort::Opener opener) {
    // The parts keep these forwarding calls for their whole life; what they reach is set later
    // by connect().
    MessageSink messages = [this](const std::string& text, const std::string& caption) {
        if (m_events.messages) m_events.messages(text, caption);
    };
    m_port = std::make_unique<KeyingPort>(messages, std::move(opener));
    TransmitSpeedControls::Hooks speed;
    // Until the window connects, the output device is the one the port keys.
    speed.outputDevice = [this] {
        return m_events.speed.outputDevice ? m_events.speed.outputDevice()
                                           : m_port->OutputDevice.load();
    };
    speed.typingActive = [this] {
        return m_events.speed.typingActive && m_events.speed.typingActive();
    };
    speed.focusTransmitMemo = [this] {
        if (m_events.speed.focusTransmitMemo) m_events.speed.focusTransmitMemo();
    };
    m_speedControls = std::make_unique<TransmitSpeedControls>(m_timing, messages, std::move(speed));
    m_pttHold = std::make_unique<PttHoldTimer>(*m_port);
    m_serialKeyer = std::make_unique<SerialKeyer>(*m_port, m_timing, m_clock, m_pttHold.get());
    if (!toneDevice) return;
    m_toneOutput = std::make_unique<ToneOutput>(
        *toneDevice, messages,
        [this] {
            if (m_events.outputFailed) m_events.outputFailed();
        },
        m_clock,
        [this](bool stalled) {
            if (m_events.outputStalled) m_events.outputStalled(stalled);
        });
    m_toneKeyer =
        std::make_unique<ToneKeyer>(*m_toneOutput, m_timing, m_port.get(), m_pttHold.get());
}

void KeyingParts::connect(KeyingEvents events) {
    m_events = std::move(events);
}

} // namespace dita
