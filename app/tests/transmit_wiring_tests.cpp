// The main window with its transmit panel and message buttons: macro sends reach the keyer,
// typed function keys press the buttons, the lamps and TransmitActive follow a send, the
// screen modes place the panel's transmit window, and quitting releases the key.
// The keyer is a recorder behind the Keyer interface; everything else is the real window.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/tests/FormRig.h"
#include "transmit/control/TransmitPanel.h"
#include "transmit/control/tests/ControlFakes.h"

namespace dita::test {
namespace {

struct TransmitRig {
    explicit TransmitRig(std::chrono::milliseconds perCharacter = 2ms)
        : keyer(perCharacter),
          rig(1, true, [this](DecoderFormServices& s) { s.keyer = [this] { return &keyer; }; }),
          f(*rig.form) {
        // The run loop's entry starts the senders.
        EXPECT_TRUE(pumpUntil([&] { return f.loopEntries() > 0; }));
    }
    // Xmit Enable on and IMM mode: message buttons may send.
    void enableImmediate() {
        control<QPushButton>(f, "XmitButton").click();
        control<QPushButton>(f, "MsgButton13").click();
        ASSERT_TRUE(pumpUntil([&] { return panel().controller().macroSendAllowed(); }));
    }
    TransmitPanel& panel() { return part<TransmitPanel>(f); }
    // Message button n (M1..M15), as the operator clicks it.
    QPushButton& button(int n) { return control<QPushButton>(f, messageButtonName(n).c_str()); }
    QPlainTextEdit& transmitMemo() { return control<QPlainTextEdit>(f, "TransmitMemo"); }
    bool keyed(const std::string& text) {
        return pumpUntil([&] {
            const auto texts = keyer.texts();
            return std::find(texts.begin(), texts.end(), text) != texts.end();
        });
    }

    RecordingKeyer keyer;
    FormRig rig;
    TDecoderForm& f;
};

// A key as typed: with Ctrl, the Ctrl key goes down first and up last.
void pressKey(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    auto send = [w](QEvent::Type type, int k, Qt::KeyboardModifiers m) {
        QKeyEvent e(type, k, m);
        QCoreApplication::sendEvent(w, &e);
    };
    if (modifiers & Qt::ControlModifier) send(QEvent::KeyPress, Qt::Key_Control, modifiers);
    send(QEvent::KeyPress, key, modifiers);
    send(QEvent::KeyRelease, key, modifiers);
    if (modifiers & Qt::ControlModifier) send(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
}

TEST(TransmitWiring, MessageButtonKeysTheExpandedMacroAndMarksItself) {
    TransmitRig t;
    t.f.macroSources()[1] = "CQ DE %b K";
    control<QLineEdit>(t.f, "MyCallMemo").setText("W1AW");
    t.enableImmediate();
    t.button(1).click();
    EXPECT_TRUE(t.keyed("CQ DE W1AW K"));
    EXPECT_TRUE(t.button(1).font().bold());
    EXPECT_FALSE(t.button(2).font().bold());
    // The field is read at the click, not when the window was made.
    control<QLineEdit>(t.f, "MyCallMemo").setText("K1ABC");
    ASSERT_TRUE(pumpUntil([&] { return !t.panel().controller().sendBusy(); }));
    ASSERT_TRUE(pumpUntil([&] { return t.panel().controller().macroSendAllowed(); }));
    t.button(1).click();
    EXPECT_TRUE(t.keyed("CQ DE K1ABC K"));
    EXPECT_TRUE(t.rig.messages.messages.empty());
}

TEST(TransmitWiring, AnOutputThatCannotKeySaysSoOnceNamingTheSettingToChange) {
    // A fresh install: serial output with no port chosen, the real keyers.
    FormRig rig(1, true);
    TDecoderForm& f = *rig.form;
    ASSERT_TRUE(pumpUntil([&] { return f.loopEntries() > 0; }));
    QLabel& shown = control<QLabel>(f, "KeyingProblem");
    std::vector<QString> statusLines;
    QObject::connect(f.statusBar(), &QStatusBar::messageChanged,
                     [&](const QString& text) { statusLines.push_back(text); });
    f.click("TransmitReceive1");
    control<QPushButton>(f, "XmitButton").click();
    ASSERT_EQ(statusLines.size(), 1u);
    EXPECT_TRUE(statusLines[0].startsWith("Nothing is keyed: no serial port is chosen"));
    EXPECT_TRUE(statusLines[0].contains("Transmit > Output Port > Port Number"));
    EXPECT_EQ(shown.text(), statusLines[0]);
    EXPECT_TRUE(shown.isVisibleTo(&f));
    // Typing on tells nothing more.
    for (int key : {Qt::Key_C, Qt::Key_Q, Qt::Key_Space})
        pressKey(&control(f, "TransmitMemo"), key);
    pumpUntil([&] { return false; }, 100ms);
    EXPECT_EQ(statusLines.size(), 1u);
    // A changed output is told as it now stands.
    f.click("SoundCard1");
    ASSERT_EQ(statusLines.size(), 2u);
    EXPECT_TRUE(statusLines[1].contains("sound card output is not open"));
    EXPECT_TRUE(statusLines[1].contains("Transmit > Output Device > Serial Port"));
    EXPECT_TRUE(rig.messages.messages.empty()) << "no box waits for OK";
}

TEST(TransmitWiring, ButtonsCarryTheirKeysAndSitInsideTheWindow) {
    TransmitRig t;
    EXPECT_EQ(t.button(1).text(), "M1");
    EXPECT_EQ(t.button(10).text(), "M10");
    EXPECT_EQ(t.button(11).text(), "M11");
    EXPECT_EQ(t.button(15).text(), "M15");
    EXPECT_EQ(t.button(15).toolTip(), "Send Macro M15");
    EXPECT_EQ(control<QPushButton>(t.f, "MsgButton130").text(), "M13");
    t.f.click("TransmitReceive1");
    for (int n = 1; n <= kMacroCount; ++n) {
        const QRect r(t.button(n).mapTo(t.f.centralWidget(), QPoint(0, 0)), t.button(n).size());
        EXPECT_TRUE(t.f.centralWidget()->rect().contains(r)) << n;
        EXPECT_TRUE(t.button(n).isVisibleTo(&t.f)) << n;
    }
    const QRect panel(t.panel().mapTo(t.f.centralWidget(), QPoint(0, 0)), t.panel().size());
    EXPECT_GE(panel.top(), t.transmitMemo().geometry().bottom())
        << "the transmit buttons must not cover the transmit window";
    // The counter and the transmit window are the panel's, each once in the window.
    EXPECT_EQ(control(t.f, "XmitCntrSpinEdit").parent(), &t.panel());
    t.transmitMemo().setPlainText("TEST");
    EXPECT_EQ(t.panel().transmitText(), "TEST");
}

TEST(TransmitWiring, SecondMacroWhileSendingIsRefusedWithAMessage) {
    TransmitRig t(40ms);
    t.f.macroSources()[1] = "PARIS PARIS";
    t.f.macroSources()[2] = "TEST";
    t.enableImmediate();
    t.button(1).click();
    ASSERT_TRUE(pumpUntil([&] { return t.panel().controller().sendBusy(); }));
    t.button(2).click();
    EXPECT_TRUE(t.rig.hasMessage(kTransmissionInProgressText, kTransmitErrorCaption));
    EXPECT_TRUE(t.keyed("PARIS PARIS"));
    for (const auto& text : t.keyer.texts())
        EXPECT_NE(text, "TEST");
}

TEST(TransmitWiring, FunctionKeysTypedInTheTransmitWindowPressMessageButtons) {
    TransmitRig t;
    t.f.macroSources()[3] = "QRZ?";
    // Long enough (about 60 ms) for the mark to be seen while it is sent.
    const std::string seventyThrees = "73 73 73 73 73 73 73 73 73 73";
    t.f.macroSources()[12] = seventyThrees;
    t.enableImmediate();
    pressKey(&t.transmitMemo(), Qt::Key_F3);
    EXPECT_TRUE(t.keyed("QRZ?"));

    EXPECT_TRUE(pumpUntil([&] { return t.button(3).font().bold(); }));
    ASSERT_TRUE(pumpUntil([&] { return t.panel().controller().macroSendAllowed(); }));
    pressKey(&t.transmitMemo(), Qt::Key_2, Qt::ControlModifier);
    // M12 takes the mark from M3 while it sends, and loses it when the send has ended.
    auto marked = [](const QPushButton* b) { return b->font().bold() && b->font().underline(); };
    EXPECT_TRUE(pumpUntil([&] { return marked(&t.button(12)) && !marked(&t.button(3)); }));
    EXPECT_TRUE(t.keyed(seventyThrees));
    EXPECT_TRUE(pumpUntil([&] { return !marked(&t.button(12)); }));
    for (int n = 1; n <= kMacroCount; ++n)
        EXPECT_FALSE(marked(&t.button(n))) << n;
}

// A screen or macro send locks the spin edit XmitSpdUpDn2 only, typed sending the up-down
// XmitSpdUpDn only: the other stays usable.
TEST(TransmitWiring, SendsLockOnlyTheirOwnSpeedControl) {
    TransmitRig t(40ms);
    t.f.macroSources()[1] = "PARIS PARIS";
    t.enableImmediate();
    t.button(1).click();
    ASSERT_TRUE(pumpUntil([&] { return t.panel().controller().sendBusy(); }));
    EXPECT_FALSE(control(t.f, "XmitSpdUpDn2").isEnabled());
    EXPECT_TRUE(control(t.f, "XmitSpdUpDn").isEnabled());
    ASSERT_TRUE(t.keyed("PARIS PARIS"));
    ASSERT_TRUE(pumpUntil([&] {
        return !t.panel().controller().sendBusy() && control(t.f, "XmitSpdUpDn2").isEnabled();
    }));
    for (int i = 0; i < 5; ++i)
        pressKey(&t.transmitMemo(), Qt::Key_E);
    ASSERT_TRUE(pumpUntil([&] { return !control(t.f, "XmitSpdUpDn").isEnabled(); }));
    EXPECT_TRUE(control(t.f, "XmitSpdUpDn2").isEnabled());
    ASSERT_TRUE(pumpUntil([&] { return control(t.f, "XmitSpdUpDn").isEnabled(); }));
}

// Entering the receive loop again (here after an input channel change made while a screen
// send runs) resets transmission as the first entry does: whatever is still being sent stops,
// IMM mode and buffer 13 are selected, the key goes up. (The loop comes back at its next full
// buffer, during the send or after it.)
TEST(TransmitWiring, ReenteringTheReceiveLoopSelectsImmediateModeAgain) {
    TransmitRig t(20ms);
    Feeder feed(t.rig.catalog.script(0), 1);
    auto& panel = t.panel();
    const TransmitState& state = panel.controller().state();
    EXPECT_EQ(state.SendMode.load(), kSendModeImm);
    control<QPushButton>(t.f, "XmitButton").click();
    control<QPushButton>(t.f, "MsgButton14").click();
    ASSERT_EQ(state.SendMode.load(), kSendModeScn);
    t.transmitMemo().setPlainText("PARIS PARIS PARIS PARIS");
    control<QPushButton>(t.f, "SendBtn").click();
    ASSERT_TRUE(pumpUntil([&] { return t.panel().controller().sendActive(); }));
    const int entries = t.f.loopEntries();
    t.f.click("LeftInput");
    ASSERT_TRUE(pumpUntil([&] { return t.f.loopEntries() > entries && t.f.loopRunning(); }));
    ASSERT_TRUE(pumpUntil([&] { return !t.panel().controller().sendActive(); }));
    pumpUntil([] { return false; }, 50ms); // a character being keyed is finished
    const int keyed = t.keyer.characters();
    pumpUntil([] { return false; }, 150ms);
    EXPECT_EQ(t.keyer.characters(), keyed) << "keying went on after the loop came back";
    EXPECT_EQ(state.SendMode.load(), kSendModeImm);
    EXPECT_EQ(state.SendBufferIndex.load(), kImmBufferIndex);
    EXPECT_TRUE(control<QPushButton>(t.f, "MsgButton13").font().bold());
    EXPECT_FALSE(control<QPushButton>(t.f, "MsgButton14").font().bold());
    EXPECT_FALSE(t.f.flags().capturePause.has(PauseReason::Transmit));
    EXPECT_EQ(t.rig.keying.port().KeyState.load(), kKeyUp);
}

TEST(TransmitWiring, TransmitActiveAndLampsFollowASend) {
    TransmitRig t(30ms);
    // Sound keeps arriving, so the receive loop runs passes and works the lamps.
    Feeder feed(t.rig.catalog.script(0), 1);
    ASSERT_TRUE(pumpUntil([&] { return t.f.passesShown() >= 2 && t.f.rcvLedOn(); }));
    t.f.macroSources()[4] = "TEST TEST";
    t.enableImmediate();
    t.button(4).click();
    EXPECT_TRUE(pumpUntil([&] { return t.f.flags().capturePause.has(PauseReason::Transmit); }));
    EXPECT_TRUE(pumpUntil([&] { return t.f.xmitLedOn() && !t.f.rcvLedOn(); }));
    EXPECT_TRUE(t.keyed("TEST TEST"));
    EXPECT_TRUE(pumpUntil([&] { return !t.f.flags().capturePause.has(PauseReason::Transmit); }));
    EXPECT_TRUE(pumpUntil([&] { return t.f.rcvLedOn() && !t.f.xmitLedOn(); }));
}

TEST(TransmitWiring, ScreenModesMoveThePanelsTransmitWindow) {
    TransmitRig t;
    t.f.click("TransmitReceive1");
    EXPECT_EQ(t.transmitMemo().y(), 268);
    EXPECT_TRUE(t.panel().isVisibleTo(&t.f));
    t.f.click("ReceiveOnly1");
    EXPECT_GE(t.transmitMemo().y(), t.f.clientHeight());
}

TEST(TransmitWiring, TransmitScreenMenuAndButtonAgree) {
    TransmitRig t;
    t.f.click("DoubleScreen1");
    EXPECT_EQ(t.panel().controller().state().TransmitScreen, kDoubleScreen);
    EXPECT_EQ(raw(t.f.settings().TransmitScreen), 1);
    control<QPushButton>(t.f, "ScreenBtn").click(); // the panel's own toggle
    EXPECT_EQ(raw(t.f.settings().TransmitScreen), 0);
    EXPECT_TRUE(t.f.item("SingleScreen1")->isChecked());
    EXPECT_FALSE(t.f.item("DoubleScreen1")->isChecked());
}

TEST(TransmitWiring, DoubleScreenEchoesTheMacroIntoTheReceiveWindow) {
    TransmitRig t;
    t.f.macroSources()[5] = "5NN";
    t.f.click("DoubleScreen1");
    t.enableImmediate();
    t.button(5).click();
    EXPECT_TRUE(t.keyed("5NN"));
    EXPECT_TRUE(t.f.readout().receiveText.contains("Tx>5NN"));
}

TEST(TransmitWiring, ContactCounterReachesTheMacro) {
    TransmitRig t;
    t.f.macroSources()[6] = "NR %i";
    control<QSpinBox>(t.f, "XmitCntrSpinEdit").setValue(17);
    t.enableImmediate();
    t.button(6).click();
    EXPECT_TRUE(t.keyed("NR 17"));
}

TEST(TransmitWiring, QuittingDuringASendStopsItAndReleasesTheKey) {
    TransmitRig t(40ms);
    const std::string longText(200, 'E');
    t.f.macroSources()[7] = longText;
    t.enableImmediate();
    t.button(7).click();
    ASSERT_TRUE(pumpUntil([&] { return t.keyer.characters() > 0; }));
    t.f.Quit1Click();
    EXPECT_EQ(t.rig.terminates, 1);
    EXPECT_EQ(t.keyer.stoppedTexts(), 1);
    const int sent = t.keyer.characters();
    EXPECT_LT(sent, static_cast<int>(longText.size()));
    EXPECT_FALSE(t.f.flags().capturePause.has(PauseReason::Transmit));
    EXPECT_EQ(t.rig.keying.port().KeyState.load(), kKeyUp);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(t.keyer.characters(), sent) << "nothing is keyed after the quit";
}

TEST(TransmitWiring, LoadTransmitTellsTransmitControlAboutTheLoadedText) {
    const auto file = std::filesystem::temp_directory_path() / "dita-transmit-wiring-load.txt";
    std::ofstream(file) << "TEST DE DL1ABC";
    RecordingKeyer keyer;
    FormRig rig(1, false, [&](DecoderFormServices& s) {
        s.keyer = [&] { return &keyer; };
        s.chooseOpenFile = [&](QWidget*) { return QString::fromStdString(file.string()); };
    });
    TDecoderForm& f = *rig.form;
    EXPECT_FALSE(part<TransmitPanel>(f).controller().state().TextLoaded.load());
    control<QPushButton>(f, "XmitButton").click();
    f.click("LoadTransmit1");
    EXPECT_EQ(f.readout().transmitText, "TEST DE DL1ABC");
    const TransmitState& state = part<TransmitPanel>(f).controller().state();
    EXPECT_TRUE(state.TextLoaded.load());
    // The loaded text goes out of buffer 15, so Loop repeats it (buffer 0 is sent once).
    EXPECT_EQ(state.SendBufferIndex.load(), 15);
    EXPECT_EQ(state.SendBuffers.get(15), "TEST DE DL1ABC");
    control<QPushButton>(f, "LoopButton").click();
    control<QPushButton>(f, "SendBtn").click();
    ASSERT_TRUE(pumpUntil([&] { return keyer.texts().size() >= 2; }));
    control<QPushButton>(f, "LoopButton").click();
    ASSERT_TRUE(pumpUntil([&] { return !part<TransmitPanel>(f).controller().sendActive(); }));
    for (const auto& text : keyer.texts())
        EXPECT_EQ(text, "TEST DE DL1ABC");
    EXPECT_TRUE(rig.messages.messages.empty());
    std::filesystem::remove(file);
}

// The window in transmit/receive mode while a macro is keyed, as the operator sees it; with
// DITA_SCREENSHOT set the picture is also saved there.
TEST(TransmitWiring, TransmitReceiveWindowWhileSendingShowsThePanel) {
    TransmitRig t(40ms);
    t.f.click("TransmitReceive1");
    t.f.show();
    t.f.macroSources()[1] = "CQ CQ DE %b %b K";
    control<QLineEdit>(t.f, "MyCallMemo").setText("W1AW");
    t.enableImmediate();
    t.button(1).click();
    ASSERT_TRUE(pumpUntil([&] { return t.keyer.characters() > 2; }));
    const QImage shot = t.f.grab().toImage();
    if (const char* path = std::getenv("DITA_SCREENSHOT")) shot.save(QString::fromLocal8Bit(path));
    EXPECT_EQ(shot.height(), t.f.height());
    EXPECT_TRUE(t.f.readout().transmitText.contains("CQ CQ DE W1AW W1AW K"));
    EXPECT_TRUE(control<QPushButton>(t.f, "XmitButton").isVisible());
    EXPECT_TRUE(t.button(15).isVisible());
}

} // namespace
} // namespace dita::test
