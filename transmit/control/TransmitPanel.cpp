#include "transmit/control/TransmitPanel.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
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

namespace dita {
namespace {

constexpr int32_t kVkSpace = 32;
constexpr int32_t kVkPageUp = 33;
constexpr int32_t kVkPageDown = 34;
constexpr int32_t kVkEnd = 35;
constexpr int32_t kVkHome = 36;
constexpr int32_t kVkLeft = 37;
constexpr int32_t kVkUp = 38;
constexpr int32_t kVkRight = 39;
constexpr int32_t kVkDown = 40;
constexpr int32_t kVkInsert = 45;
constexpr int32_t kVkDelete = 46;
constexpr int32_t kVkDigit0 = 48;
constexpr int32_t kVkNumpad0 = 96;
constexpr int32_t kVkMultiply = 106;
constexpr int32_t kVkAdd = 107;
constexpr int32_t kVkSubtract = 109;
constexpr int32_t kVkDecimal = 110;
constexpr int32_t kVkDivide = 111;
// The punctuation keys of a US keyboard (Windows "OEM" codes).
constexpr int32_t kVkSemicolon = 186;
constexpr int32_t kVkEquals = 187;
constexpr int32_t kVkComma = 188;
constexpr int32_t kVkMinus = 189;
constexpr int32_t kVkPeriod = 190;
constexpr int32_t kVkSlash = 191;
constexpr int32_t kVkBackQuote = 192;
constexpr int32_t kVkBracketLeft = 219;
constexpr int32_t kVkBackslash = 220;
constexpr int32_t kVkBracketRight = 221;
constexpr int32_t kVkQuote = 222;
constexpr int kDigitStar = 8; // "*" is Shift+8
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

int32_t virtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return keypad ? kVkNumpad0 + (qtKey - Qt::Key_0) : qtKey;
    }
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
    case Qt::Key_Asterisk:
        return keypad ? kVkMultiply : kVkDigit0 + kDigitStar;
    case Qt::Key_Plus:
        return keypad ? kVkAdd : kVkEquals;
    case Qt::Key_Minus:
        return keypad ? kVkSubtract : kVkMinus;
    case Qt::Key_Period:
        return keypad ? kVkDecimal : kVkPeriod;
    case Qt::Key_Slash:
        return keypad ? kVkDivide : kVkSlash;
    // Shifted digits come as their own characters on a US keyboard: back to the digit key.
    case Qt::Key_ParenRight:
        return kVkDigit0;
    case Qt::Key_Exclam:
        return kVkDigit0 + 1;
    case Qt::Key_At:
        return kVkDigit0 + 2;
    case Qt::Key_NumberSign:
        return kVkDigit0 + 3;
    case Qt::Key_Dollar:
        return kVkDigit0 + 4;
    case Qt::Key_Percent:
        return kVkDigit0 + 5;
    case Qt::Key_AsciiCircum:
        return kVkDigit0 + 6;
    case Qt::Key_Ampersand:
        return kVkDigit0 + 7;
    case Qt::Key_ParenLeft:
        return kVkDigit0 + 9;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return kVkSemicolon;
    case Qt::Key_Equal:
        return kVkEquals;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return kVkComma;
    case Qt::Key_Underscore:
        return kVkMinus;
    case Qt::Key_Greater:
        return kVkPeriod;
    case Qt::Key_Question:
        return kVkSlash;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return kVkBackQuote;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return kVkBracketLeft;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return kVkBackslash;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return kVkBracketRight;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return kVkQuote;
    default:
        return 0;
    }
}

TransmitPanel::TransmitPanel(TransmitParts parts, std::atomic<bool>& transmitActive,
                             QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("TransmitPanel"));
    createControls();
    m_calls = new CallQueue(this);
    m_controller = std::make_unique<TransmitController>(*this, std::move(parts), transmitActive);
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
        if (event->type() == QEvent::KeyPress) {
            return transmitMemoKey(static_cast<QKeyEvent*>(event), true);
        }
        if (event->type() == QEvent::KeyRelease) {
            return transmitMemoKey(static_cast<QKeyEvent*>(event), false);
        }
        if (event->type() == QEvent::ShortcutOverride) {
            // F10 and the keys of the transmit window must not trigger menu shortcuts.
            auto* key = static_cast<QKeyEvent*>(event);
            if (virtualKeyFromQt(key->key(), key->modifiers()) != 0) event->accept();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TransmitPanel::transmitMemoKey(QKeyEvent* event, bool down) {
    const int32_t vk = virtualKeyFromQt(event->key(), event->modifiers());
    if (vk == 0) return false;
    if (!down) {
        if (!event->isAutoRepeat()) m_controller->TransmitMemoKeyUp(vk);
        return false;
    }
    // The window holds at most 16384 characters; a key that would add one more is refused
    // before it reaches the sender, so what is sent always matches what is shown.
    const bool addsText = !event->text().isEmpty() && vk != kVkBackspace && vk != kVkEscape;
    if (addsText && !TransmitMemo->isReadOnly() &&
        TransmitMemo->document()->characterCount() > kTransmitMemoMaxLength) {
        return true;
    }
    return m_controller->TransmitMemoKeyDown(vk);
}

// ---------------------------------------------------------------- TransmitView

void TransmitPanel::post(std::function<void()> call) { m_calls->post(std::move(call)); }

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

void TransmitPanel::setSpeedControlsEnabled(bool enabled) {
    if (m_hooks.setSpeedControlsEnabled) m_hooks.setSpeedControlsEnabled(enabled);
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
    const bool tuning = s.TuneActive != 0;
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
