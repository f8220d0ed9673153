// Rig control with hamlib's dummy rig (model 1) and a real rigctld started by the test: the
// frequency is followed as rigctl changes it, CAT PTT reaches the rig, and a rig that is
// missing or goes away is reported once and found again.
#include "station/RigControl.h"
#include "station/tests/StationTestPeers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace dita;
using namespace dita::test;
using namespace std::chrono_literals;

namespace {

constexpr auto kPatience = 10s; // the longest any step here may take on a loaded machine
const RigTiming kQuickTiming{100ms, 200ms, 250ms};

// What the hooks reported, in order, with waits for the next report.
struct RigEvents {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<double> frequencies;
    std::vector<std::string> losses;
    int connections = 0;

    RigControl::Hooks hooks() {
        return {[this](double hz) { record([&] { frequencies.push_back(hz); }); },
                [this](const std::string& why) { record([&] { losses.push_back(why); }); },
                [this](const std::string&) { record([&] { ++connections; }); }};
    }
    template <typename F> void record(F f) {
        std::lock_guard lock(mutex);
        f();
        changed.notify_all();
    }
    template <typename P> bool waitUntil(P predicate) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kPatience, predicate);
    }
    std::vector<std::string> lossesSoFar() {
        std::lock_guard lock(mutex);
        return losses;
    }
    bool sawFrequency(double hz) {
        return waitUntil([&] { return !frequencies.empty() && frequencies.back() == hz; });
    }
};

} // namespace

TEST(RigControl, FollowsRigctldKeysCatPttAndReportsALostRigOnceUntilItIsBack) {
    const uint16_t port = freeLoopbackPort();
    RigEvents events;
    RigControl rig(events.hooks(), kQuickTiming);
    RigEndpoint endpoint;
    endpoint.connection = RigConnection::Rigctld;
    endpoint.host = "127.0.0.1";
    endpoint.port = port;

    // No rigctld yet: reported once, however often it is tried; PTT goes nowhere.
    rig.configure(endpoint);
    ASSERT_TRUE(events.waitUntil([&] { return events.losses.size() == 1; }));
    std::this_thread::sleep_for(kQuickTiming.retry * 4);
    auto losses = events.lossesSoFar();
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_NE(losses[0].find("cannot reach rigctld 127.0.0.1:" + std::to_string(port)),
              std::string::npos)
        << losses[0];
    EXPECT_FALSE(rig.setPtt(true));

    auto server = std::make_unique<Rigctld>(port);
    ASSERT_TRUE(events.waitUntil([&] { return events.connections == 1; }));
    EXPECT_TRUE(events.waitUntil([&] { return !events.frequencies.empty(); }));

    // Another program tunes the rig: the frequency follows.
    rigctl(port, "F 14025000");
    EXPECT_TRUE(events.sawFrequency(14025000.0));
    rigctl(port, "F 7030500");
    EXPECT_TRUE(events.sawFrequency(7030500.0));

    // CAT PTT as the rig sees it.
    ASSERT_TRUE(rig.setPtt(true));
    EXPECT_EQ(rigctl(port, "t"), "1\n");
    ASSERT_TRUE(rig.setPtt(false));
    EXPECT_EQ(rigctl(port, "t"), "0\n");

    // rigctld goes away: one report, PTT refused; it comes back: followed again.
    server->stop();
    ASSERT_TRUE(events.waitUntil([&] { return events.losses.size() == 2; }));
    std::this_thread::sleep_for(kQuickTiming.retry * 4);
    losses = events.lossesSoFar();
    ASSERT_EQ(losses.size(), 2u);
    EXPECT_NE(losses[1].find("lost rigctld"), std::string::npos) << losses[1];
    EXPECT_FALSE(rig.connected());
    EXPECT_FALSE(rig.setPtt(true));

    server = std::make_unique<Rigctld>(port);
    ASSERT_TRUE(events.waitUntil([&] { return events.connections == 2; }));
    rigctl(port, "F 3550000");
    EXPECT_TRUE(events.sawFrequency(3550000.0));

    rig.configure({});
    EXPECT_FALSE(rig.connected());
}

TEST(RigControl, DummyRigAnswersDirectlyAndAnUnknownModelIsReported) {
    RigEvents events;
    RigControl rig(events.hooks(), kQuickTiming);
    RigEndpoint dummy;
    dummy.connection = RigConnection::SerialRig;
    dummy.model = kRigModelDummy;
    rig.configure(dummy);
    ASSERT_TRUE(
        events.waitUntil([&] { return events.connections == 1 && !events.frequencies.empty(); }));
    EXPECT_GT(events.frequencies.front(), 0.0);
    EXPECT_TRUE(rig.setPtt(true));
    EXPECT_TRUE(rig.setPtt(false));

    RigEndpoint unknown = dummy;
    unknown.model = 999999;
    rig.configure(unknown);
    ASSERT_TRUE(events.waitUntil([&] { return events.losses.size() == 1; }));
    const auto losses = events.lossesSoFar();
    EXPECT_NE(losses[0].find("hamlib has no rig model 999999"), std::string::npos) << losses[0];
    EXPECT_FALSE(rig.connected());
}
