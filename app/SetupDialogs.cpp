#include "app/SetupDialogs.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include "transmit/KeyingPort.h"

namespace dita {

namespace {
constexpr int kAfcStartMinHz = 100;
constexpr int kAfcStartMaxHz = 1500;
constexpr int kAfcStartStepHz = 10;
constexpr int kTimingMin = 50;
constexpr int kTimingMax = 200;
constexpr int kWordStep = 10;
constexpr int kComPortMax = 255;
constexpr int kComPortInForm = 3;
constexpr double kPercent = 100.0;
constexpr int kRatioDigits = 3;
} // namespace

SetupWindow::SetupWindow(QWidget* owner) : QWidget(owner, Qt::Window) {}

void SetupWindow::showEvent(QShowEvent* event) {
    // Room for the title-bar buttons on either side; the title font is about the window's.
    constexpr int kTitleBarButtonsPx = 160;
    const int titlePx = fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtonsPx;
    if (width() < titlePx) resize(titlePx, height());
    QWidget::showEvent(event);
}

void SetupWindow::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}

// ---------------------------------------------------------------- AFC start frequency

TAFCStartFreqForm::TAFCStartFreqForm(QWidget* owner, int startHz, std::function<void(int)> chosen)
    : SetupWindow(owner), m_chosen(std::move(chosen)) {
    setObjectName("AFCStartFreqForm");
    setWindowTitle("AFC Start Frequency");
    AFCStartSpinBtn = new QSpinBox(this);
    AFCStartSpinBtn->setObjectName("AFCStartSpinBtn");
    AFCStartSpinBtn->setRange(kAfcStartMinHz, kAfcStartMaxHz);
    AFCStartSpinBtn->setSingleStep(kAfcStartStepHz);
    AFCStartSpinBtn->setValue(startHz);
    AFCStartBtn = new QPushButton("Set Frequency", this);
    AFCStartBtn->setObjectName("AFCStartBtn");
    AFCStartCancelBtn = new QPushButton("Cancel", this);
    AFCStartCancelBtn->setObjectName("AFCStartCancelBtn");
    auto* l = new QVBoxLayout(this);
    l->addWidget(AFCStartSpinBtn);
    auto* b = new QHBoxLayout;
    b->addWidget(AFCStartBtn);
    b->addWidget(AFCStartCancelBtn);
    l->addLayout(b);
    connect(AFCStartBtn, &QPushButton::clicked, this, [this] { AFCStartBtnClick(); });
    connect(AFCStartCancelBtn, &QPushButton::clicked, this, [this] { AFCStartCancelBtnClick(); });
}

void TAFCStartFreqForm::AFCStartBtnClick() {
    if (m_chosen) m_chosen(AFCStartSpinBtn->value());
    hide();
}

void TAFCStartFreqForm::AFCStartCancelBtnClick() {
    hide();
}

void TAFCStartFreqForm::loadValue(int afcStartFreqHz) {
    AFCStartSpinBtn->setValue(afcStartFreqHz); // the spin box keeps it inside its range
}

// ---------------------------------------------------------------- character timing

TCharTimingForm::TCharTimingForm(QWidget* owner, const std::array<float, 4>& weights,
                                 WeightChanged weightChanged)
    : SetupWindow(owner), m_weightChanged(std::move(weightChanged)) {
    setObjectName("CharTimingForm");
    setWindowTitle("Character Timing");
    static const char* const kUpDn[] = {"DotUpDn", "DashUpDn", "CharUpDn", "WordUpDn"};
    static const char* const kMemo[] = {"DotLengthMemo", "DashLengthMemo", "CharSpaceMemo",
                                        "WordSpaceMemo"};
    static const char* const kLabel[] = {"Dot Length ", "Dash Length ", "Character Space",
                                         "Word Space"};
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Ratio Increase/Decrease", this), 0, 0, 1, 3);
    for (int i = 0; i < static_cast<int>(std::size(kUpDn)); ++i) {
        auto* up = new QSpinBox(this);
        up->setObjectName(kUpDn[i]);
        up->setRange(kTimingMin, kTimingMax);
        up->setSingleStep(i == 3 ? kWordStep : 1);
        // The controls start from the weights in use, so the window never shows a ratio that
        // the send timing does not apply.
        up->setValue(static_cast<int>(weights[static_cast<size_t>(i)]));
        auto* memo = new QLineEdit(ratioText(weights[static_cast<size_t>(i)]), this);
        memo->setObjectName(kMemo[i]);
        memo->setReadOnly(true);
        upDowns[static_cast<size_t>(i)] = up;
        memos[static_cast<size_t>(i)] = memo;
        grid->addWidget(new QLabel(kLabel[i], this), i + 1, 0);
        grid->addWidget(up, i + 1, 1);
        grid->addWidget(memo, i + 1, 2);
        connect(up, &QSpinBox::valueChanged, this, [this, i] { upDnClick(i); });
    }
    grid->addWidget(new QLabel("Standard Lengths", this), 5, 0, 1, 3);
    grid->addWidget(new QLabel("Dot Length            =      Code Speed", this), 6, 0, 1, 3);
    grid->addWidget(new QLabel("Dash Length         = 3 * Code Speed", this), 7, 0, 1, 3);
    grid->addWidget(new QLabel("Character Length =  3 * Code Speed", this), 8, 0, 1, 3);
    grid->addWidget(new QLabel("Word Length         = 7 * Code Speed", this), 9, 0, 1, 3);
}

QString TCharTimingForm::ratioText(float weight) {
    return QString::number(weight / kPercent, 'g', kRatioDigits);
}

void TCharTimingForm::upDnClick(int index) {
    const auto i = static_cast<size_t>(index);
    const auto weight = static_cast<float>(upDowns[i]->value());
    memos[i]->setText(ratioText(weight));
    if (m_weightChanged) m_weightChanged(index, weight);
}

void TCharTimingForm::loadValues(const std::array<float, 4>& weights) {
    for (size_t i = 0; i < weights.size(); ++i) {
        const QSignalBlocker block(upDowns[i]);
        upDowns[i]->setValue(static_cast<int>(weights[i]));
        memos[i]->setText(ratioText(weights[i]));
    }
}

// ---------------------------------------------------------------- COM port

TComPortSelectForm::TComPortSelectForm(QWidget* owner, std::function<void(int)> openComPort)
    : SetupWindow(owner), m_openComPort(std::move(openComPort)) {
    setObjectName("ComPortSelectForm");
    setWindowTitle("COM Port Selection");
    ComPortSpinBtn = new QSpinBox(this);
    ComPortSpinBtn->setObjectName("ComPortSpinBtn");
    ComPortSpinBtn->setRange(1, kComPortMax);
    ComPortSpinBtn->setValue(kComPortInForm);
    ComPortDeviceLabel = new QLabel(this);
    ComPortDeviceLabel->setObjectName("ComPortDeviceLabel");
    SelectComPortBtn = new QPushButton("Select COM Port", this);
    SelectComPortBtn->setObjectName("SelectComPortBtn");
    ComPortCancelBtn = new QPushButton("Cancel", this);
    ComPortCancelBtn->setObjectName("ComPortCancelBtn");
    auto* l = new QVBoxLayout(this);
    l->addWidget(ComPortSpinBtn);
    l->addWidget(ComPortDeviceLabel);
    auto* b = new QHBoxLayout;
    b->addWidget(SelectComPortBtn);
    b->addWidget(ComPortCancelBtn);
    l->addLayout(b);
    connect(ComPortSpinBtn, &QSpinBox::valueChanged, this, [this] { showDevice(); });
    connect(SelectComPortBtn, &QPushButton::clicked, this, [this] { SelectComPortBtnClick(); });
    connect(ComPortCancelBtn, &QPushButton::clicked, this, [this] { ComPortCancelBtnClick(); });
    showDevice();
}

void TComPortSelectForm::showDevice() {
    const std::string dev = comDevicePath(ComPortSpinBtn->value());
    ComPortDeviceLabel->setText(
        dev.empty()
            ? QString("COM %1: no device").arg(ComPortSpinBtn->value())
            : QString("COM %1 = %2").arg(ComPortSpinBtn->value()).arg(QString::fromStdString(dev)));
}

void TComPortSelectForm::SelectComPortBtnClick() {
    hide();
    if (m_openComPort) m_openComPort(ComPortSpinBtn->value());
}

void TComPortSelectForm::ComPortCancelBtnClick() {
    hide();
}

void TComPortSelectForm::loadValue(int comPortNumber) {
    ComPortSpinBtn->setValue(comPortNumber);
}

} // namespace dita
