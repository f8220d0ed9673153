#pragma once
// ReceivePanel: the main window's receive area: the receive text, the thin split bar under it
// and the second row that receive-only mode shows there (the second display gain bar, the raw
// SNR read-out and a "Clear Rcv" button). Its controls are its own; they sit in the window's
// client area at the places the form gives them, so the panel is not a widget itself. The
// window drives it through the calls below.
//
// Who calls it: the main window, on the window thread (every pass, the menu items that change
// the text's look, the screen mode, the echo of sent text).
#include <QObject>
#include <QString>

class QColor;
class QFrame;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace dita {

class DisplayGainBar;
class TextFileActions;

class ReceivePanel : public QObject {
    Q_OBJECT
public:
    // The receive text from `top` down, `width` wide, in `client`, with the split bar under it;
    // the second row is made hidden-to-be-placed (see showSecondRow / hideSecondRow).
    ReceivePanel(QWidget* client, int width, int top);

    // Decoded text: it replaces the selection and the caret follows; `scroll` keeps it in view.
    void insertText(const QString& text, bool scroll);
    // Text that was sent, written at the end of the receive text.
    void appendText(const QString& text);
    void clear();
    void showRawSnr(int snr);
    void setPointSize(int points);
    void setBold(bool bold);
    void setColours(const QColor& back, const QColor& text);
    void focus();
    // The second row under the split bar, whose top is `receiveTop` + the receive text and
    // split bar's heights (receive-only mode); or hidden at `top` (beside the transmit side).
    void showSecondRow(int receiveTop);
    void hideSecondRow(int top);
    // "Save Receive Text": the file actions write what the receive text holds.
    bool saveText(TextFileActions& files) const;

    // What it shows.
    QString text() const;
    QString rawSnrText() const;

signals:
    // The second display gain bar moved; the spectrum area drives the display with it.
    void gainBarMoved(int position);

private:
    QPlainTextEdit* RcvMemo;
    QFrame* SplitPnl;
    QFrame* Rcv2Pnl;
    DisplayGainBar* CoarseGainBar2;
    QLineEdit* RawSnrMemo;
    QPushButton* ClrRcvBtn2;
};

} // namespace dita
