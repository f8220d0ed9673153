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

template <typename T> T* named(const QWidget& panel, const char* name) {
    T* found = panel.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// The panel's controls, found as the operator's tools find them: by the names they carry.
struct Controls {
    explicit Controls(const QWidget& panel)
        : XmitButton(named<QPushButton>(panel, "XmitButton")),
          SendBtn(named<QPushButton>(panel, "SendBtn")),
          LoopButton(named<QPushButton>(panel, "LoopButton")),
          TuneBtn(named<QPushButton>(panel, "TuneBtn")),
          MsgButton13(named<QPushButton>(panel, "MsgButton13")),
          MsgButton14(named<QPushButton>(panel, "MsgButton14")),
          XmitWindowClr(named<QPushButton>(panel, "XmitWindowClr")),
          ScreenBtn(named<QPushButton>(panel, "ScreenBtn")),
          XmitBtn(named<QPushButton>(panel, "XmitBtn")),
          XmitCntrSpinEdit(named<QSpinBox>(panel, "XmitCntrSpinEdit")),
          XmitCntrUpDn(named<QScrollBar>(panel, "XmitCntrUpDn")),
          XmitCntrMemo(named<QLineEdit>(panel, "XmitCntrMemo")),
          TransmitMemo(named<QPlainTextEdit>(panel, "TransmitMemo")) {}
    QPushButton* XmitButton;
    QPushButton* SendBtn;
    QPushButton* LoopButton;
    QPushButton* TuneBtn;
    QPushButton* MsgButton13;
    QPushButton* MsgButton14;
    QPushButton* XmitWindowClr;
    QPushButton* ScreenBtn;
    QPushButton* XmitBtn;
    QSpinBox* XmitCntrSpinEdit;
    QScrollBar* XmitCntrUpDn;
    QLineEdit* XmitCntrMemo;
    QPlainTextEdit* TransmitMemo;
};

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
    void type(const char* text) { QTest::keyClicks(c.TransmitMemo, QString::fromLatin1(text)); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(c.TransmitMemo, k, m);
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
    Controls c{panel};
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
    auto& c = op.c;
    EXPECT_EQ(c.XmitButton->text(), "OFF");
    EXPECT_EQ(c.XmitButton->toolTip(), "Enable Code Transmission");
    EXPECT_EQ(c.SendBtn->toolTip(), "Send Xmit Screen in SCN Mode");
    EXPECT_EQ(c.LoopButton->toolTip(), "Loop Transmission in SCN Mode");
    EXPECT_EQ(c.TuneBtn->toolTip(), "Key Down in Serial Mode");
    EXPECT_EQ(c.MsgButton13->toolTip(), "Set to Immeadiate Mode");
    EXPECT_EQ(c.MsgButton14->toolTip(), "Set to SCN (Transmit Screen) Mode");
    EXPECT_EQ(c.XmitWindowClr->text(), "Clear Xmit");
    EXPECT_EQ(c.XmitCntrSpinEdit->toolTip(), "Contact Number");
    EXPECT_EQ(c.TransmitMemo->toolTip(), "Transmit Window");
    EXPECT_TRUE(marked(c.MsgButton13));
    EXPECT_FALSE(marked(c.MsgButton14));

    op.click(c.XmitButton);
    EXPECT_EQ(c.XmitButton->text(), "ON");
    EXPECT_TRUE(marked(c.XmitButton));
    op.click(c.MsgButton14);
    EXPECT_TRUE(marked(c.MsgButton14));
    EXPECT_FALSE(marked(c.MsgButton13));
    op.click(c.LoopButton);
    EXPECT_TRUE(marked(c.LoopButton));
    op.click(c.LoopButton);
    EXPECT_FALSE(marked(c.LoopButton));
    op.click(c.ScreenBtn);
    EXPECT_EQ(c.ScreenBtn->text(), "Double");
    EXPECT_TRUE(marked(c.ScreenBtn));
    op.click(c.TuneBtn);
    EXPECT_EQ(c.TuneBtn->text(), "ON");
    EXPECT_TRUE(op.xmitLed);
    EXPECT_FALSE(op.rcvLed);
    op.click(c.TuneBtn);
    EXPECT_EQ(c.TuneBtn->text(), "OFF");
    EXPECT_TRUE(op.rcvLed);
    EXPECT_TRUE(op.messages.empty());
}

TEST(TransmitPanel, RefusalsShowTheirMessages) {
    Operator op;
    op.click(op.c.SendBtn);
    op.click(op.c.TuneBtn);
    op.click(op.c.MsgButton14);
    op.click(op.c.XmitBtn);
    EXPECT_EQ(op.messages, (std::vector<std::string>{
                               "Xmit Enable must be ON | Error Message",
                               "Xmit Enable must be ON | Error Message",
                               "Must be in IMM mode of operation | Error Message",
                           }));
}

TEST(TransmitPanel, ScreenSendIsReadOnlyAndKeysTypedMeanwhileDoNotChangeTheText) {
    Operator op(10ms);
    auto& c = op.c;
    op.click(c.XmitButton);
    op.click(c.MsgButton14);
    op.type("cq de dl1abc");
    op.key(Qt::Key_Return);
    op.type("k");
    op.click(c.SendBtn);
    EXPECT_TRUE(c.TransmitMemo->isReadOnly());
    EXPECT_TRUE(marked(c.SendBtn));
    EXPECT_FALSE(op.speedEnabled);
    op.type("xyz");
    QTest::mouseClick(c.TransmitMemo->viewport(), Qt::LeftButton);
    EXPECT_TRUE(c.TransmitMemo->isReadOnly()) << "a click made the text being sent writable";
    EXPECT_EQ(c.TransmitMemo->toPlainText(), "cq de dl1abc\nk");
    ASSERT_TRUE(op.waitFor([&] { return op.idle() && !c.TransmitMemo->isReadOnly(); }));
    EXPECT_EQ(op.keyer.texts(), std::vector<std::string>{"cq de dl1abc\nk"});
    EXPECT_FALSE(marked(c.SendBtn));
    EXPECT_TRUE(op.speedEnabled);
}

TEST(TransmitPanel, ImmTypingSendsEachKeyAndDoubleModeEchoesIt) {
    Operator op;
    auto& c = op.c;
    op.click(c.XmitButton);
    op.click(c.ScreenBtn);
    op.type("tu");
    op.key(Qt::Key_Exclam, Qt::ShiftModifier);
    op.key(Qt::Key_Return);
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.codes().size() == 4 && op.idle(); }));
    EXPECT_EQ(op.keyer.codes(), (std::vector<int32_t>{'T', 'U', 234, kVkEnter}));
    EXPECT_EQ(c.TransmitMemo->toPlainText(), "tu!\n");
    EXPECT_EQ(op.receive, "tu!\n");
}

TEST(TransmitPanel, AFullTransmitWindowRefusesTheKeyInsteadOfSendingWhatItCannotShow) {
    Operator op;
    auto& c = op.c;
    op.click(c.XmitButton);
    c.TransmitMemo->setPlainText(QString(kTransmitMemoMaxLength - 1, QLatin1Char('e')));
    c.TransmitMemo->moveCursor(QTextCursor::End);
    op.type("ab");
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.codes().size() == 1 && op.idle(); }));
    QTest::qWait(30);
    EXPECT_EQ(op.keyer.codes(), std::vector<int32_t>{'A'});
    EXPECT_EQ(c.TransmitMemo->toPlainText().size(), kTransmitMemoMaxLength);
}

TEST(TransmitPanel, FunctionKeysAndCtrlDigitsSendTheirMacroBuffers) {
    Operator op;
    auto& p = op.panel;
    auto& c = op.c;
    op.click(c.XmitButton);
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
    auto& c = op.c;
    op.click(c.XmitButton);
    op.click(c.MsgButton14);
    op.type("vvv ");
    op.click(c.LoopButton);
    op.click(c.SendBtn);
    ASSERT_TRUE(op.waitFor([&] { return op.keyer.texts().size() >= 3; }));
    op.click(c.LoopButton);
    ASSERT_TRUE(op.waitFor([&] { return op.idle(); }));
    for (const auto& t : op.keyer.texts())
        EXPECT_EQ(t, "vvv ");

    op.click(c.LoopButton);
    op.click(c.SendBtn);
    ASSERT_TRUE(op.waitFor([&] { return op.transmitActive(); }));
    op.key(Qt::Key_Escape);
    ASSERT_TRUE(op.waitFor([&] { return op.idle() && c.TransmitMemo->toPlainText().isEmpty(); }));
    const auto sentAtStop = op.keyer.textsStarted();
    QTest::qWait(50);
    EXPECT_EQ(op.keyer.textsStarted(), sentAtStop) << "the loop went on after Esc";
    EXPECT_FALSE(c.TransmitMemo->isReadOnly());
}

TEST(TransmitPanel, ContactCounterFollowsTheSpinEditAndTheConfiguration) {
    Operator op;
    auto& p = op.panel;
    auto& c = op.c;
    c.XmitCntrSpinEdit->setValue(42);
    EXPECT_EQ(p.contactCounter(), 42);
    EXPECT_EQ(op.counter, 42);
    EXPECT_EQ(c.XmitCntrMemo->text(), "42");
    p.setContactCounter(20000);
    EXPECT_EQ(p.contactCounter(), kContactCounterMax);
    EXPECT_EQ(c.XmitCntrMemo->text(), "10000");
    p.setContactCounter(0);
    EXPECT_EQ(c.XmitCntrMemo->text(), "1");
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
        auto& c = op.c;
        op.click(c.XmitButton);
        op.click(c.ScreenBtn); // "Double": released keys are echoed into the receive window
        for (const RecordedKey& k : layout.keys) {
            QKeyEvent event = keyEventOf(k);
            QCoreApplication::sendEvent(c.TransmitMemo, &event);
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
        EXPECT_TRUE(c.TransmitMemo->toPlainText().startsWith("/=?+1.,-@"))
            << c.TransmitMemo->toPlainText().toStdString();
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
    const Controls c(*panel);
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
    QTest::mouseClick(c.XmitButton, Qt::LeftButton);
    QTest::mouseClick(c.MsgButton14, Qt::LeftButton);
    QTest::mouseClick(c.ScreenBtn, Qt::LeftButton);
    QTest::mouseClick(c.LoopButton, Qt::LeftButton);
    QTest::keyClicks(c.TransmitMemo, "dk7xy de dl1abc ur 599 599 bk");
    QTest::mouseClick(c.SendBtn, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return keyer.characters() > 3; }, kWaitMs));
    const QString path = QStringLiteral(DITA_BINARY_DIR "/transmit_panel_sending.png");
    ASSERT_TRUE(window.grab().save(path));
    EXPECT_TRUE(active.has(PauseReason::Transmit));
    panel->shutdown();
}

TEST(TransmitPanel, TheUpDownStartsFromTheCounterAndItsUpperArrowCountsUp) {
    Operator op;
    auto& p = op.panel;
    auto& c = op.c;
    c.XmitCntrSpinEdit->setValue(5);
    c.XmitCntrUpDn->setValue(
        c.XmitCntrUpDn->minimum()); // wherever the bar was left, a press starts at the counter
    QTest::mouseClick(c.XmitCntrUpDn, Qt::LeftButton, Qt::NoModifier,
                      QPoint(c.XmitCntrUpDn->width() / 2, 2));
    ASSERT_TRUE(op.waitFor([&] { return p.contactCounter() != 5; }));
    EXPECT_EQ(p.contactCounter(), 6);
    EXPECT_EQ(c.XmitCntrMemo->text(), "6");
    EXPECT_EQ(op.counter, 6);
    QTest::mouseClick(c.XmitCntrUpDn, Qt::LeftButton, Qt::NoModifier,
                      QPoint(c.XmitCntrUpDn->width() / 2, c.XmitCntrUpDn->height() - 3));
    ASSERT_TRUE(op.waitFor([&] { return p.contactCounter() != 6; }));
    EXPECT_EQ(p.contactCounter(), 5);
}
