#include "app/config/ConfigurationFiles.h"

#include <cmath>
#include <limits>

namespace dita {

namespace {

constexpr int kAfcStartBin = 112;
constexpr int kMaxMacro = 15;
constexpr int kOutputPortNumber = 1;
constexpr int kOutputPortNone = 2;
constexpr int kOn = 3;  // SpacesMode, Scrolling

// Menu items by value, for the records whose value picks one handler.
constexpr const char* kSpeedItems[] = {nullptr,  "Auto3",  "N50PLUSWPM", "N50WPM", "N45WPM", "N40WPM",
                                       "N35WPM", "N30WPM", "N25WPM",     "N20WPM", "N15WPM", "N10WPM"};
constexpr const char* kSpaceTimeItems[] = {"Short1", "Medium2", "Long1"};
constexpr const char* kAfcItems[] = {"Off3", "Narrow1", "Medium1", "Wide1"};
constexpr const char* kFontItems[] = {nullptr, "SmallFont1", "NormalFont1", "MediumFont1", "LargeFont1"};
constexpr const char* kInputItems[] = {nullptr, "MicInput", "LeftInput", "RightInput"};
constexpr const char* kBeaconItems[] = {nullptr, "N1Second1", "N2Seconds1", "N3Seconds1", "N4Seconds1", "N5Seconds1"};
constexpr float kSidetoneHz[] = {600.0f, 750.0f, 1000.0f, 2500.0f};
constexpr const char* kSidetoneItems[] = {"Freq1", "Freq2", "Freq3", "Freq4"};

template <size_t N>
const char* pick(const char* const (&items)[N], int value) {
    return value >= 0 && static_cast<size_t>(value) < N ? items[value] : nullptr;
}

int truncToInt(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int>(v);
}

} // namespace

ConfigurationFiles::ConfigurationFiles(ConfigWindow& window, std::filesystem::path configPath,
                                       std::optional<std::filesystem::path> defaultsPath, Report report)
    : m_window(window), m_configPath(std::move(configPath)), m_defaultsPath(std::move(defaultsPath)),
      m_report(std::move(report)) {}

ConfigRecords ConfigurationFiles::capture() {
    ConfigWindow& w = m_window;
    const OperatingSettings& s = w.settings();
    ConfigRecords r = m_carried;
    r.headerWord = kCfcHeaderWord;
    r.signalBar = truncToInt(w.signalBarValue());
    r.xmitSpeed = w.xmitSpeed();
    r.reserved4 = kReservedRecord4;
    r.serialToneFreq = s.SerialToneFreq;
    r.tunedBin = s.TunedBin;
    for (int k = 1; k <= kMaxMacro; ++k) setConfigText(r.macros[k - 1], w.macro(k));
    r.textCase = s.TextCase;
    r.textBold = s.TextBold;
    r.rxSpeedLock = r.rxSpeedLockAgain = s.RxSpeedLock;
    r.spacesMode = r.spacesModeAgain = s.SpacesMode;
    r.spaceTime = s.SpaceTime;
    r.afcWidth = s.AfcWidth;
    r.fontSize = s.FontSize;
    r.outputPort = s.OutputPort;
    r.portInUse = s.ComPortNumber;  // the port number in use is taken from ComPortNumber
    const auto tl = w.timelinePlacement();
    r.timelineTop = tl[0];
    r.timelineLeft = tl[1];
    r.timelineHeight = tl[2];
    r.timelineWidth = tl[3];
    r.mainTop = w.mainWindowTop();
    r.mainLeft = w.mainWindowLeft();
    r.coarseGainBar = w.coarseGainBarPosition();
    r.thresholdMode = s.ThresholdMode;
    r.noiseFilter = s.NoiseFilter;
    r.displayGain = s.DisplayGain;
    r.inputChannel = s.InputChannel;
    r.keyInvert = s.KeyInvert;
    r.prosigns = s.Prosigns;
    r.nonEnglish = s.NonEnglish;
    r.sidetoneOn = s.SidetoneOn;
    r.stayOnTop = s.StayOnTop;
    r.messaging = s.Messaging;
    r.timelineShown = s.TimelineShown;
    r.inputDeviceId = s.InputDeviceId;
    r.comPortNumber = s.ComPortNumber;
    r.afcStartFreq = s.AfcStartFreq;
    r.displayType = s.DisplayType;
    r.outputDevice = s.OutputDevice;
    r.sidetoneFreq = s.SidetoneFreq;
    r.sidetoneWaveform = s.SidetoneWaveform;
    r.contactCounter = w.contactCounter();
    r.timingWeights = s.TimingWeights;
    r.transmitScreen = s.TransmitScreen;
    r.scrolling = s.Scrolling;
    r.background = s.Background;
    setConfigText(r.myName, w.text(ConfigTextField::MyName));
    setConfigText(r.myQth, w.text(ConfigTextField::MyQth));
    setConfigText(r.myCall, w.text(ConfigTextField::MyCall));
    setConfigText(r.qth, w.text(ConfigTextField::Qth));
    r.ptt = w.pttBoxes();
    r.afcTimer = s.AfcTimer;
    r.textDisplay = s.TextDisplay;
    r.beaconCarrierTime = s.BeaconCarrierTime;
    r.band = w.band();
    r.screenOpMode = s.ScreenOpMode;
    return r;
}

void ConfigurationFiles::load() {
    m_loading = true;
    // A save cut short by a crash leaves its temporary file; the file itself is whole.
    removeStaleConfigTemp(m_configPath);
    std::vector<uint8_t> bytes;
    const ConfigFileRead read = readConfigFile(m_configPath, bytes);
    if (read.status == ConfigFileRead::Status::Missing) {
        // First run: the current state becomes the file; nothing is applied.
        save();
        m_loading = false;
        return;
    }
    if (read.status == ConfigFileRead::Status::Foreign) {
        // Not a settings file: start with the defaults and leave it alone for good.
        m_keepFile = true;
        tellOnce(m_configPath.string() + " is not a settings file (" + read.reason +
                 "); the program starts with its default settings and does not save them there.");
        m_loading = false;
        return;
    }
    if (read.writeProtected) {
        m_keepFile = true;
        tellOnce("The settings are write-protected (" + m_configPath.string() +
                 "); changes made in this run are not saved.");
    }
    loadBytes(bytes.data(), bytes.size(), false);
}

void ConfigurationFiles::loadDefaults() {
    std::vector<uint8_t> bytes;
    if (!m_defaultsPath) return;
    const ConfigFileRead read = readConfigFile(*m_defaultsPath, bytes);
    // The operator asked for this load: each refusal is answered.
    if (read.status == ConfigFileRead::Status::Foreign && m_report)
        m_report(m_defaultsPath->string() + " is not a settings file (" + read.reason +
                     "); the defaults were not loaded.",
                 "File Error Message");
    if (!read) return;
    loadBytes(bytes.data(), bytes.size(), true);
}

void ConfigurationFiles::loadBytes(const uint8_t* bytes, size_t size, bool defaults) {
    m_loading = true;
    m_window.setConfigLoading(true);
    // What the file cannot give keeps its current value; the handlers still run with it.
    ConfigRecords r = capture();
    decodeConfig(bytes, size, r);
    apply(r, defaults);
    m_loading = false;
    m_window.setConfigLoading(false);
    m_window.setLoopStopped();
}

bool ConfigurationFiles::save() {
    if (m_keepFile) return false;  // foreign or write-protected at start, and said so then
    std::string error;
    if (writeConfigFile(m_configPath, capture(), error)) {
        m_told = false;
        return true;
    }
    tellOnce("The settings could not be saved (" + error + "); the previous settings file is kept.");
    return false;
}

void ConfigurationFiles::tellOnce(const std::string& text) {
    if (m_told || !m_report) return;
    m_report(text, "File Error Message");
    m_told = true;
}

void ConfigurationFiles::apply(const ConfigRecords& records, bool defaults) {
    // Reserved records and the unused macro slots are carried back unchanged on the next save.
    m_carried = records;
    for (int record = 1; record <= kConfigRecordCount; ++record) applyRecord(record, records, defaults);
}

void ConfigurationFiles::applyRecord(int record, const ConfigRecords& r, bool defaults) {
    ConfigWindow& w = m_window;
    OperatingSettings& s = w.settings();
    // A value that no menu item stands for runs no handler; the setting keeps the value read,
    // so the next save writes it back.
    auto clickIf = [&](const char* item) {
        if (item) w.click(item);
        return item != nullptr;
    };
    switch (record) {
    case 2: w.setSignalBarValue(r.signalBar); break;
    case 3:
        s.XmitSpeed = r.xmitSpeed;
        if (defaults) w.applyXmitSpeed(r.xmitSpeed);
        break;
    case 5: s.SerialToneFreq = r.serialToneFreq; break;
    case 6: s.TunedBin = r.tunedBin; break;
    case 7:
        for (int k = 1; k <= kMaxMacro; ++k) w.setMacro(k, configText(r.macros[k - 1]));
        break;
    case 8: w.click(r.textCase == 1 ? "Upper1" : "Lower1"); break;
    case 9: w.click(r.textBold == 0 ? "Normal3" : "Bold1"); break;
    case 10:
        if (!clickIf(pick(kSpeedItems, r.rxSpeedLock))) s.RxSpeedLock = r.rxSpeedLock;
        break;
    case 11: w.click(r.spacesMode == kOn ? "SpacesOn" : "SpacesOff"); break;
    case 12:
        if (!clickIf(pick(kSpaceTimeItems, r.spaceTime))) s.SpaceTime = r.spaceTime;
        break;
    case 13:
        if (!clickIf(pick(kAfcItems, r.afcWidth))) s.AfcWidth = r.afcWidth;
        break;
    case 14:
        if (!clickIf(pick(kFontItems, r.fontSize))) s.FontSize = r.fontSize;
        break;
    case 15:
        if (r.outputPort == kOutputPortNone) {
            w.click("None1");
        } else if (r.outputPort == kOutputPortNumber) {
            w.checkPortNumber();
            s.OutputPort = kOutputPortNumber;
        }
        break;
    case 16:
        w.setPortChosen(true);
        w.setPortInUse(r.portInUse);
        if (defaults) {
            w.checkPortNumber();
            s.OutputPort = kOutputPortNumber;
        }
        break;
    case 17:
    case 18:
    case 19:
    case 20: {
        const int values[] = {r.timelineTop, r.timelineLeft, r.timelineHeight, r.timelineWidth};
        w.setTimelinePlacement(record - 17, values[record - 17]);
        break;
    }
    case 21: w.setMainWindowTop(r.mainTop); break;
    case 22: w.setMainWindowLeft(r.mainLeft); break;
    case 23: w.setCoarseGainBarPosition(r.coarseGainBar); break;
    case 24:
        if (r.thresholdMode == 4) w.click("Quiet2");
        else if (r.thresholdMode == 0) w.click("Normal2");
        else if (r.thresholdMode == 1) w.click("Noisy2");
        else s.ThresholdMode = r.thresholdMode;
        break;
    case 26: w.click(r.noiseFilter == 0 ? "FilterOff1" : "FilterOn1"); break;
    case 27:
        w.setCoarseGainBarPosition(r.displayGain);
        w.coarseGainBarChange();
        break;
    case 29:
        if (!clickIf(pick(kInputItems, r.inputChannel))) s.InputChannel = r.inputChannel;
        break;
    case 30: w.click(r.keyInvert == 1 ? "Normal1" : "Invert2"); break;
    case 31: w.click(r.prosigns == 1 ? "ProsignEnable" : "ProsignDisable"); break;
    case 33: w.click(r.nonEnglish == 1 ? "EnableEnglish" : "DisableEnglish"); break;
    case 34: w.click(r.sidetoneOn == 1 ? "SideToneOn" : "SideToneOFF"); break;
    case 35: w.click(r.stayOnTop == 0 ? "Off2" : "On2"); break;
    case 37: w.click(r.messaging == 1 ? "MsgsON" : "MsgsOFF"); break;
    case 38:
        s.TimelineShown = r.timelineShown == 1 ? 1 : 0;
        w.showTimeline(r.timelineShown == 1);
        break;
    case 39: s.InputDeviceId = r.inputDeviceId; break;
    case 40:
        s.ComPortNumber = r.comPortNumber;
        w.setComPortSpin(r.comPortNumber);
        break;
    case 41:
        s.AfcStartFreq = r.afcStartFreq;
        s.TunedBin = kAfcStartBin;
        w.applyAfcStart(r.afcStartFreq);
        break;
    case 42: w.click(r.spacesModeAgain == kOn ? "SpacesOn" : "SpacesOff"); break;
    case 43: w.click(r.displayType == 0 ? "Spectrum1" : "Waterfall2"); break;
    case 45:
        if (r.outputDevice == 0) {
            if (defaults) {
                w.selectSoundCardOutput();
            } else {
                w.click("SoundCard1");
            }
        } else {
            w.click("SerialPort1");  // during a load this opens the stored port
        }
        // Record 3's value: the receive speed handler of record 10 has moved the spin edit since.
        if (!defaults) w.applyXmitSpeed(r.xmitSpeed);
        break;
    case 46: {
        s.SidetoneFreq = r.sidetoneFreq;
        bool listed = false;
        for (int i = 0; i < 4; ++i) {
            if (r.sidetoneFreq == kSidetoneHz[i]) {
                w.click(kSidetoneItems[i]);
                listed = true;
            }
        }
        if (!listed) w.setUnlistedSidetone(r.sidetoneFreq);
        break;
    }
    case 47: w.click(r.sidetoneWaveform == 0 ? "Sinewave1" : "Squarewave1"); break;
    case 48: w.setContactCounter(r.contactCounter); break;
    case 50:
        s.TimingWeights = r.timingWeights;
        w.setTimingWeightControls(r.timingWeights);
        break;
    case 55: w.click(r.transmitScreen == 0 ? "SingleScreen1" : "DoubleScreen1"); break;
    case 56: w.click(r.scrolling == kOn ? "ScrollingOn1" : "ScrollingOff1"); break;
    case 57: w.click(r.background == 0 ? "BlackBackground" : "WhiteBackground"); break;
    case 58: w.setText(ConfigTextField::MyName, configText(r.myName)); break;
    case 59: w.setText(ConfigTextField::MyQth, configText(r.myQth)); break;
    case 60: w.setText(ConfigTextField::MyCall, configText(r.myCall)); break;
    case 61: w.setText(ConfigTextField::Qth, configText(r.qth)); break;
    case 62:
        for (int i = 0; i < 6; ++i) w.setPttBox(i, r.ptt[i] == 1);
        break;
    case 68: w.click(r.afcTimer == 1 ? "TimerOn1" : "TimerOff1"); break;
    case 69: w.click(r.textDisplay == 0 ? "TextOff" : "TextOn"); break;
    case 70:
        if (!clickIf(pick(kBeaconItems, r.beaconCarrierTime)))
            w.setUnlistedCarrierTime(r.beaconCarrierTime);
        break;
    case 71: w.setBand(r.band); break;
    case 72: w.click(r.screenOpMode == 0 ? "ReceiveOnly1" : "TransmitReceive1"); break;
    default: break;  // reserved records; 51-53 and 63-67 are applied with 50 and 62; 54 stored only
    }
}

} // namespace dita
