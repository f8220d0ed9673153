#pragma once
// The operating settings of DITA with their defaults, one enum per setting whose values the
// menus name (those the receive side takes are in receive/ReceiveSettings.h). One instance is
// owned by the main window; it is written only by the option handlers, the setup dialogs and
// the configuration load, all on the window thread. Worker threads receive copies or commands,
// never a reference.
//
// The enums are 32-bit like the configuration records that store them, and a value read from a
// file that no enumerator names is kept as it is (it selects no menu item).
#include <array>
#include <cstdint>

#include "receive/ReceiveSettings.h"
#include "receive/audio/CaptureFormat.h"
#include "transmit/KeyingPort.h"

namespace dita {

namespace setting {

enum class InputChannel : int32_t { Mic = kInputMic, Left = kInputLeft, Right = kInputRight };
enum class Background : int32_t { Black = 0, White = 1 };
enum class TextBold : int32_t { Normal = 0, Bold = 1 };
enum class FontSize : int32_t { Small = 1, Normal = 2, Medium = 3, Large = 4 };
enum class TransmitScreen : int32_t { Single = 0, Double = 1 };
enum class OutputDevice : int32_t { SoundCard = kOutputSoundCard, SerialPort = kOutputSerialPort };
enum class OutputPort : int32_t { PortNumber = kOutputPortNumber, None = kOutputPortNone };
enum class KeyInvert : int32_t { Normal = kKeyNormal, Inverted = kKeyInverted };
enum class SidetoneWaveform : int32_t { Sine = 0, Square = 1 };

} // namespace setting

struct OperatingSettings {
    int32_t InputDeviceId = 0;
    setting::InputChannel InputChannel = setting::InputChannel::Mic;
    setting::OnOff StayOnTop = setting::OnOff::Off;
    setting::OnOff Messaging = setting::OnOff::Off;
    setting::Background Background = setting::Background::White;
    setting::ScreenOpMode ScreenOpMode = setting::ScreenOpMode::ReceiveOnly;
    setting::ThresholdMode ThresholdMode = setting::ThresholdMode::Noisy;
    setting::Switch3 NoiseFilter = setting::Switch3::Off;
    setting::Decoder Decoder = setting::Decoder::Enhanced;
    setting::RxSpeedLock RxSpeedLock = setting::RxSpeedLock::Auto;
    int32_t AfcOn = 0;
    setting::AfcWidth AfcWidth = setting::AfcWidth::Off;
    int32_t AfcSpan = 20;
    setting::OnOff AfcTimer = setting::OnOff::Off;
    int32_t AfcStartFreq = 600; // Hz
    int32_t TunedBin = 100;
    setting::TextCase TextCase = setting::TextCase::Lower;
    setting::TextBold TextBold = setting::TextBold::Normal;
    setting::FontSize FontSize = setting::FontSize::Normal;
    setting::Switch3 Scrolling = setting::Switch3::On;
    setting::Switch3 SpacesMode = setting::Switch3::On;
    setting::SpaceTime SpaceTime = setting::SpaceTime::Medium;
    setting::OnOff Prosigns = setting::OnOff::On;
    setting::OnOff NonEnglish = setting::OnOff::Off;
    setting::OnOff TextDisplay = setting::OnOff::On;
    setting::DisplayType DisplayType = setting::DisplayType::Line;
    int32_t DisplayGain = 5; // position of the gain bar last moved
    uint8_t TimelineShown = 0;
    setting::TransmitScreen TransmitScreen = setting::TransmitScreen::Single;
    setting::OutputDevice OutputDevice = setting::OutputDevice::SerialPort;
    setting::OutputPort OutputPort = setting::OutputPort::None;
    int32_t ComPortNumber = 0;
    setting::KeyInvert KeyInvert = setting::KeyInvert::Normal;
    uint8_t PttEnable = 0;
    uint8_t PttInvert = 0;
    uint8_t DtrIsData = 1;
    uint8_t DtrIsPtt = 0;
    uint8_t RtsIsData = 1;
    uint8_t RtsIsPtt = 0;
    float SidetoneFreq = 750.0f; // 600, 750, 1000, 2500 Hz name an item
    setting::SidetoneWaveform SidetoneWaveform = setting::SidetoneWaveform::Sine;
    setting::OnOff SidetoneOn = setting::OnOff::Off;
    int32_t BeaconCarrierTime = 1; // seconds, 1..5 name an item
    int32_t BeaconCarrierMs = 1000;
    int32_t BeaconCarrierSamples = 44100;
    std::array<float, 4> TimingWeights{100.0f, 100.0f, 100.0f, 100.0f}; // dot, dash, char, word
    int32_t SerialToneFreq = 71;
    int32_t XmitSpeed = 20; // WPM
};

// The receive speed a RxSpeedLock value stands for: Auto (1) uses 25; 2 is "50+ WPM" (100);
// 3..11 are 50 down to 10 in steps of 5. Values outside 1..11 are treated as Auto.
int lockedSpeedWpm(setting::RxSpeedLock lock);

// The PTT lines the settings hold, as the keying port and the PTT dialog take them.
PttSettings pttLines(const OperatingSettings& s);
void setPttLines(OperatingSettings& s, const PttSettings& lines);

} // namespace dita
