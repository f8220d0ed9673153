// Clock texts, speed locks and the receive run loop with a scripted device.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/ClockTexts.h"
#include "app/RunLoop.h"
#include "app/settings/OperatingSettings.h"
#include "app/tests/LoopFakes.h"

using namespace dita;
using namespace dita::test;
using namespace std::chrono_literals;

namespace {

std::tm at(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return t;
}

} // namespace

TEST(ClockTextsTest, UtcAndLogTextsArePadded) {
    const std::tm utc = at(2026, 3, 6, 4, 3, 2);
    const ClockTexts t = makeClockTexts(utc, utc);
    EXPECT_EQ(t.utcTime, "04:03:02");
    EXPECT_EQ(t.utcDate, "2026-03-06");
    EXPECT_EQ(t.LogDateText, "20260306");
    EXPECT_EQ(t.LogTimeText, "040302");
    const ClockTexts late = makeClockTexts(at(1999, 12, 31, 23, 59, 59), utc);
    EXPECT_EQ(late.utcDate, "1999-12-31");
    EXPECT_EQ(late.LogTimeText, "235959");
}

TEST(ClockTextsTest, LocalTimeUsesTwelveHourClock) {
    const std::tm utc = at(2026, 1, 1, 0, 0, 0);
    EXPECT_EQ(makeClockTexts(utc, at(2026, 1, 1, 0, 5, 9)).localTime, "12:05:09 AM");
    EXPECT_EQ(makeClockTexts(utc, at(2026, 1, 1, 12, 0, 0)).localTime, "12:00:00 PM");
    EXPECT_EQ(makeClockTexts(utc, at(2026, 1, 1, 13, 7, 0)).localTime, "01:07:00 PM");
    EXPECT_EQ(makeClockTexts(utc, at(2026, 1, 1, 11, 59, 59)).localTime, "11:59:59 AM");
    EXPECT_EQ(makeClockTexts(utc, at(2026, 1, 1, 23, 0, 0)).localTime, "11:00:00 PM");
}

TEST(ClockTextsTest, OneReadingFeedsBothClocks) {
    // A calendar time one second before a minute boundary: UTC and local must agree on seconds.
    const std::time_t t = 1772769779; // 2026-03-06 04:02:59 UTC
    const ClockTexts c = makeClockTexts(t);
    EXPECT_EQ(c.utcTime, "04:02:59");
    EXPECT_EQ(c.LogDateText, "20260306");
    EXPECT_EQ(c.localTime.substr(6, 2), "59");
}

TEST(OperatingSettingsTest, LockedSpeedsAndDefaults) {
    const int expected[] = {25, 100, 50, 45, 40, 35, 30, 25, 20, 15, 10};
    for (int lock = 1; lock <= 11; ++lock)
        EXPECT_EQ(lockedSpeedWpm(setting::RxSpeedLock{lock}), expected[lock - 1])
            << "lock " << lock;
    EXPECT_EQ(lockedSpeedWpm(setting::RxSpeedLock{0}), 25);
    EXPECT_EQ(lockedSpeedWpm(setting::RxSpeedLock{12}), 25);
    const OperatingSettings s;
    EXPECT_EQ(raw(s.ThresholdMode), 1);
    EXPECT_EQ(s.AfcSpan, 20);
    EXPECT_EQ(s.BeaconCarrierSamples, 44100);
    EXPECT_FLOAT_EQ(s.SidetoneFreq, 750.0f);
}

// ---------------------------------------------------------------- run loop

namespace {

struct LoopRig {
    explicit LoopRig(int devices)
        : catalog(devices), capture(catalog,
                                    [this](WaveOp op) {
                                        std::lock_guard lock(m);
                                        errors.push_back(op);
                                    }),
          loop(flags, capture, processor, events(), LoopTimings{20ms, 5ms}) {
        flags.setNoInputDevice(devices == 0);
    }
    RunLoopEvents events() {
        RunLoopEvents e;
        e.leds = [this](bool rcv, bool xmit) {
            std::lock_guard lock(m);
            lamps.emplace_back(rcv, xmit);
        };
        e.passDone = [this](const PassResult&, bool outputStalled) {
            if (outputStalled) ++stalledPasses;
        };
        e.fatalError = [this] { ++fatal; };
        e.inputDeviceFallback = [this](int id) { fallbackTo = id; };
        return e;
    }
    void start(int deviceId, int channel, int count) {
        thread = std::thread([=, this] {
            loop.run(deviceId, channel, count);
            returned = true;
        });
    }
    void join() {
        if (thread.joinable()) thread.join();
    }
    ~LoopRig() {
        flags.stop();
        flags.quit();
        join();
    }
    std::pair<bool, bool> lastLamps() {
        std::lock_guard lock(m);
        return lamps.empty() ? std::pair{false, false} : lamps.back();
    }

    FakeCatalog catalog;
    std::mutex m;
    std::vector<WaveOp> errors;
    std::vector<std::pair<bool, bool>> lamps;
    std::atomic<int> fatal{0};
    std::atomic<int> stalledPasses{0};
    std::atomic<int> fallbackTo{-1};
    std::atomic<bool> returned{false};
    LoopFlags flags;
    RecordingProcessor processor;
    CaptureCycle capture;
    RunLoop loop;
    std::thread thread;
};

} // namespace

TEST(RunLoopTest, TransmitPausesDecodingAndResumesWithAFreshCapture) {
    LoopRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    r.start(0, kInputMic, 1);
    ASSERT_TRUE(waitFor([&] { return r.processor.passes >= 2; }));
    EXPECT_EQ(r.lastLamps(), std::pair(true, false));

    r.flags.capturePause.set(PauseReason::Transmit, true);
    ASSERT_TRUE(waitFor([&] { return r.lastLamps() == std::pair(false, true); }));
    std::this_thread::sleep_for(30ms); // let a pass in progress finish
    const int during = r.processor.passes;
    const int resetsBefore = r.catalog.script(0).resets;
    std::this_thread::sleep_for(200ms); // the feeder keeps delivering meanwhile
    EXPECT_EQ(r.processor.passes, during) << "audio was processed during a transmission";

    r.flags.capturePause.set(PauseReason::Transmit, false);
    ASSERT_TRUE(waitFor([&] { return r.processor.passes >= during + 2; }));
    EXPECT_EQ(r.loop.captureRestarts(), 1);
    EXPECT_EQ(r.catalog.script(0).resets, resetsBefore + 1) << "capture must restart after sending";
    EXPECT_EQ(r.lastLamps(), std::pair(true, false));

    r.flags.stop();
    r.join();
    EXPECT_TRUE(r.flags.loopStopped());
    EXPECT_EQ(r.fatal, 0);
}

TEST(RunLoopTest, CapturePausesWhileAnyReasonHoldsAndRestartsAfterEveryPauseEvenAnUnseenOne) {
    LoopRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    r.start(0, kInputMic, 1);
    ASSERT_TRUE(waitFor([&] { return r.processor.passes >= 2; }));
    CapturePause& pause = r.flags.capturePause;
    auto passesStayFor = [&](std::chrono::milliseconds span) {
        std::this_thread::sleep_for(30ms); // a pass in progress finishes
        const int before = r.processor.passes;
        std::this_thread::sleep_for(span);
        return r.processor.passes == before;
    };

    // Two reasons overlap: the end of one leaves capture paused for the other, and the end of
    // both restarts the input once.
    pause.set(PauseReason::SoundCardDialog, true);
    pause.set(PauseReason::Transmit, true);
    ASSERT_TRUE(waitFor([&] { return r.lastLamps() == std::pair(false, true); }));
    pause.set(PauseReason::Transmit, false);
    EXPECT_TRUE(passesStayFor(150ms)) << "the dialog's reason no longer held capture";
    EXPECT_EQ(r.lastLamps(), std::pair(false, false)) << "nothing is keyed";
    int restarts = r.loop.captureRestarts();
    pause.set(PauseReason::SoundCardDialog, false);
    ASSERT_TRUE(waitFor([&] { return r.processor.passes >= 1 && r.lastLamps().first; }));
    EXPECT_EQ(r.loop.captureRestarts(), restarts + 1);

    // An output stall holds capture on its own account.
    pause.set(PauseReason::OutputStall, true);
    EXPECT_TRUE(passesStayFor(100ms)) << "audio was processed while the output was stalled";
    restarts = r.loop.captureRestarts();
    pause.set(PauseReason::OutputStall, false);
    const int resumed = r.processor.passes;
    ASSERT_TRUE(waitFor([&] { return r.processor.passes >= resumed + 2; }));
    EXPECT_EQ(r.loop.captureRestarts(), restarts + 1);

    // A stall that begins and ends while a pass is processed, unseen by any look of the loop:
    // that pass skips its timeline and the input still restarts.
    restarts = r.loop.captureRestarts();
    const int resets = r.catalog.script(0).resets;
    r.processor.stallDuringPass = &pause;
    ASSERT_TRUE(waitFor([&] { return r.stalledPasses >= 1; }));
    r.processor.stallDuringPass = nullptr;
    ASSERT_TRUE(waitFor([&] { return r.loop.captureRestarts() > restarts; }));
    EXPECT_GT(r.catalog.script(0).resets, resets);
    EXPECT_EQ(r.fatal, 0);
}

TEST(RunLoopTest, RestartReturnsAfterTheCurrentBufferAndQuitEndsAWait) {
    {
        LoopRig r(1);
        Feeder feed(r.catalog.script(0), 2);
        r.start(0, kInputLeft, 1);
        ASSERT_TRUE(waitFor([&] { return r.processor.passes >= 1; }));
        EXPECT_EQ(r.catalog.script(0).openedChannels, 2);
        r.flags.restartAfterBuffer();
        ASSERT_TRUE(waitFor([&] { return r.returned.load(); }));
        r.join();
        EXPECT_FALSE(r.flags.loopStopped()) << "a restart is not a stop";
        EXPECT_FALSE(r.catalog.script(0).running) << "the device is released for the re-open";
    }
    {
        // The device delivers nothing: the loop sits in its buffer wait when quit comes.
        LoopRig r(1);
        r.start(0, kInputMic, 1);
        std::this_thread::sleep_for(50ms);
        const auto t0 = std::chrono::steady_clock::now();
        r.flags.stop();
        r.flags.quit();
        r.join();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 600ms);
        EXPECT_TRUE(r.flags.loopStopped());
        EXPECT_EQ(r.processor.passes, 0);
    }
    {
        // A quit that lands between the loop's clearing of the stop and its first wait.
        LoopRig r(1);
        r.flags.stop();
        r.start(0, kInputMic, 1);
        std::this_thread::sleep_for(20ms);
        r.flags.quit();
        ASSERT_TRUE(waitFor([&] { return r.returned.load(); }, 1000ms));
    }
}

TEST(RunLoopTest, WithoutDevicesTheLampsFollowTheTransmitState) {
    LoopRig r(0);
    r.start(0, kInputMic, 0);
    ASSERT_TRUE(waitFor([&] { return r.lastLamps() == std::pair(true, false); }));
    r.flags.capturePause.set(PauseReason::Transmit, true);
    ASSERT_TRUE(waitFor([&] { return r.lastLamps() == std::pair(false, true); }));
    r.flags.stop();
    r.join();
    EXPECT_TRUE(r.flags.loopStopped());
    EXPECT_EQ(r.processor.passes, 0);
    EXPECT_TRUE(r.catalog.created.empty()) << "no device may be opened";
}

TEST(RunLoopTest, DeviceFailuresAreReportedInOrder) {
    {
        LoopRig r(2);
        r.catalog.script(1).formatSupported = false;
        Feeder feed(r.catalog.script(0), 1);
        r.start(1, kInputMic, 2);
        ASSERT_TRUE(waitFor([&] { return r.processor.passes >= 1; }));
        EXPECT_EQ(r.fallbackTo, 0);
        std::lock_guard lock(r.m);
        EXPECT_EQ(r.errors, std::vector<WaveOp>{WaveOp::StatusOpen});
    }
    {
        LoopRig r(1);
        r.catalog.script(0).startOk = false;
        r.start(0, kInputMic, 1);
        ASSERT_TRUE(waitFor([&] { return r.returned.load(); }));
        EXPECT_EQ(r.fatal, 1);
        std::lock_guard lock(r.m);
        EXPECT_EQ(r.errors, std::vector<WaveOp>{WaveOp::Start});
    }
}
