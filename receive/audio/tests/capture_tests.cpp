// Capture format, sample extraction and the capture cycle (alternation, watchdog, stop,
// restart after a transmission, failure messages), driven through a scripted device.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "receive/audio/CaptureCycle.h"
#include "receive/audio/tests/FakeInputDevice.h"

using namespace dita;
using namespace std::chrono_literals;
using dita::test::FakeCatalog;

namespace {

std::vector<int16_t> ramp(int frames, int channels, int16_t start) {
    std::vector<int16_t> v(static_cast<size_t>(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v[static_cast<size_t>(i * channels + c)] =
                static_cast<int16_t>(start + i + (c == 1 ? 10000 : 0));
    return v;
}

struct Rig {
    explicit Rig(int devices, CaptureTimings t = {})
        : catalog(devices), cycle(catalog, sink(), t) {}
    CaptureCycle::ErrorSink sink() {
        return [this](WaveOp op) { errors.push_back(op); };
    }
    FakeCatalog catalog;
    std::vector<WaveOp> errors;
    CaptureCycle cycle;
    std::atomic<bool> stop{false};
    std::array<int32_t, kCaptureFrames> samples{};

    CaptureCycle::Wait wait() { return cycle.waitPass(stop); }
};

} // namespace

TEST(CaptureFormatTest, ChannelChoiceSetsLayoutButKeepsFrameCount) {
    const CaptureFormat mic = makeCaptureFormat(kInputMic);
    EXPECT_EQ(mic.channels, 1);
    EXPECT_EQ(mic.blockAlign, 2);
    EXPECT_EQ(mic.avgBytesPerSec, 88200u);
    EXPECT_EQ(mic.CaptureBufferBytes, 16384);
    for (int ch : {kInputLeft, kInputRight}) {
        const CaptureFormat st = makeCaptureFormat(ch);
        EXPECT_EQ(st.channels, 2);
        EXPECT_EQ(st.blockAlign, 4);
        EXPECT_EQ(st.avgBytesPerSec, 176400u);
        EXPECT_EQ(st.CaptureBufferBytes, 32768);
        EXPECT_EQ(st.CaptureBufferBytes / st.blockAlign, kCaptureFrames);
    }
    // A damaged setting must not produce a zero-length or oversized buffer.
    EXPECT_EQ(makeCaptureFormat(0).CaptureBufferBytes, 16384);
    EXPECT_EQ(makeCaptureFormat(99).channels, 1);
    EXPECT_LE(makeCaptureFormat(kInputLeft).CaptureBufferBytes, kCaptureBufferAllocBytes);
}

TEST(CaptureFormatTest, ExtractionPicksTheChannelAndSignExtends) {
    std::vector<uint8_t> buf(kCaptureBufferAllocBytes, 0);
    // Stereo frame 0: left = -1 (FF FF), right = -32768 (00 80); frame 1: left 1, right 32767.
    const uint8_t stereo[] = {0xFF, 0xFF, 0x00, 0x80, 0x01, 0x00, 0xFF, 0x7F};
    std::copy(std::begin(stereo), std::end(stereo), buf.begin());
    std::array<int32_t, kCaptureFrames> s{};
    extractSamples(buf.data(), kInputLeft, s.data());
    EXPECT_EQ(s[0], -1);
    EXPECT_EQ(s[1], 1);
    extractSamples(buf.data(), kInputRight, s.data());
    EXPECT_EQ(s[0], -32768);
    EXPECT_EQ(s[1], 32767);
    extractSamples(buf.data(), kInputMic, s.data()); // mono reads consecutive 16-bit values
    EXPECT_EQ(s[0], -1);
    EXPECT_EQ(s[1], -32768);
    EXPECT_EQ(s[2], 1);
    EXPECT_EQ(s[3], 32767);
}

TEST(CaptureCycleTest, BuffersAlternateAndDeliverTheAudioInOrder) {
    Rig r(1);
    int id = 0;
    ASSERT_TRUE(r.cycle.start(id, kInputRight));
    auto& dev = r.catalog.script(0);
    EXPECT_EQ(dev.openedChannels, 2);
    dev.deliver(ramp(kCaptureFrames, 2, 100));
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed);
    EXPECT_EQ(r.cycle.captureState(), 1);
    EXPECT_EQ(r.cycle.lastBytesRecorded(), 32768u);
    r.cycle.extract(r.samples.data());
    EXPECT_EQ(r.samples[0], 10100);
    EXPECT_EQ(r.samples[kCaptureFrames - 1], 10100 + kCaptureFrames - 1);

    // Buffer B was queued during the wait, so the next audio lands there.
    dev.deliver(ramp(kCaptureFrames, 2, -5000));
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed);
    EXPECT_EQ(r.cycle.captureState(), 0);
    r.cycle.extract(r.samples.data());
    EXPECT_EQ(r.samples[0], 5000);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(dev.resets, 0);
}

TEST(CaptureCycleTest, WatchdogReleasesAStalledDeviceAndPadsWithSilence) {
    Rig r(1);
    int id = 0;
    ASSERT_TRUE(r.cycle.start(id, kInputMic));
    auto& dev = r.catalog.script(0);
    dev.deliver(ramp(kCaptureFrames, 1, 1));
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed); // A is full of the ramp
    dev.deliver(ramp(kCaptureFrames, 1, 1));
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed); // B likewise; A is queued again

    // The device now delivers only half of buffer A and then goes silent.
    dev.deliver(std::vector<int16_t>(kCaptureFrames / 2, 7));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed);
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, 370ms);
    EXPECT_LE(waited, 900ms); // 375 ms watchdog + 100 ms pause, with slack for loaded machines
    EXPECT_EQ(r.cycle.watchdogResets(), 1);
    EXPECT_EQ(dev.resets, 1);
    EXPECT_TRUE(dev.running) << "the device must be started again after the reset";
    EXPECT_EQ(r.cycle.lastBytesRecorded(), static_cast<uint32_t>(kCaptureFrames));
    r.cycle.extract(r.samples.data());
    EXPECT_EQ(r.samples[kCaptureFrames / 2 - 1], 7);
    // The ramp of the earlier pass must not be decoded a second time.
    EXPECT_EQ(r.samples[kCaptureFrames / 2], 0);
    EXPECT_EQ(r.samples[kCaptureFrames - 1], 0);
    EXPECT_TRUE(r.errors.empty());
}

TEST(CaptureCycleTest, ASlowStartingDeviceIsGivenTimeBeforeTheWatchdogActs) {
    Rig r(1, CaptureTimings{375ms, 100ms, 1ms, 1500ms});
    int id = 0;
    ASSERT_TRUE(r.cycle.start(id, kInputMic));
    auto& dev = r.catalog.script(0);
    std::thread late([&] {
        std::this_thread::sleep_for(700ms); // first samples well after 375 ms
        dev.deliver(ramp(kCaptureFrames, 1, 3));
    });
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed);
    late.join();
    EXPECT_EQ(r.cycle.watchdogResets(), 0);
    EXPECT_EQ(dev.resets, 0);
    r.cycle.extract(r.samples.data());
    EXPECT_EQ(r.samples[10], 13);
    // Once the device has delivered, a stall is caught at 375 ms again.
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1200ms);
    EXPECT_EQ(r.cycle.watchdogResets(), 1);
}

TEST(CaptureCycleTest, StopEndsTheWait) {
    Rig r(1, CaptureTimings{std::chrono::milliseconds(100000), 100ms, 1ms, 0ms});
    int id = 0;
    ASSERT_TRUE(r.cycle.start(id, kInputMic));
    std::thread stopper([&] {
        std::this_thread::sleep_for(30ms);
        r.stop = true;
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(r.wait(), CaptureCycle::Wait::Stopped);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 600ms);
    EXPECT_EQ(r.catalog.script(0).resets, 0);
}

TEST(CaptureCycleTest, RestartAfterTransmitDropsAudioFromTheTransmitPeriod) {
    Rig r(1);
    int id = 0;
    ASSERT_TRUE(r.cycle.start(id, kInputMic));
    auto& dev = r.catalog.script(0);
    dev.deliver(ramp(kCaptureFrames, 1, 1));
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed);
    ASSERT_EQ(r.cycle.captureState(), 1);
    dev.deliver(std::vector<int16_t>(kCaptureFrames / 4, 999)); // partly into B: stale audio
    ASSERT_TRUE(r.cycle.restartAfterTransmit());
    EXPECT_EQ(r.cycle.captureState(), 0);
    EXPECT_EQ(dev.resets, 1);
    dev.deliver(std::vector<int16_t>(kCaptureFrames, 5));
    ASSERT_EQ(r.wait(), CaptureCycle::Wait::Completed);
    r.cycle.extract(r.samples.data());
    EXPECT_EQ(r.samples[0], 5);
    EXPECT_EQ(r.samples[kCaptureFrames - 1], 5);
}

TEST(CaptureCycleTest, OpenFailuresFallBackToDeviceZeroOtherFailuresStop) {
    {
        Rig r(3);
        r.catalog.script(2).formatSupported = false;
        int id = 2;
        EXPECT_TRUE(r.cycle.start(id, kInputMic));
        EXPECT_EQ(id, 0);
        EXPECT_EQ(r.errors, std::vector<WaveOp>{WaveOp::StatusOpen});
        EXPECT_EQ(r.catalog.script(0).starts, 1);
    }
    {
        Rig r(2);
        int id = 7; // a stored number that no longer exists
        EXPECT_TRUE(r.cycle.start(id, kInputMic));
        EXPECT_EQ(id, 0);
        EXPECT_EQ(r.errors, std::vector<WaveOp>{WaveOp::StatusOpen});
    }
    {
        Rig r(1);
        r.catalog.script(0).openOk = false;
        int id = 0;
        EXPECT_FALSE(r.cycle.start(id, kInputMic));
        EXPECT_EQ(r.errors, (std::vector<WaveOp>{WaveOp::Open, WaveOp::PrepareA}));
        EXPECT_TRUE(waveFailureStops(r.errors.back()));
        EXPECT_FALSE(waveFailureStops(WaveOp::Open));
        EXPECT_FALSE(waveFailureStops(WaveOp::StatusOpen));
    }
    {
        Rig r(1);
        r.catalog.script(0).startOk = false;
        int id = 0;
        EXPECT_FALSE(r.cycle.start(id, kInputMic));
        EXPECT_EQ(r.errors, std::vector<WaveOp>{WaveOp::Start});
    }
    {
        Rig r(1, CaptureTimings{20ms, 1ms, 1ms, 0ms});
        int id = 0;
        ASSERT_TRUE(r.cycle.start(id, kInputMic));
        r.catalog.script(0).resetOk = false;
        EXPECT_EQ(r.wait(), CaptureCycle::Wait::Failed);
        EXPECT_EQ(r.errors, std::vector<WaveOp>{WaveOp::Reset});
    }
    {
        Rig r(1);
        int id = 0;
        ASSERT_TRUE(r.cycle.start(id, kInputMic));
        r.catalog.script(0).addOk = false;
        EXPECT_EQ(r.wait(), CaptureCycle::Wait::Failed);
        EXPECT_EQ(r.errors, std::vector<WaveOp>{WaveOp::AddB});
    }
}

TEST(CaptureCycleTest, MessagesCarryTheDeviceTexts) {
    EXPECT_STREQ(waveMessage(WaveOp::StatusOpen), "Could not status the input wave device");
    EXPECT_STREQ(waveMessage(WaveOp::Open), "Error Opening Input wave device");
    EXPECT_STREQ(waveMessage(WaveOp::AddA), "Error in sending to input buffer_a");
    EXPECT_STREQ(waveMessage(WaveOp::AddB), "Error in sending to input buffer_b");
    EXPECT_STREQ(waveMessage(WaveOp::Start), "Error starting the input wave device");
    EXPECT_STREQ(waveMessage(WaveOp::Reset), "Error Resetting the input wave device");
    EXPECT_STREQ(waveMessage(WaveOp::PrepareA), "Error preparing the input header_a");
}
