#pragma once
// The "Rig Control" and "Keying Listener" setup dialogs. They edit a copy of the station
// settings; OK checks it (refusals go through the message sink, the dialog stays open) and
// emits accepted, after which settings() holds the result.
//
// Who calls it: StationLink, on the window thread.
#include "station/StationSettings.h"
#include "transmit/Messages.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace dita {

inline constexpr const char* kRigControlCaption = "Rig Control";
inline constexpr const char* kKeyingListenerCaption = "Keying Listener";
inline constexpr const char* kListenerTransmitOffText =
    "Xmit Enable is OFF: text from the keying listener is not keyed";

class RigControlDialog : public QDialog {
    Q_OBJECT
public:
    RigControlDialog(MessageSink messages, QWidget* parent = nullptr);
    void load(const StationSettings& settings);
    const StationSettings& settings() const { return m_settings; }
    void accept() override;

    QRadioButton* noneRadio;
    QRadioButton* serialRadio;
    QRadioButton* rigctldRadio;
    QComboBox* modelCombo;
    QLineEdit* deviceEdit;
    QComboBox* baudCombo;
    QLineEdit* hostEdit;
    QSpinBox* portSpin;
    QCheckBox* catPttBox;

private:
    void enableFields();
    MessageSink m_messages;
    StationSettings m_settings;
};

class KeyingListenerDialog : public QDialog {
    Q_OBJECT
public:
    KeyingListenerDialog(MessageSink messages, QWidget* parent = nullptr);
    void load(const StationSettings& settings);
    const StationSettings& settings() const { return m_settings; }
    void accept() override;

    QCheckBox* enableBox;
    QLineEdit* addressEdit;
    QSpinBox* portSpin;

private:
    MessageSink m_messages;
    StationSettings m_settings;
};

} // namespace dita
