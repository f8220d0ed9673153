#include "app/SoundCardDialogs.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/DecoderForm.h"

namespace dita {

namespace {
constexpr int kNameMinWidth = 320; // room for long PortAudio device names
constexpr int kErrFormWidth = 460;
constexpr int kErrFormHeight = 240;
} // namespace

TSoundCardSelect::TSoundCardSelect(TDecoderForm& form) : QWidget(&form, Qt::Window), m_form(form) {
    setObjectName("SoundCardSelect");
    setWindowTitle("Select SoundCard");
    WaveUpDown = new QSpinBox(this);
    WaveUpDown->setObjectName("WaveUpDown");
    WaveUpDown->setRange(0, std::max(0, form.inputDeviceCount() - 1));
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
    if (pos < m_form.inputDeviceCount())
        SoundCardManf->setText(QString::fromStdString(m_form.deviceCatalog().name(pos)));
}

void TSoundCardSelect::FormShow() {
    m_form.flags().SelectionDialogVisible.store(true);
    if (m_form.inputDeviceCount() <= 0) {
        m_form.messages().show("No Sound Device Detected", kWaveCaption);
        return;
    }
    const QSignalBlocker block(WaveUpDown);
    WaveUpDown->setValue(m_form.settings().InputDeviceId);
    showName();
}

void TSoundCardSelect::WaveUpDownMouseUp() {
    const int count = m_form.inputDeviceCount();
    if (WaveUpDown->value() >= count && count > 0) {
        const QSignalBlocker block(WaveUpDown);
        WaveUpDown->setValue(count - 1);
    }
    showName();
    setNameColour(Qt::blue); // a choice not yet taken
}

void TSoundCardSelect::CloseBtnClick() {
    setNameColour(Qt::black);
    const int pos = WaveUpDown->value();
    if (m_form.testOpenInputDevice(pos)) {
        m_form.settings().InputDeviceId = pos;
        auto& f = m_form.flags();
        f.LoopStopped.store(true);
        f.RestartLoop.store(true); // a loop entered while the dialog was up reopens the device
        f.QuitRequested.store(false);
        f.NoInputDevice.store(false);
        f.SelectionDialogVisible.store(false);
        hide();
        m_form.enableSystemTimer();
    } else {
        m_form.messages().show("Error Opening Input wave device, try a different device",
                               kWaveCaption);
        showName();
    }
}

void TSoundCardSelect::FormClose() {
    hide();
    setNameColour(Qt::black);
    auto& f = m_form.flags();
    f.LoopStopped.store(true);
    f.RestartLoop.store(true);
    f.QuitRequested.store(false);
    f.SelectionDialogVisible.store(false);
    m_form.enableSystemTimer();
}

void TSoundCardSelect::TermSndCardSelClick() {
    // Leaves at once, without saving the configuration; the loop is still stopped cleanly.
    hide();
    m_form.flags().SelectionDialogVisible.store(false);
    m_form.stopSequence();
    m_form.terminateApplication();
}

// ---------------------------------------------------------------- no sound card

TSndCardErrForm::TSndCardErrForm(TDecoderForm& form) : QWidget(&form, Qt::Window), m_form(form) {
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
    m_form.flags().NoInputDevice.store(true);
    hide();
}

void TSndCardErrForm::QuitBtnClick() {
    m_form.flags().NoInputDevice.store(true);
    quitChosen = true;
    hide();
    m_form.Quit1Click();
}

void TSndCardErrForm::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}

} // namespace dita
