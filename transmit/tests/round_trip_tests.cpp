// dita-send's WAV output, decoded by the receive engine, gives back the sent text.
#include "receive/ReceiveEngine.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace dita;

namespace {

constexpr int kFlushPasses = 12; // silent passes after the file so the last character comes out
constexpr double kToneHz = 750.0;
// The receiver needs a few characters to find the speed; operators send "VVV" for that.
const std::string kWarmUp = "VVV VVV ";
const std::string kBody = "CQ CQ DE DL1ABC DL1ABC PSE K 599 5NN TU 73 = QRZ? /P";

std::string normalise(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (std::isspace(c)) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += static_cast<char>(std::toupper(c));
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

// Fewest edits that turn some stretch of `text` into `pattern` (approximate substring match).
int bestMatchEdits(const std::string& pattern, const std::string& text) {
    std::vector<int> prev(text.size() + 1, 0), cur(text.size() + 1);
    for (size_t i = 1; i <= pattern.size(); ++i) {
        cur[0] = static_cast<int>(i);
        for (size_t j = 1; j <= text.size(); ++j) {
            const int sub = prev[j - 1] + (pattern[i - 1] == text[j - 1] ? 0 : 1);
            cur[j] = std::min({sub, prev[j] + 1, cur[j - 1] + 1});
        }
        std::swap(prev, cur);
    }
    return *std::min_element(prev.begin(), prev.end());
}

std::string sendAndDecode(int wpm) {
    const auto wav = std::filesystem::temp_directory_path() /
                     ("dita-round-trip-" + std::to_string(wpm) + ".wav");
    const std::string command = std::string("\"") + DITA_BINARY_DIR + "/tools/dita-send\" --wpm " +
                                std::to_string(wpm) + " --out \"" + wav.string() + "\" \"" +
                                kWarmUp + kBody + "\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    SF_INFO info{};
    SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr);
    if (!file) return {};
    EXPECT_EQ(info.samplerate, kSampleRateHz);
    ReceiveEngine engine;
    engine.post(ReceiveCommand::tuneToBin(static_cast<int>(std::lround(kToneHz / kBinHz)) + 1));
    std::array<short, kPassFrames> pcm{};
    std::array<int32_t, kPassFrames> samples{};
    std::string text;
    for (int flush = 0; flush < kFlushPasses;) {
        const auto got = sf_read_short(file, pcm.data(), kPassFrames);
        if (got < kPassFrames) {
            std::fill(pcm.begin() + got, pcm.end(), short{0});
            ++flush;
        }
        std::copy(pcm.begin(), pcm.end(), samples.begin());
        text += engine.processPass(samples.data()).text;
    }
    sf_close(file);
    std::filesystem::remove(wav);
    return text;
}

} // namespace

TEST(RoundTrip, DecodedTextMatchesAt15_25And40Wpm) {
    const std::string body = normalise(kBody);
    for (int wpm : {15, 25, 40}) {
        SCOPED_TRACE(wpm);
        const std::string decoded = normalise(sendAndDecode(wpm));
        const int edits = bestMatchEdits(body, decoded);
        const double errorRate = static_cast<double>(edits) / static_cast<double>(body.size());
        std::printf("round trip %d wpm: %d edits in %zu characters (%.1f %%): \"%s\"\n", wpm, edits,
                    body.size(), 100.0 * errorRate, decoded.c_str());
        RecordProperty("error_rate_" + std::to_string(wpm), std::to_string(errorRate));
        EXPECT_LE(errorRate, 0.02) << decoded;
    }
}
