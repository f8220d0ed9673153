#include "station/StationDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <arpa/inet.h>

namespace dita {

namespace {

constexpr int kBaudRates[] = {4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;

QDialogButtonBox* okCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

RigControlDialog::RigControlDialog(MessageSink messages, QWidget* parent)
    : QDialog(parent), m_messages(std::move(messages)) {
    setWindowTitle(kRigControlCaption);
    auto* layout = new QVBoxLayout(this);
    noneRadio = new QRadioButton("None", this);
    serialRadio = new QRadioButton("Rig on a serial port", this);
    rigctldRadio = new QRadioButton("rigctld server (one rig shared by several programs)", this);

    auto* serialBox = new QGroupBox(this);
    auto* serialForm = new QFormLayout(serialBox);
    modelCombo = new QComboBox(serialBox);
    for (const RigModelInfo& m : hamlibRigModels()) {
        modelCombo->addItem(
            QString::fromStdString(m.maker + " " + m.name + " (" + std::to_string(m.model) + ")"),
            m.model);
    }
    deviceEdit = new QLineEdit(serialBox);
    deviceEdit->setPlaceholderText("/dev/ttyUSB0");
    baudCombo = new QComboBox(serialBox);
    baudCombo->addItem("The model's own", 0);
    for (int rate : kBaudRates)
        baudCombo->addItem(QString::number(rate), rate);
    serialForm->addRow("Model", modelCombo);
    serialForm->addRow("Device", deviceEdit);
    serialForm->addRow("Speed", baudCombo);

    auto* netBox = new QGroupBox(this);
    auto* netForm = new QFormLayout(netBox);
    hostEdit = new QLineEdit(netBox);
    portSpin = new QSpinBox(netBox);
    portSpin->setRange(kLowestPort, kHighestPort);
    netForm->addRow("Host", hostEdit);
    netForm->addRow("Port", portSpin);

    catPttBox = new QCheckBox("PTT by CAT command (when PTT Enable is on in Setup PTT)", this);
    layout->addWidget(noneRadio);
    layout->addWidget(serialRadio);
    layout->addWidget(serialBox);
    layout->addWidget(rigctldRadio);
    layout->addWidget(netBox);
    layout->addWidget(catPttBox);
    layout->addWidget(okCancel(this));
    for (QRadioButton* r : {noneRadio, serialRadio, rigctldRadio}) {
        connect(r, &QRadioButton::toggled, this, [this] { enableFields(); });
    }
}

void RigControlDialog::load(const StationSettings& settings) {
    m_settings = settings;
    const RigEndpoint& rig = settings.rig;
    noneRadio->setChecked(rig.connection == RigConnection::None);
    serialRadio->setChecked(rig.connection == RigConnection::SerialRig);
    rigctldRadio->setChecked(rig.connection == RigConnection::Rigctld);
    const int model = modelCombo->findData(rig.model);
    modelCombo->setCurrentIndex(model >= 0 ? model : modelCombo->findData(kRigDefaultModel));
    deviceEdit->setText(QString::fromStdString(rig.device));
    const int baud = baudCombo->findData(rig.baud);
    baudCombo->setCurrentIndex(baud >= 0 ? baud : 0);
    hostEdit->setText(QString::fromStdString(rig.host));
    portSpin->setValue(rig.port);
    catPttBox->setChecked(rig.catPtt);
    enableFields();
}

void RigControlDialog::enableFields() {
    modelCombo->setEnabled(serialRadio->isChecked());
    deviceEdit->setEnabled(serialRadio->isChecked());
    baudCombo->setEnabled(serialRadio->isChecked());
    hostEdit->setEnabled(rigctldRadio->isChecked());
    portSpin->setEnabled(rigctldRadio->isChecked());
    catPttBox->setEnabled(!noneRadio->isChecked());
}

void RigControlDialog::accept() {
    RigEndpoint rig = m_settings.rig;
    rig.connection = serialRadio->isChecked()    ? RigConnection::SerialRig
                     : rigctldRadio->isChecked() ? RigConnection::Rigctld
                                                 : RigConnection::None;
    rig.model = modelCombo->currentData().toInt();
    rig.device = deviceEdit->text().trimmed().toStdString();
    rig.baud = baudCombo->currentData().toInt();
    rig.host = hostEdit->text().trimmed().toStdString();
    rig.port = static_cast<uint16_t>(portSpin->value());
    rig.catPtt = catPttBox->isChecked();
    if (rig.connection == RigConnection::SerialRig && rig.model != kRigModelDummy &&
        rig.device.empty()) {
        m_messages("Choose the serial device the rig is connected to", kRigControlCaption);
        return;
    }
    if (rig.connection == RigConnection::Rigctld && rig.host.empty()) {
        m_messages("Enter the host name or address of the rigctld server", kRigControlCaption);
        return;
    }
    m_settings.rig = rig;
    QDialog::accept();
}

KeyingListenerDialog::KeyingListenerDialog(MessageSink messages, QWidget* parent)
    : QDialog(parent), m_messages(std::move(messages)) {
    setWindowTitle(kKeyingListenerCaption);
    auto* layout = new QVBoxLayout(this);
    enableBox = new QCheckBox("Key the text contest loggers send (cwdaemon protocol)", this);
    auto* form = new QFormLayout;
    addressEdit = new QLineEdit(this);
    portSpin = new QSpinBox(this);
    portSpin->setRange(kLowestPort, kHighestPort);
    form->addRow("Address", addressEdit);
    form->addRow("UDP port", portSpin);
    auto* note = new QLabel("127.0.0.1 takes only programs on this computer; 0.0.0.0 takes "
                            "every network this computer is on.",
                            this);
    note->setWordWrap(true);
    layout->addWidget(enableBox);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(okCancel(this));
}

void KeyingListenerDialog::load(const StationSettings& settings) {
    m_settings = settings;
    enableBox->setChecked(settings.listener.enabled);
    addressEdit->setText(QString::fromStdString(settings.listener.address));
    portSpin->setValue(settings.listener.port);
}

void KeyingListenerDialog::accept() {
    KeyingListenerSettings l;
    l.enabled = enableBox->isChecked();
    l.address = addressEdit->text().trimmed().toStdString();
    l.port = static_cast<uint16_t>(portSpin->value());
    in_addr parsed{};
    if (inet_pton(AF_INET, l.address.c_str(), &parsed) != 1) {
        m_messages("'" + l.address + "' is not an IPv4 address such as 127.0.0.1",
                   kKeyingListenerCaption);
        return;
    }
    m_settings.listener = l;
    QDialog::accept();
}

} // namespace dita
