#include "app/SoundCardDialogs.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "common/MessageSink.h"

namespace dita {

namespace {
constexpr int kNameMinWidth = 320; // room for long PortAudio device names
constexpr int kErrFormWidth = 460;
constexpr int kErrFormHeight = 240;
} // namespace

TSoundCardSelect::TSoundCardSelect(SoundCardHost& host, QWidget* owner)
    : QWidget(owner, Qt::Window), m_host(host) {
    setObjectName("SoundCardSelect");
    setWindowTitle("Select SoundCard");
    WaveUpDown = new QSpinBox(this);
    WaveUpDown->setObjectName("WaveUpDown");
    WaveUpDown->setRange(0, std::max(0, host.inputDeviceCount() - 1));
    SoundCardManf = new QLabel(this);
    SoundCardManf->setObjectName("SoundCardManf");
    SoundCardManf->setMinimumWidth(kNameMinWidth);
    CloseBtn = new QPushButton("Select", this);
    CloseBtn->setObjectName("CloseBtn");
    TermSndCardSel = new QPushButton("Quit Program", this);
    TermSndCardSel->setObjectName("TermSndCardSel");
    auto* l = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(WaveUpDown);
    row->addWidget(SoundCardManf, 1);
    l->addLayout(row);
    auto* b = new QHBoxLayout;
    b->addWidget(CloseBtn);
    b->addWidget(TermSndCardSel);
    l->addLayout(b);
    connect(WaveUpDown, &QSpinBox::valueChanged, this, [this] { WaveUpDownMouseUp(); });
    connect(CloseBtn, &QPushButton::clicked, this, [this] { CloseBtnClick(); });
    connect(TermSndCardSel, &QPushButton::clicked, this, [this] { TermSndCardSelClick(); });
}

void TSoundCardSelect::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TSoundCardSelect::closeEvent(QCloseEvent* event) {
    FormClose();
    event->ignore();
}

void TSoundCardSelect::setNameColour(const QColor& colour) {
    QPalette p = SoundCardManf->palette();
    p.setColor(QPalette::WindowText, colour);
    SoundCardManf->setPalette(p);
}

void TSoundCardSelect::showName() {
    const int pos = WaveUpDown->value();
    if (pos < m_host.inputDeviceCount())
        SoundCardManf->setText(QString::fromStdString(m_host.deviceName(pos)));
}

void TSoundCardSelect::FormShow() {
    m_host.selectionShown();
    if (m_host.inputDeviceCount() <= 0) {
        m_host.showMessage("No Sound Device Detected", kWaveDeviceCaption);
        return;
    }
    const QSignalBlocker block(WaveUpDown);
    WaveUpDown->setValue(m_host.inputDeviceId());
    showName();
}

void TSoundCardSelect::WaveUpDownMouseUp() {
    const int count = m_host.inputDeviceCount();
    if (WaveUpDown->value() >= count && count > 0) {
        const QSignalBlocker block(WaveUpDown);
        WaveUpDown->setValue(count - 1);
    }
    showName();
    setNameColour(Qt::blue); // a choice not yet taken
}

void TSoundCardSelect::CloseBtnClick() {
    setNameColour(Qt::black);
    if (m_host.deviceChosen(WaveUpDown->value())) {
        hide();
    } else {
        m_host.showMessage("Error Opening Input wave device, try a different device",
                           kWaveDeviceCaption);
        showName();
    }
}

void TSoundCardSelect::FormClose() {
    hide();
    setNameColour(Qt::black);
    m_host.selectionClosed();
}

void TSoundCardSelect::TermSndCardSelClick() {
    // Leaves at once, without saving the configuration; the loop is still stopped cleanly.
    hide();
    m_host.terminateWithoutSaving();
}

// ---------------------------------------------------------------- no sound card

TSndCardErrForm::TSndCardErrForm(SoundCardHost& host, QWidget* owner)
    : QWidget(owner, Qt::Window), m_host(host) {
    setObjectName("SndCardErrForm");
    setWindowTitle("Sound Card Error");
    SndCardErrMemo = new QPlainTextEdit(this);
    SndCardErrMemo->setObjectName("SndCardErrMemo");
    SndCardErrMemo->setReadOnly(true);
    SndCardErrMemo->setPlainText("No sound card was detected. Options are:\n"
                                 "\n"
                                 "1. Quit the program. If the program is to be used for code \n"
                                 "processing connect a cable to the Mic or Lines inputs to the \n"
                                 "computer and try again.\n"
                                 " \n"
                                 "2. Continue running the program if a sound card is \n"
                                 "installed. The program can only be used for sound card \n"
                                 "output (code practice or memory keyer).");
    ContinueBtn = new QPushButton("Continue", this);
    ContinueBtn->setObjectName("ContinueBtn");
    QuitBtn = new QPushButton("Quit", this);
    QuitBtn->setObjectName("QuitBtn");
    auto* l = new QVBoxLayout(this);
    l->addWidget(SndCardErrMemo);
    auto* b = new QHBoxLayout;
    b->addWidget(ContinueBtn);
    b->addWidget(QuitBtn);
    l->addLayout(b);
    resize(kErrFormWidth, kErrFormHeight);
    connect(ContinueBtn, &QPushButton::clicked, this, [this] { ContinueBtnClick(); });
    connect(QuitBtn, &QPushButton::clicked, this, [this] { QuitBtnClick(); });
}

void TSndCardErrForm::ContinueBtnClick() {
    m_host.continueWithoutInput();
    hide();
}

void TSndCardErrForm::QuitBtnClick() {
    m_quitChosen = true;
    hide();
    m_host.quitWithoutInput();
}

void TSndCardErrForm::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}

} // namespace dita
