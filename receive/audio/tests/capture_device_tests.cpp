// The real inputs: the sound-file device, which streams a file with libsndfile (resampled)
// into the capture buffers at real-time pace, and the PortAudio catalogue on this machine.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <thread>
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

// Writes a 16-bit WAV (or another container); channel c of frame i is f(i, c).
template <typename F>
fs::path writeWav(const std::string& name, int rate, int channels, int frames, F f,
                  int container = SF_FORMAT_WAV) {
    const fs::path p = tempPath(name);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = container | SF_FORMAT_PCM_16;
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

// One capture buffer from a fresh device for the file, in the capture format of the channel.
std::vector<int16_t> captureOneBuffer(const fs::path& file, int inputChannel) {
    dita::test::pinAlsaPlugins();
    SystemDeviceCatalog catalog(openSoundFileInput(file));
    auto device = catalog.create(*catalog.fileDeviceId());
    const CaptureFormat format = makeCaptureFormat(inputChannel);
    auto buffer = std::make_unique<CaptureBuffer>();
    buffer->reinit(format.CaptureBufferBytes);
    EXPECT_TRUE(device->open(format));
    EXPECT_TRUE(device->addBuffer(*buffer));
    EXPECT_TRUE(device->start());
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!buffer->done.load(std::memory_order_acquire) &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    device->close();
    std::vector<int16_t> samples(buffer->bytesRecorded.load() / sizeof(int16_t));
    std::memcpy(samples.data(), buffer->data.data(), samples.size() * sizeof(int16_t));
    return samples;
}

} // namespace

TEST(FileInputDeviceTest, ResamplesTheFileAndFeedsTheCaptureChannels) {
    // 22,050 Hz mono 1 kHz tone in a stereo capture: both channels carry it, resampled to
    // 44,100 Hz (a zero crossing every 22.05 frames).
    const fs::path low = writeWav("low.wav", 22050, 1, 22050, [](int i, int) {
        return static_cast<int>(10000 * std::sin(2 * std::numbers::pi * 1000.0 * i / 22050));
    });
    const std::vector<int16_t> stereo = captureOneBuffer(low, kInputLeft);
    ASSERT_EQ(stereo.size(), 2u * kCaptureFrames);
    const int from = 1000;
    int crossings = 0;
    for (int i = from; i < kCaptureFrames; ++i) {
        ASSERT_EQ(stereo[2 * i], stereo[2 * i + 1]) << "frame " << i;
        if ((stereo[2 * i - 2] < 0) != (stereo[2 * i] < 0)) ++crossings;
    }
    EXPECT_NEAR(crossings, 2 * 1000 * (kCaptureFrames - from) / kCaptureRateHz, 4);

    // A mono capture of a stereo file mixes its channels.
    const fs::path both = writeWav("mix.wav", kCaptureRateHz, 2, kCaptureFrames,
                                   [](int i, int c) { return c == 0 ? 2 * (i % 1000) : 0; });
    const std::vector<int16_t> mono = captureOneBuffer(both, kInputMic);
    ASSERT_EQ(mono.size(), static_cast<size_t>(kCaptureFrames));
    for (int i = 0; i < kCaptureFrames; i += 7)
        ASSERT_EQ(mono[i], i % 1000) << "frame " << i;
    fs::remove(low);
    fs::remove(both);
}

TEST(SoundFileTest, BadFilesGiveAMessageNamingTheFile) {
    dita::test::pinAlsaPlugins();
    const fs::path junk = tempPath("junk.wav");
    {
        std::FILE* f = std::fopen(junk.c_str(), "w");
        std::fputs("this is not audio", f);
        std::fclose(f);
    }
    try {
        openSoundFileInput(junk);
        FAIL() << "a text file was accepted as audio";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(junk.string()), std::string::npos) << e.what();
    }
    EXPECT_THROW(openSoundFileInput(tempPath("missing.wav")), std::runtime_error);

    // A file cut short after it was checked: the read error is told once and names the
    // file, and the device goes on delivering, as silence.
    const int frames = kCaptureFrames;
    const fs::path cut = writeWav(
        "cut.flac", kCaptureRateHz, 1, frames,
        [](int i, int) {
            return static_cast<int>(10000 * std::sin(0.1 * i)) + (i * 7919) % 2001 - 1000;
        },
        SF_FORMAT_FLAC);
    SoundFileInput input = openSoundFileInput(cut);
    fs::resize_file(cut, fs::file_size(cut) / 2);
    std::vector<std::string> told;
    input.onReadError = [&told](const std::string& text) { told.push_back(text); };
    SystemDeviceCatalog catalog(input);
    auto device = catalog.create(*catalog.fileDeviceId());
    const CaptureFormat format = makeCaptureFormat(kInputMic);
    std::array<std::unique_ptr<CaptureBuffer>, 2> buffers{std::make_unique<CaptureBuffer>(),
                                                          std::make_unique<CaptureBuffer>()};
    ASSERT_TRUE(device->open(format));
    for (auto& b : buffers) {
        b->reinit(format.CaptureBufferBytes);
        ASSERT_TRUE(device->addBuffer(*b));
    }
    ASSERT_TRUE(device->start());
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!buffers[1]->done.load(std::memory_order_acquire) &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    device->close();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(cut.string()), std::string::npos) << told[0];
    const auto* samples = reinterpret_cast<const int16_t*>(buffers[0]->data.data());
    EXPECT_EQ(samples[kCaptureFrames - 1], 0);
    fs::remove(cut);
    fs::remove(junk);
}

TEST(FileInputDeviceTest, PlaysTheFileThroughTheCaptureCycleAtRealTimePace) {
    dita::test::pinAlsaPlugins();
    const int frames = 3 * kCaptureFrames;
    const fs::path p = writeWav("play.wav", kCaptureRateHz, 2, frames,
                                [](int i, int c) { return c == 0 ? (i % 1000) : -(i % 777); });
    SystemDeviceCatalog catalog(openSoundFileInput(p));
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
