// Sound files at other rates, read through SoundFileReader: the samples at 44,100 Hz must be
// the same signal sampled at that rate, in time and level, for the table-driven filter and for
// the general converter a rate without a small ratio goes to.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <vector>

#include "receive/SoundFileReader.h"

using namespace dita;
namespace fs = std::filesystem;

namespace {

constexpr int kOutRateHz = 44100;
constexpr double kSeconds = 3.0;
constexpr double kAmplitude = 8000.0; // each of two tones, in 16-bit steps

// Two tones: a CW pitch, and one near the top of the band both rates carry, whose mirror
// image would show up if the filter let it through.
double signal(double t, double highHz) {
    return kAmplitude * (std::sin(2 * std::numbers::pi * 700.0 * t) +
                         std::sin(2 * std::numbers::pi * highHz * t + 1.0));
}

fs::path writeTones(int rateHz, double highHz) {
    const fs::path p = fs::temp_directory_path() / ("dita_reader_" + std::to_string(::getpid()) +
                                                    "_" + std::to_string(rateHz) + ".wav");
    SF_INFO info{};
    info.samplerate = rateHz;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(p.c_str(), SFM_WRITE, &info);
    EXPECT_NE(sf, nullptr);
    const int frames = static_cast<int>(kSeconds * rateHz);
    std::vector<short> data(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        data[static_cast<size_t>(i)] =
            static_cast<short>(std::lround(signal(static_cast<double>(i) / rateHz, highHz)));
    sf_writef_short(sf, data.data(), frames);
    sf_close(sf);
    return p;
}

} // namespace

TEST(SoundFileReaderTest, ResampledFilesKeepTheSignalInTimeAndLevel) {
    struct Case {
        int rateHz;
        double highHz;
    };
    // 8, 12, 22.05 and 48 kHz take the table-driven filter; 44,056 Hz has no small ratio to
    // 44,100 Hz and takes the general converter.
    for (const Case c : {Case{8000, 3000.0}, Case{12000, 4500.0}, Case{22050, 8000.0},
                         Case{48000, 16000.0}, Case{44056, 16000.0}}) {
        SCOPED_TRACE(c.rateHz);
        const fs::path p = writeTones(c.rateHz, c.highHz);
        SoundFileReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(p.string(), InputChannel::Mic, error)) << error;
        std::vector<int32_t> out;
        std::vector<int32_t> chunk(1000); // reads that straddle every internal block edge
        for (int n; (n = reader.read(chunk.data(), static_cast<int>(chunk.size()))) > 0;)
            out.insert(out.end(), chunk.begin(), chunk.begin() + n);
        EXPECT_TRUE(reader.error().empty()) << reader.error();
        const double frames = kSeconds * c.rateHz;
        EXPECT_NEAR(static_cast<double>(out.size()), frames * kOutRateHz / c.rateHz, 1.0);

        // Away from the two ends (where the filter sees the file's edges), every sample is
        // the signal at its time, to within a few 16-bit steps: a delay, a wrong gain or a
        // mirrored tone would be hundreds of steps off.
        const size_t edge = kOutRateHz / 20;
        double worst = 0.0;
        for (size_t n = edge; n + edge < out.size(); ++n)
            worst = std::max(
                worst, std::abs(out[n] - signal(static_cast<double>(n) / kOutRateHz, c.highHz)));
        EXPECT_LT(worst, 4.0);
        fs::remove(p);
    }
}
