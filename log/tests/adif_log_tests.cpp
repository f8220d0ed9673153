// The ADIF record, the log file appends and their messages, and an independent reader's view
// of the written file.
#include "log/AdifLog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace dita;
namespace fs = std::filesystem;

namespace {

// Call ABC, own call XYZ, 14.025 MHz, 5 January 2024 09:30:15 UTC.
LogEntryFields exampleEntry() {
    LogEntryFields f;
    f.CallMemo = "ABC";
    f.MyCallMemo = "XYZ";
    f.FrequencyMemo = "14.025000";
    f.GMTDateMemo = "2024-01-05";
    f.UTCPnl = "09:30:15";
    f.LogDateText = "20240105";
    f.LogTimeText = "093015";
    return f;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Messages {
    std::vector<std::pair<std::string, std::string>> list;
    MessageSink sink() {
        return [this](const std::string& t, const std::string& c) { list.emplace_back(t, c); };
    }
};

struct LogFolder : ::testing::Test {
    fs::path dir;
    fs::path log;
    Messages messages;
    void SetUp() override {
        char pattern[] = "/tmp/dita-log-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        log = dir / "DITA.adi";
    }
    void TearDown() override { fs::remove_all(dir); }
    AdifLogWriter writer() {
        return AdifLogWriter(messages.sink(), [this] { return log; });
    }
};

} // namespace

TEST(AdifRecord, ExampleRecordByteForByte) {
    const AdifRecord r = buildAdifRecord(exampleEntry());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, "<call:3>ABC <station_callsign:3>XYZ <mode:2>CW <qso_date:8>20240105 "
                       "<time_on:6>093015 <freq:9>14.025000 <eor>\r\n");
}

TEST(AdifRecord, EveryFieldInItsPlace) {
    LogEntryFields f = exampleEntry();
    f.GridMemo = "FN31";
    f.MyGridMemo = "JO62qm";
    f.RSTMemo = "579";   // received
    f.MyRSTMemo = "599"; // sent
    const AdifRecord r = buildAdifRecord(f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, "<call:3>ABC <gridsquare:4>FN31 <station_callsign:3>XYZ "
                       "<my_gridsquare:6>JO62qm <mode:2>CW <rst_sent:3>599 <rst_rcvd:3>579 "
                       "<qso_date:8>20240105 <time_on:6>093015 <freq:9>14.025000 <eor>\r\n");
}

TEST(AdifRecord, ValuesAsTypedWithLengthsInBytes) {
    LogEntryFields f = exampleEntry();
    f.CallMemo = "ABC ";           // trailing space is logged and counted
    f.MyCallMemo = "dl1\xC3\xA4x"; // dl1äx: case kept, ä is one Latin-1 byte
    f.GridMemo = "\xE2\x82\xAC";   // euro sign: outside Latin-1, becomes "?"
    f.GMTDateMemo.clear();         // clock not running yet: no date, no time
    f.UTCPnl.clear();
    const AdifRecord r = buildAdifRecord(f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, "<call:4>ABC  <gridsquare:1>? <station_callsign:5>dl1\xE4x <mode:2>CW "
                       "<freq:9>14.025000 <eor>\r\n");
}

TEST(AdifRecord, DateAndTimeLengthsFollowTheValuesWritten) {
    LogEntryFields f = exampleEntry();
    f.GMTDateMemo = "5.1.2024"; // a display of another length must not corrupt the record
    const AdifRecord r = buildAdifRecord(f);
    ASSERT_TRUE(r.ok);
    EXPECT_NE(r.bytes.find("<qso_date:8>20240105 <time_on:6>093015 "), std::string::npos);
}

TEST(AdifRecord, RefusalsInTheirOrder) {
    LogEntryFields f; // everything empty: the call is missing first
    EXPECT_EQ(buildAdifRecord(f).refusal, "No station specified, no log entry will be generated");
    f.CallMemo = "ABC";
    f.FrequencyMemo = "14.025000";
    EXPECT_EQ(buildAdifRecord(f).refusal,
              "No station callsign specified, no log entry will be generated");
    f = exampleEntry();
    f.GridMemo = "FN31";
    f.RSTMemo = "599";
    f.FrequencyMemo.clear(); // as after a band change
    const AdifRecord r = buildAdifRecord(f);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.refusal, "No frequency specified, no log entry will be generated");
    EXPECT_TRUE(r.bytes.empty());
}

TEST_F(LogFolder, TwoClicksAppendTwoRecordsEachWithItsMessage) {
    AdifLogWriter w = writer();
    LogEntryFields f = exampleEntry();
    ASSERT_TRUE(w.LogBtnClick(f));
    f.UTCPnl = "09:31:02";
    f.LogTimeText = "093102";
    ASSERT_TRUE(w.LogBtnClick(f));
    const std::string content = readFile(log);
    EXPECT_EQ(content, buildAdifRecord(exampleEntry()).bytes + buildAdifRecord(f).bytes);
    EXPECT_EQ(content.front(), '<'); // no header
    ASSERT_EQ(messages.list.size(), 2u);
    for (const auto& m : messages.list) {
        EXPECT_EQ(m.first, "Log file entry generated");
        EXPECT_EQ(m.second, "File Message");
    }
}

TEST_F(LogFolder, RefusedEntryShowsOneMessageAndLeavesNoFile) {
    AdifLogWriter w = writer();
    LogEntryFields f = exampleEntry();
    f.MyCallMemo.clear();
    EXPECT_FALSE(w.LogBtnClick(f));
    ASSERT_EQ(messages.list.size(), 1u);
    EXPECT_EQ(messages.list[0].first,
              "No station callsign specified, no log entry will be generated");
    EXPECT_EQ(messages.list[0].second, "Error Message");
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(LogFolder, LongRecordIsWrittenWhole) {
    AdifLogWriter w = writer();
    LogEntryFields f = exampleEntry();
    f.GridMemo = std::string(300, 'G');
    ASSERT_TRUE(w.LogBtnClick(f));
    const std::string content = readFile(log);
    EXPECT_GT(content.size(), 255u);
    EXPECT_EQ(content, buildAdifRecord(f).bytes);
    EXPECT_NE(content.find("<gridsquare:300>" + std::string(300, 'G') + " "), std::string::npos);
}

TEST_F(LogFolder, UnopenableLogIsReportedAndNothingClaimsSuccess) {
    log = dir / "missing-folder" / "DITA.adi";
    AdifLogWriter w = writer();
    EXPECT_FALSE(w.LogBtnClick(exampleEntry()));
    ASSERT_EQ(messages.list.size(), 1u);
    EXPECT_EQ(messages.list[0].first, "Could not open the log file!");
    EXPECT_EQ(messages.list[0].second, "File Error Message");

    // No DITA folder to be had at all.
    AdifLogWriter noFolder(messages.sink(), []() -> fs::path {
        throw std::runtime_error("Could not create the DITA folder");
    });
    EXPECT_FALSE(noFolder.LogBtnClick(exampleEntry()));
    ASSERT_EQ(messages.list.size(), 2u);
    EXPECT_EQ(messages.list[1].first, "Could not open the log file!");
}

TEST_F(LogFolder, FailedWriteIsAnErrorNotASuccess) {
    // /dev/full opens for appending but every write fails with "No space left on device".
    AdifLogWriter w(messages.sink(), [] { return fs::path("/dev/full"); });
    EXPECT_FALSE(w.LogBtnClick(exampleEntry()));
    ASSERT_EQ(messages.list.size(), 1u);
    EXPECT_NE(messages.list[0].first, "Log file entry generated");
    EXPECT_NE(messages.list[0].first.find("could not be written"), std::string::npos);
    EXPECT_EQ(messages.list[0].second, "File Error Message");
}

TEST_F(LogFolder, PartlyWrittenRecordIsTakenBack) {
    AdifLogWriter w = writer();
    ASSERT_TRUE(w.LogBtnClick(exampleEntry()));
    const std::string before = readFile(log);

    // Let the file grow by only 10 bytes: the next record gets in partly, then fails.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = before.size() + 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = w.LogBtnClick(exampleEntry());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(log), before);
    ASSERT_EQ(messages.list.size(), 2u);
    EXPECT_EQ(messages.list[1].second, "File Error Message");
}

// ------------------------------------------------------------ independent ADIF reader

namespace {

bool commandWorks(const std::string& cmd) {
    return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0;
}

std::string fromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

} // namespace

TEST_F(LogFolder, RecordsReadBackByAnIndependentAdifParser) {
    if (!commandWorks("node --version") || !commandWorks("npm --version"))
        GTEST_SKIP() << "node or npm is not installed: independent ADIF check skipped";
    const fs::path npmDir = DITA_NPM_DIR;
    if (!fs::exists(npmDir / "node_modules" / "adif-parser-ts")) {
        fs::create_directories(npmDir);
        const std::string install = "timeout 180 npm install --prefix '" + npmDir.string() +
                                    "' --no-audit --no-fund --silent adif-parser-ts@0.7.7";
        if (!commandWorks(install))
            GTEST_SKIP() << "the npm registry is not reachable: independent ADIF check skipped";
    }

    AdifLogWriter w = writer();
    LogEntryFields a = exampleEntry();
    LogEntryFields b = exampleEntry();
    b.CallMemo = "W1AW ";
    b.GridMemo = "FN31pr";
    b.MyCallMemo = "DL1\xC3\x84X"; // DL1ÄX
    b.MyGridMemo = "JO62";
    b.RSTMemo = "579";
    b.MyRSTMemo = "599";
    b.FrequencyMemo = "7.030500";
    LogEntryFields c = exampleEntry();
    c.GridMemo = std::string(280, 'x') + "<eor>"; // long, and holding tag-like text
    ASSERT_TRUE(w.LogBtnClick(a));
    ASSERT_TRUE(w.LogBtnClick(b));
    ASSERT_TRUE(w.LogBtnClick(c));

    const fs::path out = dir / "parsed.txt";
    const std::string cmd = "NODE_PATH='" + (npmDir / "node_modules").string() + "' node '" +
                            std::string(DITA_ADIF_READER) + "' '" + log.string() + "' > '" +
                            out.string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

    std::map<int, std::map<std::string, std::string>> records;
    std::istringstream lines(readFile(out));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string index, name, hex;
        std::getline(fields, index, '\t');
        std::getline(fields, name, '\t');
        std::getline(fields, hex, '\t');
        records[std::stoi(index)][name] = fromHex(hex);
    }
    ASSERT_EQ(records.size(), 3u);
    const std::map<std::string, std::string> expectA = {
        {"call", "ABC"},          {"station_callsign", "XYZ"}, {"mode", "CW"},
        {"qso_date", "20240105"}, {"time_on", "093015"},       {"freq", "14.025000"}};
    EXPECT_EQ(records[0], expectA);
    const std::map<std::string, std::string> expectB = {
        {"call", "W1AW "},         {"gridsquare", "FN31pr"}, {"station_callsign", "DL1\xC4X"},
        {"my_gridsquare", "JO62"}, {"mode", "CW"},           {"rst_sent", "599"},
        {"rst_rcvd", "579"},       {"qso_date", "20240105"}, {"time_on", "093015"},
        {"freq", "7.030500"}};
    EXPECT_EQ(records[1], expectB);
    EXPECT_EQ(records[2]["gridsquare"], std::string(280, 'x') + "<eor>");
    EXPECT_EQ(records[2]["freq"], "14.025000");
}
