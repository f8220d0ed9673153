#pragma once
// TransmitSpeedPanel: the transmit speed controls of the window's lower control panel: the
// "Xmit WPM" spin edit the operator types a speed into, the up-down beside it whose arrows step
// the speed, the read-out of the speed it stands at, and "Sync", which copies the receive speed.
// The speed controls' rules (TransmitSpeedControls) decide the speed keyed; the panel hands them
// each of the operator's changes, shows what they decided and reports the speed to its owner,
// the settings, through speedChanged. Like the receive panel it is not a widget itself: its
// controls sit in the control panel at the places the form gives them.
//
// Who calls it: the main window, on the window thread: a Locked WPM item, a configuration load
// or a logger's speed sets the speed; a send locks one of the two controls while it runs.
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

#include "transmit/control/TransmitController.h"

class QColor;
class QEvent;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

namespace dita {

class TransmitSpeedControls;

class TransmitSpeedPanel : public QObject {
    Q_OBJECT
public:
    // The controls in `parent`, showing the speed the rules hold; receiveWpm: the receive speed
    // of the last pass shown, which Sync copies.
    TransmitSpeedPanel(QWidget* parent, TransmitSpeedControls& rules,
                       std::function<int32_t()> receiveWpm);

    // A "Locked WPM" item (or Auto) with its speed; also while sending.
    void lockSpeed(int32_t wpm);
    // A stored speed: the configuration's, or one a logger asks for.
    void applyStoredSpeed(int32_t wpm);
    // A send locks the spin edit (screen and macro sends) or the up-down (typed sending).
    void setControlEnabled(SpeedControl control, bool enabled);
    void setColours(const QColor& back, const QColor& text);

    // What it shows: the spin edit's speed and the read-out beside the up-down.
    int spinValue() const;
    QString panelText() const;

signals:
    // The speed keyed is now `wpm`, as the spin edit shows it.
    void speedChanged(int wpm);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void XmitSpdUpDn2Change(int value);
    void XmitSpdUpDnMouseUp();
    void SyncBtnClick();
    // The rules have decided the speed keyed: the controls show it, the owner hears of it.
    void showSpeed();

    TransmitSpeedControls& m_rules;
    std::function<int32_t()> m_receiveWpm;
    // Controls, named as on the form.
    QSpinBox* XmitSpdUpDn2;
    QSpinBox* XmitSpdUpDn; // the up-down beside XmitSpeedPanel
    QLabel* XmitSpeedPanel;
    QPushButton* SyncBtn;
};

} // namespace dita
