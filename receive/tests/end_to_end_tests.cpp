// Decodes keyed CW end to end through ReceiveEngine: audio made here, and audio made by a
// third-party generator (ebook2cw) when it is installed.
#include "receive/ReceiveEngine.h"
#include "receive/SoundFileReader.h"
#include "receive/tests/CwSynth.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace dita;

namespace {

const std::string kText = "VVV CQ CQ DE W1AW W1AW PSE K";

int binFor(double hz) {
    return static_cast<int>(std::lround(hz / kBinHz)) + 1;
}

std::string decode(const std::vector<int32_t>& samples, double toneHz) {
    ReceiveEngine engine;
    engine.post(ReceiveCommand::tuneToBin(binFor(toneHz)));
    std::string text;
    std::vector<int32_t> pass(kPassFrames);
    // Whole passes plus silence so that the last character is written.
    const size_t total = (samples.size() / kPassFrames + 10) * kPassFrames;
    for (size_t start = 0; start < total; start += kPassFrames) {
        for (int i = 0; i < kPassFrames; ++i) {
            pass[i] = start + i < samples.size() ? samples[start + i] : 0;
        }
        text += engine.processPass(pass.data()).text;
    }
    return text;
}

struct Case {
    double wpm;
    double toneHz;
    double snrDb;
};

class SynthesizedCw : public ::testing::TestWithParam<Case> {};

TEST_P(SynthesizedCw, DecodesTheSentText) {
    const Case c = GetParam();
    test::CwSignal signal;
    signal.wpm = c.wpm;
    signal.toneHz = c.toneHz;
    signal.snrDb = c.snrDb;
    const std::string decoded = decode(test::synthesize(kText, signal), c.toneHz);
    const double cer = test::characterErrorRate(kText, decoded);
    std::printf("CER %5.1f%%  %2.0f wpm %4.0f Hz snr %s  -> \"%s\"\n", 100 * cer, c.wpm, c.toneHz,
                c.snrDb >= 1000 ? "clean" : std::to_string(static_cast<int>(c.snrDb)).c_str(),
                decoded.c_str());
    // The speed acquisition spends the first marks of the preamble (and, until both dot and
    // dash rings are filled, may read a dot as a dash); once the speed is acquired the rest
    // of the message must come through exactly.
    EXPECT_LE(cer, c.snrDb >= 1000 ? 0.36 : 0.4);
    EXPECT_NE(decoded.find("de w1aw w1aw pse k"), std::string::npos) << decoded;
}

INSTANTIATE_TEST_SUITE_P(SpeedsTonesAndNoise, SynthesizedCw,
                         ::testing::Values(Case{15, 600, 1000}, Case{20, 600, 1000},
                                           Case{30, 600, 1000}, Case{40, 600, 1000},
                                           Case{15, 800, 1000}, Case{20, 800, 1000},
                                           Case{30, 800, 1000}, Case{40, 800, 1000},
                                           Case{20, 600, 10}, Case{30, 800, 10}, Case{40, 600, 15},
                                           Case{15, 800, 10}));

TEST(ThirdPartyCw, Ebook2cwRecordingsDecode) {
    if (std::system("command -v ebook2cw >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ebook2cw is not installed (scripts/install-deps.sh installs it)";
    }
    const auto dir = std::filesystem::temp_directory_path() / "dita-ebook2cw";
    std::filesystem::create_directories(dir);
    for (const auto& [wpm, hz] : {std::pair{18, 650}, std::pair{25, 700}, std::pair{35, 550}}) {
        const auto txt = dir / "text.txt";
        std::ofstream(txt) << kText << "\n";
        const std::string base = (dir / ("e" + std::to_string(wpm))).string();
        const std::string cmd = "cd " + dir.string() + " && ebook2cw -O -w " + std::to_string(wpm) +
                                " -f " + std::to_string(hz) + " -s 44100 -o " + base + " " +
                                txt.string() + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        SoundFileReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(base + "0000.ogg", InputChannel::Mic, error)) << error;
        std::vector<int32_t> samples;
        std::vector<int32_t> chunk(kPassFrames);
        while (const int got = reader.read(chunk.data(), kPassFrames))
            samples.insert(samples.end(), chunk.begin(), chunk.begin() + got);
        const std::string decoded = decode(samples, hz);
        const double cer = test::characterErrorRate(kText, decoded);
        std::printf("CER %5.1f%%  ebook2cw %d wpm %d Hz -> \"%s\"\n", 100 * cer, wpm, hz,
                    decoded.c_str());
        EXPECT_LE(cer, 0.25);
        EXPECT_NE(decoded.find("de w1aw w1aw pse k"), std::string::npos) << decoded;
    }
    std::filesystem::remove_all(dir);
}

} // namespace
