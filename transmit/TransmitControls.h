#pragma once
// The window-side rules of the transmit speed controls and the Output Device / Output Port /
// Invert Xmit menu items, without the widgets: the main window forwards its control events
// here and shows the values these classes hold.
//
// Who calls it: the main window, on the window thread only. No Qt.
#include "transmit/KeyingPort.h"
#include "transmit/Messages.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace dita {

// The up-down's release shows the "Transmit Speed Note" only above this position; at 51 the
// serial keying is held at 50 without it.
constexpr int32_t kSerialNoteAboveWpm = 51;
constexpr int32_t kInitialXmitSpeed = 20; // XmitSpdUpDn2 in the form
constexpr int32_t kInitialUpDownPosition = 25;

class TransmitSpeedControls {
public:
    struct Hooks {
        std::function<int32_t()> outputDevice; // OutputDevice setting
        std::function<bool()> typingActive;    // TypingActive == 3
        std::function<void()> focusTransmitMemo;
    };
    TransmitSpeedControls(SendTimingStore& timing, MessageSink messages, Hooks hooks);

    // XmitSpdUpDn2 OnChange with the value the operator set; returns the value the spin edit
    // must show afterwards (cut to 50 on the serial port, no message).
    int32_t XmitSpdUpDn2Change(int32_t value);
    // XmitSpdUpDn moved (OnChanging) to position.
    void XmitSpdUpDnChanging(int32_t position);
    // XmitSpdUpDn released: on the serial port a position above 50 goes back to 50 with the
    // "Transmit Speed Note"; the position then becomes the spin edit's value.
    void XmitSpdUpDnMouseUp();
    // SyncBtn: the transmit speed follows the receive speed.
    void SyncBtnClick(int32_t receiveWpm);
    // A "Locked WPM" item (or Auto) with its speed; also works while sending.
    void lockedSpeed(int32_t wpm);
    // Character timing dialog / configuration: weights for the following computations.
    void setTimingWeights(const TimingWeights& weights);
    // Configuration load: the stored XmitSpeed through the spin edit's rules.
    void applyStoredSpeed(int32_t wpm) { lockedSpeed(wpm); }

    int32_t spinValue() const { return m_spinValue; }           // XmitSpdUpDn2
    int32_t upDownPosition() const { return m_upDownPosition; } // XmitSpdUpDn
    std::string speedPanelText() const { return std::to_string(m_panelValue); }

private:
    int32_t limitForOutput(int32_t wpm) const;
    void compute(int32_t wpm);
    void showKeyedSpeed();

    SendTimingStore& m_timing;
    MessageSink m_messages;
    Hooks m_hooks;
    TimingWeights m_weights;
    int32_t m_spinValue = kInitialXmitSpeed;
    int32_t m_upDownPosition = kInitialUpDownPosition;
    int32_t m_panelValue = kInitialUpDownPosition;
};

// Check marks of the Output Device, Output Port and Invert Xmit groups.
struct OutputMenuChecks {
    bool SoundCard1 = false;
    bool SerialPort1 = false;
    bool PortNumber1 = false;
    bool None1 = false;
    bool Normal1 = true;
    bool Invert2 = false;
};

class OutputMenuHandlers {
public:
    struct Hooks {
        std::function<void()> showComPortDialog;  // the COM port selection dialog
        std::function<void(bool on)> setSidetone; // SideToneOn / SideToneOFF handlers
        std::function<void()> focusTransmitMemo;
    };
    OutputMenuHandlers(KeyingPort& port, Hooks hooks);

    void SoundCard1Click();
    // The sound card keys from now on and is checked; port, port choice and sidetone are kept.
    void selectSoundCardOnly();
    // configLoading: the configuration is being read, so the stored port is opened directly.
    void SerialPort1Click(bool configLoading, int32_t storedPortNumber);
    void PortNumber1Click();
    void None1Click();
    // The configuration's "port number" output port: checks only, no dialog.
    void checkPortNumber();
    void Normal1Click();
    void Invert2Click();
    // The COM port dialog's OK.
    void comPortChosen(int32_t n);

    const OutputMenuChecks& checks() const { return m_checks; }

private:
    KeyingPort& m_port;
    Hooks m_hooks;
    OutputMenuChecks m_checks;
};

// Check marks of the Sidetone and Beacon Carrier Time groups.
struct ToneMenuChecks {
    std::array<bool, 4> freq{false, true, false, false}; // Freq1..Freq4
    bool Sinewave1 = true;
    bool Squarewave1 = false;
    bool SideToneOn = false;
    bool SideToneOFF = true;
    std::array<bool, 5> carrierSeconds{true, false, false, false, false}; // N1Second1..
};

// The Sidetone Frequency / Waveform / On-Off items and the Beacon Carrier Time items. Every
// change goes to the keyers through apply, so the next character uses it.
class ToneMenuHandlers {
public:
    using Apply = std::function<void(const ToneSettings&, const BeaconCarrier&)>;
    explicit ToneMenuHandlers(Apply apply);

    void FreqClick(int item); // 1..4: Freq1 "600 Hz" .. Freq4 "2500 Hz"
    void Sinewave1Click();
    void Squarewave1Click();
    void SideToneOnClick();
    void SideToneOFFClick();
    void beaconCarrierClick(int32_t seconds); // N1Second1 .. N5Seconds1
    // A stored frequency that no item stands for (configuration load): kept, no item checked.
    void setUnlistedFrequency(float hz);
    // A stored carrier time that no item stands for: kept as the value, no item checked, the
    // carrier length as it was.
    void setUnlistedCarrierTime(int32_t seconds);

    const ToneSettings& tone() const { return m_tone; }
    const BeaconCarrier& carrier() const { return m_carrier; }
    const ToneMenuChecks& checks() const { return m_checks; }

private:
    void publish();
    Apply m_apply;
    ToneSettings m_tone;
    BeaconCarrier m_carrier;
    ToneMenuChecks m_checks;
};

} // namespace dita
