// Each setting has one owner that every reader sees: the real main window with its
// configuration files, dialogs, transmit panel, receive loop and tone output. Every case here
// failed while a value was kept in two places (the spin edit and the settings, the dialog and
// the send timing, the up-down and the spin edit) or a flag had several writers.
#include <gtest/gtest.h>

#include <optional>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>

#include <fcntl.h>
#include <filesystem>
#include <stdlib.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/SetupDialogs.h"
#include "app/SoundCardDialogs.h"
#include "app/config/ConfigurationFiles.h"
#include "app/tests/FormRig.h"
#include "display/TimeLineForm.h"
#include "gaugekit/GkBar.h"
#include "log/StationPanel.h"
#include "transmit/KeyingPort.h"
#include "transmit/PttForm.h"
#include "transmit/SendTiming.h"
#include "transmit/control/TransmitPanel.h"
#include "transmit/tests/TransmitFakes.h"

namespace dita::test {
namespace {

struct TempHome {
    std::filesystem::path path;
    TempHome() {
        path = std::filesystem::temp_directory_path() /
               ("dita_settings_owner_" + std::to_string(::getpid()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        ::setenv("DITA_HOME", path.c_str(), 1);
    }
    ~TempHome() {
        ::unsetenv("DITA_HOME");
        std::filesystem::remove_all(path);
    }
};

// A pseudo-terminal that stands for COM 5 in the DITA folder.
struct Com5 {
    int master = -1;
    explicit Com5(const std::filesystem::path& home) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master, 0);
        EXPECT_EQ(::grantpt(master), 0);
        EXPECT_EQ(::unlockpt(master), 0);
        std::filesystem::create_symlink(::ptsname(master), home / "com5");
    }
    ~Com5() { ::close(master); }
};

void startUpLoad(FormRig& r, const std::filesystem::path& dir, const ConfigRecords& records) {
    std::string error;
    ASSERT_TRUE(writeConfigFile(dir / "DITA.cfc", records, error)) << error;
    r.form->setFirstStart(true);
    ConfigurationFiles files(r.form->configWindow(), dir / "DITA.cfc", std::nullopt, {});
    files.load();
    r.form->setFirstStart(false);
}

ConfigRecords savedRecords(TDecoderForm& f, const std::filesystem::path& file) {
    ConfigurationFiles files(f.configWindow(), file, std::nullopt, {});
    EXPECT_TRUE(files.save());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(readConfigFile(file, bytes));
    ConfigRecords back;
    decodeConfig(bytes.data(), bytes.size(), back);
    return back;
}

} // namespace

TEST(SettingsOwner, TheStartUpLoadKeepsEveryStoredValue) {
    TempHome home;
    ConfigRecords rec;
    // Record 3 after record 10's Auto handler: the stored transmit speed, not Auto's 25.
    rec.xmitSpeed = 33;
    rec.rxSpeedLock = 1;
    rec.outputDevice = 0;
    // Record 15: "Port Number" keeps its check.
    rec.outputPort = 1;
    // Reception starts at the stored AFC start frequency.
    rec.afcStartFreq = 700;
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    startUpLoad(r, home.path, rec);
    std::optional<int> startBin;
    for (const auto& c : r.processor.commands())
        if (const auto* tuned = c.get<ReceiveCommand::SetTunedBin>()) startBin = tuned->value;
    EXPECT_EQ(startBin, binForToneHz(700));
    EXPECT_EQ(f.settings().TunedBin, binForToneHz(700));
    EXPECT_EQ(f.readout().xmitSpeed, 33);
    EXPECT_EQ(f.settings().XmitSpeed, 33);
    EXPECT_EQ(r.keying.timing().current().DotMs, ComputeSendTiming(33).DotMs);
    EXPECT_TRUE(f.item("PortNumber1")->isChecked());
    EXPECT_FALSE(f.item("None1")->isChecked());
    EXPECT_EQ(savedRecords(f, home.path / "again.cfc").xmitSpeed, 33);

    // Values that no menu item stands for run no handler and are saved as read.
    ConfigRecords odd;
    odd.outputDevice = 0;
    odd.rxSpeedLock = 14;
    odd.spaceTime = 5;
    odd.afcWidth = 9;
    odd.fontSize = 7;
    odd.thresholdMode = 3; // factors of its own in the detector, no menu item
    odd.inputChannel = 6;
    odd.beaconCarrierTime = 8;
    FormRig r2(1, false);
    startUpLoad(r2, home.path, odd);
    const ConfigRecords back = savedRecords(*r2.form, home.path / "odd.cfc");
    EXPECT_EQ(back.rxSpeedLock, 14);
    EXPECT_EQ(back.rxSpeedLockAgain, 14);
    EXPECT_EQ(back.spaceTime, 5);
    EXPECT_EQ(back.afcWidth, 9);
    EXPECT_EQ(back.fontSize, 7);
    EXPECT_EQ(back.thresholdMode, 3);
    EXPECT_EQ(back.inputChannel, 6);
    EXPECT_EQ(back.beaconCarrierTime, 8);
    // and the receive engine works with what was read, not with the mode it had before.
    auto lastPostedIs = [&](const ReceiveCommand& expected) {
        std::optional<ReceiveCommand> last;
        for (const auto& c : r2.processor.commands())
            if (c.sameKind(expected)) last = c;
        return last == expected;
    };
    EXPECT_TRUE(lastPostedIs(ReceiveCommand::thresholdMode(setting::ThresholdMode{3})));
    EXPECT_TRUE(lastPostedIs(ReceiveCommand::spaceTime(setting::SpaceTime{5})));
    EXPECT_TRUE(lastPostedIs(ReceiveCommand::afcMode(setting::AfcWidth{9})));
    EXPECT_TRUE(lastPostedIs(ReceiveCommand::receiveSpeedMode(setting::RxSpeedLock{14})));
    // The operator's next sidetone choice does not bring back the old carrier time.
    ASSERT_TRUE(r2.form->click("Freq3"));
    EXPECT_EQ(savedRecords(*r2.form, home.path / "odd.cfc").beaconCarrierTime, 8);
}

// The configuration is saved from the settings: a control or a subsystem that holds a stored
// value for its own use, changed behind the settings' back, changes nothing in the file.
TEST(SettingsOwner, EveryRecordIsSavedFromTheSettingsNotFromWhatShowsOrUsesThem) {
    TempHome home;
    ConfigRecords rec;
    rec.xmitSpeed = 33;
    rec.rxSpeedLock = rec.rxSpeedLockAgain = 1;
    rec.outputDevice = 0;
    rec.outputPort = 1;
    rec.comPortNumber = rec.portInUse = 7;
    rec.ptt = {1, 1, 0, 1, 1, 0};
    rec.timingWeights = {80.0f, 120.0f, 90.0f, 110.0f};
    rec.signalBar = 120;
    setConfigText(rec.macros[2], "CQ DE %M");
    rec.timelineTop = 40;
    rec.timelineLeft = 50;
    rec.timelineHeight = 400;
    rec.timelineWidth = 600;
    rec.mainTop = 30;
    rec.mainLeft = 20;
    rec.coarseGainBar = rec.displayGain = 7;
    rec.contactCounter = 42;
    setConfigText(rec.myName, "BOB");
    setConfigText(rec.myQth, "BOSTON");
    setConfigText(rec.myCall, "W1AW");
    setConfigText(rec.qth, "MA");
    rec.band = 6;
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    startUpLoad(r, home.path, rec);
    const ConfigRecords loaded = savedRecords(f, home.path / "loaded.cfc");
    EXPECT_EQ(loaded.xmitSpeed, 33);
    EXPECT_EQ(loaded.ptt, rec.ptt);
    EXPECT_EQ(loaded.timingWeights, rec.timingWeights);
    EXPECT_EQ(loaded.comPortNumber, 7);
    EXPECT_EQ(loaded.portInUse, 7);
    for (auto field :
         {&ConfigRecords::signalBar, &ConfigRecords::timelineTop, &ConfigRecords::timelineLeft,
          &ConfigRecords::timelineHeight, &ConfigRecords::timelineWidth, &ConfigRecords::mainTop,
          &ConfigRecords::mainLeft, &ConfigRecords::coarseGainBar, &ConfigRecords::contactCounter,
          &ConfigRecords::band})
        EXPECT_EQ(loaded.*field, rec.*field);
    EXPECT_EQ(configText(loaded.macros[2]), "CQ DE %M");
    EXPECT_EQ(configText(loaded.myName), "BOB");
    EXPECT_EQ(configText(loaded.myQth), "BOSTON");
    EXPECT_EQ(configText(loaded.myCall), "W1AW");
    EXPECT_EQ(configText(loaded.qth), "MA");

    // Everything that shows or uses a stored value, changed without the settings.
    {
        QSpinBox& speedSpin = control<QSpinBox>(f, "XmitSpdUpDn2");
        const QSignalBlocker quiet(speedSpin);
        speedSpin.setValue(77);
    }
    r.keying.speedControls().lockedSpeed(45);
    r.keying.speedControls().setTimingWeights({50.0f, 50.0f, 50.0f, 50.0f});
    PttSettings lines;
    lines.DtrIsData = false;
    lines.RtsIsPtt = true;
    r.keying.port().setPtt(lines);
    part<TPTTForm>(f).PTTEnbCheckBox->setChecked(false);
    TCharTimingForm& timing = part<TCharTimingForm>(f);
    for (QSpinBox* upDown : timing.upDowns) {
        const QSignalBlocker quiet(upDown);
        upDown->setValue(140);
    }
    part<TComPortSelectForm>(f).ComPortSpinBtn->setValue(12); // no "Select COM Port"
    TGkBar& signalBar = control<TGkBar>(f, "SignalBar");
    TTimeLineForm& timeline = part<TTimeLineForm>(f);
    QSlider& gainBar = control<QSlider>(f, "CoarseGainBar");
    StationPanel& station = part<StationPanel>(f);
    {
        const QSignalBlocker quiet(signalBar);
        signalBar.SetValue(900.0);
    }
    {
        const QSignalBlocker quiet(timeline);
        timeline.setStoredPlacement({140, 150, 380, 580});
    }
    {
        const QSignalBlocker quiet(gainBar);
        gainBar.setValue(12);
    }
    part<TransmitPanel>(f).setContactCounter(99);
    {
        const QSignalBlocker quiet(station);
        station.setBandIndex(3);
    }
    for (const char* memo : {"MyNameMemo", "MyQTHMemo", "MyCallMemo", "QTHMemo"}) {
        QLineEdit& text = control<QLineEdit>(f, memo);
        const QSignalBlocker quiet(text);
        text.setText("X");
    }
    EXPECT_EQ(encodeConfig(savedRecords(f, home.path / "again.cfc")), encodeConfig(loaded));

    // What the operator changes through a control reaches the file.
    control<QSpinBox>(f, "XmitSpdUpDn2").setValue(28);
    part<TPTTForm>(f).PTTInvChkBox->setChecked(false);
    part<TPTTForm>(f).PTTInvChkBoxMouseUp();
    timing.upDowns[1]->setValue(130);
    part<TComPortSelectForm>(f).SelectComPortBtnClick();
    const ConfigRecords changed = savedRecords(f, home.path / "changed.cfc");
    EXPECT_EQ(changed.xmitSpeed, 28);
    EXPECT_EQ(changed.ptt[1], 0);
    EXPECT_EQ(changed.ptt[0], 1) << "the box changed without a click is not the setting";
    EXPECT_FLOAT_EQ(changed.timingWeights[1], 130.0f);
    EXPECT_EQ(changed.comPortNumber, 12);
    EXPECT_EQ(changed.portInUse, 12);

    // and so do the operator's station texts, band, gain bar and timeline placement.
    control<QLineEdit>(f, "MyNameMemo").setText("HANS");
    control<QLineEdit>(f, "MyCallMemo").setText("DL2XYZ");
    control<QSpinBox>(f, "BandSpinEdit").setValue(4);
    gainBar.setValue(9);
    timeline.setStoredPlacement({140, 150, 380, 580});
    const ConfigRecords typed = savedRecords(f, home.path / "typed.cfc");
    EXPECT_EQ(configText(typed.myName), "HANS");
    EXPECT_EQ(configText(typed.myCall), "DL2XYZ");
    EXPECT_EQ(typed.band, 4);
    EXPECT_EQ(typed.coarseGainBar, 9);
    EXPECT_EQ(typed.timelineTop, 140);
    EXPECT_EQ(typed.timelineWidth, 580);
}

TEST(SettingsOwner, LoadDefaultsWithSerialOutputOpensTheStoredPortWithoutAsking) {
    TempHome home;
    Com5 com5(home.path);
    ConfigRecords rec;
    rec.outputDevice = 1;
    rec.outputPort = 1;
    rec.comPortNumber = 5;
    rec.portInUse = 5;
    std::string error;
    ASSERT_TRUE(writeConfigFile(home.path / "DefaultDITA.cfc", rec, error)) << error;
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.setFirstStart(false);
    ConfigurationFiles files(f.configWindow(), home.path / "DITA.cfc",
                             home.path / "DefaultDITA.cfc", {});
    files.loadDefaults();
    EXPECT_TRUE(r.keying.port().PortOpen());
    EXPECT_FALSE(part<TComPortSelectForm>(f).isVisible());
    EXPECT_TRUE(f.item("SerialPort1")->isChecked());
    EXPECT_TRUE(f.item("PortNumber1")->isChecked());
    // Outside a load the same item asks for the port.
    f.click("SerialPort1");
    EXPECT_TRUE(part<TComPortSelectForm>(f).isVisible());
}

TEST(SettingsOwner, DialogAndCounterChangesReachWhatReadsThem) {
    TempHome home;
    FormRig r(1, false);
    TDecoderForm& f = *r.form;

    // Character Timing: the next timing computed uses the new dot weight.
    part<TCharTimingForm>(f).upDowns[0]->setValue(73);
    control<QSpinBox>(f, "XmitSpdUpDn2").setValue(30);
    TimingWeights weights;
    weights.dot = 73.0f;
    EXPECT_EQ(r.keying.timing().current().DotMs, ComputeSendTiming(30, weights).DotMs);
    EXPECT_NE(r.keying.timing().current().DotMs, ComputeSendTiming(30).DotMs);

    // The contact counter's up-down: "%i" and the saved counter follow XmitCntrMemo.
    auto& counterUpDown = control<QScrollBar>(f, "XmitCntrUpDn");
    counterUpDown.setValue(-42); // the bar runs downwards: up is a larger number
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&counterUpDown, &release);
    const auto& counterMemo = control<QLineEdit>(f, "XmitCntrMemo");
    ASSERT_TRUE(pumpUntil([&] { return counterMemo.text() == "42"; }));
    EXPECT_EQ(f.macroFields().XmitCntrMemo, "42");
    EXPECT_EQ(savedRecords(f, home.path / "counter.cfc").contactCounter, 42);
}

TEST(SettingsOwner, CapturePausesForEachReasonUntilThatReasonEnds) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 1; }));
    auto passesStayAt = [&](std::chrono::milliseconds span) {
        const int before = r.processor.passes;
        pumpUntil([] { return false; }, span);
        return r.processor.passes == before;
    };

    // A send that ends while the sound card dialog is open does not resume capture, also when
    // the loop is entered again meanwhile (here by a change of the input channel).
    f.click("SelectSoundcard");
    ASSERT_TRUE(pumpUntil([&] { return !f.loopRunning(); }));
    holdCarrier(f, true);
    holdCarrier(f, false);
    f.click("MicInput");
    ASSERT_TRUE(pumpUntil([&] { return f.loopEntries() == 2 && f.loopRunning(); }));
    EXPECT_TRUE(passesStayAt(150ms)) << "no audio is handled while choosing a sound card";

    // Closing the dialog in the middle of a send does not resume capture while keying.
    holdCarrier(f, true);
    part<TSoundCardSelect>(f).FormClose();
    EXPECT_TRUE(passesStayAt(150ms)) << "no audio is handled while keying";
    holdCarrier(f, false);
    const int resumed = r.processor.passes;
    EXPECT_TRUE(pumpUntil([&] { return r.processor.passes > resumed + 1; }));
    f.Quit1Click();
}

TEST(SettingsOwner, AToneOutputStallRestartsTheCapture) {
    RecordingToneDevice tone;
    FormRig r(1, true, {}, KeyingSetup{&tone, {}});
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 1 && r.keying.toneOutput()->isOpen(); }));
    const int resets = r.catalog.script(0).resets;

    // The send thread's watchdog abandons the stalled block: capture pauses until the output
    // has restarted and then restarts its input, wherever in the receive loop the stall lands.
    std::vector<uint8_t> envelope(kToneBlockSamples * 2, 1);
    ToneSettings settings;
    settings.SidetoneOn = true;
    tone.stallBlockIndex = static_cast<int>(tone.blocks.size()); // the next block never finishes
    std::thread send([&] {
        r.keying.toneOutput()->PlayEnvelope(envelope.data(), static_cast<int64_t>(envelope.size()),
                                            settings);
    });
    send.join(); // the window thread is not needed: failures would be posted to it
    const bool reset = pumpUntil([&] { return r.catalog.script(0).resets > resets; }, 1000ms);
    EXPECT_TRUE(reset) << "the capture is reset after an output stall";
    f.Quit1Click();
}

} // namespace dita::test
