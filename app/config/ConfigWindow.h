#pragma once
// ConfigWindow: what the configuration load and save need from the main window. The main
// window hands out its own implementation (TDecoderForm::configWindow()); tests use a recorder.
// Every call runs on the window thread. Option records are applied through choose(), which runs the
// same handler as the menu item the menu table gives for the value. Stored values that settings()
// holds are read and written there, never in a control or a subsystem; a ...Changed() call then
// brings the controls and subsystems that show or use them up to date.
#include "app/settings/MenuTable.h"
#include "app/settings/OperatingSettings.h"

#include <array>
#include <cstdint>
#include <string>

namespace dita {

enum class ConfigTextField { MyName, MyQth, MyCall, Qth };

class ConfigWindow {
public:
    virtual ~ConfigWindow() = default;

    virtual OperatingSettings& settings() = 0;
    // Runs the handler of the menu item that stands for this value of the setting, as the
    // operator's click would; false (and nothing runs) when no item stands for it.
    virtual bool choose(SettingId setting, int32_t value) = 0;
    // ConfigLoading: set while a file is applied (the "Serial Port" item then opens the stored
    // port instead of asking for one).
    virtual void setConfigLoading(bool loading) = 0;
    // "Port Number" checked and "None" unchecked, without running either handler.
    virtual void checkPortNumber() = 0;

    virtual double signalBarValue() = 0;
    virtual void setSignalBarValue(double value) = 0;
    // The transmit speed goes through the spin edit's rules (the serial port's limit); the
    // settings' XmitSpeed becomes the speed keyed and the send timing is computed from it.
    virtual void applyXmitSpeed(int wpm) = 0;
    virtual std::string macro(int slot) = 0; // slots 1..15, 8-bit text
    virtual void setMacro(int slot, const std::string& latin1) = 0;
    // Timeline window top, left, height, width (index 0..3).
    virtual std::array<int, 4> timelinePlacement() = 0;
    virtual void setTimelinePlacement(int index, int value) = 0;
    virtual void showTimeline(bool shown) = 0;
    virtual int mainWindowTop() = 0;
    virtual int mainWindowLeft() = 0;
    virtual void setMainWindowTop(int top) = 0;
    virtual void setMainWindowLeft(int left) = 0;
    virtual int coarseGainBarPosition() = 0;
    virtual void setCoarseGainBarPosition(int position) = 0;
    virtual void coarseGainBarChange() = 0;
    virtual void setComPortSpin(int port) = 0;
    // AFC start dialog's spin edit := hz; the marker shows hz; the tuned bin becomes 112.
    virtual void applyAfcStart(int hz) = 0;
    virtual int contactCounter() = 0;
    virtual void setContactCounter(int value) = 0;
    // The settings' TimingWeights changed: the dialog shows them, the send timing uses them.
    virtual void timingWeightsChanged() = 0;
    virtual std::string text(ConfigTextField field) = 0; // 8-bit text
    virtual void setText(ConfigTextField field, const std::string& latin1) = 0;
    // The settings' PTT lines changed: the keying port keys with them, the dialog shows them.
    virtual void pttLinesChanged() = 0;
    virtual int band() = 0;
    virtual void setBand(int band) = 0;
    // A sidetone frequency no menu item stands for: kept as the value, no item checked.
    virtual void setUnlistedSidetone(float hz) = 0;
    // A beacon carrier time no menu item stands for: kept as the value, no item checked, the
    // carrier length unchanged.
    virtual void setUnlistedCarrierTime(int seconds) = 0;
    // Load Defaults' output choice: the sound card keys from now on and its item is checked;
    // the port, the port-chosen flag and the sidetone stay as they are.
    virtual void selectSoundCardOutput() = 0;
    virtual void setLoopStopped() = 0;
    virtual bool firstStart() = 0;
};

} // namespace dita
