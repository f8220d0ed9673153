#pragma once
// The station panel of the main window's lower control panel: the fields of the contact in
// progress, the band selector, the UTC date and the "Log" button. Frequency and report
// fields filter their keys, show red while typed in and are checked on Enter and on leaving.
//
// Who calls it: created by the main window, which embeds it; all its slots and methods run
// on the window thread. Messages go through the MessageSink the window passes in, so tests
// record them instead of showing modal boxes.
#include "common/MessageSink.h"
#include "log/AdifLog.h"

#include <QFrame>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace dita {

// The contact's texts (UTF-8) that macros put into what they send.
struct ContactTexts {
    std::string call;     // CallMemo
    std::string myCall;   // MyCallMemo
    std::string name;     // NameMemo
    std::string report;   // RSTMemo, the report received
    std::string myReport; // MyRSTMemo, the report sent
};

class StationPanel : public QFrame {
    Q_OBJECT
public:
    explicit StationPanel(MessageSink messages,
                          AdifLogWriter::PathSource logPath = AdifLogWriter::defaultLogPath,
                          QWidget* parent = nullptr);

    // The band index 1..11 (stored with the configuration).
    int bandIndex() const { return m_bandIndex; }
    // Configuration load: sets the spin edit, which runs the band change.
    void setBandIndex(int index);
    // The operator's own call (a change reports through myCallChanged).
    void setMyCall(const QString& call);

    // The clock refresh: the UTC date display, the main window's UTC time caption (which
    // decides whether a time is logged), and the compact log texts.
    void setClockTexts(const std::string& utcDate, const std::string& utcTime,
                       const std::string& logDate, const std::string& logTime);

    // The black colour scheme: white text on black in the call, name and report fields.
    // Committed text then shows in the scheme's text colour, so it stays readable.
    void setBlackScheme(bool black);

    // Rig control: the rig's frequency selects the band it lies in and fills the frequency
    // field as a commit would leave it; outside every band the field is emptied, as the band
    // check would. While the operator is typing in the field it is left alone. The field
    // stays editable.
    void setRigFrequency(double hz);

    // The texts a log record is made of, as they stand now.
    LogEntryFields logEntryFields() const;
    // The contact's texts the macros' "%" tokens stand for, as they stand now.
    ContactTexts contactTexts() const;

    // The colour committed (not red) text has in the current scheme.
    QColor committedTextColour() const;

signals:
    void bandChanged(int index);
    void myCallChanged(const QString& call);

public slots:
    void BandSpinEditChange(int value);
    // The "Log" button; returns true when a record reached the log file.
    bool LogBtnClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* CallMemo;
    QLineEdit* GridMemo;
    QLineEdit* MyCallMemo;
    QLineEdit* MyGridMemo;
    QLineEdit* RSTMemo;
    QLineEdit* MyRSTMemo;
    QLineEdit* NameMemo;
    QLineEdit* FrequencyMemo;
    QSpinBox* BandSpinEdit;
    QLineEdit* BandMemo;
    QLineEdit* GMTDateMemo;
    QPushButton* LogBtn;

    enum class FieldKind { Frequency, Report };
    void setTyping(QLineEdit* field, bool typing);
    void commit(QLineEdit* field, FieldKind kind, bool onExit);
    void applyScheme(QLineEdit* field);

    MessageSink m_messages;
    AdifLogWriter m_writer;
    int m_bandIndex = 1;
    bool m_black = false;
    bool m_committing = false;
    std::string m_utcTime;
    std::string m_logDate;
    std::string m_logTime;
};

} // namespace dita
