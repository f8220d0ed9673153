// Transmit control with its real threads: the test thread plays the window thread and pumps
// the calls the senders queue for it; the keyers are recorders behind the Keyer interface.
#include "ControlFakes.h"
#include "macros/MessageButtons.h"
#include "transmit/KeyingPort.h"
#include "transmit/ToneOutput.h"
#include "transmit/tests/TransmitFakes.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace dita;
using namespace dita::test;
using namespace std::chrono_literals;

namespace {

constexpr int kVkA = 65;
constexpr int kVkB = 66;
constexpr int kVkC = 67;
constexpr int kVkE = 69;
constexpr int kVkQ = 81;
constexpr int kVk2 = 50;
constexpr int kVk8 = 56;
constexpr int kVkF2 = 113;
constexpr int kVkF3 = 114;

struct Bench {
    explicit Bench(std::chrono::milliseconds perCharacter = 2ms)
        : keyer(perCharacter),
          control(view, TransmitParts{[this] { return &keyer; }, nullptr, {}, {}}, pause) {
        control.start();
        view.pumpFor(30ms);
    }
    ~Bench() { control.shutdown(); }

    // A key as the transmit window hands it over: its code and the character it produced.
    void type(int vk, char32_t character = 0) {
        control.TransmitMemoKeyDown(vk, character);
        control.TransmitMemoKeyUp(vk, character);
    }
    void typeWithModifier(int modifier, int vk, char32_t character = 0) {
        control.TransmitMemoKeyDown(modifier);
        type(vk, character);
        control.TransmitMemoKeyUp(modifier);
    }
    // Lets TCharThread take every queued key, as happens between an operator's actions.
    void settle() {
        ASSERT_TRUE(view.pumpUntil([&] { return !control.state().keyQueue.hasUnread(); }));
        view.pumpFor(20ms);
    }
    bool idle() {
        return control.phase() == TransmitPhase::Idle && !control.typingActive() &&
               !transmitActive();
    }
    void scnMode() {
        control.XmitButtonClick();
        control.MsgButton14Click();
    }

    FakeTransmitView view;
    RecordingKeyer keyer;
    CapturePause pause;
    bool transmitActive() const { return pause.has(PauseReason::Transmit); }
    TransmitController control;
};

} // namespace

TEST(TransmitRefusals, EachRefusalShowsItsMessageAndSendsNothing) {
    Bench b;
    b.control.SendBtnClick();
    b.control.MsgButton14Click();
    b.control.XmitBtnClick();
    b.control.MsgButton13Click();
    b.control.XmitBtnClick();
    b.control.TuneBtnClick();
    b.control.XmitButtonClick(); // on: IMM with no message button chosen
    b.control.SendBtnClick();
    EXPECT_EQ(b.view.messages, (std::vector<std::string>{
                                   "Xmit Enable must be ON | Error Message",
                                   "Must be in IMM mode of operation | Error Message",
                                   "Xmit Enable must be ON | Error Message",
                                   "Xmit Enable must be ON | Error Message",
                                   "No Memory Button has beeen selected | Error Message",
                               }));
    b.view.pumpFor(30ms);
    EXPECT_EQ(b.keyer.textsStarted(), 0);
    EXPECT_TRUE(b.idle());
}

TEST(ScreenSend, SendsTheWindowTextOnceWithItsLineBreaksAndReturnsToIdle) {
    Bench b;
    b.scnMode();
    b.view.transmit = "CQ CQ\nDE DL1ABC é";
    b.control.SendBtnClick();
    EXPECT_TRUE(b.view.readOnly);
    EXPECT_TRUE(b.transmitActive());
    EXPECT_FALSE(b.view.speedEnabled);
    EXPECT_TRUE(b.control.sendButtonMarked());
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
    EXPECT_EQ(b.keyer.texts(), std::vector<std::string>{"CQ CQ\nDE DL1ABC \xE9"});
    EXPECT_FALSE(b.view.readOnly);
    EXPECT_TRUE(b.view.speedEnabled);
    EXPECT_FALSE(b.control.sendButtonMarked());
    EXPECT_EQ(b.control.state().SendBufferIndex, kScnBufferIndex);
}

TEST(ScreenSend, LoopRepeatsUntilLoopIsTurnedOffAndThenFinishesTheRepetition) {
    Bench b(1ms);
    b.scnMode();
    b.view.transmit = "TEST";
    b.control.LoopButtonClick();
    b.control.SendBtnClick();
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.texts().size() >= 3; }));
    b.control.LoopButtonClick();
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
    const auto texts = b.keyer.texts();
    for (const auto& t : texts)
        EXPECT_EQ(t, "TEST") << "a repetition was cut short";
    EXPECT_EQ(b.keyer.stoppedTexts(), 0);
}

TEST(ScreenSend, EveryStopEndsKeyingWithinOneCharacter) {
    struct Case {
        const char* name;
        std::function<void(Bench&)> stop;
    };
    const Case cases[] = {
        {"Send again", [](Bench& b) { b.control.SendBtnClick(); }},
        {"Xmit Enable off", [](Bench& b) { b.control.XmitButtonClick(); }},
        {"Esc", [](Bench& b) { b.type(kVkEscape); }},
        {"quit",
         [](Bench& b) {
             b.control.stopRunningSend();
             b.control.stopRunningSend();
             b.control.shutdown();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b(5ms);
        b.scnMode();
        b.view.transmit = std::string(400, 'E');
        b.control.LoopButtonClick();
        b.control.SendBtnClick();
        ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.characters() >= 3; }));
        c.stop(b);
        const int atStop = b.keyer.characters();
        ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
        b.view.pumpFor(30ms);
        EXPECT_LE(b.keyer.characters() - atStop, 1);
        EXPECT_EQ(b.keyer.stoppedTexts(), 1);
        EXPECT_FALSE(b.view.readOnly);
    }
}

TEST(ScreenSend, EscapeAlsoClearsTheTransmitWindow) {
    Bench b(5ms);
    b.scnMode();
    b.view.transmit = std::string(200, 'E');
    b.control.SendBtnClick();
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.characters() >= 2; }));
    b.type(kVkEscape);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle() && b.view.transmit.empty(); }));
    EXPECT_EQ(b.view.clears, 1);
}

TEST(TypedSending, ImmTypingKeysEachCharacterInOrder) {
    Bench b;
    b.control.XmitButtonClick();
    for (int vk : {kVkC, kVkQ, kVkA})
        b.type(vk);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.codes().size() == 3; }));
    EXPECT_EQ(b.keyer.codes(), (std::vector<int32_t>{kVkC, kVkQ, kVkA}));
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
    b.view.pumpFor(20ms);
    EXPECT_TRUE(b.view.speedEnabled);
}

TEST(TypedSending, NothingIsKeyedWhileXmitEnableIsOffOrInScreenMode) {
    Bench b;
    b.type(kVkA);
    b.settle();
    b.control.XmitButtonClick();
    b.control.MsgButton14Click();
    b.type(kVkB);
    b.settle();
    b.control.MsgButton13Click();
    b.type(kVkC);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.codes().size() == 1; }));
    b.view.pumpFor(30ms);
    EXPECT_EQ(b.keyer.codes(), std::vector<int32_t>{kVkC}) << "keys of SCN mode leaked out";
}

TEST(TypedSending, CodesAboveTheTableAreSkippedInsteadOfBlockingTheKeysBehindThem) {
    Bench b;
    b.control.XmitButtonClick();
    b.typeWithModifier(kVkShift, kVk8); // Shift+8 has no sendable code
    b.type(kVkE);
    ASSERT_TRUE(b.view.pumpUntil([&] { return !b.keyer.codes().empty(); }));
    EXPECT_EQ(b.keyer.codes(), std::vector<int32_t>{kVkE});
}

TEST(TypedSending, ArrowKeysSwitchTheDisplayAndSendASpace) {
    Bench b;
    b.control.XmitButtonClick();
    b.type(kVkUp);
    b.type(kVkDown);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.codes().size() == 2; }));
    EXPECT_EQ(b.keyer.codes(), (std::vector<int32_t>{' ', ' '}));
    EXPECT_EQ(b.view.displays, (std::vector<bool>{false, true}));
}

TEST(TypedSending, KeysTypedDuringAMacroFollowItAndAppearInTheWindow) {
    Bench b(5ms);
    b.control.XmitButtonClick();
    b.control.sendMacroBuffer(3, "CQ TEST");
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.characters() >= 1; }));
    EXPECT_TRUE(b.view.readOnly);
    b.type(kVkA);
    b.type(kVkB);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.codes().size() == 2 && b.idle(); }));
    const auto events = b.keyer.events();
    EXPECT_EQ(events, (std::vector<std::string>{"text CQ TEST", "code 65", "code 66"}));
    EXPECT_EQ(b.view.transmit, "ab");
}

TEST(TypedSending, FunctionAndCtrlKeysPressTheirMessageButtons) {
    Bench b;
    // Stand-in expansion until the macros are wired: macro n sends "M<n>".
    b.view.onPress = [&](int n) { b.control.sendMacroBuffer(n, "M" + std::to_string(n)); };
    b.control.XmitButtonClick();
    b.type(kVkF3);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.texts().size() == 1 && b.idle(); }));
    b.typeWithModifier(kVkControl, kVk2);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.texts().size() == 2 && b.idle(); }));
    b.typeWithModifier(kVkControl, kVkE); // Ctrl with a key of no macro: nothing
    b.view.pumpFor(50ms);
    EXPECT_EQ(b.view.pressed, (std::vector<int>{3, 12}));
    EXPECT_EQ(b.keyer.texts(), (std::vector<std::string>{"M3", "M12"}));
    EXPECT_TRUE(b.keyer.codes().empty());
}

TEST(TypedSending, KeysTypedRightAfterACommandWaitForItsMacro) {
    // The command key's press goes through the real message buttons and their busy check.
    Bench b;
    MacroSources sources{};
    sources[1] = "CQ";
    sources[2] = "5NN";
    struct : MacroButtonView {
        void markMessageButton(int) override {}
        bool doubleScreen() const override { return false; }
        void appendReceiveText(const std::string&) override {}
        void appendTransmitText(const std::string&) override {}
        void focusTransmitMemo() override {}
    } buttonView;
    std::vector<std::string> refusals;
    MessageButtons buttons(
        sources, {}, b.control, buttonView,
        [&](const std::string& text, const std::string&) { refusals.push_back(text); });
    b.view.onPress = [&](int n) { buttons.click(n); };
    b.control.XmitButtonClick();
    // F2 and "TU" typed while M1 still goes out.
    ASSERT_TRUE(buttons.click(1));
    b.type(kVkF2);
    b.type('T', U't');
    b.type('U', U'u');
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.codes().size() == 2 && b.idle(); }));
    EXPECT_TRUE(refusals.empty()) << refusals.front();
    EXPECT_EQ(b.keyer.events(),
              (std::vector<std::string>{"text CQ", "text 5NN", "code 84", "code 85"}));
}

TEST(TransmitFlag, FollowsEverySenderAndTheLampsFollowTune) {
    LineLog log;
    std::vector<Message> messages;
    KeyingPort port(recordMessages(messages), recordingOpener(log));
    port.OutputPort = kOutputPortNumber;
    port.openDevice("/dev/ttyFAKE");
    FakeTransmitView view;
    RecordingKeyer keyer(20ms);
    CapturePause active;
    TransmitController control(view, {[&] { return &keyer; }, &port, {}, {}}, active);
    control.start();

    control.XmitButtonClick();
    control.TuneBtnClick();
    EXPECT_TRUE(active.has(PauseReason::Transmit));
    EXPECT_TRUE(log.level(ModemLine::Dtr));
    EXPECT_TRUE(view.xmitLed);
    EXPECT_FALSE(view.rcvLed);
    // Switching transmission off lets the tune carrier go.
    control.XmitButtonClick();
    EXPECT_FALSE(active.has(PauseReason::Transmit));
    EXPECT_FALSE(log.level(ModemLine::Dtr));
    EXPECT_TRUE(view.rcvLed);

    control.XmitButtonClick();
    control.TransmitMemoKeyDown(kVkE);
    ASSERT_TRUE(view.pumpUntil([&] { return active.has(PauseReason::Transmit); }));
    ASSERT_TRUE(view.pumpUntil(
        [&] { return !keyer.codes().empty() && !active.has(PauseReason::Transmit); }));
    control.shutdown();
    EXPECT_TRUE(messages.empty());
}

TEST(TransmitFlag, AStaleCleanupDoesNotStopTheNextSend) {
    Bench b(3ms);
    b.scnMode();
    b.view.transmit = "EEEEEEEEEE";
    b.control.SendBtnClick();
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.characters() >= 1; }));
    b.control.SendBtnClick(); // stop
    b.control.SendBtnClick(); // and start again at once
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
    const auto texts = b.keyer.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "EEEEEEEEEE");
}

namespace {

// The key line as the senders leave it, readable while a sender keys.
class KeyLine : public ModemLines {
public:
    void setLine(ModemLine line, bool raised) override {
        if (line != ModemLine::Dtr) return;
        std::lock_guard lock(m_mutex);
        m_down = raised;
        ++m_changes;
    }
    bool down() const {
        std::lock_guard lock(m_mutex);
        return m_down;
    }
    int changes() const {
        std::lock_guard lock(m_mutex);
        return m_changes;
    }

private:
    mutable std::mutex m_mutex;
    bool m_down = false;
    int m_changes = 0;
};

// A keyer that fails in the middle of an element: the key is down when it gives up.
class FailingMidElementKeyer : public Keyer {
public:
    explicit FailingMidElementKeyer(KeyingPort& port) : m_port(port) {}
    bool sendText(std::string_view, const std::atomic<bool>&) override {
        m_port.SetKeyLines(kKeyDown);
        return false;
    }
    bool sendTypedCode(int32_t) override { return false; }

private:
    KeyingPort& m_port;
};

} // namespace

TEST(TransmitStates, TuneOnTheSoundCardKeysASteadyToneUntilItIsSwitchedOff) {
    RecordingToneDevice device;
    std::atomic<int> written{0};
    device.onWrite = [&] {
        ++written;
        std::this_thread::sleep_for(1ms); // about the pace of a real device
    };
    FakeClock clock;
    ToneOutput output(device, {}, {}, clock);
    SendTimingStore timing;
    ToneKeyer tone(output, timing);
    ToneSettings settings;
    settings.SidetoneOn = true;
    tone.setTone(settings);
    FakeTransmitView view;
    CapturePause pause;
    TransmitController control(view, {[&] { return &tone; }, nullptr, {}, {}}, pause);
    control.start();
    control.XmitButtonClick();
    control.TuneBtnClick();
    EXPECT_TRUE(control.tuning());
    EXPECT_TRUE(pause.has(PauseReason::Transmit));
    ASSERT_TRUE(view.pumpUntil([&] { return written.load() >= 3; }));
    control.TuneBtnClick(); // off: returns at once, the carrier falls on its own thread
    EXPECT_FALSE(control.tuning());
    // On again at once, while the first carrier may still be falling: a second one follows.
    control.TuneBtnClick();
    const int before = written.load();
    ASSERT_TRUE(view.pumpUntil([&] { return written.load() >= before + 3; }));
    control.TuneBtnClick();
    control.shutdown();
    const auto s = device.allSamples();
    EXPECT_NEAR(*std::max_element(s.begin(), s.end()), 15000, 3);
    int falls = 0;
    for (const auto& b : device.blocks)
        falls += b.samples.size() == 221u ? 1 : 0;
    EXPECT_EQ(falls, 2) << "each carrier ends with its fall";
    EXPECT_EQ(device.blocks.back().samples.size(), 221u);
    EXPECT_LT(std::abs(s.back()), 10);
}

TEST(TransmitStates, TuneAndSendsTakeTurnsAndEveryEndLeavesTheKeyUp) {
    auto* line = new KeyLine; // owned by the port once opened
    std::vector<Message> messages;
    KeyingPort port(recordMessages(messages),
                    [&](const std::string&) { return std::unique_ptr<ModemLines>(line); });
    port.OutputPort = kOutputPortNumber;
    port.openDevice("/dev/ttyFAKE");
    SendTimingStore timing;
    timing.publish(ComputeSendTiming(60));
    MonotonicClock clock;
    SerialKeyer serial(port, timing, clock);
    FailingMidElementKeyer failing(port);
    Keyer* keyer = &serial;
    FakeTransmitView view;
    CapturePause pause;
    TransmitController control(view, {[&] { return keyer; }, &port, {}, {}}, pause);
    control.start();
    control.XmitButtonClick();
    control.MsgButton14Click();
    auto idleWithKeyUp = [&] {
        return view.pumpUntil([&] {
            return control.phase() == TransmitPhase::Idle && !pause.paused() && !line->down();
        });
    };

    // A send started while the carrier is on ends the carrier first.
    control.TuneBtnClick();
    EXPECT_TRUE(line->down());
    view.transmit = "TT";
    control.SendBtnClick();
    EXPECT_EQ(control.phase(), TransmitPhase::Sending);
    EXPECT_FALSE(control.tuning());
    ASSERT_TRUE(idleWithKeyUp()) << "the carrier outlived the send";

    // The carrier asked for during a send stops the send; the key then stays down.
    view.transmit = std::string(40, 'T');
    control.SendBtnClick();
    ASSERT_TRUE(view.pumpUntil([&] { return line->changes() >= 6; }));
    control.TuneBtnClick();
    ASSERT_TRUE(view.pumpUntil([&] { return line->down() && !control.sendActive(); }));
    view.pumpFor(300ms); // the stopped sender's last element has long ended
    const int atCarrier = line->changes();
    view.pumpFor(150ms);
    EXPECT_TRUE(line->down()) << "the send kept keying under the carrier";
    EXPECT_EQ(line->changes(), atCarrier);
    EXPECT_TRUE(control.tuning());
    EXPECT_TRUE(pause.has(PauseReason::Transmit));
    control.TuneBtnClick();
    ASSERT_TRUE(idleWithKeyUp());

    // A keyer that gives up with the key down: the return to idle lets it go.
    keyer = &failing;
    view.transmit = "T";
    control.SendBtnClick();
    EXPECT_TRUE(idleWithKeyUp()) << "the key stayed down after a failed send";
    control.shutdown();
    EXPECT_TRUE(messages.empty());
}

TEST(TransmitStates, AStoppedSendHoldsCaptureUntilItsLastCharacterEndsAndTheNextSendFollowsIt) {
    Bench b(40ms);
    b.scnMode();
    b.view.transmit = "EEEEEEEE";
    b.control.SendBtnClick();
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.characters() >= 1; }));
    b.control.SendBtnClick(); // stop: the sender is still keying its character
    EXPECT_TRUE(b.transmitActive()) << "capture resumed under the stopped sender's last character";
    b.control.SendBtnClick(); // and a new send at once
    EXPECT_EQ(b.control.phase(), TransmitPhase::Sending);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
    const auto texts = b.keyer.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], "EEEEEEEE");
    EXPECT_EQ(b.keyer.stoppedTexts(), 1);
    EXPECT_EQ(b.pause.pausesBegun(), 1u) << "capture resumed between the two sends";
}

TEST(QuitSequence, ReleasesTheRealSerialKeyerMidCharacter) {
    LineLog log;
    std::vector<Message> messages;
    KeyingPort port(recordMessages(messages), recordingOpener(log));
    port.OutputPort = kOutputPortNumber;
    port.openDevice("/dev/ttyFAKE");
    PttSettings ptt;
    ptt.DtrIsData = true;
    ptt.RtsIsData = false;
    ptt.RtsIsPtt = true;
    ptt.PttEnable = true;
    port.setPtt(ptt);
    SendTimingStore timing;
    timing.publish(ComputeSendTiming(kMaxXmitWpm));
    MonotonicClock clock;
    SerialKeyer keyer(port, timing, clock);
    FakeTransmitView view;
    CapturePause active;
    {
        TransmitController control(view, {[&] { return &keyer; }, &port, {}, {}}, active);
        control.start();
        control.XmitButtonClick();
        control.MsgButton14Click();
        view.transmit = std::string(300, '0');
        control.SendBtnClick();
        view.pumpFor(100ms);
        const auto stopAt = std::chrono::steady_clock::now();
        control.stopRunningSend();
        control.stopRunningSend();
        control.shutdown();
        // "0" is the longest character here: five dashes at 125 WPM, about 230 ms with gaps.
        const auto released = std::chrono::steady_clock::now() - stopAt;
        EXPECT_LT(released, 400ms) << "the send went on past the character being keyed";
    }
    EXPECT_FALSE(active.has(PauseReason::Transmit));
    ASSERT_GT(log.changes.size(), 4u) << "the keyer never keyed";
    EXPECT_FALSE(log.level(ModemLine::Dtr));
    EXPECT_FALSE(log.level(ModemLine::Rts));
    EXPECT_EQ(port.KeyState, kKeyUp);
}

TEST(DoubleScreen, ReleasedKeysAreEchoedIntoTheReceiveWindow) {
    Bench b;
    b.type(kVkA);
    EXPECT_EQ(b.view.receive, "");
    b.control.ScreenBtnClick();
    b.type(kVkA, U'a');
    b.typeWithModifier(kVkShift, kVkB, U'B');
    b.type(kVkEnter);
    EXPECT_EQ(b.view.receive, "aB\n");
}

TEST(ScreenSend, ALoadedTextInImmModeGoesOutOfBuffer15AndLoopRepeatsIt) {
    Bench b(1ms);
    b.control.XmitButtonClick();
    b.view.transmit = "LOADED TEXT";
    b.control.textLoaded(15, "LOADED TEXT");
    EXPECT_EQ(b.control.state().SendBufferIndex, 15);
    b.control.LoopButtonClick();
    b.control.SendBtnClick();
    EXPECT_TRUE(b.view.messages.empty());
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.texts().size() >= 3; }));
    b.control.LoopButtonClick();
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
    for (const auto& text : b.keyer.texts())
        EXPECT_EQ(text, "LOADED TEXT");
    EXPECT_FALSE(b.control.state().TextLoaded);
}

TEST(ScreenSend, TheImmButtonSendsItsMacroExpandedIntoTheWindowUntilAButtonPreparedOne) {
    FakeTransmitView view;
    RecordingKeyer keyer;
    CapturePause active;
    std::vector<int> expanded;
    TransmitParts parts{[&] { return &keyer; },
                        nullptr,
                        [&](int n) {
                            expanded.push_back(n);
                            return std::string("CQ DE DL1ABC");
                        },
                        {}};
    TransmitController control(view, parts, active);
    control.start();
    control.XmitButtonClick();
    control.MsgButton13Click();
    control.SendBtnClick();
    EXPECT_EQ(view.transmit, "CQ DE DL1ABC");
    ASSERT_TRUE(view.pumpUntil([&] { return keyer.texts().size() == 1 && !control.sendActive(); }));
    // A message button prepared buffer 5: from now on a send never expands on its own.
    control.sendMacroBuffer(5, "TU 73");
    ASSERT_TRUE(view.pumpUntil([&] { return keyer.texts().size() == 2 && !control.sendActive(); }));
    control.MsgButton13Click();
    control.SendBtnClick();
    ASSERT_TRUE(view.pumpUntil([&] { return keyer.texts().size() == 3 && !control.sendActive(); }));
    EXPECT_EQ(expanded, std::vector<int>{kImmBufferIndex});
    EXPECT_EQ(keyer.texts(), (std::vector<std::string>{"CQ DE DL1ABC", "TU 73", "CQ DE DL1ABC"}));
    control.shutdown();
}

TEST(TransmitButton, HoldsTheTransmitterForTypingUntilPressedAgain) {
    Bench b;
    b.control.XmitButtonClick();
    b.control.XmitBtnClick();
    EXPECT_TRUE(b.control.xmitBtnMarked());
    EXPECT_TRUE(b.transmitActive());
    EXPECT_EQ(b.view.receive, "\n");
    b.type(kVkE);
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.keyer.codes().size() == 1; }));
    b.view.pumpFor(30ms);
    EXPECT_TRUE(b.transmitActive()) << "reception resumed while Transmit was on";
    EXPECT_TRUE(b.keyer.texts().empty()) << "Transmit keyed a stale buffer";
    b.control.XmitBtnClick();
    EXPECT_FALSE(b.control.xmitBtnMarked());
    EXPECT_EQ(b.view.receive, "\n\n");
    ASSERT_TRUE(b.view.pumpUntil([&] { return b.idle(); }));
    b.control.SendBtnClick(); // nothing chosen again: refused, not a stop of a stale run
    EXPECT_EQ(b.view.messages.back(), "No Memory Button has beeen selected | Error Message");
}
