// The macro editor, the listing and the key list windows on Qt's offscreen platform, with the
// key list in a real file and the editor's fields feeding a message button.
#include "macros/MacroWindows.h"
#include "macros/MessageButtons.h"

#include <gaugekit/GkClock.h>

#include "common/testing/QtTestEnvironment.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace dita;
using namespace dita::macros;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void saveShot(QWidget* w, const char* name) {
    fs::create_directories(DITA_BINARY_DIR "/screenshots");
    w->grab().save(QString(DITA_BINARY_DIR "/screenshots/") + name);
}

struct MacroWindowsTest : ::testing::Test {
    fs::path dir;
    MacroSources sources;
    std::vector<std::pair<std::string, std::string>> messages;
    std::unique_ptr<TTransmitMemoryForm> listing;
    std::unique_ptr<TShowMacroKeysForm> keys;
    std::unique_ptr<TXmitMacrosForm> editor;

    MessageSink sink() {
        return [this](const std::string& t, const std::string& c) { messages.emplace_back(t, c); };
    }
    void SetUp() override {
        char pattern[] = "/tmp/dita-macros-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        listing = std::make_unique<TTransmitMemoryForm>();
        keys =
            std::make_unique<TShowMacroKeysForm>(sink(), [this] { return dir / "MacroKeys.txt"; });
        editor = std::make_unique<TXmitMacrosForm>(sources, sink(), listing.get(), keys.get());
    }
    void TearDown() override {
        editor.reset();
        keys.reset();
        listing.reset();
        fs::remove_all(dir);
    }
};

} // namespace

TEST_F(MacroWindowsTest, EditorWindowMenusAndFields) {
    EXPECT_EQ(editor->windowTitle(), "Macro Edit");
    QStringList menus;
    for (QAction* a : editor->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"File", "Macro", "Load From..", "Save To...", "Keys"}));
    EXPECT_EQ(editor->findChild<QAction*>("Exit1")->text(), "Exit");
    EXPECT_EQ(editor->findChild<QAction*>("ShowMacros1")->text(), "Show Macros");
    EXPECT_EQ(editor->findChild<QAction*>("ShowKeys1")->text(), "Show Keys");
    for (int n = 1; n <= kMacroCount; ++n) {
        const QString caption = QString("M%1").arg(n);
        QAction* load = editor->findChild<QAction*>(QString("M%1").arg(n) + "1");
        QAction* save = editor->findChild<QAction*>(QString("M%1").arg(n) + "2");
        ASSERT_NE(load, nullptr) << n;
        ASSERT_NE(save, nullptr) << n;
        EXPECT_EQ(load->text(), caption);
        EXPECT_EQ(save->text(), caption);
        EXPECT_NE(load, save);
    }
    EXPECT_EQ(editor->ClrTxtBtn->text(), "Clear Text");
    EXPECT_EQ(editor->GroupBox1->title(), "Macro Keys");
    QStringList legend;
    for (QLabel* l : editor->GroupBox1->findChildren<QLabel*>())
        legend << l->text();
    EXPECT_EQ(legend.size(), 12);
    EXPECT_TRUE(legend.contains("%a  = Call"));
    EXPECT_TRUE(legend.contains("%g  =  MyInfo"));
    EXPECT_TRUE(legend.contains("%1 =  Beacon"));
    EXPECT_NE(dynamic_cast<TGkClock*>(editor->GkClock1), nullptr);
    EXPECT_EQ(editor->GkClock1->objectName(), "GkClock1");
}

TEST_F(MacroWindowsTest, SaveLoadAndListing) {
    editor->Memo1->setPlainText("CQ CQ DE %b %b K");
    editor->saveItems[3]->trigger(); // Save To... M3
    EXPECT_EQ(sources[3], "CQ CQ DE %b %b K");
    EXPECT_EQ(editor->ShortCutMemo->text(), "F3");

    editor->ShowMacros1->trigger();
    ASSERT_TRUE(listing->isVisible());
    EXPECT_EQ(listing->windowTitle(), "Tranmit Memory (Macros)");
    const QString text = listing->Memo1->toPlainText();
    EXPECT_TRUE(text.contains("\nM3 = CQ CQ DE %b %b K\n"));
    EXPECT_TRUE(text.contains("\nM5 = \n"));
    EXPECT_TRUE(listing->Memo1->isReadOnly());
    EXPECT_EQ(listing->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);

    // Saving while the listing is shown updates it at once.
    editor->Memo1->setPlainText("TU %c 73");
    editor->saveMacro(5);
    EXPECT_TRUE(listing->Memo1->toPlainText().contains("\nM5 = TU %c 73\n"));

    sources[12] = "QRL? de %b";
    editor->loadItems[12]->trigger(); // Load From.. M12
    EXPECT_EQ(editor->Memo1->toPlainText(), "QRL? de %b");
    EXPECT_EQ(editor->ShortCutMemo->text(), "Ctrl+2");
    EXPECT_TRUE(editor->ShortCutMemo->isReadOnly());

    // 8-bit round trip of an accented text.
    editor->Memo1->setPlainText("Gr\xC3\xBC\xC3\x9F"
                                "e");
    ASSERT_TRUE(editor->saveMacro(9));
    EXPECT_EQ(sources[9], "Gr\xFC\xDF"
                          "e");
    editor->Memo1->clear();
    editor->loadMacro(9);
    EXPECT_EQ(editor->Memo1->toPlainText(), QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                                                              "e"));
    EXPECT_TRUE(messages.empty());

    editor->MyNameMemo->setText("Anna");
    editor->MyQTHMemo->setText("Berlin");
    editor->QTHMemo->setText("RIG IC7300 ANT DIPOLE");
    editor->setClockTexts("22:30:00", "11:30:00 PM");
    editor->loadMacro(3);
    editor->show();
    saveShot(editor.get(), "macro_editor.png");
    listing->refresh(sources);
    saveShot(listing.get(), "macro_listing.png");
}

TEST_F(MacroWindowsTest, OverlongMacroIsRefusedAndNothingIsLost) {
    sources[4] = "OLD";
    const QString longText(static_cast<qsizetype>(kMacroMaxChars + 1), QChar('x'));
    editor->Memo1->setPlainText(longText);
    EXPECT_FALSE(editor->saveMacro(4));
    EXPECT_EQ(sources[4], "OLD");
    EXPECT_EQ(editor->Memo1->toPlainText(), longText);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, "Error Message");
    EXPECT_NE(messages[0].first.find("M4"), std::string::npos);

    editor->Memo1->setPlainText(QString(static_cast<qsizetype>(kMacroMaxChars), QChar('y')));
    EXPECT_TRUE(editor->saveMacro(4));
    EXPECT_EQ(sources[4].size(), kMacroMaxChars);
}

TEST_F(MacroWindowsTest, ClearExitAndClockTexts) {
    editor->show();
    editor->Memo1->setPlainText("text");
    QTest::mouseClick(editor->ClrTxtBtn, Qt::LeftButton);
    EXPECT_EQ(editor->Memo1->toPlainText(), "");
    editor->Memo1->setPlainText("text");
    editor->Exit1->trigger();
    EXPECT_EQ(editor->Memo1->toPlainText(), "");
    EXPECT_FALSE(editor->isVisible());

    editor->setClockTexts("04:03:02", "05:03:02 AM");
    EXPECT_EQ(editor->GMTMemo->text(), "04:03:02");
    EXPECT_EQ(editor->LocalTimeMemo->text(), "05:03:02 AM");
}

TEST_F(MacroWindowsTest, EditorFieldsReachAMessageButton) {
    struct Sender : MacroSender {
        std::string sent;
        bool sendBusy() const override { return false; }
        bool macroSendAllowed() const override { return true; }
        void send(int, const std::string& text) override { sent = text; }
    } sender;
    struct View : MacroButtonView {
        void markMessageButton(int) override {}
        bool doubleScreen() const override { return false; }
        void appendReceiveText(const std::string&) override {}
        void appendTransmitText(const std::string&) override {}
        void focusTransmitMemo() override {}
    } view;
    MessageButtons buttons(
        sources,
        [this] {
            MacroFields f;
            f.MyCallMemo = "DL1ABC";
            editor->fillMacroFields(f);
            return f;
        },
        sender, view, sink());

    editor->MyNameMemo->setText("Anna");
    editor->MyQTHMemo->setText("K\xC3\xB6ln");
    editor->QTHMemo->setText("RIG IC7300");
    editor->setClockTexts("04:03:02", "05:03:02 AM");
    editor->Memo1->setPlainText("DE %b OP %d QTH %h %g UTC %j LT %k");
    ASSERT_TRUE(editor->saveMacro(2));
    ASSERT_TRUE(buttons.click(2));
    EXPECT_EQ(sender.sent, "DE DL1ABC OP Anna QTH K\xF6ln RIG IC7300 UTC 04:03:02 LT 05:03:02 AM");

    editor->MyNameMemo->clear(); // read afresh at the next press
    ASSERT_TRUE(buttons.click(2));
    EXPECT_EQ(sender.sent, "DE DL1ABC OP QTH K\xF6ln RIG IC7300 UTC 04:03:02 LT 05:03:02 AM");
}

TEST_F(MacroWindowsTest, KeyListSavesAndRetrievesTheSameLines) {
    EXPECT_EQ(keys->windowTitle(), "Macro Keys");
    EXPECT_EQ(keys->SaveMacroBtn->text(), "SAVE");
    EXPECT_EQ(keys->RetrieveMacroBtn->text(), "Retrieve");
    // No file yet: showing the window leaves the memo as it is and says nothing.
    keys->MacroKeyMemo->setPlainText("unsaved note");
    editor->ShowKeys1->trigger();
    ASSERT_TRUE(keys->isVisible());
    EXPECT_EQ(keys->MacroKeyMemo->toPlainText(), "unsaved note");
    EXPECT_TRUE(messages.empty());
    // Retrieve of a file not made yet explains instead of emptying the notes.
    EXPECT_FALSE(keys->RetrieveMacroBtnClick());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].second, "File Message");
    EXPECT_EQ(keys->MacroKeyMemo->toPlainText(), "unsaved note");

    const QString notes = QString::fromUtf8("F1 CQ\nF2 report\n\nCtrl+1 r\xC3\xA9sum\xC3\xA9\n");
    keys->MacroKeyMemo->setPlainText(notes);
    QTest::mouseClick(keys->SaveMacroBtn, Qt::LeftButton);
    EXPECT_EQ(readFile(dir / "MacroKeys.txt"),
              "F1 CQ\r\nF2 report\r\n\r\nCtrl+1 r\xE9sum\xE9\r\n\r\n");
    keys->MacroKeyMemo->setPlainText("changed");
    QTest::mouseClick(keys->RetrieveMacroBtn, Qt::LeftButton);
    EXPECT_EQ(keys->MacroKeyMemo->toPlainText(), notes);
    keys->hide();
    keys->MacroKeyMemo->setPlainText("changed again");
    keys->show(); // showing loads the file
    EXPECT_EQ(keys->MacroKeyMemo->toPlainText(), notes);
    EXPECT_EQ(messages.size(), 1u);
    saveShot(keys.get(), "macro_keys.png");
}

TEST_F(MacroWindowsTest, KeyListFailuresAreReportedAndKeepTheNotes) {
    fs::create_directory(dir / "MacroKeys.txt"); // a folder where the file should be
    keys->MacroKeyMemo->setPlainText("notes");
    EXPECT_FALSE(keys->SaveMacroBtnClick());
    EXPECT_FALSE(keys->RetrieveMacroBtnClick());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].second, "File Error Message");
    EXPECT_EQ(messages[1].second, "File Error Message");
    EXPECT_EQ(keys->MacroKeyMemo->toPlainText(), "notes");

    TShowMacroKeysForm noFolder(sink(), []() -> fs::path {
        throw std::runtime_error("Could not create the DITA folder /nowhere");
    });
    EXPECT_FALSE(noFolder.SaveMacroBtnClick());
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_NE(messages[2].first.find("/nowhere"), std::string::npos);
}
