#pragma once
// "Select SoundCard" (TSoundCardSelect) and "Sound Card Error" (TSndCardErrForm), the two
// windows of the sound input. Both are created with the main window and shown non-modally.
// Who calls it: the main window and the operator, on the window thread.
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace dita {

class TDecoderForm;

class TSoundCardSelect : public QWidget {
    Q_OBJECT
public:
    explicit TSoundCardSelect(TDecoderForm& form);

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
    TDecoderForm& m_form;
};

class TSndCardErrForm : public QWidget {
    Q_OBJECT
public:
    explicit TSndCardErrForm(TDecoderForm& form);

    void ContinueBtnClick();
    void QuitBtnClick();

    QPlainTextEdit* SndCardErrMemo;
    QPushButton* ContinueBtn;
    QPushButton* QuitBtn;
    bool quitChosen = false;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TDecoderForm& m_form;
};

} // namespace dita
