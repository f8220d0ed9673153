#include "log/TextFileActions.h"

#include "common/TextFiles.h"
#include "log/AdifLog.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace dita {

namespace {

QString runDialog(QFileDialog* dialog) {
    QString chosen;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().first();
    delete dialog;
    return chosen;
}

std::filesystem::path toPath(const QString& file) {
    return std::filesystem::path(file.toStdString());
}

} // namespace

TextFileActions::TextFileActions(QWidget* owner, MessageSink messages)
    : m_owner(owner), m_messages(std::move(messages)),
      m_chooseSave([](QWidget* o) { return runDialog(makeSaveDialog(o)); }),
      m_chooseOpen([](QWidget* o) { return runDialog(makeOpenDialog(o)); }) {}

void TextFileActions::setChoosers(FileChooser save, FileChooser open) {
    m_chooseSave = std::move(save);
    m_chooseOpen = std::move(open);
}

QFileDialog* TextFileActions::makeSaveDialog(QWidget* owner) {
    auto* d = new QFileDialog(owner, kSaveDialogTitle);
    d->setObjectName("SaveDialog1");
    d->setAcceptMode(QFileDialog::AcceptSave);
    d->setFileMode(QFileDialog::AnyFile);
    d->setNameFilter(kSaveDialogFilter);
    d->setDefaultSuffix(kTextDefaultSuffix);
    // Asking before an existing file is overwritten is QFileDialog's default; the read-only
    // box does not exist in it. The dialog can be resized.
    d->setSizeGripEnabled(true);
    return d;
}

QFileDialog* TextFileActions::makeOpenDialog(QWidget* owner) {
    auto* d = new QFileDialog(owner);
    d->setObjectName("OpenDialog1");
    d->setAcceptMode(QFileDialog::AcceptOpen);
    d->setFileMode(QFileDialog::ExistingFile);
    d->setNameFilter(kOpenDialogFilter);
    d->setDefaultSuffix(kTextDefaultSuffix);
    return d;
}

bool TextFileActions::saveText(const QPlainTextEdit* memo) {
    const QString file = m_chooseSave(m_owner);
    if (file.isEmpty()) return false;
    std::string error;
    if (!saveTextLines(toPath(file), splitLines(memo->toPlainText().toStdString()), LineEnd::Lf,
                       error)) {
        m_messages(error, kFileErrorCaption);
        return false;
    }
    return true;
}

bool TextFileActions::SaveRcv1Click(const QPlainTextEdit* RcvMemo) {
    return saveText(RcvMemo);
}

bool TextFileActions::SaveTransmit1Click(const QPlainTextEdit* TransmitMemo) {
    return saveText(TransmitMemo);
}

bool TextFileActions::LoadTransmit1Click(QPlainTextEdit* TransmitMemo, TransmitTextTarget& target) {
    bool loaded = false;
    const QString file = m_chooseOpen(m_owner);
    if (!file.isEmpty()) {
        std::vector<std::string> lines;
        std::string error;
        if (loadTextLines(toPath(file), lines, error)) {
            TransmitMemo->setPlainText(QString::fromStdString(joinLines(lines)));
            TransmitMemo->moveCursor(QTextCursor::End);
            loaded = true;
        } else {
            m_messages(error, kFileErrorCaption);
        }
    }
    target.transmitTextLoaded(kLoadedTextBuffer,
                              transmitBufferText(TransmitMemo->toPlainText().toStdString()));
    TransmitMemo->setFocus();
    return loaded;
}

} // namespace dita
