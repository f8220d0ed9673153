#pragma once
// The operating settings of DITA with their defaults. One instance is owned by the main window;
// it is written only by the option handlers, the setup dialogs and the configuration load, all
// on the window thread. Worker threads receive copies or commands, never a reference.
#include <array>
#include <cstdint>

namespace dita {

struct OperatingSettings {
    int32_t InputDeviceId = 0;
    int32_t InputChannel = 1; // 1 Mic, 2 Left, 3 Right
    uint8_t StayOnTop = 0;
    uint8_t Messaging = 0;
    int32_t Background = 1;    // 1 white, 0 black
    int32_t ScreenOpMode = 0;  // 0 receive only, 1 transmit/receive
    int32_t ThresholdMode = 1; // 4 Quiet, 0 Normal, 1 Noisy
    int32_t NoiseFilter = 0;   // 3 on, 0 off
    int32_t RxSpeedLock = 1;   // 1 Auto, 2..11 locked
    int32_t AfcOn = 0;
    int32_t AfcWidth = 0; // 0 off, 1 narrow, 2 medium, 3 wide
    int32_t AfcSpan = 20;
    uint8_t AfcTimer = 0;
    int32_t AfcStartFreq = 600; // Hz
    int32_t TunedBin = 100;
    int32_t TextCase = 0; // 1 upper, 0 lower
    int32_t TextBold = 0;
    int32_t FontSize = 2;   // 1 small, 2 normal, 3 medium, 4 large
    int32_t Scrolling = 3;  // 3 on, 0 off
    int32_t SpacesMode = 3; // 3 on, 0 off
    int32_t SpaceTime = 1;  // 0 short, 1 medium, 2 long
    uint8_t Prosigns = 1;
    uint8_t NonEnglish = 0;
    uint8_t TextDisplay = 1;
    int32_t DisplayType = 0; // 0 line, 1 waterfall
    int32_t DisplayGain = 5; // position of the gain bar last moved
    uint8_t TimelineShown = 0;
    int32_t TransmitScreen = 0; // 0 single, 1 double
    int32_t OutputDevice = 1;   // 0 sound card, 1 serial port
    int32_t OutputPort = 2;     // 1 port number, 2 none
    int32_t ComPortNumber = 0;
    int32_t KeyInvert = 1; // 1 normal, 2 inverted
    uint8_t PttEnable = 0;
    uint8_t PttInvert = 0;
    uint8_t DtrIsData = 1;
    uint8_t DtrIsPtt = 0;
    uint8_t RtsIsData = 1;
    uint8_t RtsIsPtt = 0;
    float SidetoneFreq = 750.0f;  // 600, 750, 1000, 2500 Hz
    int32_t SidetoneWaveform = 0; // 0 sine, 1 square
    uint8_t SidetoneOn = 0;
    int32_t BeaconCarrierTime = 1; // seconds
    int32_t BeaconCarrierMs = 1000;
    int32_t BeaconCarrierSamples = 44100;
    std::array<float, 4> TimingWeights{100.0f, 100.0f, 100.0f, 100.0f}; // dot, dash, char, word
    int32_t SerialToneFreq = 71;
    int32_t XmitSpeed = 20; // WPM
};

// The receive speed a RxSpeedLock value stands for: Auto (1) uses 25; 2 is "50+ WPM" (100);
// 3..11 are 50 down to 10 in steps of 5. Values outside 1..11 are treated as Auto.
int lockedSpeedWpm(int rxSpeedLock);

} // namespace dita
