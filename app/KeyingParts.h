#pragma once
// KeyingParts: what keys the transmitter, without the window: the keying port and its modem
// lines, the published send timing and the transmit speed controls that compute it, the
// keying clock, the PTT hold timer, the serial keyer and, when there is a tone device, the
// tone output and its keyer. main() builds one and hands
// it to the main window, which outlives none of these parts; the window tests build their own
// with fake modem lines or a recording tone device.
//
// Who calls it: made, connected and destroyed on the window thread; the keyers and the tone
// output are then used by the send threads. What the parts report goes to the KeyingEvents of
// connect(), which the window sets before any send thread starts and clears once its send
// threads have ended.
#include <functional>
#include <memory>

#include "common/MessageSink.h"
#include "transmit/Keyer.h"
#include "transmit/KeyingPort.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"
#include "transmit/TransmitControls.h"

namespace dita {

struct KeyingEvents {
    MessageSink messages;               // a failure message; any thread
    std::function<void()> outputFailed; // the tone output cannot go on: the program stops
    // The tone output's watchdog abandoned a block (true), or the output has restarted after
    // one (false); on a send thread.
    std::function<void(bool stalled)> outputStalled;
    // What the transmit speed controls ask of the window: the output device setting, whether
    // the operator is typing, and the transmit window's focus; window thread.
    TransmitSpeedControls::Hooks speed;
};

class KeyingParts {
public:
    // toneDevice: the sound card's output (null: no tone keyer). opener: opens the keying
    // port's device file (empty: the real serial device).
    explicit KeyingParts(ToneDevice* toneDevice = nullptr, KeyingPort::Opener opener = {});
    KeyingParts(const KeyingParts&) = delete;
    KeyingParts& operator=(const KeyingParts&) = delete;

    // Window thread, while no send thread runs.
    void connect(KeyingEvents events);

    KeyingPort& port() { return *m_port; }
    SendTimingStore& timing() { return m_timing; }
    // The speed spin edit, up-down and Sync rules; window thread.
    TransmitSpeedControls& speedControls() { return *m_speedControls; }
    SerialKeyer& serialKeyer() { return *m_serialKeyer; }
    // Null without a tone device.
    ToneOutput* toneOutput() { return m_toneOutput.get(); }
    ToneKeyer* toneKeyer() { return m_toneKeyer.get(); }

private:
    // In the order of use: each part is destroyed before what it keys through.
    KeyingEvents m_events;
    SendTimingStore m_timing;
    MonotonicClock m_clock;
    std::unique_ptr<KeyingPort> m_port;
    std::unique_ptr<TransmitSpeedControls> m_speedControls;
    std::unique_ptr<PttHoldTimer> m_pttHold;
    std::unique_ptr<SerialKeyer> m_serialKeyer;
    std::unique_ptr<ToneOutput> m_toneOutput;
    std::unique_ptr<ToneKeyer> m_toneKeyer;
};

} // namespace dita
