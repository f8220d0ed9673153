// Rig control with hamlib's dummy rig (model 1) and a real rigctld started by the test: the
// frequency is followed as rigctl changes it, CAT PTT reaches the rig, and a rig that is
// missing or goes away is reported once and found again. A server that never answers holds
// neither a quit nor the model list. The rig's own keyer keys text handed to it at the
// transmit speed, and CAT PTT holds across a logger's transmission keyed on the sound card.
#include "station/CatKeyer.h"
#include "station/CwDaemonProtocol.h"
#include "station/RigControl.h"
#include "station/tests/StationTestPeers.h"
#include "transmit/Keyer.h"
#include "transmit/MorseCode.h"
#include "transmit/tests/TransmitFakes.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
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

// rigctld on this machine at port.
RigEndpoint rigctldAt(uint16_t port) {
    RigEndpoint endpoint;
    endpoint.connection = RigConnection::Rigctld;
    endpoint.host = "127.0.0.1";
    endpoint.port = port;
    return endpoint;
}

} // namespace

TEST(RigControl, FollowsRigctldKeysCatPttAndReportsALostRigOnceUntilItIsBack) {
    const uint16_t port = freeLoopbackPort();
    RigEvents events;
    RigControl rig(events.hooks(), kQuickTiming);
    const RigEndpoint endpoint = rigctldAt(port);

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

TEST(RigControl, TheRigsKeyerKeysTextAtTheTransmitSpeedAndNothingIsKeyedWithoutARig) {
    const uint16_t port = freeLoopbackPort();
    const std::string trace = testing::TempDir() + "rigctld-catkey-" + std::to_string(port);
    RigEvents events;
    RigControl rig(events.hooks(), kQuickTiming);
    std::atomic<int32_t> wpm{28};
    std::vector<std::string> notices;
    CatKeyer keyer(
        rig, [&] { return wpm.load(); }, [&](const std::string& text) { notices.push_back(text); });
    const std::atomic<bool> goOn{false};

    // No rig yet: nothing is keyed, and the operator is told once.
    EXPECT_FALSE(keyer.sendText("CQ", goOn));
    EXPECT_FALSE(keyer.sendTypedCode(TextCodeMap()['E']));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("rig control is not connected"), std::string::npos) << notices[0];

    const RigEndpoint endpoint = rigctldAt(port);
    Rigctld server(port, trace);
    rig.configure(endpoint);
    ASSERT_TRUE(events.waitUntil([&] { return events.connections == 1; }));

    // Text (a line break keyed as a space) reaches the rig after its keyer speed.
    ASSERT_TRUE(keyer.sendText("CQ\nDE", goOn));
    ASSERT_TRUE(events.waitUntil([&] { return tracedCommands(trace, "b").size() == 1; }));
    EXPECT_NE(tracedCommands(trace, "b")[0].find("' CQ DE'"), std::string::npos)
        << tracedCommands(trace, "b")[0];
    EXPECT_EQ(rigctl(port, "l KEYSPD"), "28\n");

    // The speed is set again only when it changed; a typed character goes as itself.
    wpm = 18;
    ASSERT_TRUE(keyer.sendText("TU", goOn));
    ASSERT_TRUE(keyer.sendTypedCode(TextCodeMap()['E']));
    ASSERT_TRUE(events.waitUntil([&] { return tracedCommands(trace, "b").size() == 3; }));
    EXPECT_NE(tracedCommands(trace, "b")[1].find("' TU'"), std::string::npos);
    EXPECT_NE(tracedCommands(trace, "b")[2].find("' E'"), std::string::npos);
    EXPECT_EQ(rigctl(port, "l KEYSPD"), "18\n");
    EXPECT_EQ(tracedCommands(trace, "L").size(), 2u);
    for (const std::string& loss : events.lossesSoFar())
        EXPECT_EQ(loss.find("refused"), std::string::npos) << loss;

    // An abort ends the wait for a long text at once (the rig is told to stop where hamlib can).
    std::atomic<bool> stop{false};
    std::thread aborter([&] {
        std::this_thread::sleep_for(200ms);
        stop = true;
    });
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_FALSE(keyer.sendText(std::string(200, 'T'), stop)); // about 2 minutes at 18 wpm
    aborter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, kPatience);
    std::remove(trace.c_str());
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

// A logger's message keyed as a tone on the sound card while the rig's PTT is CAT: the rig's
// PTT goes on once, at least the lead time before the first element, holds across the
// characters, words and the second datagram, and goes off once, the hang time after the last
// element. The sound device plays each block at the pace of a sound card.
TEST(RigControl, CatPttHoldsAcrossASoundCardTransmissionAndDropsAfterTheHang) {
    const uint16_t port = freeLoopbackPort();
    const std::string trace = testing::TempDir() + "rigctld-catptt-" + std::to_string(port);
    Rigctld server(port, trace);
    RigEvents events;
    RigControl rig(events.hooks(), kQuickTiming);
    const RigEndpoint endpoint = rigctldAt(port);
    rig.configure(endpoint);
    ASSERT_TRUE(events.waitUntil([&] { return events.connections == 1; }));

    using Clock = std::chrono::steady_clock;
    struct PttChange {
        bool on;
        bool answered;
        Clock::time_point asked;
        Clock::time_point at; // once the rig has answered
    };
    std::mutex mutex;
    std::vector<PttChange> changes;
    KeyingPort keyingPort({}); // no serial line: PTT is CAT alone
    PttSettings ptt;
    ptt.PttEnable = true;
    keyingPort.setPtt(ptt);
    keyingPort.setCatPtt([&](bool on) {
        const auto asked = Clock::now();
        const bool answered = rig.setPtt(on);
        std::lock_guard lock(mutex);
        changes.push_back({on, answered, asked, Clock::now()});
    });
    PttHoldTimer hold(keyingPort);

    RecordingToneDevice device;
    std::optional<Clock::time_point> firstSound;
    device.onWrite = [&] {
        if (!firstSound) firstSound = Clock::now();
        const auto samples = static_cast<int64_t>(device.blocks.back().samples.size());
        std::this_thread::sleep_for(std::chrono::microseconds(samples * 1'000'000 / 44'100));
    };
    FakeClock clock;
    ToneOutput output(device, {}, {}, clock);
    SendTimingStore timing;
    ToneKeyer keyer(output, timing, &keyingPort, &hold);
    ToneSettings tone;
    tone.SidetoneOn = true;
    keyer.setTone(tone);

    int32_t wpm = 28;
    const std::atomic<bool> goOn{false};
    const auto begun = Clock::now();
    ASSERT_TRUE(
        keyer.keySteps(cwDaemonSteps("CQ DE DL1ABC", wpm), goOn, PttHang{kPttHangDefaultMs, true}));
    const auto test = cwDaemonSteps(" TEST", wpm);
    ASSERT_TRUE(keyer.keySteps(test, goOn, PttHang{kPttHangDefaultMs, false}));
    // The last block has played: the last element ended the silence after it earlier.
    const auto lastElement = Clock::now() - (test.back().unit + test.back().gapAfter);
    ASSERT_TRUE(firstSound.has_value());
    std::this_thread::sleep_for(std::chrono::milliseconds(kPttHangDefaultMs) + 1s);
    std::lock_guard lock(mutex);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(changes[0].on && changes[0].answered);
    EXPECT_TRUE(!changes[1].on && changes[1].answered);
    auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    const double lead = ms(*firstSound - changes[0].at);
    const double hang = ms(changes[1].asked - lastElement);
    std::printf("CAT PTT log: on at %.1f ms (rig answered), first element at %.1f ms, last element "
                "ended at %.1f ms, off asked at %.1f ms and answered at %.1f ms: lead %.1f ms, "
                "hang %.1f ms\n",
                ms(changes[0].at - begun), ms(*firstSound - begun), ms(lastElement - begun),
                ms(changes[1].asked - begun), ms(changes[1].at - begun), lead, hang);
    EXPECT_GE(lead, kPttLeadMs - 1.0);
    EXPECT_GE(hang, kPttHangDefaultMs - 1.0);
    EXPECT_LT(hang, kPttHangDefaultMs + 100.0);
    // As the rig saw it: one PTT on, one off, and it is off now.
    const auto commands = tracedCommands(trace, "T");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_NE(commands[0].find("'1'"), std::string::npos) << commands[0];
    EXPECT_NE(commands[1].find("'0'"), std::string::npos) << commands[1];
    for (const auto& c : commands)
        std::printf("rigctld: %s\n", c.c_str());
    EXPECT_EQ(rigctl(port, "t"), "0\n");
    std::remove(trace.c_str());
}
