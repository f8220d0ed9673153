#include "log/StationPanel.h"

#include "log/ContactFields.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace dita {

namespace {

constexpr int kFieldFontPx = 16;
constexpr int kDateFontPx = 19;
constexpr int kLabelTop = 4;
constexpr int kLabelHeight = 18;
constexpr int kFieldTop = 24;
constexpr int kFieldHeight = 34;
constexpr int kGap = 8;
constexpr int kSpinWidth = 100;
constexpr int kBandMemoWidth = 80;
constexpr int kLogBtnWidth = 60;
constexpr int kPanelHeight = kFieldTop + kFieldHeight + kGap;

const QColor kTypingColour = Qt::red;

bool isEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

StationPanel::StationPanel(MessageSink messages, AdifLogWriter::PathSource logPath, QWidget* parent)
    : QFrame(parent), m_messages(std::move(messages)), m_writer(m_messages, std::move(logPath)) {
    setObjectName("StationPnl");
    setFrameShape(QFrame::StyledPanel);
    QFont fieldFont;
    fieldFont.setStyleHint(QFont::SansSerif);
    fieldFont.setPixelSize(kFieldFontPx);

    int x = kGap;
    auto field = [&](const char* name, const char* caption, int width) {
        auto* label = new QLabel(caption, this);
        label->setGeometry(x, kLabelTop, width, kLabelHeight);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setFont(fieldFont);
        e->setAlignment(Qt::AlignCenter);
        e->setGeometry(x, kFieldTop, width, kFieldHeight);
        x += width + kGap;
        return e;
    };
    CallMemo = field("CallMemo", "Call", 110);
    NameMemo = field("NameMemo", "Name", 110);
    GridMemo = field("GridMemo", "Grid", 80);
    RSTMemo = field("RSTMemo", "RST", 56);
    MyRSTMemo = field("MyRSTMemo", "MyRST", 56);
    MyCallMemo = field("MyCallMemo", "MyCall", 110);
    connect(MyCallMemo, &QLineEdit::textChanged, this, &StationPanel::myCallChanged);
    MyGridMemo = field("MyGridMemo", "MyGrid", 80);

    // The band name lies over the spin edit so that only its up and down buttons show.
    auto* bandLabel = new QLabel("Band", this);
    bandLabel->setGeometry(x, kLabelTop, kBandMemoWidth, kLabelHeight);
    bandLabel->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    BandSpinEdit = new QSpinBox(this);
    BandSpinEdit->setObjectName("BandSpinEdit");
    BandSpinEdit->setRange(kFirstBand, kLastBand);
    BandSpinEdit->setValue(kFirstBand);
    BandSpinEdit->setGeometry(x, kFieldTop, kSpinWidth, kFieldHeight);
    BandMemo = new QLineEdit(this);
    BandMemo->setObjectName("BandMemo");
    BandMemo->setReadOnly(true);
    BandMemo->setFocusPolicy(Qt::NoFocus);
    BandMemo->setFont(fieldFont);
    BandMemo->setAlignment(Qt::AlignCenter);
    BandMemo->setGeometry(x, kFieldTop, kBandMemoWidth, kFieldHeight);
    BandMemo->raise();
    x += kSpinWidth + kGap;

    FrequencyMemo = field("FrequencyMemo", "Frequency(mHz)", 120);
    GMTDateMemo = field("GMTDateMemo", "UTC Date", 120);
    GMTDateMemo->setReadOnly(true);
    GMTDateMemo->setFocusPolicy(Qt::NoFocus);
    QFont dateFont = fieldFont;
    dateFont.setPixelSize(kDateFontPx);
    GMTDateMemo->setFont(dateFont);

    LogBtn = new QPushButton("Log", this);
    LogBtn->setObjectName("LogBtn");
    LogBtn->setToolTip("Write a ADIF Log entry");
    LogBtn->setGeometry(x, kFieldTop, kLogBtnWidth, kFieldHeight);
    x += kLogBtnWidth + kGap;
    setMinimumSize(x, kPanelHeight);
    resize(x, kPanelHeight);

    for (QLineEdit* e : {FrequencyMemo, RSTMemo, MyRSTMemo})
        e->installEventFilter(this);
    for (QLineEdit* e : {CallMemo, GridMemo, MyCallMemo, MyGridMemo, RSTMemo, MyRSTMemo, NameMemo,
                         FrequencyMemo, BandMemo, GMTDateMemo})
        applyScheme(e);
    connect(BandSpinEdit, qOverload<int>(&QSpinBox::valueChanged), this,
            &StationPanel::BandSpinEditChange);
    connect(LogBtn, &QPushButton::clicked, this, &StationPanel::LogBtnClick);
    BandSpinEditChange(BandSpinEdit->value());
}

void StationPanel::setBandIndex(int index) {
    if (index < kFirstBand || index > kLastBand) index = kFirstBand;
    if (BandSpinEdit->value() == index)
        BandSpinEditChange(index);
    else
        BandSpinEdit->setValue(index);
}

void StationPanel::setMyCall(const QString& call) {
    MyCallMemo->setText(call);
}

void StationPanel::setRigFrequency(double hz) {
    constexpr double kHzPerMHz = 1e6;
    if (FrequencyMemo->palette().color(QPalette::Text) == kTypingColour) return;
    const double mhz = hz / kHzPerMHz;
    const int band = bandOfFrequency(mhz);
    if (band == 0) {
        FrequencyMemo->clear();
        return;
    }
    if (band != m_bandIndex) setBandIndex(band);
    FrequencyMemo->setText(QString::fromStdString(formatFrequency(mhz, band)));
    setTyping(FrequencyMemo, false);
}

void StationPanel::BandSpinEditChange(int value) {
    m_bandIndex = value < kFirstBand || value > kLastBand ? kFirstBand : value;
    BandMemo->setText(bandRow(m_bandIndex).BandMemo);
    // A frequency typed for the previous band is discarded.
    FrequencyMemo->clear();
    setTyping(FrequencyMemo, false);
    emit bandChanged(m_bandIndex);
}

void StationPanel::setClockTexts(const std::string& utcDate, const std::string& utcTime,
                                 const std::string& logDate, const std::string& logTime) {
    GMTDateMemo->setText(QString::fromStdString(utcDate));
    m_utcTime = utcTime;
    m_logDate = logDate;
    m_logTime = logTime;
}

QColor StationPanel::committedTextColour() const {
    return m_black ? Qt::white : Qt::black;
}

void StationPanel::applyScheme(QLineEdit* field) {
    const bool schemed = field == CallMemo || field == MyCallMemo || field == NameMemo ||
                         field == RSTMemo || field == MyRSTMemo;
    QPalette p = field->palette();
    if (schemed) p.setColor(QPalette::Base, m_black ? Qt::black : Qt::white);
    p.setColor(QPalette::Text, schemed ? committedTextColour() : QColor(Qt::black));
    field->setPalette(p);
}

void StationPanel::setBlackScheme(bool black) {
    m_black = black;
    for (QLineEdit* e : {CallMemo, MyCallMemo, NameMemo, RSTMemo, MyRSTMemo}) {
        const bool typing = e->palette().color(QPalette::Text) == kTypingColour;
        applyScheme(e);
        if (typing) setTyping(e, true);
    }
}

void StationPanel::setTyping(QLineEdit* field, bool typing) {
    QPalette p = field->palette();
    const bool schemed = field == RSTMemo || field == MyRSTMemo;
    p.setColor(QPalette::Text,
               typing ? kTypingColour : (schemed ? committedTextColour() : QColor(Qt::black)));
    field->setPalette(p);
}

void StationPanel::commit(QLineEdit* field, FieldKind kind, bool onExit) {
    if (m_committing) return; // a message box taking the focus must not commit again
    m_committing = true;
    const std::string text = field->text().toStdString();
    const FieldCommit c = kind == FieldKind::Frequency ? commitFrequency(text, m_bandIndex, onExit)
                                                       : commitReport(text, onExit);
    switch (c.result) {
    case FieldCommit::Result::Unchanged:
        if (onExit) setTyping(field, false);
        break;
    case FieldCommit::Result::Accepted:
        field->setText(QString::fromStdString(c.newText));
        setTyping(field, false);
        break;
    case FieldCommit::Result::Refused:
        m_messages(c.message, c.caption);
        field->setText(QString::fromStdString(c.newText));
        setTyping(field, false);
        break;
    case FieldCommit::Result::NotANumber:
        // The text stays as typed, still red, for the operator to correct.
        m_messages(c.message, c.caption);
        break;
    }
    m_committing = false;
}

bool StationPanel::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field) return QFrame::eventFilter(watched, event);
    const FieldKind kind = field == FrequencyMemo ? FieldKind::Frequency : FieldKind::Report;

    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Shortcuts (paste, select all, undo) keep working; the check on commit catches
        // whatever they bring in.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
        int code = 0;
        if (key->key() == Qt::Key_Backspace)
            code = kBackspaceKey;
        else if (isEnterKey(key->key()))
            code = kEnterKey;
        else if (!key->text().isEmpty())
            code = key->text().at(0).unicode();
        if (code == 0) return false; // caret movement and the like: no character
        setTyping(field, true);
        const bool accepted =
            kind == FieldKind::Frequency ? frequencyKeyAccepted(code) : reportKeyAccepted(code);
        // Enter is handled on its release; the press must not reach a default button.
        return !accepted || code == kEnterKey;
    }
    if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isEnterKey(key->key()) && !key->isAutoRepeat()) {
            commit(field, kind, false);
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        // Opening the context menu (to paste) or switching to another window is not leaving
        // the field: the operator is still at it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            commit(field, kind, true);
    }
    return false;
}

LogEntryFields StationPanel::logEntryFields() const {
    LogEntryFields f;
    f.CallMemo = CallMemo->text().toStdString();
    f.GridMemo = GridMemo->text().toStdString();
    f.MyCallMemo = MyCallMemo->text().toStdString();
    f.MyGridMemo = MyGridMemo->text().toStdString();
    f.RSTMemo = RSTMemo->text().toStdString();
    f.MyRSTMemo = MyRSTMemo->text().toStdString();
    f.FrequencyMemo = FrequencyMemo->text().toStdString();
    f.GMTDateMemo = GMTDateMemo->text().toStdString();
    f.UTCPnl = m_utcTime;
    f.LogDateText = m_logDate;
    f.LogTimeText = m_logTime;
    return f;
}

ContactTexts StationPanel::contactTexts() const {
    return {CallMemo->text().toStdString(), MyCallMemo->text().toStdString(),
            NameMemo->text().toStdString(), RSTMemo->text().toStdString(),
            MyRSTMemo->text().toStdString()};
}

bool StationPanel::LogBtnClick() {
    return m_writer.LogBtnClick(logEntryFields());
}

} // namespace dita
