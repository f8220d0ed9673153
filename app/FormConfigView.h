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
    bool choose(SettingId setting, int32_t value) override;
    void setConfigLoading(bool loading) override;
    void checkPortNumber() override;
    double signalBarValue() override;
    void setSignalBarValue(double value) override;
    void applyXmitSpeed(int wpm) override;
    std::string macro(int slot) override;
    void setMacro(int slot, const std::string& latin1) override;
    std::array<int, 4> timelinePlacement() override;
    void setTimelinePlacement(int index, int value) override;
    void showTimeline(bool shown) override;
    int mainWindowTop() override;
    int mainWindowLeft() override;
    void setMainWindowTop(int top) override;
    void setMainWindowLeft(int left) override;
    int coarseGainBarPosition() override;
    void setCoarseGainBarPosition(int position) override;
    void coarseGainBarChange() override;
    void setComPortSpin(int port) override;
    void applyAfcStart(int hz) override;
    int contactCounter() override;
    void setContactCounter(int value) override;
    void timingWeightsChanged() override;
    std::string text(ConfigTextField field) override;
    void setText(ConfigTextField field, const std::string& latin1) override;
    void pttLinesChanged() override;
    int band() override;
    void setBand(int band) override;
    void setUnlistedSidetone(float hz) override;
    void setUnlistedCarrierTime(int seconds) override;
    void selectSoundCardOutput() override;
    void setLoopStopped() override;
    bool firstStart() override;

private:
    TDecoderForm& m_form;
};

} // namespace dita
