#pragma once
// The configuration file DITA.cfc (and DefaultDITA.cfc): 72 fixed little-endian records,
// 83,158 bytes, no header beyond record 1 and no checksum. This codec only turns records into
// bytes and back; the main window fills ConfigRecords from its state before a save, and applies
// the records in file order through its option handlers after a load.
//
// Called on the window thread. GUI-free.
#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/StoredFile.h"

namespace dita {

constexpr size_t kConfigFileBytes = 83158;
constexpr int kConfigRecordCount = 72;
constexpr int kMacroSlots = 20;
constexpr int kMacroSlotBytes = 4096;
constexpr int kConfigTextBytes = 256;
constexpr int32_t kCfcHeaderWord = 888;
constexpr int32_t kReservedRecord4 = 63;

using MacroSlot = std::array<char, kMacroSlotBytes>;   // zero-terminated 8-bit text
using ConfigText = std::array<char, kConfigTextBytes>; // zero-terminated 8-bit text

// One member per record, in file order (record numbers in the comments).
struct ConfigRecords {
    int32_t headerWord = kCfcHeaderWord;         // 1
    int32_t signalBar = 0;                       // 2
    int32_t xmitSpeed = 20;                      // 3
    int32_t reserved4 = kReservedRecord4;        // 4
    int32_t serialToneFreq = 71;                 // 5
    int32_t tunedBin = 100;                      // 6
    std::array<MacroSlot, kMacroSlots> macros{}; // 7
    int32_t textCase = 0;                        // 8
    int32_t textBold = 0;                        // 9
    int32_t rxSpeedLock = 1;                     // 10
    int32_t spacesMode = 3;                      // 11
    int32_t spaceTime = 1;                       // 12
    int32_t afcWidth = 0;                        // 13
    int32_t fontSize = 2;                        // 14
    int32_t outputPort = 2;                      // 15
    int32_t portInUse = 0;                       // 16
    int32_t timelineTop = 0;                     // 17
    int32_t timelineLeft = 0;                    // 18
    int32_t timelineHeight = 0;                  // 19
    int32_t timelineWidth = 0;                   // 20
    int32_t mainTop = 0;                         // 21
    int32_t mainLeft = 0;                        // 22
    int32_t coarseGainBar = 10;                  // 23
    int32_t thresholdMode = 1;                   // 24
    uint8_t reserved25 = 0;                      // 25
    int32_t noiseFilter = 0;                     // 26
    int32_t displayGain = 5;                     // 27
    uint8_t decoder = 0;                         // 28: a reserved byte; 0 Enhanced, 1 Standard
    int32_t inputChannel = 1;                    // 29
    int32_t keyInvert = 1;                       // 30
    uint8_t prosigns = 1;                        // 31
    uint8_t reserved32 = 0;                      // 32
    uint8_t nonEnglish = 0;                      // 33
    uint8_t sidetoneOn = 0;                      // 34
    uint8_t stayOnTop = 0;                       // 35
    int32_t reserved36 = 0;                      // 36
    uint8_t messaging = 0;                       // 37
    uint8_t timelineShown = 0;                   // 38
    int32_t inputDeviceId = 0;                   // 39
    int32_t comPortNumber = 0;                   // 40
    int32_t afcStartFreq = 600;                  // 41
    int32_t spacesModeAgain = 3;                 // 42
    int32_t displayType = 0;                     // 43
    uint8_t reserved44 = 0;                      // 44
    int32_t outputDevice = 1;                    // 45
    float sidetoneFreq = 750.0f;                 // 46
    int32_t sidetoneWaveform = 0;                // 47
    int32_t contactCounter = 1;                  // 48
    int32_t reserved49 = 0;                      // 49
    std::array<float, 4> timingWeights{100.0f, 100.0f, 100.0f, 100.0f}; // 50..53
    int32_t rxSpeedLockAgain = 1;                                       // 54
    int32_t transmitScreen = 0;                                         // 55
    int32_t scrolling = 3;                                              // 56
    int32_t background = 1;                                             // 57
    ConfigText myName{};                                                // 58
    ConfigText myQth{};                                                 // 59
    ConfigText myCall{};                                                // 60
    ConfigText qth{};                                                   // 61
    std::array<uint8_t, 6> ptt{
        0, 0, 1, 0, 1, 0};         // 62..67: enable, invert, DTR data, DTR PTT, RTS data, RTS PTT
    uint8_t afcTimer = 0;          // 68
    uint8_t textDisplay = 1;       // 69
    int32_t beaconCarrierTime = 1; // 70
    int32_t band = 1;              // 71
    int32_t screenOpMode = 0;      // 72
};

// Byte offset and size of record n (1..72).
struct RecordLayout {
    size_t offset;
    size_t size;
};
RecordLayout recordLayout(int record);

std::vector<uint8_t> encodeConfig(const ConfigRecords& records);
// Overlays the records that the bytes hold in full onto `records` and returns how many
// records (from record 1 on) were read; a short or foreign file reads what it can and never
// fails. Texts are kept zero-terminated even when the file's are not.
int decodeConfig(const uint8_t* bytes, size_t size, ConfigRecords& records);

// Reading and writing go through the stored-file rules (common/StoredFile.h): only a regular
// file is read, and at most kConfigFileBytes of it, since nothing after them belongs to a
// record; a save replaces the file atomically and leaves a write-protected or foreign file
// alone.
using ConfigFileRead = StoredFileRead;
ConfigFileRead readConfigFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);
bool writeConfigFile(const std::filesystem::path& path, const ConfigRecords& records,
                     std::string& error);
// Removes a temporary file that a save cut short left beside the file.
bool removeStaleConfigTemp(const std::filesystem::path& path);

// Text helpers: an 8-bit string into a fixed text area (cut to leave the terminating zero),
// and back.
template <size_t N> void setConfigText(std::array<char, N>& area, const std::string& latin1) {
    area.fill(0);
    const size_t n = std::min(latin1.size(), N - 1);
    std::copy_n(latin1.begin(), n, area.begin());
}
template <size_t N> std::string configText(const std::array<char, N>& area) {
    size_t n = 0;
    while (n < N && area[n] != 0)
        ++n;
    return std::string(area.data(), n);
}

} // namespace dita
