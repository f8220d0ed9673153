#include "app/config/ConfigFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace dita;

TEST(ConfigFile, RecordsSitAtTheirOffsetsAndFill83158Bytes) {
    EXPECT_EQ(recordLayout(1).offset, 0u);
    EXPECT_EQ(recordLayout(6).offset, 20u);
    EXPECT_EQ(recordLayout(7).offset, 24u);
    EXPECT_EQ(recordLayout(7).size, 81920u);
    EXPECT_EQ(recordLayout(8).offset, 81944u);
    EXPECT_EQ(recordLayout(25).offset, 82012u);
    EXPECT_EQ(recordLayout(25).size, 1u);
    EXPECT_EQ(recordLayout(26).offset, 82013u);
    EXPECT_EQ(recordLayout(41).offset, 82049u);
    EXPECT_EQ(recordLayout(46).offset, 82066u);
    EXPECT_EQ(recordLayout(53).offset, 82094u);
    EXPECT_EQ(recordLayout(58).offset, 82114u);
    EXPECT_EQ(recordLayout(58).size, 256u);
    EXPECT_EQ(recordLayout(62).offset, 83138u);
    EXPECT_EQ(recordLayout(69).offset, 83145u);
    EXPECT_EQ(recordLayout(72).offset, 83154u);
    EXPECT_EQ(recordLayout(73).size, 0u);
    const auto bytes = encodeConfig(ConfigRecords{});
    ASSERT_EQ(bytes.size(), kConfigFileBytes);
    EXPECT_EQ(bytes[0] | bytes[1] << 8, 888);
    EXPECT_EQ(bytes[12], 63);
}

TEST(ConfigFile, EveryRecordRoundTrips) {
    ConfigRecords r;
    r.signalBar = -5;
    r.xmitSpeed = 33;
    r.tunedBin = 250;
    setConfigText(r.macros[0], "CQ CQ DE %M K");
    setConfigText(r.macros[19], "slot twenty");
    r.thresholdMode = 4;
    r.reserved25 = 0xAB;
    r.sidetoneFreq = 700.0f;
    r.timingWeights = {110.5f, 95.0f, 120.0f, 130.0f};
    setConfigText(r.myCall, "DL2XYZ");
    setConfigText(r.qth, "M\xFC"
                         "nchen");
    r.ptt = {1, 0, 0, 1, 1, 0};
    r.band = 11;
    r.screenOpMode = 1;
    const auto bytes = encodeConfig(r);
    ConfigRecords back;
    EXPECT_EQ(decodeConfig(bytes.data(), bytes.size(), back), kConfigRecordCount);
    EXPECT_EQ(encodeConfig(back), bytes);
    EXPECT_EQ(configText(back.macros[0]), "CQ CQ DE %M K");
    EXPECT_EQ(configText(back.qth), "M\xFC"
                                    "nchen");
    EXPECT_FLOAT_EQ(back.sidetoneFreq, 700.0f);
    EXPECT_EQ(back.reserved25, 0xAB);
}

TEST(ConfigFile, AFileMadeByHandIsReadAsTheTableSays) {
    std::vector<uint8_t> bytes(kConfigFileBytes, 0);
    auto put32 = [&](size_t off, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(8, 25);                          // record 3, transmit speed
    put32(82017, 17);                      // record 27, display gain
    bytes[82030] = 0;                      // record 31, prosigns off
    put32(82066, 0x442F0000);              // record 46, 700.0f
    put32(83154, 1);                       // record 72
    std::memcpy(&bytes[82626], "W1AW", 4); // record 60
    ConfigRecords r;
    decodeConfig(bytes.data(), bytes.size(), r);
    EXPECT_EQ(r.xmitSpeed, 25);
    EXPECT_EQ(r.displayGain, 17);
    EXPECT_EQ(r.prosigns, 0);
    EXPECT_FLOAT_EQ(r.sidetoneFreq, 700.0f);
    EXPECT_EQ(r.screenOpMode, 1);
    EXPECT_EQ(configText(r.myCall), "W1AW");
}

TEST(ConfigFile, ShortFilesOfEveryLengthReadWhatTheyHold) {
    ConfigRecords full;
    full.screenOpMode = 1;
    full.xmitSpeed = 44;
    const auto bytes = encodeConfig(full);
    int previous = 0;
    for (size_t len = 0; len < kConfigFileBytes; ++len) {
        ConfigRecords r;
        const int n = decodeConfig(bytes.data(), len, r);
        ASSERT_GE(n, previous);
        ASSERT_LT(n, kConfigRecordCount);
        ASSERT_EQ(r.screenOpMode, 0); // the last record never fits
        if (len >= 12) {
            ASSERT_EQ(r.xmitSpeed, 44);
        }
        previous = n;
    }
}

TEST(ConfigFile, UnterminatedTextsAreCutAtTheirArea) {
    std::vector<uint8_t> bytes(kConfigFileBytes, 'A');
    ConfigRecords r;
    decodeConfig(bytes.data(), bytes.size(), r);
    EXPECT_EQ(configText(r.myName).size(), 255u);
    EXPECT_EQ(configText(r.macros[3]).size(), 4095u);
    ConfigText t;
    setConfigText(t, std::string(400, 'x'));
    EXPECT_EQ(configText(t).size(), 255u);
}

TEST(ConfigFile, AFailedSaveKeepsThePreviousFile) {
    const auto dir = std::filesystem::temp_directory_path() / "dita-config-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto path = dir / "DITA.cfc";
    ConfigRecords good;
    good.xmitSpeed = 31;
    std::string error;
    ASSERT_TRUE(writeConfigFile(path, good, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), kConfigFileBytes);
    ConfigRecords bad;
    bad.xmitSpeed = 99;
    const auto missingDir = dir / "no-such-folder" / "DITA.cfc";
    EXPECT_FALSE(writeConfigFile(missingDir, bad, error));
    EXPECT_NE(error.find("no-such-folder"), std::string::npos);
    if (geteuid() != 0) { // root writes anywhere; the read-only folder case needs a user
        chmod(dir.c_str(), 0500);
        EXPECT_FALSE(writeConfigFile(path, bad, error));
        chmod(dir.c_str(), 0700);
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readConfigFile(path, bytes));
    ConfigRecords back;
    decodeConfig(bytes.data(), bytes.size(), back);
    EXPECT_EQ(back.xmitSpeed, 31);
    EXPECT_FALSE(std::filesystem::exists(dir / "DITA.cfc.tmp"));
    std::filesystem::remove_all(dir);
}

TEST(ConfigFile, TheShippedDefaultsFileIsWholeAndCarriesStarterMacros) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readConfigFile(std::filesystem::path(DITA_DATA_DIR) / "DefaultDITA.cfc", bytes));
    ASSERT_EQ(bytes.size(), kConfigFileBytes);
    ConfigRecords r;
    ASSERT_EQ(decodeConfig(bytes.data(), bytes.size(), r), kConfigRecordCount);
    EXPECT_EQ(r.headerWord, 888);
    EXPECT_EQ(r.reserved4, 63);
    EXPECT_EQ(configText(r.macros[0]).rfind("CQ CQ CQ DE %b", 0), 0u);
    EXPECT_GE(r.xmitSpeed, 10);
    EXPECT_LE(r.xmitSpeed, 125);
    EXPECT_EQ(r.screenOpMode, 0);
    // Keying goes to the sound card: loading the defaults must not ask for a COM port that a
    // new station may not have.
    EXPECT_EQ(r.outputDevice, 0);
    // ...with the tone on, as choosing Sound Card in the menu does: the defaults' own
    // records must not leave sound-card keying silent.
    EXPECT_EQ(r.sidetoneOn, 1);
}
