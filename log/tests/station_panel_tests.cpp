// The station panel on Qt's offscreen platform: band selector, key filters, colours, commits
// with their messages, the "Log" button into a real file, and the File menu's text actions.
#include "log/StationPanel.h"
#include "log/TextFileActions.h"

#include "common/testing/QtTestEnvironment.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace dita;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct PanelTest : ::testing::Test {
    fs::path dir;
    std::vector<std::pair<std::string, std::string>> messages;
    std::unique_ptr<StationPanel> panel;
    // The panel's fields, buttons and band selector.
    QLineEdit* CallMemo = nullptr;
    QLineEdit* GridMemo = nullptr;
    QLineEdit* MyCallMemo = nullptr;
    QLineEdit* MyGridMemo = nullptr;
    QLineEdit* RSTMemo = nullptr;
    QLineEdit* MyRSTMemo = nullptr;
    QLineEdit* NameMemo = nullptr;
    QLineEdit* FrequencyMemo = nullptr;
    QLineEdit* BandMemo = nullptr;
    QLineEdit* GMTDateMemo = nullptr;
    QSpinBox* BandSpinEdit = nullptr;
    QPushButton* LogBtn = nullptr;

    void SetUp() override {
        char pattern[] = "/tmp/dita-panel-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        panel = std::make_unique<StationPanel>(
            [this](const std::string& t, const std::string& c) { messages.emplace_back(t, c); },
            [this] { return dir / "DITA.adi"; });
        panel->show();
        CallMemo = named<QLineEdit>("CallMemo");
        GridMemo = named<QLineEdit>("GridMemo");
        MyCallMemo = named<QLineEdit>("MyCallMemo");
        MyGridMemo = named<QLineEdit>("MyGridMemo");
        RSTMemo = named<QLineEdit>("RSTMemo");
        MyRSTMemo = named<QLineEdit>("MyRSTMemo");
        NameMemo = named<QLineEdit>("NameMemo");
        FrequencyMemo = named<QLineEdit>("FrequencyMemo");
        BandSpinEdit = named<QSpinBox>("BandSpinEdit");
        BandMemo = named<QLineEdit>("BandMemo");
        GMTDateMemo = named<QLineEdit>("GMTDateMemo");
        LogBtn = named<QPushButton>("LogBtn");
    }
    // A control of the panel, found by the name the operator's tools see.
    template <typename T> T* named(const char* name) const {
        T* found = panel->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void TearDown() override {
        panel.reset();
        fs::remove_all(dir);
    }
    static QColor textColour(QLineEdit* e) { return e->palette().color(QPalette::Text); }
    static void enter(QLineEdit* e) { QTest::keyClick(e, Qt::Key_Return); }
    static void leave(QLineEdit* e, Qt::FocusReason reason = Qt::TabFocusReason) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(e, &out);
    }
};

} // namespace

TEST_F(PanelTest, BandSelectorShowsTheNameAndEmptiesTheFrequency) {
    EXPECT_EQ(BandMemo->text(), "2M");
    EXPECT_EQ(panel->bandIndex(), 1);
    EXPECT_EQ(BandSpinEdit->minimum(), 1);
    EXPECT_EQ(BandSpinEdit->maximum(), 11);

    panel->setBandIndex(7);
    EXPECT_EQ(BandMemo->text(), "20M");
    QTest::keyClicks(FrequencyMemo, "14.025");
    enter(FrequencyMemo);
    EXPECT_EQ(FrequencyMemo->text(), "14.025000");
    // 14.025 also lies in no other band, but even a fitting frequency is discarded.
    BandSpinEdit->stepUp();
    EXPECT_EQ(BandMemo->text(), "30M");
    EXPECT_EQ(FrequencyMemo->text(), "");
    FrequencyMemo->setText("7.03");
    panel->setBandIndex(9);
    EXPECT_EQ(FrequencyMemo->text(), "");
    EXPECT_EQ(BandMemo->text(), "40M");
    EXPECT_TRUE(messages.empty());
}

TEST_F(PanelTest, FrequencyTypedRedCommittedBlackWithTheBandRules) {
    panel->setBandIndex(7);
    QTest::keyClicks(FrequencyMemo, "14.3x5"); // the letter is filtered out
    EXPECT_EQ(FrequencyMemo->text(), "14.35");
    EXPECT_EQ(textColour(FrequencyMemo), QColor(Qt::red));
    enter(FrequencyMemo);
    EXPECT_EQ(FrequencyMemo->text(), "14.350000");
    EXPECT_EQ(textColour(FrequencyMemo), QColor(Qt::black));
    EXPECT_TRUE(messages.empty());

    FrequencyMemo->clear();
    QTest::keyClicks(FrequencyMemo, "14.3500001");
    enter(FrequencyMemo);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].first, "Frequency must be greater than 14 mHz and less than 14.35 mHz");
    EXPECT_EQ(messages[0].second, "Frequency Set");
    EXPECT_EQ(FrequencyMemo->text(), "");
    EXPECT_EQ(textColour(FrequencyMemo), QColor(Qt::black));

    // A rejected key still marks the field as being typed in.
    QTest::keyClick(FrequencyMemo, Qt::Key_A);
    EXPECT_EQ(textColour(FrequencyMemo), QColor(Qt::red));
    leave(FrequencyMemo); // empty: no message, black
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(textColour(FrequencyMemo), QColor(Qt::black));

    QTest::keyClicks(FrequencyMemo, "14.0305");
    leave(FrequencyMemo);
    EXPECT_EQ(FrequencyMemo->text(), "14.030500");
}

TEST_F(PanelTest, RigFrequencySelectsItsBandFillsTheFieldAndSparesTyping) {
    panel->setRigFrequency(14025000.0);
    EXPECT_EQ(BandMemo->text(), "20M");
    EXPECT_EQ(FrequencyMemo->text(), "14.025000");
    panel->setRigFrequency(14350000.0); // the band's upper edge belongs to it
    EXPECT_EQ(FrequencyMemo->text(), "14.350000");
    panel->setRigFrequency(7030500.0);
    EXPECT_EQ(BandMemo->text(), "40M");
    EXPECT_EQ(FrequencyMemo->text(), "7.030500");
    // Outside every band: emptied as the band check would, the band stays.
    panel->setRigFrequency(5357000.0);
    EXPECT_EQ(FrequencyMemo->text(), "");
    EXPECT_EQ(panel->bandIndex(), 9);

    // The field stays editable, and what the operator is typing is not overwritten.
    panel->setRigFrequency(7010000.0);
    FrequencyMemo->clear();
    QTest::keyClicks(FrequencyMemo, "7.02");
    panel->setRigFrequency(7015000.0);
    EXPECT_EQ(FrequencyMemo->text(), "7.02");
    enter(FrequencyMemo);
    EXPECT_EQ(FrequencyMemo->text(), "7.020000");
    panel->setRigFrequency(7015000.0);
    EXPECT_EQ(FrequencyMemo->text(), "7.015000");
    EXPECT_TRUE(messages.empty());
}

TEST_F(PanelTest, TextThatIsNoNumberStaysRedAndIsReported) {
    panel->setBandIndex(7);
    QTest::keyClicks(FrequencyMemo, "1.2.3");
    enter(FrequencyMemo);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, "Error Message");
    EXPECT_NE(messages[0].first.find("\"1.2.3\""), std::string::npos);
    EXPECT_EQ(FrequencyMemo->text(), "1.2.3");
    EXPECT_EQ(textColour(FrequencyMemo), QColor(Qt::red));

    // Pasted text bypasses the key filter and is caught on commit.
    RSTMemo->clear();
    QApplication::clipboard()->setText("five nine");
    QTest::keyClick(RSTMemo, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(RSTMemo->text(), "five nine");
    leave(RSTMemo);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(RSTMemo->text(), "five nine");
    // Opening the context menu or another window is not leaving the field.
    RSTMemo->setText("1000");
    leave(RSTMemo, Qt::PopupFocusReason);
    leave(RSTMemo, Qt::ActiveWindowFocusReason);
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(RSTMemo->text(), "1000");
    // Moving the focus for real to another field is leaving it.
    panel->activateWindow();
    QApplication::setActiveWindow(panel.get());
    RSTMemo->setFocus(Qt::TabFocusReason);
    CallMemo->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].first, "RST Number must be between 1 and 999");
    EXPECT_EQ(RSTMemo->text(), "");
    // The panel carries on: a correct value afterwards is taken normally.
    RSTMemo->clear();
    QTest::keyClicks(RSTMemo, "579");
    enter(RSTMemo);
    EXPECT_EQ(RSTMemo->text(), "579");
    EXPECT_EQ(messages.size(), 3u);
}

TEST_F(PanelTest, ReportFieldsFilterZeroAndCheckTheRange) {
    for (QLineEdit* field : {RSTMemo, MyRSTMemo}) {
        messages.clear();
        field->clear();
        QTest::keyClicks(field, "509");
        EXPECT_EQ(field->text(), "59");
        field->clear();
        QTest::keyClicks(field, "999");
        enter(field);
        EXPECT_EQ(field->text(), "999");
        EXPECT_TRUE(messages.empty());

        field->setText("1000");
        enter(field);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].first, "RST Number must be between 1 and 999");
        EXPECT_EQ(messages[0].second, "Number Set");
        EXPECT_EQ(field->text(), "");

        field->setText("1000");
        leave(field);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(field->text(), ""); // no invalid report is left behind for the log
        leave(field);                 // empty now: leaving again says nothing
        EXPECT_EQ(messages.size(), 2u);
    }
}

TEST_F(PanelTest, BlackSchemeKeepsCommittedReportsReadable) {
    panel->setBlackScheme(true);
    EXPECT_EQ(RSTMemo->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(textColour(CallMemo), QColor(Qt::white));
    QTest::keyClicks(RSTMemo, "57");
    EXPECT_EQ(textColour(RSTMemo), QColor(Qt::red));
    enter(RSTMemo);
    EXPECT_EQ(textColour(RSTMemo), QColor(Qt::white));
    panel->setBlackScheme(false);
    EXPECT_EQ(textColour(RSTMemo), QColor(Qt::black));
    EXPECT_EQ(RSTMemo->palette().color(QPalette::Base), QColor(Qt::white));
}

TEST_F(PanelTest, LogButtonAppendsTheRecordOfTheFields) {
    panel->setBandIndex(7);
    QTest::keyClicks(CallMemo, "ABC");
    QTest::keyClicks(MyCallMemo, "XYZ");
    QTest::keyClicks(NameMemo, "Hans"); // the name is not logged
    QTest::keyClicks(FrequencyMemo, "14.025");
    enter(FrequencyMemo);
    panel->setClockTexts("2024-01-05", "09:30:15", "20240105", "093015");
    EXPECT_EQ(GMTDateMemo->text(), "2024-01-05");
    EXPECT_EQ(LogBtn->toolTip(), "Write a ADIF Log entry");

    QTest::mouseClick(LogBtn, Qt::LeftButton);
    QTest::mouseClick(LogBtn, Qt::LeftButton);
    const std::string record = "<call:3>ABC <station_callsign:3>XYZ <mode:2>CW "
                               "<qso_date:8>20240105 <time_on:6>093015 <freq:9>14.025000 <eor>\r\n";
    EXPECT_EQ(readFile(dir / "DITA.adi"), record + record);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1],
              (std::pair<std::string, std::string>{"Log file entry generated", "File Message"}));
    // Nothing is cleared after an entry.
    EXPECT_EQ(CallMemo->text(), "ABC");

    panel->setBandIndex(8); // the frequency goes with the band change
    QTest::mouseClick(LogBtn, Qt::LeftButton);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].first, "No frequency specified, no log entry will be generated");
    EXPECT_EQ(readFile(dir / "DITA.adi"), record + record);
}

TEST_F(PanelTest, ScreenshotOfThePanel) {
    panel->setBandIndex(7);
    CallMemo->setText("W1AW");
    NameMemo->setText("Hiram");
    GridMemo->setText("FN31");
    RSTMemo->setText("579");
    MyCallMemo->setText("DL1ABC");
    MyGridMemo->setText("JO62");
    FrequencyMemo->setText("14.025000");
    QTest::keyClicks(MyRSTMemo, "59"); // still being typed: red
    panel->setClockTexts("2026-12-07", "22:30:00", "20261207", "223000");
    const QImage shot = panel->grab().toImage();
    fs::create_directories(DITA_BINARY_DIR "/screenshots");
    EXPECT_TRUE(shot.save(DITA_BINARY_DIR "/screenshots/station_panel.png"));
    EXPECT_GE(shot.width(), panel->minimumWidth());
}

// ---------------------------------------------------------------- File menu text actions

namespace {

struct TargetRecorder : TransmitTextTarget {
    std::vector<std::pair<int, std::string>> calls;
    void transmitTextLoaded(int index, const std::string& text) override {
        calls.emplace_back(index, text);
    }
};

} // namespace

TEST_F(PanelTest, SaveAndLoadWindowTextsThroughTheChosenFiles) {
    QPlainTextEdit rcv, xmit;
    rcv.setPlainText("CQ CQ DE W1AW\nJ\xC3\xBCrgen 5NN");
    TextFileActions actions(panel.get(), [this](const std::string& t, const std::string& c) {
        messages.emplace_back(t, c);
    });
    QString chosen;
    actions.setChoosers([&](QWidget*) { return chosen; }, [&](QWidget*) { return chosen; });

    chosen = QString::fromStdString((dir / "rcv.txt").string());
    ASSERT_TRUE(actions.SaveRcv1Click(&rcv));
    EXPECT_EQ(readFile(dir / "rcv.txt"), "CQ CQ DE W1AW\nJ\xFCrgen 5NN\n");

    TargetRecorder target;
    xmit.setPlainText("old");
    ASSERT_TRUE(actions.LoadTransmit1Click(&xmit, target));
    EXPECT_EQ(xmit.toPlainText(), rcv.toPlainText());
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0], (std::pair<int, std::string>{15, "CQ CQ DE W1AW\nJ\xFCrgen 5NN"}));

    // Cancelled: nothing written or loaded, but the transmit text is still handed over.
    chosen.clear();
    xmit.setPlainText("typed");
    EXPECT_FALSE(actions.SaveTransmit1Click(&xmit));
    EXPECT_FALSE(actions.LoadTransmit1Click(&xmit, target));
    EXPECT_EQ(xmit.toPlainText(), "typed");
    ASSERT_EQ(target.calls.size(), 2u);
    EXPECT_EQ(target.calls[1].second, "typed");
    EXPECT_TRUE(messages.empty());

    // A file that cannot be read or written: a message, and the windows keep their text.
    chosen = QString::fromStdString((dir / "missing.txt").string());
    EXPECT_FALSE(actions.LoadTransmit1Click(&xmit, target));
    EXPECT_EQ(xmit.toPlainText(), "typed");
    chosen = QString::fromStdString((dir / "no-folder" / "x.txt").string());
    EXPECT_FALSE(actions.SaveTransmit1Click(&xmit));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].second, "File Error Message");
    EXPECT_EQ(messages[1].second, "File Error Message");
}

TEST_F(PanelTest, FileDialogsAreSetUpAsTheMenuNeedsThem) {
    std::unique_ptr<QFileDialog> save(TextFileActions::makeSaveDialog(panel.get()));
    EXPECT_EQ(save->windowTitle(), "My Save Dialog");
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->nameFilters(), QStringList{"Text Files (*.txt)"});
    EXPECT_EQ(save->defaultSuffix(), "txt");
    EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(save->isSizeGripEnabled());

    std::unique_ptr<QFileDialog> open(TextFileActions::makeOpenDialog(panel.get()));
    EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(open->nameFilters(), QStringList{"Text Files (*.txt)"});
    EXPECT_EQ(open->defaultSuffix(), "txt");
}
