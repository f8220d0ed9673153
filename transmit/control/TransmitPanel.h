#pragma once
// TransmitPanel: the transmit controls of the main window (Xmit Enable, Send, Loop, Tune, IMM,
// SCN, Clear Xmit, Single/Double, Transmit), the contact counter and the transmit window
// TransmitMemo, in one widget the main window embeds. It owns the TransmitController and is the
// window side of it: the senders' queued calls run here on the window thread.
//
// Who calls it: the main window creates it on the window thread, sets its hooks (receive
// window, speed controls, message buttons, display switch, lamps, message service) and calls
// start() when the run loop is entered and shutdown() in its quit sequence. Everything here
// runs on the window thread; post() may be called from any thread.
#include "common/CallQueue.h"
#include "transmit/control/TransmitController.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class QColor;
class QKeyEvent;
class QPoint;
class QRect;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QSpinBox;

namespace dita {

class TextFileActions;
class TransmitTextTarget;

constexpr int32_t kContactCounterMin = 1;
constexpr int32_t kContactCounterMax = 10000;
constexpr int kTransmitMemoMaxLength = 16384;

// A key of the transmit window as the sender takes it: the printable character the keyboard
// layout produced (whatever keys it took: "/" is Shift+7 on a German layout), or, for keys
// without one and for every key with Ctrl or Alt held, its key code (common/KeyCodes.h).
struct TransmitKey {
    int32_t virtualKey = 0;
    char32_t character = 0;
    bool empty() const { return virtualKey == 0 && character == 0; }
};
TransmitKey transmitKeyFromQt(const QKeyEvent& event);

// What the panel needs from the rest of the main window. Unset hooks do nothing, except
// messages, which defaults to a modal box.
struct TransmitPanelHooks {
    std::function<void(const std::string& utf8)> appendReceiveText; // RcvMemo
    std::function<void(SpeedControl control, bool enabled)> setSpeedControlEnabled;
    std::function<void()> clearMessageButtonMarks;
    std::function<void(int macroNumber)> pressMessageButton;    // MsgButton1..MsgButton150
    std::function<void(bool waterfall)> selectDisplay;          // spectrum / waterfall
    std::function<void(bool rcvOn, bool xmitOn)> showLeds;      // RcvLED, XmitLED
    MessageSink messages;                                       // the message service
    std::function<void(int32_t screen)> transmitScreenChanged;  // TransmitScreen setting
    std::function<void(int32_t counter)> contactCounterChanged; // ContactCounter
    std::function<void(const std::string& text)> keyingProblem; // the status line; "" clears
};

class TransmitPanel : public QWidget, public TransmitView {
    Q_OBJECT
public:
    // capturePause: the receive loop's pause, whose Transmit reason transmit control sets.
    TransmitPanel(TransmitParts parts, CapturePause& capturePause, QWidget* parent = nullptr);
    ~TransmitPanel() override;

    void setHooks(TransmitPanelHooks hooks) { m_hooks = std::move(hooks); }
    TransmitController& controller() { return *m_controller; }
    void start() { m_controller->start(); }
    void loopEntry() { m_controller->loopEntry(); }
    void shutdown() { m_controller->shutdown(); }

    // ContactCounter (the "%i" macro token), 1..10000; set by the configuration.
    int32_t contactCounter() const { return m_contactCounter; }
    void setContactCounter(int32_t counter);

    // ---- the transmit window's place and look
    // The transmit window leaves the panel's layout for a place of its own in `parent`.
    void placeTransmitWindow(QWidget* parent, const QRect& place);
    void moveTransmitWindow(const QPoint& topLeft);
    // A colour scheme: the counter's back and text colours, the transmit window's back and
    // transmitText for its text.
    void setColours(const QColor& back, const QColor& text, const QColor& transmitText);
    void setTransmitPointSize(int points);
    // "Save Transmit" and "Load Transmit": the file actions read and fill the transmit window.
    bool saveText(TextFileActions& files) const;
    bool loadText(TextFileActions& files, TransmitTextTarget& target);

    // ---- TransmitView
    void post(std::function<void()> call) override;
    std::string transmitText() const override;
    void setTransmitText(const std::string& utf8) override;
    void appendTransmitText(const std::string& utf8) override;
    void clearTransmitText() override;
    void setTransmitReadOnly(bool readOnly) override;
    void transmitCaretToEnd() override;
    void focusTransmitMemo() override;
    void appendReceiveText(const std::string& utf8) override;
    void setSpeedControlEnabled(SpeedControl control, bool enabled) override;
    void clearMessageButtonMarks() override;
    void pressMessageButton(int macroNumber) override;
    void selectDisplay(bool waterfall) override;
    void showLeds(bool rcvOn, bool xmitOn) override;
    void showMessage(const std::string& text, const std::string& caption) override;
    void showKeyingProblem(const std::string& text) override;
    void transmitStateChanged() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Controls, named as on the form.
    QPushButton* XmitButton;
    QPushButton* SendBtn;
    QPushButton* LoopButton;
    QPushButton* TuneBtn;
    QPushButton* MsgButton13;
    QPushButton* MsgButton14;
    QPushButton* XmitWindowClr;
    QPushButton* ScreenBtn;
    QPushButton* XmitBtn;
    QSpinBox* XmitCntrSpinEdit;
    QScrollBar* XmitCntrUpDn;
    QLineEdit* XmitCntrMemo;
    QPlainTextEdit* TransmitMemo;

    void createControls();
    bool transmitMemoKey(QKeyEvent* event, bool down);
    void XmitCntrSpinEditChange(int value);
    void XmitCntrUpDnEnter();
    void XmitCntrUpDnMouseUp();
    void placeKeyingProblem();

    TransmitPanelHooks m_hooks;
    // Across the foot of the transmit window, where the operator looks while sending.
    QLabel* m_keyingProblem = nullptr;
    std::unique_ptr<TransmitController> m_controller;
    int32_t m_contactCounter = kContactCounterMin;
    int32_t m_shownScreen = kSingleScreen;
    // Calls from the senders, run on the window thread in the order they were posted.
    CallQueue* m_calls = nullptr;
};

} // namespace dita
