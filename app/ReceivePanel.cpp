#include "app/ReceivePanel.h"

#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include "app/DecoderFormLayout.h"
#include "app/FormInstruments.h"
#include "display/DisplayPanel.h"
#include "log/TextFileActions.h"

namespace dita {

using namespace form_layout;

namespace {

QFrame* frame(QWidget* client, const char* name, int top, int width, int height) {
    auto* f = new QFrame(client);
    f->setObjectName(name);
    f->setGeometry(0, top, width, height);
    f->setAutoFillBackground(true);
    return f;
}

} // namespace

ReceivePanel::ReceivePanel(QWidget* client, int width, int top) : QObject(client) {
    RcvMemo = new QPlainTextEdit(client);
    RcvMemo->setObjectName("RcvMemo");
    RcvMemo->setGeometry(0, top, width, kRcvMemoHeight);
    SplitPnl = frame(client, "SplitPnl", top + kRcvMemoHeight, width, kSplitPnlHeight);

    Rcv2Pnl = frame(client, "Rcv2Pnl", 0, width, kRcv2PnlHeight);
    CoarseGainBar2 = new DisplayGainBar(Rcv2Pnl, "CoarseGainBar2");
    CoarseGainBar2->setGeometry(kCoarseGainBar2Rect);
    connect(CoarseGainBar2, &QSlider::valueChanged, this, &ReceivePanel::gainBarMoved);
    RawSnrMemo = new QLineEdit(Rcv2Pnl);
    RawSnrMemo->setObjectName("RawSnrMemo");
    RawSnrMemo->setReadOnly(true);
    RawSnrMemo->setGeometry(kRawSnrMemoRect);
    ClrRcvBtn2 = new QPushButton("Clear Rcv", Rcv2Pnl);
    ClrRcvBtn2->setObjectName("ClrRcvBtn2");
    ClrRcvBtn2->setToolTip("Clear Receive Text");
    ClrRcvBtn2->setGeometry(kClrRcvBtn2Rect);
    connect(ClrRcvBtn2, &QPushButton::clicked, this, [this] { clear(); });
}

void ReceivePanel::insertText(const QString& text, bool scroll) {
    QTextCursor c = RcvMemo->textCursor();
    c.insertText(text);
    RcvMemo->setTextCursor(c);
    if (scroll) RcvMemo->ensureCursorVisible();
}

void ReceivePanel::appendText(const QString& text) {
    QTextCursor c = RcvMemo->textCursor();
    c.movePosition(QTextCursor::End);
    c.insertText(text);
    RcvMemo->setTextCursor(c);
}

void ReceivePanel::clear() {
    RcvMemo->clear();
}

void ReceivePanel::showRawSnr(int snr) {
    RawSnrMemo->setText("RAW = " + QString::number(snr));
}

void ReceivePanel::setPointSize(int points) {
    QFont f = RcvMemo->font();
    f.setPointSize(points);
    RcvMemo->setFont(f);
}

void ReceivePanel::setBold(bool bold) {
    QFont f = RcvMemo->font();
    f.setBold(bold);
    RcvMemo->setFont(f);
}

void ReceivePanel::setColours(const QColor& back, const QColor& text) {
    paintControl(RcvMemo, back, text);
}

void ReceivePanel::focus() {
    RcvMemo->setFocus();
}

void ReceivePanel::showSecondRow(int receiveTop) {
    Rcv2Pnl->setVisible(true);
    Rcv2Pnl->move(0, receiveTop + RcvMemo->height() + SplitPnl->height());
}

void ReceivePanel::hideSecondRow(int top) {
    Rcv2Pnl->move(0, top);
    Rcv2Pnl->setVisible(false);
}

bool ReceivePanel::saveText(TextFileActions& files) const {
    return files.SaveRcv1Click(RcvMemo);
}

QString ReceivePanel::text() const {
    return RcvMemo->toPlainText();
}

QString ReceivePanel::rawSnrText() const {
    return RawSnrMemo->text();
}

} // namespace dita
