// The transmit panel driven as an operator drives it: mouse clicks on its buttons and keys
// typed into TransmitMemo, on the offscreen platform, with a recording keyer.
#include "ControlFakes.h"
#include "RecordedLayoutKeys.h"
#include "common/testing/QtTestEnvironment.h"
#include "transmit/MorseCode.h"
#include "transmit/control/TransmitPanel.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace dita;
using namespace dita::test;
using namespace std::chrono_literals;

namespace {

constexpr int kWaitMs = 5000;

bool marked(const QPushButton* b) {
    return b->font().bold() && b->font().underline();
}

struct Operator {
    explicit Operator(std::chrono::milliseconds perCharacter = 2ms)
        : keyer(perCharacter), panel({[this] { return &keyer; }, nullptr, {}, {}}, pause) {
        TransmitPanelHooks hooks;
        hooks.messages = [this](const std::string& text, const std::string& caption) {
            messages.push_back(text + " | " + caption);
        };
        hooks.appendReceiveText = [this](const std::string& t) { receive += t; };
        hooks.pressMessageButton = [this](int n) {
            // Stand-in expansion until the macros are wired: macro n sends "M<n>".
            pressed.push_back(n);
            panel.controller().sendMacroBuffer(n, "M" + std::to_string(n));
        };
        hooks.setSpeedControlEnabled = [this](SpeedControl c, bool on) {
            if (c == SpeedControl::ScreenSpin) speedEnabled = on;
        };
        hooks.showLeds = [this](bool rcv, bool xmit) {
            rcvLed = rcv;
            xmitLed = xmit;
        };
        hooks.contactCounterChanged = [this](int32_t c) { counter = c; };
        panel.setHooks(hooks);
        panel.resize(900, 220);
        panel.show();
        panel.start();
        QTest::qWait(20);
    }
    ~Operator() { panel.shutdown(); }

    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void type(const char* text) { QTest::keyClicks(panel.TransmitMemo, QString::fromLatin1(text)); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(panel.TransmitMemo, k, m);
    }
    bool idle() {
        const TransmitController& c = panel.controller();
        return c.phase() == TransmitPhase::Idle && !c.typingActive() && !transmitActive();
    }
    bool waitFor(const std::function<bool()>& pred) { return QTest::qWaitFor(pred, kWaitMs); }

    RecordingKeyer keyer;
    CapturePause pause;
    bool transmitActive() const { return pause.has(PauseReason::Transmit); }
    TransmitPanel panel;
    std::vector<std::string> messages;
    std::vector<int> pressed;
    std::string receive;
    bool speedEnabled = true;
    bool rcvLed = true;
    bool xmitLed = false;
    int32_t counter = 0;
};

} // namespace

TEST(TransmitPanel, CaptionsHintsAndStateFontsFollowTheButtons) {
    Operator op;
    auto& p = op.panel;
    EXPECT_EQ(p.XmitButton->text(), "OFF");
    EXPECT_EQ(p.XmitButton->toolTip(), "Enable Code Transmission");
    EXPECT_EQ(p.SendBtn->toolTip(), "Send Xmit Screen in SCN Mode");
    EXPECT_EQ(p.LoopButton->toolTip(), "Loop Transmission in SCN Mode");
    EXPECT_EQ(p.TuneBtn->toolTip(), "Key Down in Serial Mode");
    EXPECT_EQ(p.MsgButton13->toolTip(), "Set to Immeadiate Mode");
    EXPECT_EQ(p.MsgButton14->toolTip(), "Set to SCN (Transmit Screen) Mode");
    EXPECT_EQ(p.XmitWindowClr->text(), "Clear Xmit");
    EXPECT_EQ(p.XmitCntrSpinEdit->toolTip(), "Contact Number");
    EXPECT_EQ(p.TransmitMemo->toolTip(), "Transmit Window");
    EXPECT_TRUE(marked(p.MsgButton13));
    EXPECT_FALSE(marked(p.MsgButton14));

    op.click(p.XmitButton);
    EXPECT_EQ(p.XmitButton->text(), "ON");
    EXPECT_TRUE(marked(p.XmitButton));
    op.click(p.MsgButton14);
    EXPECT_TRUE(marked(p.MsgButton14));
    EXPECT_FALSE(marked(p.MsgButton13));
    op.click(p.LoopButton);
    EXPECT_TRUE(marked(p.LoopButton));
    op.click(p.LoopButton);
    EXPECT_FALSE(marked(p.LoopButton));
    op.click(p.ScreenBtn);
    EXPECT_EQ(p.ScreenBtn->text(), "Double");
    EXPECT_TRUE(marked(p.ScreenBtn));
    op.click(p.TuneBtn);
    EXPECT_EQ(p.TuneBtn->text(), "ON");
    EXPECT_TRUE(op.xmitLed);
    EXPECT_FALSE(op.rcvLed);
    op.click(p.TuneBtn);
    EXPECT_EQ(p.TuneBtn->text(), "OFF");
    EXPECT_TRUE(op.rcvLed);
    EXPECT_TRUE(op.messages.empty());
}

TEST(TransmitPanel, RefusalsShowTheirMessages) {
    Operator op;
    op.click(op.panel.SendBtn);
    op.click(op.panel.TuneBtn);
    op.click(op.panel.MsgButton14);
    op.click(op.panel.XmitBtn);
    EXPECT_EQ(op.messages, (std::vector<std::string>{
                               "Xmit Enable must be ON | Error Message",
                               "Xmit Enable must be ON | Error Message",
                               "Must be in IMM mode of operation | Error Message",
                           }));
}

TEST(TransmitPanel, ScreenSendIsReadOnlyAndKeysTypedMeanwhileDoNotChangeTheText) {
    Operator op(10ms);
    auto& p = op.panel;
    op.click(p.XmitButton);
    op.click(p.MsgButton14);
    op.type("cq de dl1abc");
    op.key(Qt::Key_Return);
    op.type("k");
    op.click(p.SendBtn);
    EXPECT_TRUE(p.TransmitMemo->isReadOnly());
    EXPECT_TRUE(marked(p.SendBtn));
    EXPECT_FALSE(op.speedEnabled);
    op.type("xyz");
    QTest::mouseClick(p.TransmitMemo->viewport(), Qt::LeftButton);
    EXPECT_TRUE(p.TransmitMemo->isReadOnly()) << "a click made the text being sent writable";
    EXPECT_EQ(p.TransmitMemo->toPlainText(), "cq de dl1abc\nk");
    ASSERT_TRUE(op.waitFor([&] { return op.idle() && !p.TransmitMemo->isReadOnly(); }));
    EXPECT_EQ(op.keyer.texts(), std::vector<std::string>{"cq de dl1abc\nk"});
    EXPECT_FALSE(marked(p.SendBtn));
    EXPECT_TRUE(op.speedEnabled);
}

TEST(TransmitPanel, ImmTypingSendsEachKeyAndDoubleModeEchoesIt) {
    Operator op;
    auto& p = op.panel;
    op.click(p.XmitButton);
    op.click(p.ScreenBtn);
    op.type("tu");
    op.key(Qt::Key_Exclam, Qt::ShiftModifier);
    op.key(Qt::Key_Return);
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.codes().size() == 4 && op.idle(); }));
    EXPECT_EQ(op.keyer.codes(), (std::vector<int32_t>{'T', 'U', 234, kVkEnter}));
    EXPECT_EQ(p.TransmitMemo->toPlainText(), "tu!\n");
    EXPECT_EQ(op.receive, "tu!\n");
}

TEST(TransmitPanel, AFullTransmitWindowRefusesTheKeyInsteadOfSendingWhatItCannotShow) {
    Operator op;
    auto& p = op.panel;
    op.click(p.XmitButton);
    p.TransmitMemo->setPlainText(QString(kTransmitMemoMaxLength - 1, QLatin1Char('e')));
    p.TransmitMemo->moveCursor(QTextCursor::End);
    op.type("ab");
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.codes().size() == 1 && op.idle(); }));
    QTest::qWait(30);
    EXPECT_EQ(op.keyer.codes(), std::vector<int32_t>{'A'});
    EXPECT_EQ(p.TransmitMemo->toPlainText().size(), kTransmitMemoMaxLength);
}

TEST(TransmitPanel, FunctionKeysAndCtrlDigitsSendTheirMacroBuffers) {
    Operator op;
    auto& p = op.panel;
    op.click(p.XmitButton);
    op.key(Qt::Key_F3);
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.texts().size() == 1 && op.idle(); }));
    op.key(Qt::Key_2, Qt::ControlModifier);
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.texts().size() == 2 && op.idle(); }));
    EXPECT_EQ(op.pressed, (std::vector<int>{3, 12}));
    EXPECT_EQ(op.keyer.texts(), (std::vector<std::string>{"M3", "M12"}));
    EXPECT_EQ(p.controller().state().SendBuffers.get(12), "M12");
}

TEST(TransmitPanel, LoopRepeatsUntilTurnedOffAndEscStopsAndClears) {
    Operator op(2ms);
    auto& p = op.panel;
    op.click(p.XmitButton);
    op.click(p.MsgButton14);
    op.type("vvv ");
    op.click(p.LoopButton);
    op.click(p.SendBtn);
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.texts().size() >= 3; }));
    op.click(p.LoopButton);
    ASSERT_TRUE(op.waitFor([&] { return op.idle(); }));
    for (const auto& t : op.keyer.texts())
        EXPECT_EQ(t, "vvv ");

    op.click(p.LoopButton);
    op.click(p.SendBtn);
    ASSERT_TRUE(op.waitFor([&] { return op.transmitActive(); }));
    op.key(Qt::Key_Escape);
    ASSERT_TRUE(op.waitFor([&] { return op.idle() && p.TransmitMemo->toPlainText().isEmpty(); }));
    const auto sentAtStop = op.keyer.textsStarted();
    QTest::qWait(50);
    EXPECT_EQ(op.keyer.textsStarted(), sentAtStop) << "the loop went on after Esc";
    EXPECT_FALSE(p.TransmitMemo->isReadOnly());
}

TEST(TransmitPanel, ContactCounterFollowsTheSpinEditAndTheConfiguration) {
    Operator op;
    auto& p = op.panel;
    p.XmitCntrSpinEdit->setValue(42);
    EXPECT_EQ(p.contactCounter(), 42);
    EXPECT_EQ(op.counter, 42);
    EXPECT_EQ(p.XmitCntrMemo->text(), "42");
    p.setContactCounter(20000);
    EXPECT_EQ(p.contactCounter(), kContactCounterMax);
    EXPECT_EQ(p.XmitCntrMemo->text(), "10000");
    p.setContactCounter(0);
    EXPECT_EQ(p.XmitCntrMemo->text(), "1");
}

// The same characters typed on three layouts key the same code: the character the layout
// produced counts, not the key it sits on (on a German layout "/" is Shift+7 and "=" Shift+0).
// Ctrl+2 presses M12 by the key's place in the digit row, also where that key gives "é".
TEST(TransmitPanel, TypedCharactersKeyTheSameCodeOnUsGermanAndFrenchLayouts) {
    const std::vector<std::string> expectedRows = {
        "-..-.", "-...-", "..--..", "---..-", ".----", ".-.-.-", "--..--", "--....-", ".--.-.",
    };
    for (const auto& layout : recordedLayouts()) {
        SCOPED_TRACE(layout.name);
        Operator op;
        auto& p = op.panel;
        op.click(p.XmitButton);
        op.click(p.ScreenBtn); // "Double": released keys are echoed into the receive window
        for (const RecordedKey& k : layout.keys) {
            QKeyEvent event = keyEventOf(k);
            QCoreApplication::sendEvent(p.TransmitMemo, &event);
        }
        ASSERT_TRUE(op.waitFor([&] {
            return op.keyer.codes().size() == expectedRows.size() && op.keyer.texts().size() == 1 &&
                   op.idle();
        }));
        QTest::qWait(30); // Alt+1 has no sendable code: nothing more may follow
        std::vector<std::string> rows;
        for (int32_t code : op.keyer.codes()) {
            const std::string_view row = sendRow(code);
            rows.emplace_back(row.substr(0, row.find(kCharSpaceSymbol)));
        }
        EXPECT_EQ(rows, expectedRows);
        EXPECT_EQ(op.pressed, std::vector<int>{12});
        EXPECT_EQ(op.keyer.texts(), std::vector<std::string>{"M12"});
        EXPECT_TRUE(p.TransmitMemo->toPlainText().startsWith("/=?+1.,-@"))
            << p.TransmitMemo->toPlainText().toStdString();
        EXPECT_EQ(op.receive.substr(0, 9), "/=?+1.,-@");
    }
}

// Keys that produce no character keep their meaning: function keys, Enter, Esc, the arrows
// and, with NumLock on, the keypad as the digits it shows.
TEST(TransmitPanel, KeysWithoutACharacterGoByTheirKeyCode) {
    auto of = [](int key, Qt::KeyboardModifiers m, const QString& text = {}) {
        return transmitKeyFromQt(QKeyEvent(QEvent::KeyPress, key, m, text));
    };
    EXPECT_EQ(of(Qt::Key_F10, Qt::NoModifier).virtualKey, kVkF10);
    EXPECT_EQ(of(Qt::Key_Up, Qt::NoModifier).virtualKey, kVkUp);
    EXPECT_EQ(of(Qt::Key_Return, Qt::NoModifier, "\r").virtualKey, kVkEnter);
    EXPECT_EQ(of(Qt::Key_Return, Qt::NoModifier, "\r").character, 0u);
    EXPECT_EQ(of(Qt::Key_Escape, Qt::NoModifier, "\x1b").virtualKey, kVkEscape);
    EXPECT_EQ(of(Qt::Key_Backspace, Qt::NoModifier, "\b").virtualKey, kVkBackspace);
    EXPECT_EQ(of(Qt::Key_5, Qt::KeypadModifier, "5").character, U'5');
    EXPECT_EQ(of(Qt::Key_C, Qt::ControlModifier, "\x03").virtualKey, 'C');
    EXPECT_EQ(of(Qt::Key_C, Qt::ControlModifier, "\x03").character, 0u);
    EXPECT_TRUE(of(Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xe9))).virtualKey == 0);
    EXPECT_TRUE(of(Qt::Key_unknown, Qt::NoModifier).empty());
}

// Not a check: writes what the panel looks like while a screen is sent, with a stand-in
// receive window above it, for a person to look at.
TEST(TransmitPanelPicture, WhileSendingInTransmitReceiveMode) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* rcv = new QPlainTextEdit(&window);
    rcv->setObjectName("RcvMemo");
    rcv->setPlainText("CQ CQ CQ DE DK7XY DK7XY PSE K\n");
    layout->addWidget(rcv);
    RecordingKeyer keyer(20ms);
    CapturePause active;
    auto* panel = new TransmitPanel({[&] { return &keyer; }, nullptr, {}, {}}, active, &window);
    TransmitPanelHooks hooks;
    hooks.appendReceiveText = [rcv](const std::string& t) {
        rcv->moveCursor(QTextCursor::End);
        rcv->insertPlainText(QString::fromStdString(t));
    };
    panel->setHooks(hooks);
    layout->addWidget(panel);
    window.resize(900, 420);
    window.show();
    panel->start();
    QTest::mouseClick(panel->XmitButton, Qt::LeftButton);
    QTest::mouseClick(panel->MsgButton14, Qt::LeftButton);
    QTest::mouseClick(panel->ScreenBtn, Qt::LeftButton);
    QTest::mouseClick(panel->LoopButton, Qt::LeftButton);
    QTest::keyClicks(panel->TransmitMemo, "dk7xy de dl1abc ur 599 599 bk");
    QTest::mouseClick(panel->SendBtn, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return keyer.characters() > 3; }, kWaitMs));
    const QString path = QStringLiteral(DITA_BINARY_DIR "/transmit_panel_sending.png");
    ASSERT_TRUE(window.grab().save(path));
    EXPECT_TRUE(active.has(PauseReason::Transmit));
    panel->shutdown();
}

TEST(TransmitPanel, TheUpDownStartsFromTheCounterAndItsUpperArrowCountsUp) {
    Operator op;
    auto& p = op.panel;
    p.XmitCntrSpinEdit->setValue(5);
    p.XmitCntrUpDn->setValue(
        p.XmitCntrUpDn->minimum()); // wherever the bar was left, a press starts at the counter
    QTest::mouseClick(p.XmitCntrUpDn, Qt::LeftButton, Qt::NoModifier,
                      QPoint(p.XmitCntrUpDn->width() / 2, 2));
    ASSERT_TRUE(op.waitFor([&] { return p.contactCounter() != 5; }));
    EXPECT_EQ(p.contactCounter(), 6);
    EXPECT_EQ(p.XmitCntrMemo->text(), "6");
    EXPECT_EQ(op.counter, 6);
    QTest::mouseClick(p.XmitCntrUpDn, Qt::LeftButton, Qt::NoModifier,
                      QPoint(p.XmitCntrUpDn->width() / 2, p.XmitCntrUpDn->height() - 3));
    ASSERT_TRUE(op.waitFor([&] { return p.contactCounter() != 6; }));
    EXPECT_EQ(p.contactCounter(), 5);
}
