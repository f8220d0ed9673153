#pragma once
// ConfigWindow: what the configuration load and save need from the main window. The main
// window hands out its own implementation (TDecoderForm::configWindow()); tests use a recorder.
// Every call runs on the window thread. Option records are applied through choose(), which runs the
// same handler as the menu item the menu table gives for the value. Stored values that settings()
// and windowSettings() hold are read and written there, never in a control or a subsystem; a
// ...Changed() call then brings the controls and subsystems that show or use them up to date.
#include "app/settings/MenuTable.h"
#include "app/settings/OperatingSettings.h"
#include "app/settings/WindowSettings.h"

#include <array>
#include <cstdint>
#include <string>

namespace dita {

enum class ConfigTextField { MyName, MyQth, MyCall, Qth };

class ConfigWindow {
public:
    virtual ~ConfigWindow() = default;

    virtual OperatingSettings& settings() = 0;
    virtual WindowSettings& windowSettings() = 0;
    // Runs the handler of the menu item that stands for this value of the setting, as the
    // operator's click would; false (and nothing runs) when no item stands for it.
    virtual bool choose(SettingId setting, int32_t value) = 0;
    // ConfigLoading: set while a file is applied (the "Serial Port" item then opens the stored
    // port instead of asking for one).
    virtual void setConfigLoading(bool loading) = 0;
    // "Port Number" checked and "None" unchecked, without running either handler.
    virtual void checkPortNumber() = 0;

    // The signal bar shows windowSettings().SignalBar.
    virtual void signalBarChanged() = 0;
    // The transmit speed goes through the spin edit's rules (the serial port's limit); the
    // settings' XmitSpeed becomes the speed keyed and the send timing is computed from it.
    virtual void applyXmitSpeed(int wpm) = 0;
    // The timeline window takes windowSettings().Timeline as its placement (its size held
    // within its limits, which the settings then keep).
    virtual void timelinePlacementChanged() = 0;
    virtual void showTimeline(bool shown) = 0;
    // The main window moves to windowSettings().MainLeft and MainTop.
    virtual void mainWindowPlacementChanged() = 0;
    // The lower gain bar takes windowSettings().CoarseGainBar (within its range, which the
    // settings then keep) without running its change handler; coarseGainBarChange() runs it.
    virtual void coarseGainBarPositionChanged() = 0;
    virtual void coarseGainBarChange() = 0;
    virtual void setComPortSpin(int port) = 0;
    // AFC start dialog's spin edit := hz; the marker shows hz; the tuned bin becomes 112.
    virtual void applyAfcStart(int hz) = 0;
    // The transmit panel shows windowSettings().ContactCounter (held within its range).
    virtual void contactCounterChanged() = 0;
    // The settings' TimingWeights changed: the dialog shows them, the send timing uses them.
    virtual void timingWeightsChanged() = 0;
    // The dialog or panel that shows this station text shows windowSettings()' value.
    virtual void stationTextChanged(ConfigTextField field) = 0;
    // The settings' PTT lines changed: the keying port keys with them, the dialog shows them.
    virtual void pttLinesChanged() = 0;
    // The station panel selects windowSettings().Band (an index outside 1..11 selects 1).
    virtual void bandChanged() = 0;
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
