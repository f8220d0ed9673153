#include "TransmitFakes.h"

#include "transmit/Keyer.h"
#include "transmit/MorseCode.h"
#include "transmit/TransmitControls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace dita;
using namespace dita::test;

namespace {

struct PortFixture {
    LineLog log;
    std::vector<Message> messages;
    KeyingPort port{recordMessages(messages), recordingOpener(log), [](int32_t n) {
                        return n == 99 ? std::string("/missing/com99")
                                       : "/dev/fake" + std::to_string(n);
                    }};
    PortFixture() { port.OutputPort = kOutputPortNumber; }
};

// Durations between successive changes of one line, starting with a rise.
std::vector<double> levelRuns(const std::vector<LineChange>& changes, ModemLine line) {
    std::vector<double> runs;
    const LineChange* previous = nullptr;
    for (const auto& c : changes) {
        if (c.line != line) continue;
        if (previous && previous->raised != c.raised) runs.push_back(c.atMs - previous->atMs);
        if (!previous || previous->raised != c.raised) previous = &c;
    }
    return runs;
}

} // namespace

TEST(KeyingPort, OpeningClearsTheLinesAndReopeningTheSamePortDoesNothing) {
    PortFixture f;
    f.port.OpenComPort(3);
    ASSERT_TRUE(f.port.PortOpen());
    ASSERT_EQ(f.log.opened, std::vector<std::string>{"/dev/fake3"});
    ASSERT_FALSE(f.log.changes.empty());
    for (const auto& c : f.log.changes)
        EXPECT_FALSE(c.raised); // nothing keyed by opening
    f.port.OpenComPort(3);
    EXPECT_EQ(f.log.opened.size(), 1u);
    f.port.OpenComPort(4); // another port: the old one closes first
    EXPECT_EQ(f.log.closed, 1);
    EXPECT_EQ(f.log.opened.back(), "/dev/fake4");
    EXPECT_TRUE(f.messages.empty());
}

TEST(KeyingPort, AMissingDeviceGivesTheMessageAndLeavesThePortClosed) {
    PortFixture f;
    f.port.OpenComPort(3);
    f.port.OpenComPort(99);
    EXPECT_FALSE(f.port.PortOpen());
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].text, "Failed to open the COMs device,\nSelect a new Com port number");
    EXPECT_EQ(f.messages[0].caption, "Communications I/O Error");
    const size_t before = f.log.changes.size();
    f.port.SetKeyLines(kKeyDown); // keys nothing, fails silently
    EXPECT_EQ(f.log.changes.size(), before);
}

TEST(KeyingPort, NothingOpensUnlessSerialOutputWithAPortNumber) {
    PortFixture f;
    f.port.OutputPort = kOutputPortNone;
    f.port.OpenComPort(3);
    EXPECT_FALSE(f.port.PortOpen());
    f.port.OutputPort = kOutputPortNumber;
    f.port.OutputDevice = kOutputSoundCard;
    f.port.OpenComPort(3);
    EXPECT_FALSE(f.port.PortOpen());
    EXPECT_TRUE(f.messages.empty());
}

TEST(KeyingPort, OpeningWithAnInvertedPttLineLeavesPttReleased) {
    PortFixture f;
    PttSettings p;
    p.RtsIsData = false;
    p.RtsIsPtt = true;
    p.PttInvert = true;
    f.port.setPtt(p);
    f.port.OpenComPort(2);
    EXPECT_TRUE(f.log.level(ModemLine::Rts));  // inverted PTT: a set line is "receive"
    EXPECT_FALSE(f.log.level(ModemLine::Dtr)); // key up
}

TEST(KeyingPort, DefaultKeysBothLinesAndInvertSwapsTheLevels) {
    PortFixture f;
    f.port.OpenComPort(1);
    f.log.changes.clear();
    f.port.SetKeyLines(kKeyDown);
    EXPECT_TRUE(f.log.level(ModemLine::Dtr));
    EXPECT_TRUE(f.log.level(ModemLine::Rts));
    f.port.SetKeyLines(kKeyUp);
    EXPECT_FALSE(f.log.level(ModemLine::Dtr));
    EXPECT_FALSE(f.log.level(ModemLine::Rts));
    f.port.KeyInvert = kKeyInverted;
    f.port.SetKeyLines(kKeyDown);
    EXPECT_FALSE(f.log.level(ModemLine::Dtr));
    EXPECT_FALSE(f.log.level(ModemLine::Rts));
    f.port.SetKeyLines(kKeyUp);
    EXPECT_TRUE(f.log.level(ModemLine::Dtr));
    EXPECT_TRUE(f.log.level(ModemLine::Rts));
}

TEST(KeyingPort, PttDrivesOnlyThePttLineWithItsPolarity) {
    PortFixture f;
    f.port.OpenComPort(1);
    PttSettings p;
    p.DtrIsData = true;
    p.RtsIsData = false;
    p.RtsIsPtt = true;
    p.PttEnable = true;
    f.port.setPtt(p);
    f.log.changes.clear();
    f.port.KeyState = kKeyDown;
    f.port.updatePtt();
    EXPECT_TRUE(f.log.level(ModemLine::Rts));
    f.port.SetKeyLines(kKeyDown); // data on DTR only
    EXPECT_TRUE(f.log.level(ModemLine::Dtr));
    f.port.KeyState = kKeyUp;
    f.port.updatePtt();
    EXPECT_FALSE(f.log.level(ModemLine::Rts));
    EXPECT_TRUE(f.log.level(ModemLine::Dtr)); // a PTT update leaves the key line alone
    p.PttInvert = true;
    f.port.setPtt(p);
    f.port.SetKeyLines(kKeyUp);
    f.port.updatePtt();
    EXPECT_TRUE(f.log.level(ModemLine::Rts));  // released, inverted: set
    EXPECT_FALSE(f.log.level(ModemLine::Dtr)); // and still no key-down on the data line
}

TEST(ComDevicePath, NumbersMapToDeviceFamiliesAndALinkInTheDitaFolderWins) {
    const auto home = std::filesystem::temp_directory_path() / "dita-com-path-test";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    setenv("DITA_HOME", home.c_str(), 1);
    EXPECT_EQ(comDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(comDevicePath(32), "/dev/ttyS31");
    EXPECT_EQ(comDevicePath(33), "/dev/ttyUSB0");
    EXPECT_EQ(comDevicePath(65), "/dev/ttyACM0");
    EXPECT_EQ(comDevicePath(96), "/dev/ttyACM31");
    EXPECT_EQ(comDevicePath(97), "");
    EXPECT_EQ(comDevicePath(0), "");
    std::ofstream(home / "com7") << "";
    EXPECT_EQ(comDevicePath(7), (home / "com7").string());
    std::filesystem::remove_all(home);
}

TEST(SerialDevice, ANonTerminalOrMissingFileIsRefusedWithAReason) {
    std::string error;
    EXPECT_EQ(SerialDevice::open("/nonexistent/ttyS99", &error), nullptr);
    EXPECT_NE(error.find("/nonexistent/ttyS99"), std::string::npos);
    error.clear();
    EXPECT_EQ(SerialDevice::open("/dev/null", &error), nullptr); // not a terminal
    EXPECT_FALSE(error.empty());
}

TEST(SerialKeyer, ElementLengthsFollowSendTimingOnDeadlines) {
    PortFixture f;
    FakeClock clock;
    f.log.clock = &clock;
    f.port.OpenComPort(1);
    f.log.changes.clear();
    SendTimingStore timing;
    timing.publish(ComputeSendTiming(20));
    SerialKeyer keyer(f.port, timing, clock);
    std::atomic<bool> stop{false};
    const double start = clock.ms();
    ASSERT_TRUE(keyer.sendText("AE", stop));
    // A: dot, gap, dash, gap + char space; E: dot, gap + char space.
    const std::vector<double> expected = {54, 54, 162, 54 + 108, 54};
    EXPECT_EQ(levelRuns(f.log.changes, ModemLine::Dtr), expected);
    EXPECT_EQ(levelRuns(f.log.changes, ModemLine::Rts), expected);
    EXPECT_DOUBLE_EQ(clock.ms() - start, 54 + 54 + 162 + 54 + 108 + 54 + 54 + 108);
}

TEST(SerialKeyer, PlusIsTheSerialRowAndBackQuoteKeysTheCarrier) {
    PortFixture f;
    FakeClock clock;
    f.log.clock = &clock;
    f.port.OpenComPort(1);
    f.log.changes.clear();
    SendTimingStore timing;
    timing.publish(ComputeSendTiming(20));
    SerialKeyer keyer(f.port, timing, clock);
    keyer.setBeaconCarrier(beaconCarrierFor(2));
    std::atomic<bool> stop{false};
    keyer.sendText("+", stop);
    EXPECT_EQ(levelRuns(f.log.changes, ModemLine::Dtr),
              (std::vector<double>{54, 54, 162, 54, 54, 54, 162, 54, 54}));
    f.log.changes.clear();
    keyer.sendText("`", stop);
    ASSERT_EQ(f.log.changes.size(), 4u);
    EXPECT_DOUBLE_EQ(f.log.changes[2].atMs - f.log.changes[0].atMs, 2000.0);
}

TEST(SerialKeyer, EachLineBreakKeysEnterOnceAndCodesWithoutARowKeyNothing) {
    PortFixture f;
    FakeClock clock;
    f.log.clock = &clock;
    f.port.OpenComPort(1);
    SendTimingStore timing;
    timing.publish(ComputeSendTiming(20));
    SerialKeyer keyer(f.port, timing, clock);
    std::atomic<bool> stop{false};
    // The transmit window ends lines with LF, a loaded DOS file with CR LF: one break is one
    // "----" between the words, never none and never two.
    const std::vector<double> eEnterE = {54,  54 + 108, 162, 54,       162, 54,
                                         162, 54,       162, 54 + 108, 54};
    for (const char* text : {"E\nE", "E\r\nE", "E\rE"}) {
        f.log.changes.clear();
        keyer.sendText(text, stop);
        EXPECT_EQ(levelRuns(f.log.changes, ModemLine::Dtr), eEnterE) << "break in " << text;
    }
    f.log.changes.clear();
    keyer.sendText("E\r\n\r\nE", stop); // an empty line between: two breaks
    EXPECT_EQ(levelRuns(f.log.changes, ModemLine::Dtr).size(), eEnterE.size() + 8);

    f.log.changes.clear();
    const double before = clock.ms();
    keyer.sendText("\x01", stop);
    EXPECT_TRUE(f.log.changes.empty());
    EXPECT_DOUBLE_EQ(clock.ms(), before);
    stop = true;
    EXPECT_FALSE(keyer.sendText("EEE", stop));
    EXPECT_TRUE(f.log.changes.empty());
    EXPECT_FALSE(keyer.sendTypedCode(250)); // Alt+1
    EXPECT_TRUE(f.log.changes.empty());
}

TEST(SerialKeyer, PttRisesBeforeAndFallsAfterEveryScreenCharacter) {
    PortFixture f;
    FakeClock clock;
    f.log.clock = &clock;
    f.port.OpenComPort(1);
    PttSettings p;
    p.DtrIsData = false;
    p.DtrIsPtt = true;
    p.PttEnable = true;
    f.port.setPtt(p);
    f.log.changes.clear();
    SendTimingStore timing;
    SerialKeyer keyer(f.port, timing, clock);
    std::atomic<bool> stop{false};
    keyer.sendText("EE", stop);
    std::vector<LineChange> dtr, rts;
    for (const auto& c : f.log.changes)
        (c.line == ModemLine::Dtr ? dtr : rts).push_back(c);
    ASSERT_EQ(dtr.size(), 4u);
    ASSERT_EQ(rts.size(), 4u);
    EXPECT_TRUE(dtr[0].raised);
    EXPECT_DOUBLE_EQ(rts[0].atMs - dtr[0].atMs, 20.0);                // lead
    EXPECT_DOUBLE_EQ(dtr[1].atMs - rts[1].atMs, 54.0 + 108.0 + 20.0); // gaps then tail
    EXPECT_FALSE(dtr[1].raised);
}

TEST(SerialKeyer, CatPttGetsTheSameLeadAndTailAsAPttLine) {
    PortFixture f;
    FakeClock clock;
    f.log.clock = &clock;
    f.port.OpenComPort(1);
    PttSettings p; // both lines key; PTT goes to the rig only
    p.PttEnable = true;
    f.port.setPtt(p);
    std::vector<std::pair<bool, double>> cat;
    f.port.setCatPtt([&](bool on) { cat.emplace_back(on, clock.ms()); });
    f.log.changes.clear();
    SendTimingStore timing;
    SerialKeyer keyer(f.port, timing, clock);
    std::atomic<bool> stop{false};
    keyer.sendText("EE", stop);
    ASSERT_EQ(cat.size(), 4u);
    ASSERT_EQ(f.log.changes.size(), 8u); // DTR and RTS up and down for each E
    EXPECT_TRUE(cat[0].first);
    EXPECT_FALSE(cat[1].first);
    EXPECT_DOUBLE_EQ(f.log.changes[0].atMs - cat[0].second, 20.0);                // lead
    EXPECT_DOUBLE_EQ(cat[1].second - f.log.changes[3].atMs, 54.0 + 108.0 + 20.0); // gaps, tail
    EXPECT_TRUE(cat[2].first);

    // Without CAT PTT nothing more reaches it.
    f.port.setCatPtt({});
    keyer.sendText("E", stop);
    EXPECT_EQ(cat.size(), 4u);
}

TEST(PttHoldTimer, TypedCharactersHoldPttUntilTheTimerRunsOut) {
    PortFixture f;
    FakeClock clock;
    f.port.OpenComPort(1);
    PttSettings p;
    p.RtsIsData = false;
    p.RtsIsPtt = true;
    p.PttEnable = true;
    f.port.setPtt(p);
    PttHoldTimer hold(f.port);
    SendTimingStore timing;
    timing.publish(ComputeSendTiming(125));
    SerialKeyer keyer(f.port, timing, clock, &hold);
    f.log.changes.clear();
    keyer.sendTypedCode('E');
    keyer.sendTypedCode('T');
    int rises = 0;
    for (const auto& c : f.log.changes)
        rises += (c.line == ModemLine::Rts && c.raised) ? 1 : 0;
    EXPECT_EQ(rises, 1); // raised once for both characters
    EXPECT_TRUE(f.log.level(ModemLine::Rts));
    EXPECT_TRUE(hold.running());
    for (int i = 0; i < 200 && hold.running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(hold.running());
    EXPECT_FALSE(f.log.level(ModemLine::Rts));
}

TEST(TransmitSpeedControls, SerialOutputIsLimitedTo50WithTheNoteOnlyFromTheUpDown) {
    SendTimingStore timing;
    std::vector<Message> messages;
    int32_t device = kOutputSerialPort;
    bool typing = false;
    int focus = 0;
    TransmitSpeedControls c(timing, recordMessages(messages),
                            {[&] { return device; }, [&] { return typing; }, [&] { ++focus; }});
    EXPECT_EQ(c.XmitSpdUpDn2Change(60), 50);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(timing.current().DotMs, 21);
    // Both speed controls show the speed keyed, never two different ones.
    EXPECT_EQ(c.upDownPosition(), 50);
    EXPECT_EQ(c.speedPanelText(), "50");

    // Released at 51 the up-down keys at the limit of 50 without the note; it comes from 52 on.
    c.XmitSpdUpDnChanging(51);
    c.XmitSpdUpDnMouseUp();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(timing.current().DotMs, 21);
    EXPECT_EQ(c.speedPanelText(), "50");

    c.XmitSpdUpDnChanging(80);
    EXPECT_EQ(timing.current().DotMs, 21); // not even while dragging
    c.XmitSpdUpDnMouseUp();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Use the sound card output for code speeds greater than 50 wpm!");
    EXPECT_EQ(messages[0].caption, "Transmit Speed Note");
    EXPECT_EQ(c.upDownPosition(), 50);
    EXPECT_EQ(c.speedPanelText(), "50");

    device = kOutputSoundCard;
    c.lockedSpeed(100); // "50+ WPM"
    EXPECT_EQ(c.spinValue(), 100);
    EXPECT_EQ(timing.current().DotMs, 10);
    EXPECT_EQ(c.speedPanelText(), "100");
    // A wheel or arrow key on the up-down keys its position at once, and both controls show it.
    c.XmitSpdUpDnChanging(22);
    EXPECT_EQ(timing.current().DotMs, ComputeSendTiming(22).DotMs);
    EXPECT_EQ(c.spinValue(), 22);
    EXPECT_EQ(c.speedPanelText(), "22");
    EXPECT_EQ(focus, 3); // spin edit change and two up-down releases
}

TEST(TransmitSpeedControls, HandlersWaitWhileTypingExceptTheLockedSpeeds) {
    SendTimingStore timing;
    std::vector<Message> messages;
    int32_t device = kOutputSerialPort;
    bool typing = true;
    TransmitSpeedControls c(timing, recordMessages(messages),
                            {[&] { return device; }, [&] { return typing; }, [] {}});
    EXPECT_EQ(c.XmitSpdUpDn2Change(30), 20);
    EXPECT_EQ(timing.current().DotMs, 54);
    c.lockedSpeed(100); // still limited on the serial port
    EXPECT_EQ(timing.current().DotMs, 21);
    typing = false;
    c.SyncBtnClick(3); // receive speed below the range
    EXPECT_EQ(c.spinValue(), 10);
    TimingWeights w;
    w.dot = 200.0f;
    c.setTimingWeights(w);
    EXPECT_EQ(timing.current().DotMs, 218);
}

TEST(OutputMenuHandlers, DeviceAndInvertItemsCheckTheirGroupAndActOnThePort) {
    PortFixture f;
    int dialogs = 0;
    std::vector<bool> sidetone;
    OutputMenuHandlers menu(f.port,
                            {[&] { ++dialogs; }, [&](bool on) { sidetone.push_back(on); }, [] {}});
    menu.SoundCard1Click();
    EXPECT_TRUE(menu.checks().SoundCard1);
    EXPECT_FALSE(menu.checks().SerialPort1);
    EXPECT_EQ(f.port.OutputDevice.load(), kOutputSoundCard);
    EXPECT_EQ(f.port.OutputPort.load(), kOutputPortNone);
    menu.SerialPort1Click(true, 0); // loading a fresh installation's file: no port chosen yet
    EXPECT_FALSE(f.port.PortOpen());
    EXPECT_TRUE(f.log.opened.empty());
    EXPECT_TRUE(f.messages.empty());
    menu.SerialPort1Click(true, 5); // configuration load: opens the stored port
    EXPECT_TRUE(f.port.PortOpen());
    EXPECT_EQ(dialogs, 0);
    menu.SerialPort1Click(false, 5);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(sidetone, (std::vector<bool>{true, false, false, false}));

    f.log.changes.clear();
    f.port.KeyState = kKeyUp;
    menu.Invert2Click();
    EXPECT_TRUE(menu.checks().Invert2);
    EXPECT_FALSE(menu.checks().Normal1);
    EXPECT_TRUE(f.log.level(ModemLine::Dtr)); // key up, inverted: lines set
    menu.Normal1Click();
    EXPECT_FALSE(f.log.level(ModemLine::Dtr));
    menu.None1Click();
    EXPECT_FALSE(f.port.PortOpen());
    EXPECT_TRUE(menu.checks().None1);
    EXPECT_FALSE(menu.checks().PortNumber1);
}

TEST(ToneMenuHandlers, ItemsSetTheirValueCheckTheirGroupAndReachTheKeyers) {
    ToneSettings applied;
    BeaconCarrier carrier;
    int calls = 0;
    ToneMenuHandlers menu([&](const ToneSettings& t, const BeaconCarrier& c) {
        applied = t;
        carrier = c;
        ++calls;
    });
    EXPECT_EQ(calls, 1); // the defaults reach the keyers at once
    EXPECT_EQ(applied.SidetoneFreq, 750.0f);
    menu.FreqClick(4);
    EXPECT_EQ(applied.SidetoneFreq, 2500.0f);
    EXPECT_EQ(menu.checks().freq, (std::array<bool, 4>{false, false, false, true}));
    menu.FreqClick(7); // no such item: nothing changes
    EXPECT_EQ(applied.SidetoneFreq, 2500.0f);
    menu.Squarewave1Click();
    EXPECT_EQ(applied.SidetoneWaveform, kSquareWave);
    EXPECT_FALSE(menu.checks().Sinewave1);
    menu.SideToneOnClick();
    EXPECT_TRUE(applied.SidetoneOn);
    EXPECT_FALSE(menu.checks().SideToneOFF);
    menu.beaconCarrierClick(4);
    EXPECT_EQ(carrier.BeaconCarrierMs, 4000.0f);
    EXPECT_EQ(carrier.BeaconCarrierSamples, 176400.0f);
    EXPECT_EQ(menu.checks().carrierSeconds,
              (std::array<bool, 5>{false, false, false, true, false}));
}
