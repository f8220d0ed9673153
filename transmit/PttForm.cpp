#include "transmit/PttForm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QVBoxLayout>

namespace dita {

namespace {

constexpr const char* kDtrBothText = "Cannot assign DTR to both Data and PPT";
constexpr const char* kRtsBothText = "Cannot assign RTS to both Data and PPT";
constexpr const char* kBothPttText = "Cannot assign both DTR and RTS to be PPT";

} // namespace

TPTTForm::TPTTForm(KeyingPort& port, MessageSink messages, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_port(port),
      m_messages(std::move(messages)), m_readLines([this] { return m_port.ptt(); }),
      m_changeLines([this](const PttSettings& lines) { m_port.setPtt(lines); }) {
    setWindowTitle("PTT Setup");
    setObjectName("TPTTForm");
    if (!m_messages) {
        m_messages = [this](const std::string& text, const std::string& caption) {
            QMessageBox::warning(this, QString::fromStdString(caption),
                                 QString::fromStdString(text), QMessageBox::Ok);
        };
    }
    auto make = [this](const char* name, const char* caption) {
        auto* box = new QCheckBox(caption, this);
        box->setObjectName(name);
        return box;
    };
    PTTEnbCheckBox = make("PTTEnbCheckBox", "PTT Enable");
    PTTInvChkBox = make("PTTInvChkBox", "PTT Invert");
    DTRChkBox1 = make("DTRChkBox1", "DTR");
    RTSChkBox1 = make("RTSChkBox1", "RTS");
    DTRChkBox2 = make("DTRChkBox2", "DTR");
    RTSChkBox2 = make("RTSChkBox2", "RTS");

    auto* data = new QGroupBox("Data Output", this);
    auto* dataLayout = new QVBoxLayout(data);
    dataLayout->addWidget(DTRChkBox1);
    dataLayout->addWidget(RTSChkBox1);
    auto* ptt = new QGroupBox("PTT Output", this);
    auto* pttLayout = new QVBoxLayout(ptt);
    pttLayout->addWidget(DTRChkBox2);
    pttLayout->addWidget(RTSChkBox2);
    auto* groups = new QHBoxLayout;
    groups->addWidget(data);
    groups->addWidget(ptt);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PTTEnbCheckBox);
    layout->addWidget(PTTInvChkBox);
    layout->addLayout(groups);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // clicked() fires on a completed mouse release (and the keyboard), after the check state
    // has changed: the moment the original's mouse-up handlers ran.
    connect(PTTEnbCheckBox, &QCheckBox::clicked, this, &TPTTForm::PTTEnbCheckBoxMouseUp);
    connect(PTTInvChkBox, &QCheckBox::clicked, this, &TPTTForm::PTTInvChkBoxMouseUp);
    connect(DTRChkBox1, &QCheckBox::clicked, this, &TPTTForm::DTRChkBox1MouseUp);
    connect(RTSChkBox1, &QCheckBox::clicked, this, &TPTTForm::RTSChkBox1MouseUp);
    connect(DTRChkBox2, &QCheckBox::clicked, this, &TPTTForm::DTRChkBox2MouseUp);
    connect(RTSChkBox2, &QCheckBox::clicked, this, &TPTTForm::RTSChkBox2MouseUp);
    refreshFromSettings();
}

void TPTTForm::setLines(ReadLines read, ChangeLines change) {
    m_readLines = std::move(read);
    m_changeLines = std::move(change);
    refreshFromSettings();
}

void TPTTForm::refreshFromSettings() {
    const PttSettings p = m_readLines();
    PTTEnbCheckBox->setChecked(p.PttEnable);
    PTTInvChkBox->setChecked(p.PttInvert);
    DTRChkBox1->setChecked(p.DtrIsData);
    RTSChkBox1->setChecked(p.RtsIsData);
    DTRChkBox2->setChecked(p.DtrIsPtt);
    RTSChkBox2->setChecked(p.RtsIsPtt);
}

void TPTTForm::showEvent(QShowEvent* event) {
    refreshFromSettings();
    QDialog::showEvent(event);
}

void TPTTForm::refuse(QCheckBox* box, const char* text) {
    box->setChecked(false);
    m_messages(text, kErrorMessageCaption);
}

void TPTTForm::PTTEnbCheckBoxMouseUp() {
    PttSettings p = m_readLines();
    p.PttEnable = PTTEnbCheckBox->isChecked();
    m_changeLines(p);
    m_port.KeyState = kKeyUp;
    m_port.updatePtt();
}

void TPTTForm::PTTInvChkBoxMouseUp() {
    PttSettings p = m_readLines();
    p.PttInvert = PTTInvChkBox->isChecked();
    m_changeLines(p);
    m_port.KeyState = kKeyUp;
    m_port.updatePtt();
}

void TPTTForm::dataBoxClicked(QCheckBox* box, ModemLine line) {
    PttSettings p = m_readLines();
    const bool dtr = line == ModemLine::Dtr;
    const bool isPtt = dtr ? p.DtrIsPtt : p.RtsIsPtt;
    if (box->isChecked() && isPtt) {
        refuse(box, dtr ? kDtrBothText : kRtsBothText);
        return;
    }
    (dtr ? p.DtrIsData : p.RtsIsData) = box->isChecked();
    m_changeLines(p);
}

void TPTTForm::pttBoxClicked(QCheckBox* box, ModemLine line) {
    PttSettings p = m_readLines();
    const bool dtr = line == ModemLine::Dtr;
    if (box->isChecked()) {
        const bool isData = dtr ? p.DtrIsData : p.RtsIsData;
        const bool otherIsPtt = dtr ? p.RtsIsPtt : p.DtrIsPtt;
        if (isData) {
            refuse(box, dtr ? kDtrBothText : kRtsBothText);
            return;
        }
        if (otherIsPtt) refuse(box, kBothPttText);
    }
    (dtr ? p.DtrIsPtt : p.RtsIsPtt) = box->isChecked();
    m_changeLines(p);
}

void TPTTForm::DTRChkBox1MouseUp() {
    dataBoxClicked(DTRChkBox1, ModemLine::Dtr);
}
void TPTTForm::RTSChkBox1MouseUp() {
    dataBoxClicked(RTSChkBox1, ModemLine::Rts);
}
void TPTTForm::DTRChkBox2MouseUp() {
    pttBoxClicked(DTRChkBox2, ModemLine::Dtr);
}
void TPTTForm::RTSChkBox2MouseUp() {
    pttBoxClicked(RTSChkBox2, ModemLine::Rts);
}

} // namespace dita
