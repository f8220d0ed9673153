// Rig control with hamlib's dummy rig (model 1) and a real rigctld started by the test: the
// frequency is followed as rigctl changes it, CAT PTT reaches the rig, and a rig that is
// missing or goes away is reported once and found again. A server that never answers holds
// neither a quit nor the model list.
#include "station/RigControl.h"
#include "station/tests/StationTestPeers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
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

namespace {

// A rig server that accepts and then sends one byte every 300 ms and never a whole answer, so
// hamlib keeps waiting inside rig_open.
class SilentRigServer {
public:
    SilentRigServer() {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        listen(m_listen, 4);
        m_thread = std::thread([this] { run(); });
    }
    ~SilentRigServer() {
        m_quit = true;
        m_thread.join();
        close(m_listen);
    }
    uint16_t port = 0;
    std::atomic<int> accepted{0};

private:
    void run() {
        std::vector<int> clients;
        while (!m_quit) {
            pollfd p{m_listen, POLLIN, 0};
            if (poll(&p, 1, 300) > 0) {
                clients.push_back(accept(m_listen, nullptr, nullptr));
                ++accepted;
            }
            for (int c : clients)
                (void)!send(c, "0", 1, MSG_NOSIGNAL);
        }
        for (int c : clients)
            close(c);
    }
    int m_listen = -1;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

} // namespace

TEST(RigControl, AQuitEndsAtOnceAndTheModelListAnswersWhileTheRigNeverAnswers) {
    SilentRigServer server;
    RigEvents events;
    auto rig = std::make_unique<RigControl>(events.hooks(), kQuickTiming);
    RigEndpoint silent;
    silent.connection = RigConnection::Rigctld;
    silent.host = "127.0.0.1";
    silent.port = server.port;
    rig->configure(silent);
    const auto start = std::chrono::steady_clock::now();
    while (server.accepted == 0 && std::chrono::steady_clock::now() - start < kPatience)
        std::this_thread::sleep_for(10ms);
    ASSERT_GT(server.accepted.load(), 0);
    std::this_thread::sleep_for(300ms); // hamlib is inside rig_open now, reading byte by byte
    // The Rig Control dialog's list while the open waits: answered, and whole.
    const auto models = hamlibRigModels();
    EXPECT_TRUE(std::any_of(models.begin(), models.end(),
                            [](const RigModelInfo& m) { return m.model == kRigModelDummy; }));
    EXPECT_FALSE(rig->connected());
    const std::size_t lossesAtQuit = events.lossesSoFar().size();
    const auto quitStart = std::chrono::steady_clock::now();
    rig.reset(); // the window's quit
    const auto quit = std::chrono::steady_clock::now() - quitStart;
    EXPECT_LT(quit, 2s) << "the quit waited for hamlib";
    // The worker left behind reaches no hook once its owner has gone.
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(events.lossesSoFar().size(), lossesAtQuit);
}
