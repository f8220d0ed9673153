// The main window with rig control and the keying listener as DITA.conf sets them up: the
// frequency of a real rigctld fills the station panel, a logger's text from a real UDP socket
// is keyed through the window's keyer and shown in the transmit window, its speed request
// reaches the speed controls, a lost rig is told in the status line, and the Setup dialog's
// change is kept in DITA.conf. With Transmit > Output Device > Rig (CAT) ticked, the transmit
// panel's sends go to the rig's own keyer.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>

#include <arpa/inet.h>

#include <filesystem>
#include <fstream>

#include "app/tests/FormRig.h"
#include "common/SettingsFile.h"
#include "log/StationPanel.h"
#include "macros/MacroExpansion.h"
#include "station/StationDialogs.h"
#include "station/tests/StationTestPeers.h"
#include "transmit/control/TransmitPanel.h"
#include "transmit/control/tests/ControlFakes.h"
#include "transmit/tests/TransmitFakes.h"

namespace dita::test {
namespace {

void sendDatagram(uint16_t port, const std::string& datagram) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(fd);
}

} // namespace

TEST(StationWiring, RigFrequencyFillsThePanelLoggerTextIsKeyedAndShownSetupIsKept) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("dita-station-wiring-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto conf = dir / kSettingsFileName;
    const uint16_t rigPort = freeLoopbackPort();
    const uint16_t udpPort = freeLoopbackPort(SOCK_DGRAM);
    {
        std::ofstream out(conf);
        out << "rig.connection=rigctld\nrig.host=127.0.0.1\nrig.port=" << rigPort
            << "\ncwdaemon.enabled=1\ncwdaemon.port=" << udpPort << "\n";
    }
    Rigctld rigctld(rigPort);
    // Up before the window starts, so the first contact succeeds (no "cannot reach" message).
    ASSERT_TRUE(pumpUntil([&] { return rigctl(rigPort, "F 7030000").empty(); }, 10s));
    RecordingKeyer keyer(std::chrono::milliseconds(1));
    FormRig rig(1, true, [&](DecoderFormServices& s) {
        s.keyer = [&keyer] { return &keyer; };
        s.stationSettingsFile = conf;
        s.rigTiming = RigTiming{std::chrono::milliseconds(100), std::chrono::milliseconds(200),
                                std::chrono::milliseconds(250)};
    });
    TDecoderForm& f = *rig.form;

    // Another program tunes the rig: band and frequency follow, the field stays editable.
    ASSERT_EQ(rigctl(rigPort, "F 14025000"), "");
    const auto& frequency = control<QLineEdit>(f, "FrequencyMemo");
    EXPECT_TRUE(pumpUntil([&] { return frequency.text() == "14.025000"; }, 10s));
    EXPECT_EQ(control<QLineEdit>(f, "BandMemo").text(), "20M");
    EXPECT_FALSE(frequency.isReadOnly());

    // A logger's speed and text: keyed through the window's keyer, shown in the transmit window.
    sendDatagram(udpPort, "\x1b"
                          "232");
    EXPECT_TRUE(pumpUntil([&] { return f.readout().xmitSpeed == 32; }));
    sendDatagram(udpPort, std::string(300, 'E')); // oversized: dropped, nothing keyed
    // With Xmit Enable off (as the window starts) nothing is keyed, and the status line says so.
    TransmitController& transmit = part<TransmitPanel>(f).controller();
    ASSERT_FALSE(transmit.transmitEnabled());
    sendDatagram(udpPort, "QRL?");
    sendDatagram(udpPort, "QRL?");
    EXPECT_TRUE(pumpUntil(
        [&] { return f.statusBar()->currentMessage() == QString(kListenerTransmitOffText); }));
    transmit.XmitButtonClick();
    ASSERT_TRUE(transmit.transmitEnabled());
    // cwdaemon's codes and prosigns: "<" is SK, "*" AR.
    sendDatagram(udpPort, "CQ TEST <*");
    EXPECT_TRUE(pumpUntil([&] {
        const auto texts = keyer.texts();
        return texts.size() >= 3 && texts[texts.size() - 3] == "-.-. --.-" &&
               texts[texts.size() - 2] == "- . ... -" && texts.back() == "...-.- .-.-.";
    }));
    EXPECT_TRUE(pumpUntil([&] { return f.readout().transmitText.contains("CQ TEST <*"); }));
    EXPECT_FALSE(f.readout().transmitText.contains("QRL")); // refused text is not shown either
    for (const auto& text : keyer.texts()) {
        EXPECT_EQ(text.find(". . ."), std::string::npos) << text; // the oversized datagram
        EXPECT_EQ(text.find("--.- .-. .-.. ..--.."), std::string::npos) << text; // QRL? while off
    }

    // The rig goes away: told in the status line, not in a box that waits for OK.
    rigctld.stop();
    EXPECT_TRUE(
        pumpUntil([&] { return f.statusBar()->currentMessage().contains("lost rigctld"); }, 10s));

    // Setup, Rig Control: switched to none, which DITA.conf keeps; the listener setting stays.
    f.item("RigControl1")->trigger();
    auto* dialog = f.findChild<RigControlDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->rigctldRadio->isChecked());
    dialog->noneRadio->setChecked(true);
    dialog->accept();
    SettingsFile kept(conf);
    ASSERT_EQ(kept.load(), "");
    EXPECT_EQ(kept.text("rig.connection", ""), "none");
    EXPECT_TRUE(kept.flag("cwdaemon.enabled", false));
    for (const auto& m : rig.messages.messages)
        ADD_FAILURE() << m.caption << ": " << m.text;
    std::filesystem::remove_all(dir);
}

TEST(StationWiring, RigCatSendsTheTransmitPanelsTextToTheRigsKeyer) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("dita-station-catkey-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const auto conf = dir / kSettingsFileName;
    const std::string trace = (dir / "rigctld.trace").string();
    const uint16_t rigPort = freeLoopbackPort();
    std::ofstream(conf) << "rig.connection=rigctld\nrig.host=127.0.0.1\nrig.port=" << rigPort
                        << "\n";
    Rigctld rigctld(rigPort, trace);
    ASSERT_TRUE(pumpUntil([&] { return rigctl(rigPort, "F 7030000").empty(); }, 10s));
    // The window's own keyers: the serial keyer on recorded lines, the tone keyer on a recorder.
    RecordingToneDevice tone;
    LineLog lines;
    FormRig rig(
        1, true,
        [&](DecoderFormServices& s) {
            s.stationSettingsFile = conf;
            s.rigTiming = RigTiming{std::chrono::milliseconds(100), std::chrono::milliseconds(200),
                                    std::chrono::milliseconds(250)};
        },
        KeyingSetup{&tone, recordingOpener(lines)});
    TDecoderForm& f = *rig.form;
    ASSERT_TRUE(pumpUntil([&] { return f.loopEntries() > 0; }));
    ASSERT_EQ(rigctl(rigPort, "F 14025000"), "");
    const auto& frequency = control<QLineEdit>(f, "FrequencyMemo");
    ASSERT_TRUE(pumpUntil([&] { return frequency.text() == "14.025000"; }, 10s));

    QAction* cat = f.item("RigCat1");
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(cat->text(), "Rig (CAT)");
    EXPECT_TRUE(cat->isCheckable());
    EXPECT_FALSE(cat->isChecked());
    cat->trigger();
    ASSERT_TRUE(cat->isChecked());

    // A message button, as the operator clicks it: the text reaches the rig's keyer, at the
    // window's speed, and neither of the window's own keyers keys anything.
    TransmitPanel& panel = part<TransmitPanel>(f);
    f.macroSources()[1] = "CQ TEST";
    control<QPushButton>(f, "XmitButton").click();
    control<QPushButton>(f, "MsgButton13").click();
    ASSERT_TRUE(pumpUntil([&] { return panel.controller().macroSendAllowed(); }));
    control<QPushButton>(f, messageButtonName(1).c_str()).click();
    ASSERT_TRUE(pumpUntil([&] { return tracedCommands(trace, "b").size() == 1; }, 10s));
    EXPECT_NE(tracedCommands(trace, "b")[0].find("' CQ TEST'"), std::string::npos)
        << tracedCommands(trace, "b")[0];
    EXPECT_EQ(rigctl(rigPort, "l KEYSPD"), std::to_string(f.readout().xmitSpeed) + "\n");
    ASSERT_TRUE(pumpUntil([&] { return !panel.controller().sendBusy(); }));
    EXPECT_TRUE(tone.blocks.empty());
    for (const auto& change : lines.changes)
        EXPECT_TRUE(change.line != ModemLine::Dtr && change.line != ModemLine::Rts)
            << "a serial line keyed";

    // Kept in DITA.conf; without the rig, a send keys nothing and says why once.
    SettingsFile kept(conf);
    ASSERT_EQ(kept.load(), "");
    EXPECT_TRUE(kept.flag("rig.catKeying", false));
    rigctld.stop();
    ASSERT_TRUE(
        pumpUntil([&] { return f.statusBar()->currentMessage().contains("lost rigctld"); }, 10s));
    ASSERT_TRUE(pumpUntil([&] { return panel.controller().macroSendAllowed(); }));
    control<QPushButton>(f, messageButtonName(1).c_str()).click();
    EXPECT_TRUE(pumpUntil(
        [&] { return f.statusBar()->currentMessage().contains("rig control is not connected"); }));
    EXPECT_EQ(tracedCommands(trace, "b").size(), 1u);
    for (const auto& m : rig.messages.messages)
        ADD_FAILURE() << m.caption << ": " << m.text;
    std::filesystem::remove_all(dir);
}

} // namespace dita::test
