#include "transmit/control/TransmitPanel.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextCursor>

#include <algorithm>

#include "common/WidgetColours.h"
#include "log/TextFileActions.h"

namespace dita {
namespace {

// X11 and Wayland report xkb key codes (the kernel's code + 8): the digit row "1".."9", "0" is
// 10..19 on every layout, also where its unshifted characters are not digits (French "&", "é").
constexpr quint32 kXkbKeycodeDigit1 = 10;
constexpr quint32 kXkbKeycodeDigit0 = 19;
constexpr int kDigitKeys = 10;
constexpr int kCounterMemoWidthPx = 48;
constexpr int kTransmitMemoMinHeightPx = 120;

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), int(s.size()));
}

void markCaption(QPushButton* button, bool marked) {
    QFont font = button->font();
    font.setBold(marked);
    font.setUnderline(marked);
    button->setFont(font);
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const char* hint) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    if (hint) button->setToolTip(QString::fromLatin1(hint));
    button->setFocusPolicy(Qt::NoFocus); // the focus stays with the transmit window
    return button;
}

} // namespace

namespace {

// Keys that stand for themselves whatever the layout: named keys, letters and digits.
int32_t keyCodeOf(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return kVkLetterA + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return kVkDigit0 + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return kVkF1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Space:
        return kVkSpace;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kVkEnter;
    case Qt::Key_Backspace:
        return kVkBackspace;
    case Qt::Key_Escape:
        return kVkEscape;
    case Qt::Key_Shift:
        return kVkShift;
    case Qt::Key_Control:
        return kVkControl;
    case Qt::Key_Alt:
        return kVkAlt;
    case Qt::Key_PageUp:
        return kVkPageUp;
    case Qt::Key_PageDown:
        return kVkPageDown;
    case Qt::Key_End:
        return kVkEnd;
    case Qt::Key_Home:
        return kVkHome;
    case Qt::Key_Left:
        return kVkLeft;
    case Qt::Key_Up:
        return kVkUp;
    case Qt::Key_Right:
        return kVkRight;
    case Qt::Key_Down:
        return kVkDown;
    case Qt::Key_Insert:
        return kVkInsert;
    case Qt::Key_Delete:
        return kVkDelete;
    default:
        return 0;
    }
}

char32_t printableCharacter(const QString& text) {
    const QList<uint> ucs4 = text.toUcs4();
    if (ucs4.size() != 1) return 0;
    const char32_t c = ucs4.front();
    return QChar::isPrint(c) ? c : 0;
}

} // namespace

TransmitKey transmitKeyFromQt(const QKeyEvent& event) {
    const int32_t code = keyCodeOf(event.key());
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        // Ctrl+1..Ctrl+5 and Alt with a digit go by the key's place in the digit row, so they
        // work on layouts whose digit keys give other characters unshifted.
        const quint32 scan = event.nativeScanCode();
        if (scan >= kXkbKeycodeDigit1 && scan <= kXkbKeycodeDigit0) {
            return {kVkDigit0 + int32_t((scan - kXkbKeycodeDigit1 + 1) % kDigitKeys), 0};
        }
        return {code, 0};
    }
    if (const char32_t c = printableCharacter(event.text())) {
        // Only letters and digits keep a key code beside their character: punctuation has none,
        // so it can never be taken for a key that means something else.
        const bool letterOrDigit =
            (code >= kVkDigit0 && code <= kVkDigit9) || (code >= kVkLetterA && code <= kVkLetterZ);
        return {letterOrDigit ? code : 0, c};
    }
    return {code, 0};
}

TransmitPanel::TransmitPanel(TransmitParts parts, CapturePause& capturePause, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("TransmitPanel"));
    createControls();
    m_calls = new CallQueue(this);
    m_controller = std::make_unique<TransmitController>(*this, std::move(parts), capturePause);
    transmitStateChanged();
}

TransmitPanel::~TransmitPanel() {
    // The senders end before the widgets go; calls they queued are dropped with this object.
    m_controller->shutdown();
    m_controller.reset();
}

void TransmitPanel::createControls() {
    XmitButton = makeButton(this, "XmitButton", "OFF", "Enable Code Transmission");
    SendBtn = makeButton(this, "SendBtn", "Send", "Send Xmit Screen in SCN Mode");
    LoopButton = makeButton(this, "LoopButton", "Loop", "Loop Transmission in SCN Mode");
    TuneBtn = makeButton(this, "TuneBtn", "OFF", "Key Down in Serial Mode");
    MsgButton13 = makeButton(this, "MsgButton13", "IMM", "Set to Immeadiate Mode");
    MsgButton14 = makeButton(this, "MsgButton14", "SCN", "Set to SCN (Transmit Screen) Mode");
    XmitWindowClr = makeButton(this, "XmitWindowClr", "Clear Xmit", "Clear Transmit Text");
    ScreenBtn = makeButton(this, "ScreenBtn", "Single", nullptr);
    XmitBtn = makeButton(this, "XmitBtn", "Transmit", nullptr);

    XmitCntrSpinEdit = new QSpinBox(this);
    XmitCntrSpinEdit->setObjectName(QStringLiteral("XmitCntrSpinEdit"));
    XmitCntrSpinEdit->setRange(kContactCounterMin, kContactCounterMax);
    XmitCntrSpinEdit->setValue(kContactCounterMin);
    XmitCntrSpinEdit->setToolTip(QStringLiteral("Contact Number"));

    XmitCntrUpDn = new QScrollBar(Qt::Vertical, this);
    XmitCntrUpDn->setObjectName(QStringLiteral("XmitCntrUpDn"));
    // A vertical bar steps down with its upper arrow; on negated positions that arrow counts up.
    XmitCntrUpDn->setRange(-kContactCounterMax, -kContactCounterMin);
    XmitCntrUpDn->setValue(-kContactCounterMin);
    XmitCntrUpDn->setFixedHeight(XmitCntrSpinEdit->sizeHint().height());
    XmitCntrUpDn->installEventFilter(this);

    XmitCntrMemo = new QLineEdit(QStringLiteral("1"), this);
    XmitCntrMemo->setObjectName(QStringLiteral("XmitCntrMemo"));
    XmitCntrMemo->setAlignment(Qt::AlignCenter);
    XmitCntrMemo->setReadOnly(true);
    XmitCntrMemo->setFixedWidth(kCounterMemoWidthPx);

    TransmitMemo = new QPlainTextEdit(this);
    TransmitMemo->setObjectName(QStringLiteral("TransmitMemo"));
    TransmitMemo->setToolTip(QStringLiteral("Transmit Window"));
    TransmitMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TransmitMemo->setMinimumHeight(kTransmitMemoMinHeightPx);
    QPalette palette = TransmitMemo->palette();
    palette.setColor(QPalette::Text, Qt::red);
    palette.setColor(QPalette::Base, Qt::white);
    TransmitMemo->setPalette(palette);
    TransmitMemo->installEventFilter(this);
    TransmitMemo->viewport()->installEventFilter(this);

    m_keyingProblem = new QLabel(TransmitMemo);
    m_keyingProblem->setObjectName(QStringLiteral("KeyingProblem"));
    m_keyingProblem->setWordWrap(true);
    m_keyingProblem->setStyleSheet(QStringLiteral(
        "QLabel { background: #fff3b0; color: #800000; font-weight: bold; padding: 2px; }"));
    m_keyingProblem->hide();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    auto caption = [this](const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setAlignment(Qt::AlignCenter);
        return label;
    };
    int column = 0;
    grid->addWidget(caption("Xmit Enable"), 0, column);
    grid->addWidget(XmitButton, 1, column++);
    grid->addWidget(SendBtn, 1, column++);
    grid->addWidget(LoopButton, 1, column++);
    grid->addWidget(caption("Tune"), 0, column);
    grid->addWidget(TuneBtn, 1, column++);
    grid->addWidget(caption("Mode"), 0, column, 1, 2);
    grid->addWidget(MsgButton13, 1, column++);
    grid->addWidget(MsgButton14, 1, column++);
    grid->addWidget(XmitWindowClr, 1, column++);
    grid->addWidget(caption("Screen"), 0, column);
    grid->addWidget(ScreenBtn, 1, column++);
    grid->addWidget(XmitBtn, 1, column++);
    grid->addWidget(caption("Contact"), 0, column, 1, 3);
    grid->addWidget(XmitCntrMemo, 1, column++);
    grid->addWidget(XmitCntrUpDn, 1, column++);
    grid->addWidget(XmitCntrSpinEdit, 1, column++);
    grid->addWidget(TransmitMemo, 2, 0, 1, column);

    connect(XmitButton, &QPushButton::clicked, this, [this] { m_controller->XmitButtonClick(); });
    connect(SendBtn, &QPushButton::clicked, this, [this] { m_controller->SendBtnClick(); });
    connect(LoopButton, &QPushButton::clicked, this, [this] { m_controller->LoopButtonClick(); });
    connect(TuneBtn, &QPushButton::clicked, this, [this] { m_controller->TuneBtnClick(); });
    connect(MsgButton13, &QPushButton::clicked, this, [this] { m_controller->MsgButton13Click(); });
    connect(MsgButton14, &QPushButton::clicked, this, [this] { m_controller->MsgButton14Click(); });
    connect(XmitWindowClr, &QPushButton::clicked, this,
            [this] { m_controller->XmitWindowClrClick(); });
    connect(ScreenBtn, &QPushButton::clicked, this, [this] { m_controller->ScreenBtnClick(); });
    connect(XmitBtn, &QPushButton::clicked, this, [this] { m_controller->XmitBtnClick(); });
    connect(XmitCntrSpinEdit, &QSpinBox::valueChanged, this,
            [this](int value) { XmitCntrSpinEditChange(value); });
}

// ---------------------------------------------------------------- the transmit window

void TransmitPanel::placeTransmitWindow(QWidget* parent, const QRect& place) {
    layout()->removeWidget(TransmitMemo);
    TransmitMemo->setParent(parent);
    TransmitMemo->setGeometry(place);
    TransmitMemo->show();
}

void TransmitPanel::moveTransmitWindow(const QPoint& topLeft) {
    TransmitMemo->move(topLeft);
}

void TransmitPanel::setColours(const QColor& back, const QColor& text, const QColor& transmitText) {
    paintControl(XmitCntrSpinEdit, back, text);
    paintControl(TransmitMemo, back, transmitText);
}

void TransmitPanel::setTransmitPointSize(int points) {
    QFont font = TransmitMemo->font();
    font.setPointSize(points);
    TransmitMemo->setFont(font);
}

bool TransmitPanel::saveText(TextFileActions& files) const {
    return files.SaveTransmit1Click(TransmitMemo);
}

bool TransmitPanel::loadText(TextFileActions& files, TransmitTextTarget& target) {
    return files.LoadTransmit1Click(TransmitMemo, target);
}

// ---------------------------------------------------------------- contact counter

void TransmitPanel::setContactCounter(int32_t counter) {
    const QSignalBlocker blocker(XmitCntrSpinEdit);
    XmitCntrSpinEdit->setValue(std::clamp(counter, kContactCounterMin, kContactCounterMax));
    m_contactCounter = XmitCntrSpinEdit->value();
    XmitCntrMemo->setText(QString::number(m_contactCounter));
}

void TransmitPanel::XmitCntrSpinEditChange(int value) {
    m_contactCounter = value;
    XmitCntrMemo->setText(QString::number(m_contactCounter));
    if (m_hooks.contactCounterChanged) m_hooks.contactCounterChanged(m_contactCounter);
    m_controller->TransmitMemoClick();
}

void TransmitPanel::XmitCntrUpDnEnter() {
    XmitCntrUpDn->setValue(-m_contactCounter);
}

void TransmitPanel::XmitCntrUpDnMouseUp() {
    m_contactCounter = -XmitCntrUpDn->value();
    XmitCntrMemo->setText(QString::number(m_contactCounter));
    if (m_hooks.contactCounterChanged) m_hooks.contactCounterChanged(m_contactCounter);
    m_controller->TransmitMemoClick();
}

// ---------------------------------------------------------------- events

bool TransmitPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == XmitCntrUpDn) {
        if (event->type() == QEvent::MouseButtonPress) XmitCntrUpDnEnter();
        if (event->type() == QEvent::MouseButtonRelease) {
            // Let the bar take the release first, then read its position.
            QMetaObject::invokeMethod(
                this, [this] { XmitCntrUpDnMouseUp(); }, Qt::QueuedConnection);
        }
        return false;
    }
    if (watched == TransmitMemo->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) m_controller->TransmitMemoMouseDown();
        if (event->type() == QEvent::MouseButtonRelease) m_controller->TransmitMemoClick();
        return false;
    }
    if (watched == TransmitMemo) {
        if (event->type() == QEvent::Resize) placeKeyingProblem();
        if (event->type() == QEvent::KeyPress) {
            return transmitMemoKey(static_cast<QKeyEvent*>(event), true);
        }
        if (event->type() == QEvent::KeyRelease) {
            return transmitMemoKey(static_cast<QKeyEvent*>(event), false);
        }
        if (event->type() == QEvent::ShortcutOverride) {
            // F10 and the keys of the transmit window must not trigger menu shortcuts.
            if (!transmitKeyFromQt(*static_cast<QKeyEvent*>(event)).empty()) event->accept();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TransmitPanel::transmitMemoKey(QKeyEvent* event, bool down) {
    const TransmitKey key = transmitKeyFromQt(*event);
    if (key.empty()) return false;
    if (!down) {
        if (!event->isAutoRepeat()) m_controller->TransmitMemoKeyUp(key.virtualKey, key.character);
        return false;
    }
    // The window holds at most 16384 characters; a key that would add one more is refused
    // before it reaches the sender, so what is sent always matches what is shown.
    const bool addsText = key.character != 0 || key.virtualKey == kVkEnter;
    if (addsText && !TransmitMemo->isReadOnly() &&
        TransmitMemo->document()->characterCount() > kTransmitMemoMaxLength) {
        return true;
    }
    return m_controller->TransmitMemoKeyDown(key.virtualKey, key.character);
}

// ---------------------------------------------------------------- TransmitView

void TransmitPanel::post(std::function<void()> call) {
    m_calls->post(std::move(call));
}

std::string TransmitPanel::transmitText() const {
    return TransmitMemo->toPlainText().toStdString();
}

void TransmitPanel::setTransmitText(const std::string& utf8) {
    TransmitMemo->setPlainText(fromUtf8(utf8));
}

void TransmitPanel::appendTransmitText(const std::string& utf8) {
    QTextCursor cursor = TransmitMemo->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(fromUtf8(utf8));
    TransmitMemo->setTextCursor(cursor);
}

void TransmitPanel::clearTransmitText() {
    TransmitMemo->clear();
}

void TransmitPanel::setTransmitReadOnly(bool readOnly) {
    TransmitMemo->setReadOnly(readOnly);
}

void TransmitPanel::transmitCaretToEnd() {
    TransmitMemo->moveCursor(QTextCursor::End);
}

void TransmitPanel::focusTransmitMemo() {
    TransmitMemo->setFocus();
}

void TransmitPanel::appendReceiveText(const std::string& utf8) {
    if (m_hooks.appendReceiveText) m_hooks.appendReceiveText(utf8);
}

void TransmitPanel::setSpeedControlEnabled(SpeedControl control, bool enabled) {
    if (m_hooks.setSpeedControlEnabled) m_hooks.setSpeedControlEnabled(control, enabled);
}

void TransmitPanel::clearMessageButtonMarks() {
    if (m_hooks.clearMessageButtonMarks) m_hooks.clearMessageButtonMarks();
}

void TransmitPanel::pressMessageButton(int macroNumber) {
    if (m_hooks.pressMessageButton) m_hooks.pressMessageButton(macroNumber);
}

void TransmitPanel::selectDisplay(bool waterfall) {
    if (m_hooks.selectDisplay) m_hooks.selectDisplay(waterfall);
}

void TransmitPanel::showLeds(bool rcvOn, bool xmitOn) {
    if (m_hooks.showLeds) m_hooks.showLeds(rcvOn, xmitOn);
}

void TransmitPanel::showKeyingProblem(const std::string& text) {
    m_keyingProblem->setText(fromUtf8(text));
    m_keyingProblem->setVisible(!text.empty());
    placeKeyingProblem();
    if (m_hooks.keyingProblem) m_hooks.keyingProblem(text);
}

void TransmitPanel::placeKeyingProblem() {
    if (!m_keyingProblem->isVisible()) return;
    const QRect area = TransmitMemo->viewport()->geometry();
    const int height = m_keyingProblem->heightForWidth(area.width());
    m_keyingProblem->setGeometry(area.left(), area.bottom() + 1 - height, area.width(), height);
    m_keyingProblem->raise();
}

void TransmitPanel::showMessage(const std::string& text, const std::string& caption) {
    if (m_hooks.messages) {
        m_hooks.messages(text, caption);
        return;
    }
    QMessageBox::information(window(), fromUtf8(caption), fromUtf8(text), QMessageBox::Ok);
}

void TransmitPanel::transmitStateChanged() {
    const TransmitState& s = m_controller->state();
    const bool enabled = s.XmitEnableState == kStateOn;
    XmitButton->setText(enabled ? QStringLiteral("ON") : QStringLiteral("OFF"));
    markCaption(XmitButton, enabled);
    markCaption(SendBtn, m_controller->sendButtonMarked());
    markCaption(LoopButton, s.LoopMode == kStateOn);
    const bool tuning = m_controller->tuning();
    TuneBtn->setText(tuning ? QStringLiteral("ON") : QStringLiteral("OFF"));
    markCaption(TuneBtn, tuning);
    const bool scn = s.SendMode == kSendModeScn;
    markCaption(MsgButton13, !scn);
    markCaption(MsgButton14, scn);
    const int32_t screen = s.TransmitScreen;
    ScreenBtn->setText(screen == kDoubleScreen ? QStringLiteral("Double")
                                               : QStringLiteral("Single"));
    markCaption(ScreenBtn, screen == kDoubleScreen);
    markCaption(XmitBtn, m_controller->xmitBtnMarked());
    if (screen != m_shownScreen) {
        m_shownScreen = screen;
        if (m_hooks.transmitScreenChanged) m_hooks.transmitScreenChanged(screen);
    }
}

} // namespace dita
