#include "app/TransmitSpeedPanel.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include "app/DecoderFormLayout.h"
#include "common/WidgetColours.h"
#include "transmit/TransmitControls.h"

namespace dita {

using namespace form_layout;

TransmitSpeedPanel::TransmitSpeedPanel(QWidget* parent, TransmitSpeedControls& rules,
                                       std::function<int32_t()> receiveWpm)
    : QObject(parent), m_rules(rules), m_receiveWpm(std::move(receiveWpm)) {
    auto* caption = new QLabel("Xmit WPM", parent);
    caption->setGeometry(kXmitWPMCaptionRect);

    XmitSpdUpDn2 = new QSpinBox(parent);
    XmitSpdUpDn2->setObjectName("XmitSpdUpDn2");
    XmitSpdUpDn2->setToolTip("Set Transmit Code Speed");
    XmitSpdUpDn2->setRange(kXmitSpeedMin, kXmitSpeedMax);
    XmitSpdUpDn2->setValue(m_rules.spinValue());
    XmitSpdUpDn2->setGeometry(kXmitSpdUpDn2Rect);
    XmitSpdUpDn2->setKeyboardTracking(false); // one change per finished entry, not per digit
    connect(XmitSpdUpDn2, &QSpinBox::valueChanged, this,
            [this](int value) { XmitSpdUpDn2Change(value); });

    // The up-down: its arrows only; a release ends a change (mouse or keyboard).
    XmitSpdUpDn = new QSpinBox(parent);
    XmitSpdUpDn->setObjectName("XmitSpdUpDn");
    XmitSpdUpDn->setRange(kXmitSpeedMin, kXmitSpeedMax);
    XmitSpdUpDn->setValue(m_rules.upDownPosition());
    XmitSpdUpDn->setGeometry(kXmitSpdUpDnRect);
    // Only the arrows show: XmitSpeedPanel beside it carries the number.
    if (auto* number = XmitSpdUpDn->findChild<QLineEdit*>()) number->setMaximumWidth(0);
    XmitSpdUpDn->installEventFilter(this);
    connect(XmitSpdUpDn, &QSpinBox::valueChanged, this, [this](int position) {
        m_rules.XmitSpdUpDnChanging(position);
        showSpeed();
    });
    connect(XmitSpdUpDn, &QSpinBox::editingFinished, this, [this] { XmitSpdUpDnMouseUp(); });

    XmitSpeedPanel = new QLabel(QString::fromStdString(m_rules.speedPanelText()), parent);
    XmitSpeedPanel->setObjectName("XmitSpeedPanel");
    XmitSpeedPanel->setGeometry(kXmitSpeedPanelRect);
    XmitSpeedPanel->setAutoFillBackground(true);
    XmitSpeedPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    XmitSpeedPanel->setAlignment(Qt::AlignCenter);

    SyncBtn = new QPushButton("Sync", parent);
    SyncBtn->setObjectName("SyncBtn");
    SyncBtn->setToolTip("Synchronize Transmit Speed to Receive Speed");
    SyncBtn->setGeometry(kSyncBtnRect);
    connect(SyncBtn, &QPushButton::clicked, this, [this] { SyncBtnClick(); });
}

void TransmitSpeedPanel::lockSpeed(int32_t wpm) {
    m_rules.lockedSpeed(wpm);
    showSpeed();
}

void TransmitSpeedPanel::applyStoredSpeed(int32_t wpm) {
    m_rules.applyStoredSpeed(wpm);
    showSpeed();
}

void TransmitSpeedPanel::setControlEnabled(SpeedControl control, bool enabled) {
    (control == SpeedControl::ScreenSpin ? XmitSpdUpDn2 : XmitSpdUpDn)->setEnabled(enabled);
}

void TransmitSpeedPanel::setColours(const QColor& back, const QColor& text) {
    paintControl(XmitSpdUpDn2, back, text);
}

int TransmitSpeedPanel::spinValue() const {
    return XmitSpdUpDn2->value();
}

QString TransmitSpeedPanel::panelText() const {
    return XmitSpeedPanel->text();
}

bool TransmitSpeedPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == XmitSpdUpDn && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        QTimer::singleShot(0, this, [this] { XmitSpdUpDnMouseUp(); }); // after the step
    return QObject::eventFilter(watched, event);
}

void TransmitSpeedPanel::XmitSpdUpDn2Change(int value) {
    m_rules.XmitSpdUpDn2Change(value);
    showSpeed();
}

void TransmitSpeedPanel::XmitSpdUpDnMouseUp() {
    m_rules.XmitSpdUpDnMouseUp();
    showSpeed();
}

void TransmitSpeedPanel::SyncBtnClick() {
    m_rules.SyncBtnClick(m_receiveWpm());
    showSpeed();
}

void TransmitSpeedPanel::showSpeed() {
    const int32_t wpm = m_rules.spinValue();
    emit speedChanged(wpm);
    const QSignalBlocker block(XmitSpdUpDn2);
    const QSignalBlocker blockUpDown(XmitSpdUpDn);
    XmitSpdUpDn2->setValue(wpm);
    XmitSpdUpDn->setValue(m_rules.upDownPosition());
    XmitSpeedPanel->setText(QString::fromStdString(m_rules.speedPanelText()));
}

} // namespace dita
