// The real inputs: sound files decoded with libsndfile (and resampled), the sound-file device
// feeding the capture cycle at real-time pace, and the PortAudio catalogue on this machine.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

#include "receive/audio/CaptureCycle.h"
#include "receive/audio/SystemDevices.h"
#include "receive/audio/tests/PinAlsaPlugins.h"

using namespace dita;
namespace fs = std::filesystem;

namespace {

fs::path tempPath(const std::string& name) {
    return fs::temp_directory_path() / ("dita_capture_" + std::to_string(::getpid()) + "_" + name);
}

// Writes a 16-bit WAV; channel c of frame i is f(i, c).
template <typename F>
fs::path writeWav(const std::string& name, int rate, int channels, int frames, F f) {
    const fs::path p = tempPath(name);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(p.c_str(), SFM_WRITE, &info);
    EXPECT_NE(sf, nullptr);
    std::vector<short> data(static_cast<size_t>(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[static_cast<size_t>(i * channels + c)] = static_cast<short>(f(i, c));
    sf_writef_short(sf, data.data(), frames);
    sf_close(sf);
    return p;
}

} // namespace

TEST(SoundFileTest, LoadsMonoStereoAndOtherRates) {
    const fs::path stereo =
        writeWav("st.wav", kCaptureRateHz, 2, 1000, [](int i, int c) { return c == 0 ? i : -i; });
    auto s = loadSoundFile(stereo);
    ASSERT_EQ(s->frameCount(), 1000);
    EXPECT_EQ(s->stereoFrames[2 * 500], 500);
    EXPECT_EQ(s->stereoFrames[2 * 500 + 1], -500);

    // 22,050 Hz mono 1 kHz tone: twice the frames after resampling, in both channels, and
    // still a 1 kHz tone (zero crossings every 22.05 frames).
    const int frames = 22050;
    const fs::path low = writeWav("low.wav", 22050, 1, frames, [](int i, int) {
        return static_cast<int>(10000 * std::sin(2 * std::numbers::pi * 1000.0 * i / 22050));
    });
    auto l = loadSoundFile(low);
    EXPECT_NEAR(static_cast<double>(l->frameCount()), 2.0 * frames, 4.0);
    int crossings = 0;
    for (int64_t i = 1000; i < 44000; ++i) {
        EXPECT_EQ(l->stereoFrames[2 * i], l->stereoFrames[2 * i + 1]);
        if ((l->stereoFrames[2 * i - 2] < 0) != (l->stereoFrames[2 * i] < 0)) ++crossings;
    }
    EXPECT_NEAR(crossings, 2 * 1000 * 43000 / 44100, 4); // 43,000 frames of a 1 kHz tone
    fs::remove(stereo);
    fs::remove(low);
}

TEST(SoundFileTest, BadFilesGiveAMessageNamingTheFile) {
    const fs::path junk = tempPath("junk.wav");
    {
        std::FILE* f = std::fopen(junk.c_str(), "w");
        std::fputs("this is not audio", f);
        std::fclose(f);
    }
    try {
        loadSoundFile(junk);
        FAIL() << "a text file was accepted as audio";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(junk.string()), std::string::npos) << e.what();
    }
    EXPECT_THROW(loadSoundFile(tempPath("missing.wav")), std::runtime_error);
    fs::remove(junk);
}

TEST(FileInputDeviceTest, PlaysTheFileThroughTheCaptureCycleAtRealTimePace) {
    dita::test::pinAlsaPlugins();
    const int frames = 3 * kCaptureFrames;
    const fs::path p = writeWav("play.wav", kCaptureRateHz, 2, frames,
                                [](int i, int c) { return c == 0 ? (i % 1000) : -(i % 777); });
    SystemDeviceCatalog catalog(loadSoundFile(p));
    const auto fileId = catalog.fileDeviceId();
    ASSERT_TRUE(fileId.has_value());
    EXPECT_EQ(*fileId, catalog.count() - 1);
    EXPECT_EQ(catalog.name(*fileId), "File: " + p.filename().string());
    EXPECT_EQ(catalog.name(catalog.count()), "");
    EXPECT_EQ(catalog.create(catalog.count()), nullptr);

    std::vector<WaveOp> errors;
    CaptureCycle cycle(catalog, [&](WaveOp op) { errors.push_back(op); });
    int id = *fileId;
    ASSERT_TRUE(cycle.start(id, kInputRight));
    std::atomic<bool> stop{false};
    std::array<int32_t, kCaptureFrames> samples{};
    const auto t0 = std::chrono::steady_clock::now();
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(cycle.waitPass(stop), CaptureCycle::Wait::Completed);
        cycle.extract(samples.data());
        for (int i = 0; i < kCaptureFrames; i += 97)
            ASSERT_EQ(samples[i], -((pass * kCaptureFrames + i) % 777)) << "frame " << i;
    }
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    // Two passes of 185.76 ms each: a file must not run faster than a sound card would.
    EXPECT_GE(elapsed, std::chrono::milliseconds(330));
    EXPECT_EQ(cycle.watchdogResets(), 0);
    EXPECT_TRUE(errors.empty());

    // Past its end the file device keeps delivering, as silence.
    ASSERT_EQ(cycle.waitPass(stop), CaptureCycle::Wait::Completed);
    ASSERT_EQ(cycle.waitPass(stop), CaptureCycle::Wait::Completed);
    cycle.extract(samples.data());
    EXPECT_EQ(samples[kCaptureFrames - 1], 0);
    cycle.close();
    fs::remove(p);
}

TEST(PortAudioCatalogTest, ListsOnlyDevicesThatCanOpen) {
    dita::test::pinAlsaPlugins();
    SystemDeviceCatalog catalog;
    EXPECT_FALSE(catalog.fileDeviceId().has_value());
    if (catalog.count() == 0) GTEST_SKIP() << "this machine has no PortAudio input device";
    for (int i = 0; i < catalog.count(); ++i)
        EXPECT_FALSE(catalog.name(i).empty());
    // Device 0, the default input, is opened for real in mono and records one buffer.
    std::vector<WaveOp> errors;
    CaptureCycle cycle(catalog, [&](WaveOp op) { errors.push_back(op); });
    int id = 0;
    if (!cycle.start(id, kInputMic)) GTEST_SKIP() << "default input cannot record here";
    std::atomic<bool> stop{false};
    EXPECT_EQ(cycle.waitPass(stop), CaptureCycle::Wait::Completed);
    cycle.close();
}
