#include "app/config/ConfigurationFiles.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace dita {

namespace {

constexpr int kMaxMacro = 15;

int truncToInt(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int>(v);
}

} // namespace

ConfigurationFiles::ConfigurationFiles(ConfigWindow& window, std::filesystem::path configPath,
                                       std::optional<std::filesystem::path> defaultsPath,
                                       Report report)
    : m_window(window), m_configPath(std::move(configPath)),
      m_defaultsPath(std::move(defaultsPath)), m_report(std::move(report)) {}

ConfigRecords ConfigurationFiles::capture() {
    ConfigWindow& w = m_window;
    const OperatingSettings& s = w.settings();
    const WindowSettings& ws = w.windowSettings();
    ConfigRecords r = m_carried;
    r.headerWord = kCfcHeaderWord;
    r.signalBar = truncToInt(ws.SignalBar);
    r.xmitSpeed = s.XmitSpeed;
    r.reserved4 = kReservedRecord4;
    r.serialToneFreq = s.SerialToneFreq;
    r.tunedBin = s.TunedBin;
    for (int k = 1; k <= kMaxMacro; ++k)
        setConfigText(r.macros[k - 1], ws.Macros[static_cast<size_t>(k)]);
    r.textCase = raw(s.TextCase);
    r.textBold = raw(s.TextBold);
    r.rxSpeedLock = r.rxSpeedLockAgain = raw(s.RxSpeedLock);
    r.spacesMode = r.spacesModeAgain = raw(s.SpacesMode);
    r.spaceTime = raw(s.SpaceTime);
    r.afcWidth = raw(s.AfcWidth);
    r.fontSize = raw(s.FontSize);
    r.outputPort = raw(s.OutputPort);
    r.portInUse = s.ComPortNumber; // the port number in use is taken from ComPortNumber
    r.timelineTop = ws.Timeline[0];
    r.timelineLeft = ws.Timeline[1];
    r.timelineHeight = ws.Timeline[2];
    r.timelineWidth = ws.Timeline[3];
    r.mainTop = ws.MainTop;
    r.mainLeft = ws.MainLeft;
    r.coarseGainBar = ws.CoarseGainBar;
    r.thresholdMode = raw(s.ThresholdMode);
    r.noiseFilter = raw(s.NoiseFilter);
    r.decoder = static_cast<uint8_t>(raw(s.Decoder));
    r.displayGain = s.DisplayGain;
    r.inputChannel = raw(s.InputChannel);
    r.keyInvert = raw(s.KeyInvert);
    r.prosigns = raw(s.Prosigns);
    r.nonEnglish = raw(s.NonEnglish);
    r.sidetoneOn = raw(s.SidetoneOn);
    r.stayOnTop = raw(s.StayOnTop);
    r.messaging = raw(s.Messaging);
    r.timelineShown = s.TimelineShown;
    r.inputDeviceId = s.InputDeviceId;
    r.comPortNumber = s.ComPortNumber;
    r.afcStartFreq = s.AfcStartFreq;
    r.displayType = raw(s.DisplayType);
    r.outputDevice = raw(s.OutputDevice);
    r.sidetoneFreq = s.SidetoneFreq;
    r.sidetoneWaveform = raw(s.SidetoneWaveform);
    r.contactCounter = ws.ContactCounter;
    r.timingWeights = s.TimingWeights;
    r.transmitScreen = raw(s.TransmitScreen);
    r.scrolling = raw(s.Scrolling);
    r.background = raw(s.Background);
    setConfigText(r.myName, ws.MyName);
    setConfigText(r.myQth, ws.MyQth);
    setConfigText(r.myCall, ws.MyCall);
    setConfigText(r.qth, ws.Qth);
    r.ptt = {s.PttEnable, s.PttInvert, s.DtrIsData, s.DtrIsPtt, s.RtsIsData, s.RtsIsPtt};
    r.afcTimer = raw(s.AfcTimer);
    r.textDisplay = raw(s.TextDisplay);
    r.beaconCarrierTime = s.BeaconCarrierTime;
    r.band = ws.Band;
    r.screenOpMode = raw(s.ScreenOpMode);
    return r;
}

void ConfigurationFiles::load() {
    m_loading = true;
    // A save cut short by a crash leaves its temporary file; the file itself is whole.
    removeStaleConfigTemp(m_configPath);
    std::vector<uint8_t> bytes;
    const ConfigFileRead read = readConfigFile(m_configPath, bytes);
    if (read.status == ConfigFileRead::Status::Missing) {
        // First run: the current state becomes the file and nothing is applied, except that
        // reception starts at the AFC start frequency, as it does after every later load.
        m_window.applyAfcStart(m_window.settings().AfcStartFreq);
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
    if (m_keepFile) return false; // foreign or write-protected at start, and said so then
    std::string error;
    if (writeConfigFile(m_configPath, capture(), error)) {
        m_told = false;
        return true;
    }
    tellOnce("The settings could not be saved (" + error +
             "); the previous settings file is kept.");
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
    for (int record = 1; record <= kConfigRecordCount; ++record)
        applyRecord(record, records, defaults);
}

// A value that no menu item stands for runs no handler; the setting keeps the value read, so the
// next save writes it back.
template <typename Field>
void ConfigurationFiles::chooseOrKeep(SettingId setting, int32_t value, Field& field) {
    if (!m_window.choose(setting, value)) field = static_cast<Field>(value);
}

// Records whose every value runs one of two handlers.
template <typename E>
void ConfigurationFiles::chooseEither(SettingId setting, bool first, E firstValue, E otherValue) {
    m_window.choose(setting, first ? raw(firstValue) : raw(otherValue));
}

// Records 51-53 and 63-67 are applied with 50 and 62; 54 is stored only; the reserved records
// are carried.
void ConfigurationFiles::applyRecord(int record, const ConfigRecords& r, bool defaults) {
    if (applyWindowRecord(record, r)) return;
    if (applyOutputRecord(record, r, defaults)) return;
    if (applyKeyingRecord(record, r)) return;
    if (applyReceiveRecord(record, r)) return;
    applyDisplayRecord(record, r);
}

// The window's own records: places, positions of the bars, texts, macros and the band.
bool ConfigurationFiles::applyWindowRecord(int record, const ConfigRecords& r) {
    ConfigWindow& w = m_window;
    OperatingSettings& s = w.settings();
    WindowSettings& ws = w.windowSettings();
    switch (record) {
    case 2:
        ws.SignalBar = r.signalBar;
        w.signalBarChanged();
        break;
    case 7:
        for (int k = 1; k <= kMaxMacro; ++k)
            ws.Macros[static_cast<size_t>(k)] = configText(r.macros[k - 1]);
        break;
    case 17:
    case 18:
    case 19:
    case 20: {
        const int values[] = {r.timelineTop, r.timelineLeft, r.timelineHeight, r.timelineWidth};
        ws.Timeline[static_cast<size_t>(record - 17)] = values[record - 17];
        w.timelinePlacementChanged();
        break;
    }
    case 21:
        ws.MainTop = r.mainTop;
        w.mainWindowPlacementChanged();
        break;
    case 22:
        ws.MainLeft = r.mainLeft;
        w.mainWindowPlacementChanged();
        break;
    case 23:
        ws.CoarseGainBar = r.coarseGainBar;
        w.coarseGainBarPositionChanged();
        break;
    case 27:
        ws.CoarseGainBar = r.displayGain;
        w.coarseGainBarPositionChanged();
        w.coarseGainBarChange();
        break;
    case 38:
        s.TimelineShown = r.timelineShown == 1 ? 1 : 0;
        w.showTimeline(r.timelineShown == 1);
        break;
    case 48:
        ws.ContactCounter = r.contactCounter;
        w.contactCounterChanged();
        break;
    case 58:
        ws.MyName = configText(r.myName);
        w.stationTextChanged(ConfigTextField::MyName);
        break;
    case 59:
        ws.MyQth = configText(r.myQth);
        w.stationTextChanged(ConfigTextField::MyQth);
        break;
    case 60:
        ws.MyCall = configText(r.myCall);
        w.stationTextChanged(ConfigTextField::MyCall);
        break;
    case 61:
        ws.Qth = configText(r.qth);
        w.stationTextChanged(ConfigTextField::Qth);
        break;
    case 71:
        ws.Band = r.band;
        w.bandChanged();
        break;
    default:
        return false;
    }
    return true;
}

// The transmit speed, output device and port.
bool ConfigurationFiles::applyOutputRecord(int record, const ConfigRecords& r, bool defaults) {
    namespace st = setting;
    using S = SettingId;
    ConfigWindow& w = m_window;
    OperatingSettings& s = w.settings();
    switch (record) {
    case 3:
        // A start-up load applies it with record 45, after record 10's handler has moved it.
        if (defaults) w.applyXmitSpeed(r.xmitSpeed);
        break;
    case 15:
        if (r.outputPort == raw(st::OutputPort::None)) {
            w.choose(S::OutputPort, r.outputPort);
        } else if (r.outputPort == raw(st::OutputPort::PortNumber)) {
            w.checkPortNumber();
            s.OutputPort = st::OutputPort::PortNumber;
        }
        break;
    case 16:
        // Saved from ComPortNumber (record 40), which is the one applied.
        if (defaults) {
            w.checkPortNumber();
            s.OutputPort = st::OutputPort::PortNumber;
        }
        break;
    case 40:
        s.ComPortNumber = r.comPortNumber;
        w.setComPortSpin(r.comPortNumber);
        break;
    case 45:
        if (r.outputDevice == raw(st::OutputDevice::SoundCard)) {
            if (defaults) {
                w.selectSoundCardOutput();
            } else {
                w.choose(S::OutputDevice, r.outputDevice);
            }
        } else {
            // During a load this opens the stored port.
            w.choose(S::OutputDevice, raw(st::OutputDevice::SerialPort));
        }
        // Record 3's value: the receive speed handler of record 10 has moved the spin edit since.
        if (!defaults) w.applyXmitSpeed(r.xmitSpeed);
        break;
    default:
        return false;
    }
    return true;
}

// How the key sounds and is signalled: sidetone, key and PTT lines, timing weights, beacon.
bool ConfigurationFiles::applyKeyingRecord(int record, const ConfigRecords& r) {
    namespace st = setting;
    using S = SettingId;
    ConfigWindow& w = m_window;
    OperatingSettings& s = w.settings();
    switch (record) {
    case 5:
        s.SerialToneFreq = r.serialToneFreq;
        break;
    case 30:
        chooseEither(S::KeyInvert, r.keyInvert == raw(st::KeyInvert::Normal), st::KeyInvert::Normal,
                     st::KeyInvert::Inverted);
        break;
    case 34:
        chooseEither(S::SidetoneOn, r.sidetoneOn == 1, st::OnOff::On, st::OnOff::Off);
        break;
    case 46:
        s.SidetoneFreq = r.sidetoneFreq;
        // Only the exact frequencies of the items select one.
        if (!w.choose(S::SidetoneFreq, settingValue(s, S::SidetoneFreq)))
            w.setUnlistedSidetone(r.sidetoneFreq);
        break;
    case 47:
        chooseEither(S::SidetoneWaveform, r.sidetoneWaveform == 0, st::SidetoneWaveform::Sine,
                     st::SidetoneWaveform::Square);
        break;
    case 50:
        s.TimingWeights = r.timingWeights;
        w.timingWeightsChanged();
        break;
    case 62:
        s.PttEnable = r.ptt[0] == 1;
        s.PttInvert = r.ptt[1] == 1;
        s.DtrIsData = r.ptt[2] == 1;
        s.DtrIsPtt = r.ptt[3] == 1;
        s.RtsIsData = r.ptt[4] == 1;
        s.RtsIsPtt = r.ptt[5] == 1;
        w.pttLinesChanged();
        break;
    case 70:
        if (!w.choose(S::BeaconCarrierTime, r.beaconCarrierTime))
            w.setUnlistedCarrierTime(r.beaconCarrierTime);
        break;
    default:
        return false;
    }
    return true;
}

// The receive options (record 39's input device is opened by the next loop entry).
bool ConfigurationFiles::applyReceiveRecord(int record, const ConfigRecords& r) {
    namespace st = setting;
    using S = SettingId;
    ConfigWindow& w = m_window;
    OperatingSettings& s = w.settings();
    switch (record) {
    case 6:
        s.TunedBin = r.tunedBin;
        break;
    case 10:
        chooseOrKeep(S::RxSpeedLock, r.rxSpeedLock, s.RxSpeedLock);
        break;
    case 11:
        chooseEither(S::SpacesMode, r.spacesMode == raw(st::Switch3::On), st::Switch3::On,
                     st::Switch3::Off);
        break;
    case 12:
        chooseOrKeep(S::SpaceTime, r.spaceTime, s.SpaceTime);
        break;
    case 13:
        chooseOrKeep(S::AfcWidth, r.afcWidth, s.AfcWidth);
        break;
    case 24:
        chooseOrKeep(S::ThresholdMode, r.thresholdMode, s.ThresholdMode);
        break;
    case 26:
        chooseEither(S::NoiseFilter, r.noiseFilter == 0, st::Switch3::Off, st::Switch3::On);
        break;
    case 28:
        chooseEither(S::Decoder, r.decoder == raw(st::Decoder::Standard), st::Decoder::Standard,
                     st::Decoder::Enhanced);
        break;
    case 29:
        chooseOrKeep(S::InputChannel, r.inputChannel, s.InputChannel);
        break;
    case 31:
        chooseEither(S::Prosigns, r.prosigns == 1, st::OnOff::On, st::OnOff::Off);
        break;
    case 33:
        chooseEither(S::NonEnglish, r.nonEnglish == 1, st::OnOff::On, st::OnOff::Off);
        break;
    case 39:
        s.InputDeviceId = r.inputDeviceId;
        break;
    case 41:
        s.AfcStartFreq = r.afcStartFreq;
        w.applyAfcStart(r.afcStartFreq); // tunes to it
        break;
    case 42:
        chooseEither(S::SpacesMode, r.spacesModeAgain == raw(st::Switch3::On), st::Switch3::On,
                     st::Switch3::Off);
        break;
    case 68:
        chooseEither(S::AfcTimer, r.afcTimer == 1, st::OnOff::On, st::OnOff::Off);
        break;
    default:
        return false;
    }
    return true;
}

// What the window shows and how.
bool ConfigurationFiles::applyDisplayRecord(int record, const ConfigRecords& r) {
    namespace st = setting;
    using S = SettingId;
    ConfigWindow& w = m_window;
    OperatingSettings& s = w.settings();
    switch (record) {
    case 8:
        chooseEither(S::TextCase, r.textCase == 1, st::TextCase::Upper, st::TextCase::Lower);
        break;
    case 9:
        chooseEither(S::TextBold, r.textBold == 0, st::TextBold::Normal, st::TextBold::Bold);
        break;
    case 14:
        chooseOrKeep(S::FontSize, r.fontSize, s.FontSize);
        break;
    case 35:
        chooseEither(S::StayOnTop, r.stayOnTop == 0, st::OnOff::Off, st::OnOff::On);
        break;
    case 37:
        chooseEither(S::Messaging, r.messaging == 1, st::OnOff::On, st::OnOff::Off);
        break;
    case 43:
        chooseEither(S::DisplayType, r.displayType == 0, st::DisplayType::Line,
                     st::DisplayType::Waterfall);
        break;
    case 55:
        chooseEither(S::TransmitScreen, r.transmitScreen == 0, st::TransmitScreen::Single,
                     st::TransmitScreen::Double);
        break;
    case 56:
        chooseEither(S::Scrolling, r.scrolling == raw(st::Switch3::On), st::Switch3::On,
                     st::Switch3::Off);
        break;
    case 57:
        chooseEither(S::Background, r.background == 0, st::Background::Black,
                     st::Background::White);
        break;
    case 69:
        chooseEither(S::TextDisplay, r.textDisplay == 0, st::OnOff::Off, st::OnOff::On);
        break;
    case 72:
        chooseEither(S::ScreenOpMode, r.screenOpMode == 0, st::ScreenOpMode::ReceiveOnly,
                     st::ScreenOpMode::TransmitReceive);
        break;
    default:
        return false;
    }
    return true;
}

} // namespace dita
