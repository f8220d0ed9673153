#include "decode/ElementTimer.h"

#include <gtest/gtest.h>

using namespace dita;

namespace {
// Feeds a key-down run and a key-up run of the given number of 2.902 ms steps.
void keyAcquire(ElementTimer& t, int downSteps, int upSteps) {
    for (int i = 0; i < downSteps; ++i)
        t.acquire(true);
    for (int i = 0; i < upSteps; ++i)
        t.acquire(false);
}
void keyTrack(ElementTimer& t, int downSteps, int upSteps) {
    for (int i = 0; i < downSteps; ++i)
        t.track(true, SpaceTime::Medium);
    for (int i = 0; i < upSteps; ++i)
        t.track(false, SpaceTime::Medium);
}
} // namespace

TEST(ElementTimerAcquisition, DotAndDashPairThenOneClassifiedMarkEndsAcquisition) {
    ElementTimer t;
    keyAcquire(t, 20, 20); // 60 units: a dot at 20 wpm
    EXPECT_TRUE(t.acquiring());
    EXPECT_EQ(t.state().previousMark, 60);
    keyAcquire(t, 60, 20); // 180 units: more than twice the previous mark -> pair found
    EXPECT_TRUE(t.acquiring());
    EXPECT_EQ(t.state().dotAverage, 60);
    EXPECT_EQ(t.state().dashAverage, 180);
    EXPECT_EQ(t.state().dotIndex, 1);
    keyAcquire(t, 20, 20); // only classified (the dot ring is full), then acquisition ends
    EXPECT_FALSE(t.acquiring());
    EXPECT_EQ(t.state().dotAverage, 60);
    EXPECT_EQ(t.state().dotIndex, 0);
    EXPECT_EQ(t.state().dashIndex, 0);
}

TEST(ElementTimerAcquisition, SimilarMarksNeverFormAPair) {
    ElementTimer t;
    for (int i = 0; i < 10; ++i)
        keyAcquire(t, 20 + (i % 3), 20);
    EXPECT_TRUE(t.acquiring());
    EXPECT_EQ(t.state().dotIndex, 0);
    keyAcquire(t, 50, 20); // 150 > 2 * 60: pair found, dash first
    EXPECT_EQ(t.state().dashAverage, 150);
}

TEST(ElementTimerTracking, FirstDotHalvesTheAverageAndTheSecondRestoresIt) {
    ElementTimer t;
    keyAcquire(t, 20, 20);
    keyAcquire(t, 60, 20);
    keyAcquire(t, 60, 20);
    ASSERT_FALSE(t.acquiring());
    keyTrack(t, 20, 20);
    EXPECT_TRUE(t.state().dotFlag);
    ElementTimer fresh;
    keyAcquire(fresh, 20, 20);
    keyAcquire(fresh, 60, 20);
    keyAcquire(fresh, 60, 20);
    // After acquisition the dot ring holds {60, 0} and the index is 0: the first tracked dot
    // replaces entry 0, so the average is (60 + 0) / 2.
    keyTrack(fresh, 20, 20);
    EXPECT_EQ(fresh.state().dotAverage, 30);
    keyTrack(fresh, 20, 20);
    EXPECT_EQ(fresh.state().dotAverage, 60);
}

TEST(ElementTimerSpeed, AutomaticModeFallsBackTo30AboveFiftyAndFiftyPlusNeverDropsBelow50) {
    ElementTimer automatic;
    automatic.setSpeeds(35);
    automatic.state().dashAverage = 30; // raw 3880 / 37 = 104 wpm
    automatic.endOfPass(false);
    EXPECT_EQ(automatic.receiveSpeed(), 30);
    EXPECT_EQ(automatic.rawReceiveSpeed(), 30);

    ElementTimer fiftyPlus;
    fiftyPlus.setSpeedMode(kSpeedModeFiftyPlus);
    fiftyPlus.setSpeeds(35);
    fiftyPlus.state().dashAverage = 180; // raw 20 wpm
    for (int i = 0; i < 10; ++i) {
        fiftyPlus.endOfPass(false);
        EXPECT_GE(fiftyPlus.receiveSpeed(), 50);
    }
}

TEST(ElementTimerSpeed, SmoothsTowardTheRawSpeedAndHonoursAPendingLock) {
    ElementTimer t;
    t.setSpeeds(30);
    t.state().dashAverage = 180; // 3880 / 187 = 20
    t.endOfPass(true);           // speed lock pending: no update
    EXPECT_EQ(t.receiveSpeed(), 30);
    t.endOfPass(false);
    EXPECT_EQ(t.rawReceiveSpeed(), 20);
    EXPECT_EQ(t.receiveSpeed(), (2 * 30 + 20) / 3);
}

TEST(ElementTimerSpeed, RepeatedVeryLowSpeedsAskForADecoderResetAfterFiveGraceReadings) {
    ElementTimer t;
    t.setSpeeds(20);
    int resets = 0;
    for (int i = 0; i < 8; ++i) {
        t.state().dashAverage = 800; // raw 4 wpm
        if (t.endOfPass(false)) ++resets;
    }
    EXPECT_EQ(resets, 3);
}

TEST(ElementTimerWatchdogs, ConsistencyCheckRestoresTheSavedStateWhenDotsOutgrowDashes) {
    ElementTimer t;
    t.state().dotAverage = 60;
    t.state().dashAverage = 180;
    t.saveState();
    t.state().dotRing = {60, 200};
    t.state().dashRing = {180, 150};
    t.endOfPass(true);
    EXPECT_EQ(t.state().dotRing[1], 0);
    EXPECT_EQ(t.state().dotAverage, 60);
}

TEST(ElementTimerWatchdogs, StallWatchRestartsAcquisitionOnlyOnAStrongUnchangingSignal) {
    ElementTimer weak;
    bool restarted = false;
    for (int i = 0; i < 1001; ++i)
        restarted |= weak.stallWatch(10);
    EXPECT_FALSE(restarted);
    ElementTimer strong;
    strong.resetToAcquisition();
    keyAcquire(strong, 20, 20);
    keyAcquire(strong, 60, 20);
    keyAcquire(strong, 60, 20);
    ASSERT_FALSE(strong.acquiring());
    for (int i = 0; i < 1000; ++i)
        ASSERT_FALSE(strong.stallWatch(20));
    EXPECT_TRUE(strong.stallWatch(20));
    EXPECT_TRUE(strong.acquiring());
    EXPECT_EQ(strong.receiveSpeed(), 30);
}
