#pragma once
// "Select SoundCard" (TSoundCardSelect) and "Sound Card Error" (TSndCardErrForm), the two
// windows of the sound input. Both are created with the main window and shown non-modally.
// Who calls it: the main window and the operator, on the window thread. They see the program
// only through SoundCardHost.
#include <QWidget>

#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace dita {

// What the two windows need from the program: the device list, the choice in use, and where to
// report the operator's decisions. The main window implements it and alone changes the loop
// flags in answer.
class SoundCardHost {
public:
    virtual ~SoundCardHost() = default;
    virtual int inputDeviceCount() const = 0;
    virtual std::string deviceName(int deviceId) const = 0;
    virtual int inputDeviceId() const = 0; // InputDeviceId
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // Select SoundCard: shown; closed by Select with a device (false when it cannot be opened
    // with the current format, nothing changed); closed by its close box; Quit Program.
    virtual void selectionShown() = 0;
    virtual bool deviceChosen(int deviceId) = 0;
    virtual void selectionClosed() = 0;
    virtual void terminateWithoutSaving() = 0;
    // Sound Card Error: Continue, Quit.
    virtual void continueWithoutInput() = 0;
    virtual void quitWithoutInput() = 0;
};

class TSoundCardSelect : public QWidget {
    Q_OBJECT
public:
    TSoundCardSelect(SoundCardHost& host, QWidget* owner);

    void FormShow();
    void WaveUpDownMouseUp();
    void CloseBtnClick();
    void FormClose();
    void TermSndCardSelClick();

    QSpinBox* WaveUpDown;
    QLabel* SoundCardManf;
    QPushButton* CloseBtn;
    QPushButton* TermSndCardSel;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showName();
    void setNameColour(const QColor& colour);
    SoundCardHost& m_host;
};

class TSndCardErrForm : public QWidget {
    Q_OBJECT
public:
    TSndCardErrForm(SoundCardHost& host, QWidget* owner);

    void ContinueBtnClick();
    void QuitBtnClick();

    QPlainTextEdit* SndCardErrMemo;
    QPushButton* ContinueBtn;
    QPushButton* QuitBtn;
    // Quit was chosen at an earlier showing.
    bool quitChosen() const { return m_quitChosen; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SoundCardHost& m_host;
    bool m_quitChosen = false;
};

} // namespace dita
