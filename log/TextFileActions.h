#pragma once
// The File menu's "Save Rcv", "Save Transmit" and "Load Transmit": the file dialogs and the
// reading and writing of the window texts.
//
// Who calls it: the main window's SaveRcv1Click, SaveTransmit1Click and LoadTransmit1Click
// handlers, on the window thread. Dialogs are made by replaceable functions so that tests can
// choose a file without a modal dialog; failures go through the MessageSink.
#include "common/MessageSink.h"

#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QFileDialog;
class QPlainTextEdit;
class QWidget;

namespace dita {

// What a loaded transmit text changes in transmit control.
class TransmitTextTarget {
public:
    virtual ~TransmitTextTarget() = default;
    // SendBufferIndex := bufferIndex, SendBuffers entry bufferIndex := text (8-bit, at most
    // 4095 characters), TextLoaded := 1.
    virtual void transmitTextLoaded(int bufferIndex, const std::string& text) = 0;
};

inline constexpr const char* kSaveDialogTitle = "My Save Dialog";
inline constexpr const char* kSaveDialogFilter = "Text Files (*.txt)";
inline constexpr const char* kOpenDialogFilter = "Text Files (*.txt)";
inline constexpr const char* kTextDefaultSuffix = "txt";
constexpr int kLoadedTextBuffer = 15;

class TextFileActions {
public:
    // Shows a dialog and returns the chosen file, or an empty string when cancelled.
    using FileChooser = std::function<QString(QWidget* owner)>;

    TextFileActions(QWidget* owner, MessageSink messages);

    void setChoosers(FileChooser save, FileChooser open);

    // SaveDialog1 and OpenDialog1 as the program shows them (the caller deletes them).
    static QFileDialog* makeSaveDialog(QWidget* owner);
    static QFileDialog* makeOpenDialog(QWidget* owner);

    // "Save Rcv" / "Save Transmit": asks for a file and writes the window's lines to it.
    // Returns true when a file was written.
    bool SaveRcv1Click(const QPlainTextEdit* RcvMemo);
    bool SaveTransmit1Click(const QPlainTextEdit* TransmitMemo);
    // "Load Transmit": asks for a file and puts its lines into the transmit window; then,
    // also after a cancel or a failed read, hands the window's text to transmit control as
    // buffer 15 and focuses the window. Returns true when a file was loaded.
    bool LoadTransmit1Click(QPlainTextEdit* TransmitMemo, TransmitTextTarget& target);

private:
    bool saveText(const QPlainTextEdit* memo);

    QWidget* m_owner;
    MessageSink m_messages;
    FileChooser m_chooseSave;
    FileChooser m_chooseOpen;
};

} // namespace dita
