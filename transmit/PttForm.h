#pragma once
// TPTTForm, the "PTT Setup" dialog: which serial lines carry the key and which one is PTT.
// Refuses conflicting assignments with a message through the injected sink, so tests never
// meet a modal box.
//
// Who calls it: the main window creates it once and shows it from the "Setup PTT" item; all
// of it runs on the window thread.
#include "transmit/KeyingPort.h"
#include "transmit/Messages.h"

#include <QDialog>

#include <functional>

class QCheckBox;

namespace dita {

class TPTTForm : public QDialog {
    Q_OBJECT
public:
    // messages defaults to a QMessageBox owned by this dialog.
    explicit TPTTForm(KeyingPort& port, MessageSink messages = {}, QWidget* parent = nullptr);

    QCheckBox* PTTEnbCheckBox = nullptr;
    QCheckBox* PTTInvChkBox = nullptr;
    QCheckBox* DTRChkBox1 = nullptr; // "Data Output"
    QCheckBox* RTSChkBox1 = nullptr;
    QCheckBox* DTRChkBox2 = nullptr; // "PTT Output"
    QCheckBox* RTSChkBox2 = nullptr;

    // Where the line assignment is kept: by default the port itself; a window that keeps it with
    // its settings reads it from there and is sent each change (and passes it on to the port).
    using ReadLines = std::function<PttSettings()>;
    using ChangeLines = std::function<void(const PttSettings&)>;
    void setLines(ReadLines read, ChangeLines change);
    // Shows the current assignment in the boxes (also done when the dialog is shown).
    void refreshFromSettings();

    // The mouse-up handlers, also reachable for the window and tests.
    void PTTEnbCheckBoxMouseUp();
    void PTTInvChkBoxMouseUp();
    void DTRChkBox1MouseUp();
    void RTSChkBox1MouseUp();
    void DTRChkBox2MouseUp();
    void RTSChkBox2MouseUp();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void dataBoxClicked(QCheckBox* box, ModemLine line);
    void pttBoxClicked(QCheckBox* box, ModemLine line);
    void refuse(QCheckBox* box, const char* text);

    KeyingPort& m_port;
    MessageSink m_messages;
    ReadLines m_readLines;
    ChangeLines m_changeLines;
};

} // namespace dita
