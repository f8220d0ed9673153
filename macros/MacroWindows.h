#pragma once
// The macro windows: the macro editor TXmitMacrosForm ("Macro Edit"), the macro listing
// TTransmitMemoryForm and the key list TShowMacroKeysForm with its file MacroKeys.txt.
//
// Who calls it: the main window creates the three once at start (they live as long as it
// does) and shows them from its Macros menu; everything runs on the window thread. Messages
// go through the MessageSink the window passes in.
#include "common/MessageSink.h"
#include "macros/MacroExpansion.h"

#include <QGroupBox>
#include <QMainWindow>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>

class QAction;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TGkClock;

namespace dita::macros {

inline constexpr const char* kMacroKeyFileName = "MacroKeys.txt";

// The message buttons of the main window, M1..M15: caption "Mn", object name (MsgButton1 ..
// MsgButton150), hint, and no keyboard focus, so typing stays in the transmit window. The main
// window places them and connects their clicks.
using MessageButtonArray = std::array<QPushButton*, kMacroCount + 1>; // index 0 unused
QPushButton* createMessageButton(int n, QWidget* parent);
// Puts the bold and underlined mark on button n (the macro being sent) and takes it from every
// other one; n = 0 clears all marks.
void markMessageButtons(const MessageButtonArray& buttons, int n);

// Read-only listing of all fifteen macro texts ("Show Macros").
class TTransmitMemoryForm : public QWidget {
    Q_OBJECT
public:
    explicit TTransmitMemoryForm(QWidget* parent = nullptr);
    // Shows the window and fills it.
    void showMacros(const MacroSources& sources);
    // Rebuilds the listing without showing the window.
    void refresh(const MacroSources& sources);

    QPlainTextEdit* Memo1;
};

// Free-form notes about the macro keys, kept in MacroKeys.txt in the DITA folder.
class TShowMacroKeysForm : public QWidget {
    Q_OBJECT
public:
    using PathSource = std::function<std::filesystem::path()>;
    explicit TShowMacroKeysForm(MessageSink messages, PathSource keyFile = defaultKeyFile,
                                QWidget* parent = nullptr);
    static std::filesystem::path defaultKeyFile();

    QPlainTextEdit* MacroKeyMemo;
    QPushButton* SaveMacroBtn;
    QPushButton* RetrieveMacroBtn;

public slots:
    // Writes the memo's lines (CR LF). Returns true when the file was written.
    bool SaveMacroBtnClick();
    // Reads the file into the memo. Returns true when it was read.
    bool RetrieveMacroBtnClick();

protected:
    // FormShow: loads the file; a file not made yet leaves the memo as it is, silently.
    void showEvent(QShowEvent* event) override;

private:
    bool load(bool quietWhenMissing);
    MessageSink m_messages;
    PathSource m_keyFile;
};

// The macro editor.
class TXmitMacrosForm : public QMainWindow {
    Q_OBJECT
public:
    // The editor reads and writes `sources` (owned by the main window) and opens the two
    // viewers, which may be null.
    TXmitMacrosForm(MacroSources& sources, MessageSink messages, TTransmitMemoryForm* listing,
                    TShowMacroKeysForm* keys, QWidget* parent = nullptr);

    QPlainTextEdit* Memo1;
    QPushButton* ClrTxtBtn;
    QLineEdit* MyNameMemo;
    QLineEdit* MyQTHMemo;
    QLineEdit* QTHMemo;
    QLineEdit* ShortCutMemo;
    QLineEdit* GMTMemo;
    QLineEdit* LocalTimeMemo;
    TGkClock* GkClock1;
    QGroupBox* GroupBox1;
    QAction* Exit1;
    QAction* ShowMacros1;
    QAction* ShowKeys1;
    // Index n (1..15): the "Load From.." item M<n>1 and the "Save To..." item M<n>2.
    std::array<QAction*, kMacroCount + 1> loadItems{};
    std::array<QAction*, kMacroCount + 1> saveItems{};

    // Load macro n into Memo1 (M11Click .. M151Click).
    void loadMacro(int n);
    // Save Memo1 as macro n (M12Click .. M152Click). A text longer than 4095 characters is
    // refused with a message and the macro keeps its old text. Returns true when saved.
    bool saveMacro(int n);
    void Exit1Click();
    void ShowMacros1Click();
    void ShowKeys1Click();

    // The clock refresh: GMTMemo and LocalTimeMemo.
    void setClockTexts(const std::string& utcTime, const std::string& localTime);
    // The editor's values for macro expansion: MyNameMemo, QTHMemo, MyQTHMemo, GMTMemo and
    // LocalTimeMemo.
    void fillMacroFields(MacroFields& fields) const;

    // The station texts the operator types here (a change reports through the signals below).
    void setMyName(const QString& text);
    void setMyQth(const QString& text);
    void setQth(const QString& text);

signals:
    void myNameChanged(const QString& text);
    void myQthChanged(const QString& text);
    void qthChanged(const QString& text);

private:
    MacroSources& m_sources;
    MessageSink m_messages;
    TTransmitMemoryForm* m_listing;
    TShowMacroKeysForm* m_keys;
};

} // namespace dita::macros
