#pragma once
// TDecoderForm::ConfigView: the configuration files' view of the main window. The window owns
// it and hands it out as a ConfigWindow; it reaches the window's controls and subsystems,
// which nothing else outside the window does. Who calls it: ConfigurationFiles, on the window
// thread. Included only by the window's own sources.
#include "app/DecoderForm.h"
#include "app/config/ConfigWindow.h"

namespace dita {

class TDecoderForm::ConfigView final : public ConfigWindow {
public:
    explicit ConfigView(TDecoderForm& form) : m_form(form) {}

    OperatingSettings& settings() override;
    WindowSettings& windowSettings() override;
    bool choose(SettingId setting, int32_t value) override;
    void setConfigLoading(bool loading) override;
    void checkPortNumber() override;
    void signalBarChanged() override;
    void applyXmitSpeed(int wpm) override;
    void timelinePlacementChanged() override;
    void showTimeline(bool shown) override;
    void mainWindowPlacementChanged() override;
    void coarseGainBarPositionChanged() override;
    void coarseGainBarChange() override;
    void setComPortSpin(int port) override;
    void applyAfcStart(int hz) override;
    void contactCounterChanged() override;
    void timingWeightsChanged() override;
    void stationTextChanged(ConfigTextField field) override;
    void pttLinesChanged() override;
    void bandChanged() override;
    void setUnlistedSidetone(float hz) override;
    void setUnlistedCarrierTime(int seconds) override;
    void selectSoundCardOutput() override;
    void setLoopStopped() override;
    bool firstStart() override;

private:
    TDecoderForm& m_form;
};

} // namespace dita
