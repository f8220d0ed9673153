#pragma once
// The small setup windows of the main window: AFC start frequency, character timing and COM
// port selection. Each is created once with the main window, shown
// non-modally by a menu item, hidden by its buttons or close box, and keeps its values.
// Who calls it: the main window, on the window thread.
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace dita {

// A window that only hides when closed, keeping its controls.
class SetupWindow : public QWidget {
    Q_OBJECT
public:
    explicit SetupWindow(QWidget* owner);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Wide enough for the whole title beside the title bar's buttons: the window manager cuts
    // a longer title short ("AFC St... uency").
    void showEvent(QShowEvent* event) override;
};

class TAFCStartFreqForm : public SetupWindow {
    Q_OBJECT
public:
    // chosen gets the frequency the operator sets (Hz).
    TAFCStartFreqForm(QWidget* owner, int startHz, std::function<void(int)> chosen);
    void AFCStartBtnClick();
    void AFCStartCancelBtnClick();
    // Configuration load: fills the control without running the handler.
    void loadValue(int afcStartFreqHz);

    QSpinBox* AFCStartSpinBtn;
    QPushButton* AFCStartBtn;
    QPushButton* AFCStartCancelBtn;

private:
    std::function<void(int)> m_chosen;
};

class TCharTimingForm : public SetupWindow {
    Q_OBJECT
public:
    // weightChanged gets the weight an up-down was moved to; the send timing uses it the next
    // time it is computed.
    using WeightChanged = std::function<void(int index, float weight)>;
    TCharTimingForm(QWidget* owner, const std::array<float, 4>& weights,
                    WeightChanged weightChanged);
    // weight index 0 dot, 1 dash, 2 character space, 3 word space
    void upDnClick(int index);
    void loadValues(const std::array<float, 4>& weights);
    // weight / 100 with three significant digits: 150 shows "1.5"
    static QString ratioText(float weight);

    std::array<QSpinBox*, 4> upDowns; // DotUpDn, DashUpDn, CharUpDn, WordUpDn
    std::array<QLineEdit*, 4> memos;  // DotLengthMemo, DashLengthMemo, CharSpaceMemo, WordSpaceMemo

private:
    WeightChanged m_weightChanged;
};

class TComPortSelectForm : public SetupWindow {
    Q_OBJECT
public:
    // openComPort gets the port the operator chose, to open it for keying (the keying lines'
    // owner supplies it); Cancel closes the dialog and changes nothing.
    TComPortSelectForm(QWidget* owner, std::function<void(int)> openComPort);
    void SelectComPortBtnClick();
    void ComPortCancelBtnClick();
    void loadValue(int comPortNumber);

    QSpinBox* ComPortSpinBtn;
    QLabel* ComPortDeviceLabel; // the device file the number stands for
    QPushButton* SelectComPortBtn;
    QPushButton* ComPortCancelBtn;

private:
    void showDevice();
    std::function<void(int)> m_openComPort;
};

} // namespace dita
