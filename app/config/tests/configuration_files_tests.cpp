// Loading and saving the configuration against a recording window: records are applied in
// file order through the handlers, first runs create the file, short and foreign files load
// what they can, and a failed save keeps the previous file.
#include "app/config/ConfigurationFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace dita;

namespace {

class RecordingWindow : public ConfigWindow {
public:
    OperatingSettings s;
    WindowSettings ws;
    std::vector<std::string> clicks;
    std::map<std::string, bool> checks;
    int afcStart = 0;
    int loopStops = 0;
    bool shownTimeline = false, first = true;
    std::vector<int> gainChanges;
    std::vector<int> speedsApplied;
    const ConfigurationFiles* files = nullptr;
    bool loadingDuringSerialPort = false;
    bool loadingFlag = false;

    RecordingWindow() {
        ws.Timeline = {10, 20, 315, 516};
        ws.CoarseGainBar = 10;
    }
    OperatingSettings& settings() override { return s; }
    WindowSettings& windowSettings() override { return ws; }
    bool choose(SettingId setting, int32_t value) override {
        const MenuRow* item = optionRow(setting, value);
        if (!item) return false;
        clicks.emplace_back(item->name);
        if (clicks.back() == "SerialPort1" && files) loadingDuringSerialPort = files->loading();
        return true;
    }
    void setConfigLoading(bool loading) override { loadingFlag = loading; }
    void checkPortNumber() override {
        checks["PortNumber1"] = true;
        checks["None1"] = false;
    }
    void signalBarChanged() override {}
    void applyXmitSpeed(int wpm) override {
        s.XmitSpeed = wpm;
        speedsApplied.push_back(wpm);
    }
    void timelinePlacementChanged() override {}
    void showTimeline(bool shown) override { shownTimeline = shown; }
    void mainWindowPlacementChanged() override {}
    void coarseGainBarPositionChanged() override {}
    void coarseGainBarChange() override { gainChanges.push_back(ws.CoarseGainBar); }
    void setComPortSpin(int) override {}
    void applyAfcStart(int hz) override { afcStart = hz; }
    void contactCounterChanged() override {}
    void timingWeightsChanged() override {}
    void stationTextChanged(ConfigTextField) override {}
    void pttLinesChanged() override {}
    void bandChanged() override {}
    void setLoopStopped() override { ++loopStops; }
    void setUnlistedSidetone(float hz) override { unlistedSidetone = hz; }
    void setUnlistedCarrierTime(int seconds) override { s.BeaconCarrierTime = seconds; }
    void selectSoundCardOutput() override {
        s.OutputDevice = setting::OutputDevice::SoundCard;
        checks["SoundCard1"] = true;
        checks["SerialPort1"] = false;
    }
    float unlistedSidetone = 0;
    bool firstStart() override { return first; }

    size_t indexOf(const std::string& item) const {
        return std::find(clicks.begin(), clicks.end(), item) - clicks.begin();
    }
};

struct TempDir {
    std::filesystem::path path;
    TempDir()
        : path(std::filesystem::temp_directory_path() /
               ("dita-cfg-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

std::vector<std::pair<std::string, std::string>> g_reports;
ConfigurationFiles::Report recordReports() {
    return [](const std::string& t, const std::string& c) { g_reports.emplace_back(t, c); };
}

} // namespace

TEST(ConfigurationFiles, FirstRunWritesTheCurrentStateAndAppliesOnlyTheAfcStart) {
    TempDir dir;
    RecordingWindow w;
    w.ws.Macros[1] = "CQ CQ DE %M K";
    ConfigurationFiles files(w, dir.path / "DITA.cfc", std::nullopt, recordReports());
    files.load();
    EXPECT_TRUE(w.clicks.empty());
    EXPECT_EQ(w.afcStart, 600); // reception starts at the AFC start frequency on a first run too
    ASSERT_EQ(std::filesystem::file_size(dir.path / "DITA.cfc"), kConfigFileBytes);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readConfigFile(dir.path / "DITA.cfc", bytes));
    ConfigRecords r;
    decodeConfig(bytes.data(), bytes.size(), r);
    EXPECT_EQ(r.headerWord, 888);
    EXPECT_EQ(r.reserved4, 63);
    EXPECT_EQ(configText(r.macros[0]), "CQ CQ DE %M K");
}

TEST(ConfigurationFiles, LoadAppliesRecordsInFileOrderThroughTheHandlers) {
    TempDir dir;
    ConfigRecords r;
    r.textCase = 1;
    r.rxSpeedLock = 9;   // N20WPM
    r.coarseGainBar = 4; // record 23
    r.displayGain = 17;  // record 27 decides the final position
    r.tunedBin = 300;
    r.afcStartFreq = 640;
    r.outputDevice = 1;
    r.xmitSpeed = 27;
    r.sidetoneFreq = 700.0f; // no item stands for 700
    r.background = 0;
    r.screenOpMode = 1;
    r.band = 6;
    setConfigText(r.myCall, "W1AW");
    std::string error;
    ASSERT_TRUE(writeConfigFile(dir.path / "DITA.cfc", r, error));

    RecordingWindow w;
    ConfigurationFiles files(w, dir.path / "DITA.cfc", std::nullopt, recordReports());
    w.files = &files;
    files.load();
    EXPECT_FALSE(files.loading());
    EXPECT_EQ(w.loopStops, 1);
    // Handlers in record order: case (8) before the speed lock (10) before threshold (24)
    // before the display type (43) before the output device (45) before the screen mode (72).
    const std::vector<std::string> order = {"Upper1",          "N20WPM",      "Noisy2",
                                            "Spectrum1",       "SerialPort1", "BlackBackground",
                                            "TransmitReceive1"};
    for (size_t i = 1; i < order.size(); ++i)
        EXPECT_LT(w.indexOf(order[i - 1]), w.indexOf(order[i])) << order[i];
    EXPECT_EQ(w.clicks.back(), "TransmitReceive1");
    EXPECT_EQ(w.ws.CoarseGainBar, 17);
    EXPECT_EQ(w.gainChanges, std::vector<int>{17});
    EXPECT_EQ(w.afcStart, 640);             // the window tunes to it, whatever record 6 held
    EXPECT_TRUE(w.loadingDuringSerialPort); // the stored port opens during the load
    EXPECT_EQ(w.speedsApplied, std::vector<int>{27}); // after record 45
    EXPECT_FLOAT_EQ(w.s.SidetoneFreq, 700.0f);
    EXPECT_FLOAT_EQ(w.unlistedSidetone, 700.0f);
    for (const char* item : {"Freq1", "Freq2", "Freq3", "Freq4"})
        EXPECT_EQ(w.indexOf(item), w.clicks.size());
    EXPECT_EQ(w.ws.Band, 6);
    EXPECT_LT(w.indexOf("Enhanced1"), w.clicks.size()); // record 28 holds 0, as in every older file
    EXPECT_EQ(w.s.Decoder, setting::Decoder::Enhanced);
    EXPECT_EQ(w.ws.MyCall, "W1AW");
}

TEST(ConfigurationFiles, LoadDefaultsDiffersWhereItShould) {
    TempDir dir;
    ConfigRecords r;
    r.xmitSpeed = 31;
    r.outputDevice = 0;
    r.outputPort = 2;
    r.inputChannel = 1;
    std::string error;
    ASSERT_TRUE(writeConfigFile(dir.path / "DefaultDITA.cfc", r, error));
    RecordingWindow w;
    w.first = false;
    ConfigurationFiles files(w, dir.path / "DITA.cfc", dir.path / "DefaultDITA.cfc",
                             recordReports());
    files.loadDefaults();
    EXPECT_EQ(w.speedsApplied, std::vector<int>{31});    // right after record 3
    EXPECT_EQ(w.indexOf("SoundCard1"), w.clicks.size()); // record 45 only selects the sound card
    EXPECT_TRUE(w.checks["SoundCard1"]);
    EXPECT_FALSE(w.checks["SerialPort1"]);
    EXPECT_TRUE(w.checks["PortNumber1"]); // after record 16, whatever record 15 held
    EXPECT_EQ(w.s.OutputPort, setting::OutputPort::PortNumber);
    EXPECT_LT(w.indexOf("MicInput"), w.clicks.size());
    EXPECT_FALSE(std::filesystem::exists(dir.path / "DITA.cfc")); // Load Defaults never writes

    RecordingWindow none;
    ConfigurationFiles missing(none, dir.path / "DITA.cfc", dir.path / "absent.cfc",
                               recordReports());
    missing.loadDefaults();
    EXPECT_TRUE(none.clicks.empty());
    EXPECT_EQ(none.loopStops, 0);
}

TEST(ConfigurationFiles, SaveRestoresTheSameStateAndCarriesReservedRecords) {
    TempDir dir;
    ConfigRecords stored;
    stored.reserved36 = 0x12345678;
    setConfigText(stored.macros[17], "slot eighteen");
    std::string error;
    ASSERT_TRUE(writeConfigFile(dir.path / "DITA.cfc", stored, error));
    RecordingWindow w;
    ConfigurationFiles files(w, dir.path / "DITA.cfc", std::nullopt, recordReports());
    files.load();
    w.s.ThresholdMode = setting::ThresholdMode::Quiet;
    w.s.Decoder = setting::Decoder::Standard;
    w.s.TimingWeights = {73.0f, 150.0f, 150.0f, 150.0f};
    w.ws.Timeline = {1, 2, 300, 400};
    w.s.PttEnable = w.s.PttInvert = w.s.DtrIsPtt = w.s.RtsIsData = 1;
    w.s.DtrIsData = w.s.RtsIsPtt = 0;
    ASSERT_TRUE(files.save());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readConfigFile(dir.path / "DITA.cfc", bytes));
    ConfigRecords back;
    ASSERT_EQ(decodeConfig(bytes.data(), bytes.size(), back), kConfigRecordCount);
    EXPECT_EQ(back.reserved36, 0x12345678);
    EXPECT_EQ(configText(back.macros[17]), "slot eighteen");
    EXPECT_EQ(back.thresholdMode, 4);
    EXPECT_EQ(back.decoder, 1);
    EXPECT_FLOAT_EQ(back.timingWeights[0], 73.0f);
    EXPECT_EQ(back.timelineHeight, 300);
    EXPECT_EQ(back.ptt[1], 1);
    EXPECT_EQ(back.portInUse, back.comPortNumber);

    RecordingWindow again;
    ConfigurationFiles reload(again, dir.path / "DITA.cfc", std::nullopt, recordReports());
    reload.load();
    EXPECT_LT(again.indexOf("Quiet2"), again.clicks.size());
    EXPECT_LT(again.indexOf("Standard1"), again.clicks.size());
    EXPECT_EQ(again.ws.Timeline[3], 400);
    EXPECT_EQ(again.s.DtrIsPtt, 1);
}

TEST(ConfigurationFiles, EveryShortFileLoadsAndRunsAllHandlers) {
    ConfigRecords full;
    full.textCase = 1;
    full.screenOpMode = 1;
    const auto bytes = encodeConfig(full);
    for (size_t len = 0; len < kConfigFileBytes; len += (len < 81944 ? 4093 : 1)) {
        RecordingWindow w;
        ConfigurationFiles files(w, "/nonexistent/DITA.cfc", std::nullopt, recordReports());
        files.loadBytes(bytes.data(), len, false);
        // The screen mode record is never in a short file: its handler runs with the value held.
        ASSERT_EQ(w.clicks.back(), "ReceiveOnly1") << len;
        ASSERT_EQ(w.indexOf("Upper1") < w.clicks.size(), len >= 81948) << len;
    }
}

TEST(ConfigurationFiles, AFailedSaveKeepsThePreviousFileAndSaysSoOnce) {
    TempDir dir;
    RecordingWindow w;
    ConfigurationFiles good(w, dir.path / "DITA.cfc", std::nullopt, recordReports());
    ASSERT_TRUE(good.save());
    g_reports.clear();
    ConfigurationFiles bad(w, dir.path / "missing" / "DITA.cfc", std::nullopt, recordReports());
    EXPECT_FALSE(bad.save());
    EXPECT_FALSE(bad.save());
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].second, "File Error Message");
    EXPECT_NE(g_reports[0].first.find("could not be saved"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(dir.path / "DITA.cfc"), kConfigFileBytes);
}

namespace {

// Runs load() on a thread of its own. A load that waits in open() for a FIFO's writer is
// released by opening the other end, so that the test can report it instead of hanging.
bool loadsWithoutWaiting(ConfigurationFiles& files, const std::filesystem::path& path) {
    constexpr auto kHangLimit = std::chrono::seconds(10);
    auto done = std::async(std::launch::async, [&files] { files.load(); });
    if (done.wait_for(kHangLimit) == std::future_status::ready) {
        done.get();
        return true;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    done.wait();
    return false;
}

ConfigRecords readBack(const std::filesystem::path& path) {
    std::vector<uint8_t> bytes;
    ConfigRecords r;
    if (readConfigFile(path, bytes)) decodeConfig(bytes.data(), bytes.size(), r);
    return r;
}

} // namespace

TEST(ConfigurationFiles, SomethingElseThanAFileIsReportedOnceAndNeverReplaced) {
    enum class Kind { Folder, Fifo, LinkToZeroDevice };
    for (const Kind kind : {Kind::Folder, Kind::Fifo, Kind::LinkToZeroDevice}) {
        SCOPED_TRACE(static_cast<int>(kind));
        TempDir dir;
        const auto path = dir.path / "DITA.cfc";
        if (kind == Kind::Folder) std::filesystem::create_directory(path);
        if (kind == Kind::Fifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }
        if (kind == Kind::LinkToZeroDevice) std::filesystem::create_symlink("/dev/zero", path);
        g_reports.clear();
        RecordingWindow w;
        ConfigurationFiles files(w, path, std::nullopt, recordReports());
        ASSERT_TRUE(loadsWithoutWaiting(files, path)) << "the load waited on " << path;
        EXPECT_TRUE(w.clicks.empty()) << "the defaults stay: nothing is applied";
        EXPECT_EQ(w.loopStops, 0);
        EXPECT_FALSE(files.save());
        ASSERT_EQ(g_reports.size(), 1u) << "said once, at the load";
        EXPECT_NE(g_reports[0].first.find(path.string() + " is not a settings file"),
                  std::string::npos)
            << g_reports[0].first;
        EXPECT_EQ(std::filesystem::is_directory(path), kind == Kind::Folder);
        EXPECT_EQ(std::filesystem::is_fifo(std::filesystem::symlink_status(path)),
                  kind == Kind::Fifo);
        EXPECT_EQ(std::filesystem::is_symlink(path), kind == Kind::LinkToZeroDevice);
        EXPECT_FALSE(std::filesystem::exists(dir.path / "DITA.cfc.tmp"));
        // The same thing as the defaults file: Load Defaults says so and applies nothing.
        g_reports.clear();
        ConfigurationFiles defaults(w, dir.path / "other.cfc", path, recordReports());
        defaults.loadDefaults();
        EXPECT_TRUE(w.clicks.empty());
        EXPECT_EQ(g_reports.size(), 1u);
    }
}

TEST(ConfigurationFiles, TheOperatorsPermissionsAndLinksSurviveASave) {
    TempDir dir;
    const auto path = dir.path / "DITA.cfc";
    ConfigRecords stored;
    stored.xmitSpeed = 31;
    std::string error;
    ASSERT_TRUE(writeConfigFile(path, stored, error)) << error;

    // A write-protected file is loaded, said to be write-protected once, and never replaced.
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    g_reports.clear();
    RecordingWindow w;
    ConfigurationFiles files(w, path, std::nullopt, recordReports());
    files.load();
    EXPECT_EQ(w.speedsApplied, std::vector<int>{31});
    w.s.XmitSpeed = 44;
    EXPECT_FALSE(files.save());
    EXPECT_FALSE(files.save());
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_NE(g_reports[0].first.find("write-protected"), std::string::npos) << g_reports[0].first;
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    EXPECT_EQ(after.st_mode & 07777, 0444u);
    EXPECT_EQ(readBack(path).xmitSpeed, 31);

    // A file made write-protected while the program runs is not replaced at quit either.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    g_reports.clear();
    ConfigurationFiles later(w, path, std::nullopt, recordReports());
    later.load();
    EXPECT_TRUE(g_reports.empty());
    w.s.XmitSpeed = 44;
    ASSERT_EQ(::chmod(path.c_str(), 0440), 0);
    EXPECT_FALSE(later.save());
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_NE(g_reports[0].first.find("write-protected"), std::string::npos) << g_reports[0].first;
    EXPECT_EQ(readBack(path).xmitSpeed, 31);

    // A writable file is replaced with the permissions it had.
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    EXPECT_TRUE(later.save());
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(readBack(path).xmitSpeed, 44);

    // A link to the file stays a link, and the file it names gets the settings.
    const auto link = dir.path / "DITA-link.cfc";
    std::filesystem::create_symlink(path, link);
    ConfigurationFiles linked(w, link, std::nullopt, recordReports());
    linked.load();
    w.s.XmitSpeed = 52;
    ASSERT_TRUE(linked.save());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readBack(path).xmitSpeed, 52);
}

TEST(ConfigurationFiles, ATemporaryFileLeftByACutSaveIsRemovedAtStart) {
    TempDir dir;
    const auto path = dir.path / "DITA.cfc";
    ConfigRecords stored;
    stored.xmitSpeed = 33;
    std::string error;
    ASSERT_TRUE(writeConfigFile(path, stored, error)) << error;
    {
        std::ofstream cut(dir.path / "DITA.cfc.tmp", std::ios::binary);
        cut << std::string(1000, 'x'); // a save killed part-way
    }
    RecordingWindow w;
    ConfigurationFiles files(w, path, std::nullopt, recordReports());
    files.load();
    EXPECT_FALSE(std::filesystem::exists(dir.path / "DITA.cfc.tmp"));
    EXPECT_EQ(w.speedsApplied, std::vector<int>{33});
    // Only a file is removed: a folder of that name is the operator's.
    std::filesystem::create_directory(dir.path / "DITA.cfc.tmp");
    ConfigurationFiles again(w, path, std::nullopt, recordReports());
    again.load();
    EXPECT_TRUE(std::filesystem::is_directory(dir.path / "DITA.cfc.tmp"));
}
