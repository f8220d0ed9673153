#include "app/settings/MenuTable.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace dita {

namespace {

using K = MenuKind;
using S = SettingId;
namespace st = setting;

// Above every sidetone item, and safely inside the 32-bit range.
constexpr float kLargestItemHz = 100000.0f;

constexpr MenuRow menu(const char* name, const char* caption, const char* parent = nullptr,
                       bool hidden = false) {
    return {K::Menu, name, caption, parent, S::None, 0, hidden};
}
constexpr MenuRow command(const char* name, const char* caption, const char* parent) {
    return {K::Command, name, caption, parent, S::None, 0, false};
}
template <typename E>
constexpr MenuRow option(const char* name, const char* caption, const char* parent, S setting,
                         E value, bool hidden = false) {
    return {K::Option, name, caption, parent, setting, static_cast<int32_t>(raw(value)), hidden};
}

constexpr MenuRow kRows[] = {
    menu("File1", "File"),
    command("SaveRcv1", "Save Rcv", "File1"),
    command("SaveTransmit1", "Save Transmit", "File1"),
    command("LoadTransmit1", "Load Transmit", "File1"),
    command("LoadDefault", "Load Defaults", "File1"),
    command("Quit1", "Quit", "File1"),

    menu("Options1", "Options"),
    command("SelectSoundcard", "Select SoundCard", "Options1"),
    menu("Input1", "Input", "Options1"),
    option("MicInput", "Mic", "Input1", S::InputChannel, st::InputChannel::Mic),
    option("RightInput", "Right", "Input1", S::InputChannel, st::InputChannel::Right),
    option("LeftInput", "Left", "Input1", S::InputChannel, st::InputChannel::Left),
    menu("StayOnTop1", "Stay On Top", "Options1"),
    option("Off2", "Off", "StayOnTop1", S::StayOnTop, st::OnOff::Off),
    option("On2", "On", "StayOnTop1", S::StayOnTop, st::OnOff::On),
    menu("Messaging1", "Messaging", "Options1", true),
    option("MsgsOFF", "Msgs OFF", "Messaging1", S::Messaging, st::OnOff::Off),
    option("MsgsON", "Msgs  On", "Messaging1", S::Messaging, st::OnOff::On),
    menu("BackGround1", "BackGround", "Options1"),
    option("WhiteBackground", "White Background", "BackGround1", S::Background,
           st::Background::White),
    option("BlackBackground", "Black Background", "BackGround1", S::Background,
           st::Background::Black),
    menu("ScreenOpMode1", "Screen Op Mode", "Options1"),
    option("ReceiveOnly1", "Receive", "ScreenOpMode1", S::ScreenOpMode,
           st::ScreenOpMode::ReceiveOnly),
    option("TransmitReceive1", "Transmit/Receive", "ScreenOpMode1", S::ScreenOpMode,
           st::ScreenOpMode::TransmitReceive),

    menu("Receive1", "Receive"),
    menu("hreshold1", "Threshold", "Receive1"),
    option("Quiet2", "Quiet", "hreshold1", S::ThresholdMode, st::ThresholdMode::Quiet),
    option("Normal2", "Normal", "hreshold1", S::ThresholdMode, st::ThresholdMode::Normal),
    option("Noisy2", "Noisy", "hreshold1", S::ThresholdMode, st::ThresholdMode::Noisy),
    menu("NoiseFilter1", "Noise Filter", "Receive1"),
    option("FilterOn1", "Filter On", "NoiseFilter1", S::NoiseFilter, st::Switch3::On),
    option("FilterOff1", "Filter Off", "NoiseFilter1", S::NoiseFilter, st::Switch3::Off),
    menu("Decoder1", "Decoder", "Receive1"),
    option("Standard1", "Standard", "Decoder1", S::Decoder, st::Decoder::Standard),
    option("Enhanced1", "Enhanced", "Decoder1", S::Decoder, st::Decoder::Enhanced),
    menu("ReceiveSpeed1", "Receive Speed", "Receive1"),
    option("Auto3", "Auto", "ReceiveSpeed1", S::RxSpeedLock, st::RxSpeedLock::Auto),
    // Checked whenever a locked speed is (the window keeps its mark).
    menu("LockedWPM", "Locked WPM", "ReceiveSpeed1"),
    option("N50PLUSWPM", "50+ WPM", "LockedWPM", S::RxSpeedLock, 2),
    option("N50WPM", "50 WPM", "LockedWPM", S::RxSpeedLock, 3),
    option("N45WPM", "45 WPM", "LockedWPM", S::RxSpeedLock, 4),
    option("N40WPM", "40 WPM", "LockedWPM", S::RxSpeedLock, 5),
    option("N35WPM", "35 WPM", "LockedWPM", S::RxSpeedLock, 6),
    option("N30WPM", "30 WPM", "LockedWPM", S::RxSpeedLock, 7),
    option("N25WPM", "25 WPM", "LockedWPM", S::RxSpeedLock, 8),
    option("N20WPM", "20 WPM", "LockedWPM", S::RxSpeedLock, 9),
    option("N15WPM", "15 WPM", "LockedWPM", S::RxSpeedLock, 10),
    option("N10WPM", "10 WPM", "LockedWPM", S::RxSpeedLock, 11),
    menu("AFC1", "AFC", "Receive1"),
    option("Off3", "Off", "AFC1", S::AfcWidth, st::AfcWidth::Off),
    menu("AFCTimer1", "AFC Timer", "AFC1"),
    option("TimerOn1", "Timer On", "AFCTimer1", S::AfcTimer, st::OnOff::On),
    option("TimerOff1", "Timer Off", "AFCTimer1", S::AfcTimer, st::OnOff::Off),
    option("Narrow1", "Narrow", "AFC1", S::AfcWidth, st::AfcWidth::Narrow),
    option("Medium1", "Medium", "AFC1", S::AfcWidth, st::AfcWidth::Medium),
    option("Wide1", "Wide", "AFC1", S::AfcWidth, st::AfcWidth::Wide),
    command("AFCStartFreq1", "AFC Start Freq", "AFC1"),

    menu("ext1", "Text"),
    menu("Case1", "Case", "ext1"),
    option("Upper1", "Upper", "Case1", S::TextCase, st::TextCase::Upper),
    option("Lower1", "Lower", "Case1", S::TextCase, st::TextCase::Lower),
    menu("ype1", "Type", "ext1"),
    option("Normal3", "Normal", "ype1", S::TextBold, st::TextBold::Normal),
    option("Bold1", "Bold", "ype1", S::TextBold, st::TextBold::Bold),
    menu("Size1", "Size", "ext1"),
    option("SmallFont1", "Small Font", "Size1", S::FontSize, st::FontSize::Small),
    option("NormalFont1", "Normal Font", "Size1", S::FontSize, st::FontSize::Normal),
    option("MediumFont1", "Medium Font", "Size1", S::FontSize, st::FontSize::Medium),
    option("LargeFont1", "Large Font", "Size1", S::FontSize, st::FontSize::Large),
    menu("Scrolling1", "Scrolling", "ext1"),
    option("ScrollingOn1", "Scrollling On", "Scrolling1", S::Scrolling, st::Switch3::On),
    option("ScrollingOff1", "Scrollng Off", "Scrolling1", S::Scrolling, st::Switch3::Off),
    menu("Spaces1", "Spaces", "ext1"),
    option("SpacesOn", "On", "Spaces1", S::SpacesMode, st::Switch3::On),
    option("SpacesOff", "Off", "Spaces1", S::SpacesMode, st::Switch3::Off),
    menu("SpaceTime1", "Space Time", "ext1"),
    option("Short1", "Short", "SpaceTime1", S::SpaceTime, st::SpaceTime::Short),
    option("Medium2", "Medium", "SpaceTime1", S::SpaceTime, st::SpaceTime::Medium),
    option("Long1", "Long", "SpaceTime1", S::SpaceTime, st::SpaceTime::Long),
    menu("Prosigns1", "Prosigns", "ext1"),
    option("ProsignEnable", "Enable", "Prosigns1", S::Prosigns, st::OnOff::On),
    option("ProsignDisable", "Disable", "Prosigns1", S::Prosigns, st::OnOff::Off),
    menu("NonEnglish1", "Non English", "ext1"),
    option("EnableEnglish", "Enable", "NonEnglish1", S::NonEnglish, st::OnOff::On),
    option("DisableEnglish", "Disable", "NonEnglish1", S::NonEnglish, st::OnOff::Off),
    menu("extDisplay1", "Text Display", "ext1"),
    option("TextOn", "Text On", "extDisplay1", S::TextDisplay, st::OnOff::On),
    option("TextOff", "Text Off", "extDisplay1", S::TextDisplay, st::OnOff::Off),

    menu("Display1", "Display"),
    menu("ype2", "Type", "Display1"),
    option("Spectrum1", "Line", "ype2", S::DisplayType, st::DisplayType::Line),
    option("Waterfall2", "Waterfall", "ype2", S::DisplayType, st::DisplayType::Waterfall),
    menu("imeline1", "Timeline", "Display1"),
    command("Show2", "Show", "imeline1"),
    command("BandDecoder1", "Band Decoder", "Display1"),
    menu("ransmit2", "Transmit", "Display1"),
    option("SingleScreen1", "Single Screen", "ransmit2", S::TransmitScreen,
           st::TransmitScreen::Single),
    option("DoubleScreen1", "Double Screen", "ransmit2", S::TransmitScreen,
           st::TransmitScreen::Double),

    menu("ransmit1", "Transmit"),
    menu("OutputDevice1", "Output Device", "ransmit1"),
    option("SoundCard1", "Sound Card", "OutputDevice1", S::OutputDevice,
           st::OutputDevice::SoundCard),
    option("SerialPort1", "Serial Port", "OutputDevice1", S::OutputDevice,
           st::OutputDevice::SerialPort),
    // The rig's own keyer by CAT command: while checked it keys the window's text instead of
    // the choice above (kept in DITA.conf, not in the configuration records).
    command("RigCat1", "Rig (CAT)", "OutputDevice1"),
    menu("OutputPort1", "Output Port", "ransmit1"),
    option("PortNumber1", "Port Number", "OutputPort1", S::OutputPort, st::OutputPort::PortNumber),
    option("None1", "None", "OutputPort1", S::OutputPort, st::OutputPort::None, true),
    menu("InvertXmit1", "Invert Xmit", "ransmit1"),
    option("Normal1", "Normal", "InvertXmit1", S::KeyInvert, st::KeyInvert::Normal),
    option("Invert2", "Invert", "InvertXmit1", S::KeyInvert, st::KeyInvert::Inverted),
    menu("Sidetone1", "Sidetone", "ransmit1"),
    menu("SidetoneFrequency1", "Sidetone Frequency", "Sidetone1"),
    option("Freq1", "600 Hz", "SidetoneFrequency1", S::SidetoneFreq, 600),
    option("Freq2", "750 Hz", "SidetoneFrequency1", S::SidetoneFreq, 750),
    option("Freq3", "1000 Hz", "SidetoneFrequency1", S::SidetoneFreq, 1000),
    option("Freq4", "2500 Hz", "SidetoneFrequency1", S::SidetoneFreq, 2500),
    menu("SidetoneWaveform1", "Sidetone Waveform", "Sidetone1"),
    option("Sinewave1", "Sinewave", "SidetoneWaveform1", S::SidetoneWaveform,
           st::SidetoneWaveform::Sine),
    option("Squarewave1", "Squarewave", "SidetoneWaveform1", S::SidetoneWaveform,
           st::SidetoneWaveform::Square),
    option("SideToneOn", "On", "Sidetone1", S::SidetoneOn, st::OnOff::On),
    option("SideToneOFF", "Off", "Sidetone1", S::SidetoneOn, st::OnOff::Off),
    menu("SetPTT", "Set PTT", "ransmit1"),
    command("SetupPTT", "Setup PTT", "SetPTT"),
    menu("CharTiming", "Character Timing", "ransmit1"),
    command("ShowConfiguration1", "Show Configuration", "CharTiming"),
    menu("BeaconCarrierTime1", "Beacon Carrier Time", "ransmit1"),
    option("N1Second1", "1 Second", "BeaconCarrierTime1", S::BeaconCarrierTime, 1),
    option("N2Seconds1", "2 Seconds", "BeaconCarrierTime1", S::BeaconCarrierTime, 2),
    option("N3Seconds1", "3 Seconds", "BeaconCarrierTime1", S::BeaconCarrierTime, 3),
    option("N4Seconds1", "4 Seconds", "BeaconCarrierTime1", S::BeaconCarrierTime, 4),
    option("N5Seconds1", "5 Seconds", "BeaconCarrierTime1", S::BeaconCarrierTime, 5),

    // Rig control and the keying listener for contest loggers (settings in DITA.conf).
    menu("Setup1", "Setup"),
    command("RigControl1", "Rig Control\u2026", "Setup1"),
    command("KeyingListener1", "Keying Listener\u2026", "Setup1"),
    menu("Macros", "Macros"),
    command("ShowMacros", "Show Macros", "Macros"),
    command("Edit1", "Edit Macros", "Macros"),
    menu("Help", "Help"),
    command("Help1", "Help Menu", "Help"),
    command("About1", "About", "Help"),
};

} // namespace

std::span<const MenuRow> menuRows() {
    return kRows;
}

const MenuRow* findMenuRow(std::string_view name) {
    for (const MenuRow& row : kRows)
        if (name == row.name) return &row;
    return nullptr;
}

const MenuRow& menuRow(std::string_view name) {
    if (const MenuRow* row = findMenuRow(name)) return *row;
    throw std::invalid_argument("no menu item named '" + std::string(name) + "'");
}

const MenuRow* optionRow(SettingId setting, int32_t value) {
    for (const MenuRow& row : kRows)
        if (row.kind == MenuKind::Option && row.setting == setting && row.value == value)
            return &row;
    return nullptr;
}

std::vector<const MenuRow*> groupRows(SettingId setting) {
    std::vector<const MenuRow*> rows;
    for (const MenuRow& row : kRows)
        if (row.kind == MenuKind::Option && row.setting == setting) rows.push_back(&row);
    return rows;
}

int32_t settingValue(const OperatingSettings& s, SettingId setting) {
    switch (setting) {
    case S::None:
        return 0;
    case S::InputChannel:
        return raw(s.InputChannel);
    case S::StayOnTop:
        return raw(s.StayOnTop);
    case S::Messaging:
        return raw(s.Messaging);
    case S::Background:
        return raw(s.Background);
    case S::ScreenOpMode:
        return raw(s.ScreenOpMode);
    case S::ThresholdMode:
        return raw(s.ThresholdMode);
    case S::NoiseFilter:
        return raw(s.NoiseFilter);
    case S::RxSpeedLock:
        return raw(s.RxSpeedLock);
    case S::AfcWidth:
        return raw(s.AfcWidth);
    case S::AfcTimer:
        return raw(s.AfcTimer);
    case S::TextCase:
        return raw(s.TextCase);
    case S::TextBold:
        return raw(s.TextBold);
    case S::FontSize:
        return raw(s.FontSize);
    case S::Scrolling:
        return raw(s.Scrolling);
    case S::SpacesMode:
        return raw(s.SpacesMode);
    case S::SpaceTime:
        return raw(s.SpaceTime);
    case S::Prosigns:
        return raw(s.Prosigns);
    case S::NonEnglish:
        return raw(s.NonEnglish);
    case S::TextDisplay:
        return raw(s.TextDisplay);
    case S::DisplayType:
        return raw(s.DisplayType);
    case S::TransmitScreen:
        return raw(s.TransmitScreen);
    case S::OutputDevice:
        return raw(s.OutputDevice);
    case S::OutputPort:
        return raw(s.OutputPort);
    case S::KeyInvert:
        return raw(s.KeyInvert);
    // Only the exact item frequencies name an item; anything else compares as no item.
    case S::SidetoneFreq:
        return std::isfinite(s.SidetoneFreq) && s.SidetoneFreq == std::round(s.SidetoneFreq) &&
                       std::fabs(s.SidetoneFreq) < kLargestItemHz
                   ? static_cast<int32_t>(s.SidetoneFreq)
                   : 0;
    case S::SidetoneWaveform:
        return raw(s.SidetoneWaveform);
    case S::SidetoneOn:
        return raw(s.SidetoneOn);
    case S::BeaconCarrierTime:
        return s.BeaconCarrierTime;
    case S::Decoder:
        return raw(s.Decoder);
    }
    return 0;
}

} // namespace dita
