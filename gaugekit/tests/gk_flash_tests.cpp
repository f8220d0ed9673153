// The flash list and its single flash timer; the clock's once-per-second redraw.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "gk_test_support.h"

namespace {
struct FakeClocks {
    std::int64_t wall = 0;
    std::int64_t steady = 0;
    void install(TGkFlashList& list) {
        list.SetWallClock([this] { return wall; });
        list.SetSteadyClock([this] { return steady; });
    }
    void advance(std::int64_t ms) {
        wall += ms;
        steady += ms;
    }
};
} // namespace

TEST(FlashList, BitCodesToggleAtTheirPeriods) {
    TGkFlashList list(false);
    std::vector<std::pair<std::uint32_t, bool>> fast, slow;
    list.AddProc([&](std::uint32_t t, bool s) { fast.emplace_back(t, s); }, 2);
    list.AddProc([&](std::uint32_t t, bool s) { slow.emplace_back(t, s); }, 6);
    for (int i = 0; i < 256; ++i)
        list.Tick();
    // Code 2: bit 2 of the counter changes every 4 ticks (128 ms period of 16 ms ticks).
    ASSERT_EQ(fast.size(), 65u); // the first state, then 64 changes
    EXPECT_EQ(fast[0], std::make_pair(1u, false));
    EXPECT_EQ(fast[1], std::make_pair(4u, true));
    EXPECT_EQ(fast[2], std::make_pair(8u, false));
    // Code 6: every 64 ticks (2048 ms period).
    ASSERT_EQ(slow.size(), 5u);
    EXPECT_EQ(slow[1], std::make_pair(64u, true));
    EXPECT_EQ(slow[2], std::make_pair(128u, false));
}

TEST(FlashList, OtherCodesRunAtTheirOwnInterval) {
    TGkFlashList list(false);
    FakeClocks clocks;
    clocks.install(list);
    int count = 0;
    list.AddProc([&](std::uint32_t, bool) { ++count; }, 7, 100);
    for (int i = 0; i < 100; ++i) {
        clocks.advance(10);
        list.Tick();
    }
    EXPECT_EQ(count, 10);
}

TEST(FlashList, SecondCodeOncePerWallClockSecondAcrossDrift) {
    TGkFlashList list(false);
    FakeClocks clocks;
    clocks.wall = 1'700'000'000'400;
    clocks.install(list);
    std::vector<std::int64_t> at;
    list.AddProc([&](std::uint32_t, bool) { at.push_back(clocks.wall); },
                 TGkFlashList::kCodeSecond);
    // Ticks that drift: 16 to 19 ms apart instead of 16.
    for (int i = 0; i < 600; ++i) {
        clocks.advance(16 + i % 4);
        list.Tick();
    }
    const std::int64_t elapsedSeconds = (clocks.wall / 1000) - (1'700'000'000'416 / 1000);
    EXPECT_EQ(std::int64_t(at.size()), elapsedSeconds);
    for (std::size_t i = 1; i < at.size(); ++i) {
        EXPECT_EQ(at[i] / 1000 - at[i - 1] / 1000, 1) << "delivery " << i;
        EXPECT_LT(at[i] % 1000, 20) << "late after the second mark";
    }
}

TEST(FlashList, SecondCodeAfterAStallOrAClockSetBack) {
    TGkFlashList list(false);
    FakeClocks clocks;
    clocks.wall = 5'000'000'100;
    clocks.install(list);
    int count = 0;
    list.AddProc([&](std::uint32_t, bool) { ++count; }, TGkFlashList::kCodeSecond);
    list.Tick();
    clocks.advance(5000); // the GUI thread was busy for five seconds
    list.Tick();
    EXPECT_EQ(count, 1);
    for (int i = 0; i < 10; ++i) {
        clocks.advance(16);
        list.Tick();
    }
    EXPECT_EQ(count, 1);      // no burst of catch-up redraws
    clocks.wall -= 3'600'000; // the clock is set back an hour
    list.Tick();
    EXPECT_EQ(count, 2);
    for (int i = 0; i < 70; ++i) {
        clocks.advance(16);
        list.Tick();
    }
    EXPECT_EQ(count, 3); // and keeps ticking each second
}

TEST(FlashList, DeliveryMayRemoveRegistrations) {
    TGkFlashList list(false);
    int a = 0, b = 0;
    int idB = 0;
    const int idA = list.AddProc(
        [&](std::uint32_t, bool) {
            ++a;
            list.DelProc(idB);
        },
        2);
    idB = list.AddProc([&](std::uint32_t, bool) { ++b; }, 2);
    list.Tick();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(list.Count(), 1);
    list.DelProc(idA);
    EXPECT_EQ(list.Count(), 0);
}

TEST(FlashTimer, ThreadRunsOnlyWhileRegistrationsExist) {
    TGkFlashList& list = TGkFlashList::Instance();
    ASSERT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.TimerRunning());
    int ticks = 0;
    const int id = list.AddProc([&](std::uint32_t, bool) { ++ticks; }, 7, 16);
    EXPECT_TRUE(list.TimerRunning());
    const std::uint32_t before = list.TickCount();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const std::uint32_t delivered = list.TickCount() - before;
    EXPECT_GE(delivered, 5u);
    EXPECT_LE(delivered, 20u); // 16 ms per tick: at most about 19 in 300 ms
    EXPECT_GT(ticks, 0);
    list.DelProc(id);
    EXPECT_FALSE(list.TimerRunning());
    const std::uint32_t stopped = list.TickCount();
    t.restart();
    while (t.elapsed() < 60)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(list.TickCount(), stopped);
}

TEST(FlashTimer, LastRegistrationMayLeaveFromItsOwnTick) {
    TGkFlashList& list = TGkFlashList::Instance();
    ASSERT_EQ(list.Count(), 0);
    int calls = 0;
    int id = 0;
    id = list.AddProc(
        [&](std::uint32_t, bool) {
            ++calls;
            list.DelProc(id); // stops the timer from within its own tick
        },
        7, 16);
    QElapsedTimer t;
    t.start();
    while (calls == 0 && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(list.TimerRunning());
    pumpEvents(); // the timer is freed by the event loop
    EXPECT_EQ(TGkFlashTimer::Active(), nullptr);
}

TEST(FlashTimer, OnlyOnePerApplication) {
    std::vector<std::pair<QString, QString>> messages;
    gkSetMessageHandler(
        [&](const QString& text, const QString& caption) { messages.emplace_back(text, caption); });
    {
        TGkFlashTimer first;
        EXPECT_TRUE(first.IsActive());
        EXPECT_TRUE(messages.empty());
        TGkFlashTimer second;
        EXPECT_FALSE(second.IsActive());
        second.Start();
        EXPECT_FALSE(second.Running());
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].first,
                  QStringLiteral("Only one TGkFlashTimer per Application!\rRemove it..."));
        EXPECT_EQ(messages[0].second, QStringLiteral("Error Message"));

        // The flash list uses the one that exists rather than making another.
        TGkClock clock;
        EXPECT_EQ(messages.size(), 1u);
        EXPECT_TRUE(first.Running());
    }
    EXPECT_EQ(TGkFlashTimer::Active(), nullptr);
    EXPECT_FALSE(TGkFlashList::Instance().TimerRunning());
    TGkFlashTimer again;
    EXPECT_TRUE(again.IsActive());
    gkSetMessageHandler(nullptr);
}

TEST(Clock, RedrawsItsTextOncePerWallClockSecond) {
    QWidget form;
    form.resize(200, 80);
    TGkClock clock(&form);
    form.show();
    pumpEvents();
    TGkFlashList list(false);
    FakeClocks clocks;
    clocks.wall = 1'000'000'000'990;
    clocks.install(list);
    list.AddControl(&clock, TGkFlashList::kCodeSecond);
    PaintRecorder rec(&clock);
    const int before = clock.SecondTicks();
    std::int64_t firstTickMs = 0;
    for (int i = 0; i < 320; ++i) { // about 5.7 s of ticks that drift
        clocks.advance(i % 3 == 0 ? 21 : 16);
        list.Tick();
        if (i == 0) firstTickMs = clocks.wall; // the first tick finds the next second mark
    }
    const int seconds = int(clocks.wall / 1000 - firstTickMs / 1000);
    EXPECT_GE(seconds, 5);
    EXPECT_EQ(clock.SecondTicks() - before, seconds);
    pumpEvents();
    ASSERT_FALSE(rec.rects.empty());
    for (const QRect& r : rec.rects)
        EXPECT_TRUE(clock.TextRect().contains(r)) << "only the text is redrawn";
    list.DelControl(&clock);
}

TEST(Clock, LongerTextWidensTheControlOnTheNextPaint) {
    QWidget form;
    form.resize(400, 100);
    TGkClock clock(&form);
    EXPECT_EQ(clock.size(), QSize(69, 24));
    EXPECT_EQ(clock.ClockOption(), coTime);
    EXPECT_TRUE(clock.AutoHint());
    form.show();
    pumpEvents();
    clock.SetClockOption(coDateTime);
    pumpEvents();
    const QSize minimum = clock.MinimumControlSize(clock.ClockText());
    EXPECT_GE(clock.width(), minimum.width());
    EXPECT_GE(clock.height(), minimum.height());
    EXPECT_GT(clock.width(), 69);
    // The text sits inside the bevels in the font colour on the inner bevel's colour.
    const QImage img = grabImage(clock);
    const QRect text = clock.TextRect();
    bool sawFont = false;
    for (int x = text.left(); x <= text.right(); ++x)
        for (int y = text.top(); y <= text.bottom(); ++y) {
            const QRgb px = img.pixel(x, y);
            EXPECT_TRUE(px == rgbOf(clBlack) || qGreen(px) > qRed(px)) << x << "," << y;
            sawFont = sawFont || px == rgbOf(clLime);
        }
    EXPECT_TRUE(sawFont);
}

TEST(Clock, FixedTimeSourceGivesTheLocaleShortTime) {
    TGkClock clock;
    const QDateTime at(QDate(2024, 3, 9), QTime(7, 5, 3));
    clock.SetTimeSource([at] { return at; });
    EXPECT_EQ(clock.ClockText(), QLocale().toString(at.time(), QLocale::ShortFormat));
    clock.SetClockOption(coDate);
    EXPECT_EQ(clock.ClockText(), QLocale().toString(at.date(), QLocale::ShortFormat));
}
