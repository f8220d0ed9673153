// The configuration files against the real main window: what Save writes, Load restores
// through the menu handlers; the load's special rules (tuned bin 112, sidetone values without an
// item, the stored port opened during the load) and Load Defaults' operating hint.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

#include <fcntl.h>
#include <filesystem>
#include <stdlib.h>
#include <unistd.h>

#include "app/config/ConfigurationFiles.h"
#include "app/tests/FormRig.h"
#include "display/DisplayPanel.h"
#include "macros/MacroWindows.h"
#include "transmit/KeyingPort.h"

using namespace dita;
using namespace dita::test;

namespace {

struct TempHome {
    std::filesystem::path path;
    TempHome() {
        path = std::filesystem::temp_directory_path() /
               ("dita_cfg_window_" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        ::setenv("DITA_HOME", path.c_str(), 1);
    }
    ~TempHome() {
        ::unsetenv("DITA_HOME");
        std::filesystem::remove_all(path);
    }
};

// Each radio group of the menus has exactly one checked item.
void expectOneCheckedPerGroup(TDecoderForm& f) {
    for (const char* item : {"MicInput",      "Off2",      "WhiteBackground", "ReceiveOnly1",
                             "Quiet2",        "FilterOn1", "Auto3",           "Off3",
                             "TimerOn1",      "Upper1",    "Normal3",         "SmallFont1",
                             "ScrollingOn1",  "SpacesOn",  "Short1",          "ProsignEnable",
                             "EnableEnglish", "TextOn",    "Spectrum1",       "SingleScreen1",
                             "SoundCard1",    "Normal1",   "Freq1",           "Sinewave1",
                             "SideToneOn",    "N1Second1"}) {
        const auto group = f.groupOf(item);
        ASSERT_FALSE(group.empty()) << item;
        int checked = 0;
        for (QAction* a : group)
            checked += a->isChecked() ? 1 : 0;
        EXPECT_EQ(checked, 1) << item;
    }
}

// Writes the records as DITA.cfc and loads them into the rig's window as the start-up does.
void loadInto(FormRig& r, const std::filesystem::path& dir, const ConfigRecords& records) {
    std::string error;
    ASSERT_TRUE(writeConfigFile(dir / "DITA.cfc", records, error)) << error;
    r.form->setFirstStart(true);
    ConfigurationFiles files(r.form->configWindow(), dir / "DITA.cfc", std::nullopt, {});
    files.load();
}

} // namespace

TEST(ConfigWindow, SaveThenLoadRestoresTheSettingsThroughTheHandlers) {
    TempHome home;
    const auto file = home.path / "DITA.cfc";
    {
        FormRig r(1, false);
        TDecoderForm& f = *r.form;
        for (const char* item :
             {"Upper1", "Quiet2", "Waterfall2", "BlackBackground", "TransmitReceive1", "LargeFont1",
              "N25WPM", "Wide1", "TimerOn1", "Bold1", "Long1", "ProsignDisable", "EnableEnglish",
              "Squarewave1", "N3Seconds1", "DoubleScreen1", "SoundCard1", "Freq3"}) {
            ASSERT_TRUE(f.click(item)) << item;
        }
        control<QLineEdit>(f, "MyCallMemo").setText("W1AW");
        part<macros::TXmitMacrosForm>(f).MyNameMemo->setText("J\u00FCrgen");
        f.macroSources()[3] = "CQ CQ DE %M K";
        control<QSlider>(f, "CoarseGainBar").setValue(15);
        control<QSpinBox>(f, "XmitCntrSpinEdit").setValue(42);
        ConfigurationFiles files(f.configWindow(), file, std::nullopt, {});
        ASSERT_TRUE(files.save());
    }
    ASSERT_EQ(std::filesystem::file_size(file), kConfigFileBytes);

    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.setFirstStart(true);
    ConfigurationFiles files(f.configWindow(), file, std::nullopt, {});
    files.load();
    const OperatingSettings& s = f.settings();
    EXPECT_EQ(raw(s.TextCase), 1);
    EXPECT_EQ(raw(s.ThresholdMode), 4);
    EXPECT_EQ(raw(s.DisplayType), 1);
    EXPECT_EQ(raw(s.Background), 0);
    EXPECT_EQ(raw(s.ScreenOpMode), 1);
    EXPECT_EQ(raw(s.FontSize), 4);
    EXPECT_EQ(raw(s.RxSpeedLock), 8);
    EXPECT_EQ(raw(s.AfcWidth), 3);
    EXPECT_EQ(raw(s.AfcTimer), 1);
    EXPECT_EQ(raw(s.TextBold), 1);
    EXPECT_EQ(raw(s.SpaceTime), 2);
    EXPECT_EQ(raw(s.Prosigns), 0);
    EXPECT_EQ(raw(s.NonEnglish), 1);
    EXPECT_EQ(raw(s.SidetoneWaveform), 1);
    EXPECT_EQ(s.BeaconCarrierTime, 3);
    EXPECT_EQ(raw(s.TransmitScreen), 1);
    EXPECT_EQ(raw(s.OutputDevice), 0);
    EXPECT_FLOAT_EQ(s.SidetoneFreq, 1000.0f);
    EXPECT_EQ(s.DisplayGain, 15);
    EXPECT_EQ(control<QLineEdit>(f, "MyCallMemo").text(), "W1AW");
    EXPECT_EQ(part<macros::TXmitMacrosForm>(f).MyNameMemo->text(), QString("J\u00FCrgen"));
    EXPECT_EQ(f.macroSources()[3], "CQ CQ DE %M K");
    EXPECT_EQ(control<QSpinBox>(f, "XmitCntrSpinEdit").value(), 42);
    EXPECT_TRUE(f.item("Quiet2")->isChecked());
    EXPECT_FALSE(f.item("Noisy2")->isChecked());
    expectOneCheckedPerGroup(f);

    // Whatever record 6 held, the tuned bin is 112 and the marker shows the AFC start.
    EXPECT_EQ(s.TunedBin, 112);
    bool tuned = false;
    for (const auto& c : r.processor.commands())
        tuned |= c == ReceiveCommand::setTunedBin(112);
    EXPECT_TRUE(tuned);
    EXPECT_EQ(part<SpectrumPanel>(f).markerText(), "600");
    EXPECT_TRUE(r.messages.messages.empty()); // FirstStart: no operating hint
}

TEST(ConfigWindow, SidetoneOf700SelectsNoItemAndKeeps700) {
    TempHome home;
    ConfigRecords rec;
    rec.sidetoneFreq = 700.0f;
    rec.outputDevice = 0;
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    loadInto(r, home.path, rec);
    EXPECT_FLOAT_EQ(f.settings().SidetoneFreq, 700.0f);
    for (const char* item : {"Freq1", "Freq2", "Freq3", "Freq4"})
        EXPECT_FALSE(f.item(item)->isChecked()) << item;
}

TEST(ConfigWindow, SerialOutputDeviceOpensTheStoredPortDuringTheLoad) {
    TempHome home;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::filesystem::create_symlink(::ptsname(master), home.path / "com5");
    ConfigRecords rec;
    rec.outputDevice = 1;
    rec.outputPort = 1;
    rec.comPortNumber = 5;
    rec.portInUse = 5;
    {
        FormRig r(1, false);
        TDecoderForm& f = *r.form;
        loadInto(r, home.path, rec);
        EXPECT_TRUE(r.keying.port().PortOpen());
        EXPECT_EQ(f.settings().ComPortNumber, 5);
        EXPECT_TRUE(r.messages.messages.empty());
    }
    ::close(master);
}

TEST(ConfigWindow, TheSecondStartOfAFreshInstallationAsksForNothing) {
    TempHome home;
    const auto file = home.path / "DITA.cfc";
    for (int start = 1; start <= 2;
         ++start) { // the first start writes the file, the second reads it
        FormRig r(1, false);
        r.form->setFirstStart(true);
        ConfigurationFiles files(r.form->configWindow(), file, std::nullopt, {});
        files.load();
        EXPECT_TRUE(std::filesystem::exists(file));
        EXPECT_TRUE(r.form->item("SerialPort1")->isChecked()) << "start " << start;
        EXPECT_FALSE(r.keying.port().PortOpen()) << "start " << start;
        EXPECT_TRUE(r.messages.messages.empty()) << "start " << start;
    }
}

TEST(ConfigWindow, LoadDefaultsWithSoundCardOutputMovesTheKeyingToTheSoundCard) {
    // The menu check alone is not enough: what keys must follow it, or a send goes to the
    // serial port while the menu says sound card.
    TempHome home;
    ConfigRecords rec;
    rec.outputDevice = 0;
    rec.outputPort = 1;
    std::string error;
    ASSERT_TRUE(writeConfigFile(home.path / "DefaultDITA.cfc", rec, error));
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.setFirstStart(false);
    ASSERT_EQ(r.keying.port().OutputDevice.load(), kOutputSerialPort); // the window's start
    const bool sidetoneBefore = f.item("SideToneOn")->isChecked();
    ConfigurationFiles files(f.configWindow(), home.path / "DITA.cfc",
                             home.path / "DefaultDITA.cfc", {});
    files.loadDefaults();
    EXPECT_EQ(r.keying.port().OutputDevice.load(), kOutputSoundCard);
    EXPECT_EQ(raw(f.settings().OutputDevice), kOutputSoundCard);
    EXPECT_TRUE(f.item("SoundCard1")->isChecked());
    EXPECT_FALSE(f.item("SerialPort1")->isChecked());
    EXPECT_EQ(f.item("SideToneOn")->isChecked(), sidetoneBefore); // the sidetone stays
    // A later output-menu action re-reads the checks: they must still say sound card.
    f.click("Normal1");
    EXPECT_TRUE(f.item("SoundCard1")->isChecked());
}

TEST(ConfigWindow, LoadDefaultsWithTheMicInputShowsTheHintAndRequestsARestart) {
    TempHome home;
    ConfigRecords rec;
    rec.inputChannel = 1;
    std::string error;
    ASSERT_TRUE(writeConfigFile(home.path / "DefaultDITA.cfc", rec, error));
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.setFirstStart(false);
    ASSERT_FALSE(f.flags().restartRequested());
    ConfigurationFiles files(f.configWindow(), home.path / "DITA.cfc",
                             home.path / "DefaultDITA.cfc", {});
    files.loadDefaults();
    EXPECT_TRUE(r.hasMessage("Be sure to set the mixer panel recording input to Microphone",
                             "Operating Hint"));
    EXPECT_TRUE(f.flags().restartRequested());
    EXPECT_FALSE(std::filesystem::exists(home.path / "DITA.cfc"));
}

TEST(ConfigWindow, LoadDefaultsMenuItemAsksAndLoadsOnlyOnYes) {
    int loads = 0;
    FormRig r(1, false, [&](DecoderFormServices& s) { s.loadDefaults = [&] { ++loads; }; });
    ASSERT_TRUE(r.form->click("LoadDefault"));
    EXPECT_TRUE(r.hasMessage(kLoadDefaultsQuestion, "Load Defaults"));
    EXPECT_EQ(loads, 0);
    r.messages.answer = true;
    ASSERT_TRUE(r.form->click("LoadDefault"));
    EXPECT_EQ(loads, 1);
}

TEST(ConfigWindow, AFreshWindowStartsTheEngineAtTheStoredDisplayGain) {
    FormRig r(1, false);
    bool posted = false;
    for (const auto& c : r.processor.commands()) {
        posted |= c == ReceiveCommand::displayGain(r.form->settings().DisplayGain);
    }
    EXPECT_TRUE(posted) << "a first run must not draw with the engine's near-zero start gain";
}
