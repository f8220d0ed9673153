// The main window driven as an operator would, on the offscreen platform: menus and their
// checks, screen modes, colours and fonts, the run loop behind the window (passes shown,
// transmit pause, channel change, quitting), the sound card windows and the setup dialogs.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

#include "app/DecoderForm.h"
#include "app/SetupDialogs.h"
#include "app/SoundCardDialogs.h"
#include "app/tests/FormRig.h"
#include "display/DisplayPanel.h"
#include "log/StationPanel.h"
#include "macros/MacroWindows.h"

using namespace dita;
using namespace dita::test;
using namespace std::chrono_literals;

namespace {

const char* const kGroupItems[] = {"MicInput",
                                   "RightInput",
                                   "LeftInput",
                                   "Off2",
                                   "On2",
                                   "MsgsOFF",
                                   "MsgsON",
                                   "WhiteBackground",
                                   "BlackBackground",
                                   "ReceiveOnly1",
                                   "TransmitReceive1",
                                   "Quiet2",
                                   "Normal2",
                                   "Noisy2",
                                   "FilterOn1",
                                   "FilterOff1",
                                   "Auto3",
                                   "N50PLUSWPM",
                                   "N50WPM",
                                   "N45WPM",
                                   "N40WPM",
                                   "N35WPM",
                                   "N30WPM",
                                   "N25WPM",
                                   "N20WPM",
                                   "N15WPM",
                                   "N10WPM",
                                   "Off3",
                                   "Narrow1",
                                   "Medium1",
                                   "Wide1",
                                   "TimerOn1",
                                   "TimerOff1",
                                   "Upper1",
                                   "Lower1",
                                   "Normal3",
                                   "Bold1",
                                   "SmallFont1",
                                   "NormalFont1",
                                   "MediumFont1",
                                   "LargeFont1",
                                   "ScrollingOn1",
                                   "ScrollingOff1",
                                   "SpacesOn",
                                   "SpacesOff",
                                   "Short1",
                                   "Medium2",
                                   "Long1",
                                   "ProsignEnable",
                                   "ProsignDisable",
                                   "EnableEnglish",
                                   "DisableEnglish",
                                   "TextOn",
                                   "TextOff",
                                   "Spectrum1",
                                   "Waterfall2",
                                   "SingleScreen1",
                                   "DoubleScreen1",
                                   "SoundCard1",
                                   "SerialPort1",
                                   "Normal1",
                                   "Invert2",
                                   "Freq1",
                                   "Freq2",
                                   "Freq3",
                                   "Freq4",
                                   "Sinewave1",
                                   "Squarewave1",
                                   "SideToneOn",
                                   "SideToneOFF",
                                   "N1Second1",
                                   "N2Seconds1",
                                   "N3Seconds1",
                                   "N4Seconds1",
                                   "N5Seconds1"};

// The no-sound-card window, made at the first tick that finds no input device.
bool errorWindowShown(const TDecoderForm& f) {
    const auto* err = f.findChild<TSndCardErrForm*>();
    return err && err->isVisible();
}

int checkedIn(const std::vector<QAction*>& group) {
    int n = 0;
    for (QAction* a : group)
        n += a->isChecked() ? 1 : 0;
    return n;
}

} // namespace

// ---------------------------------------------------------------- menus and settings

TEST(DecoderFormMenuTest, EveryGroupKeepsExactlyOneCheckFromMenuAndFromTheLoader) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    for (bool loading : {false, true}) {
        f.setFirstStart(loading); // the configuration load calls the handlers with it set
        for (const char* name : kGroupItems) {
            const auto group = f.groupOf(name);
            ASSERT_GE(group.size(), 2u) << name << " belongs to no group";
            ASSERT_TRUE(f.click(name));
            EXPECT_TRUE(f.item(name)->isChecked()) << name;
            EXPECT_EQ(checkedIn(group), 1) << "after " << name;
            // Clicking the checked item again must not uncheck it.
            ASSERT_TRUE(f.click(name));
            EXPECT_TRUE(f.item(name)->isChecked()) << name << " clicked twice";
        }
        for (const char* name : kGroupItems)
            ASSERT_EQ(checkedIn(f.groupOf(name)), 1) << name;
        part<TComPortSelectForm>(f).hide();
    }
    EXPECT_THROW(f.click("NoSuchItem"), std::invalid_argument)
        << "a mistyped item name fails loudly";
}

TEST(DecoderFormMenuTest, ItemsStoreTheirSettingsAndTellTheEngine) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.setFirstStart(true);
    const OperatingSettings& s = f.settings();
    f.click("Quiet2");
    EXPECT_EQ(raw(s.ThresholdMode), 4);
    f.click("Normal2");
    EXPECT_EQ(raw(s.ThresholdMode), 0);
    f.click("FilterOn1");
    EXPECT_EQ(raw(s.NoiseFilter), 3);
    f.click("Upper1");
    EXPECT_EQ(raw(s.TextCase), 1);
    f.click("SpacesOff");
    EXPECT_EQ(raw(s.SpacesMode), 0);
    f.click("Long1");
    EXPECT_EQ(raw(s.SpaceTime), 2);
    f.click("Waterfall2");
    EXPECT_EQ(raw(s.DisplayType), 1);
    f.click("Freq4");
    EXPECT_FLOAT_EQ(s.SidetoneFreq, 2500.0f);
    f.click("N3Seconds1");
    EXPECT_EQ(s.BeaconCarrierTime, 3);
    EXPECT_EQ(s.BeaconCarrierMs, 3000);
    EXPECT_EQ(s.BeaconCarrierSamples, 3 * 44100);
    f.click("Invert2");
    EXPECT_EQ(raw(s.KeyInvert), 2);
    f.click("MsgsON");
    EXPECT_EQ(raw(s.Messaging), 1);

    // AFC: Off3 and the three widths set on, span and width together.
    f.click("Wide1");
    EXPECT_EQ(std::tuple(s.AfcOn, s.AfcSpan, raw(s.AfcWidth)), std::tuple(1, 400, 3));
    f.click("Narrow1");
    EXPECT_EQ(std::tuple(s.AfcOn, s.AfcSpan, raw(s.AfcWidth)), std::tuple(1, 20, 1));
    f.click("Medium1");
    EXPECT_EQ(std::tuple(s.AfcOn, s.AfcSpan, raw(s.AfcWidth)), std::tuple(1, 80, 2));
    f.click("Off3");
    EXPECT_EQ(std::tuple(s.AfcOn, s.AfcSpan, raw(s.AfcWidth)), std::tuple(0, 10, 0));

    const auto cmds = r.processor.commands();
    auto sent = [&](const ReceiveCommand& command) {
        return std::find(cmds.begin(), cmds.end(), command) != cmds.end();
    };
    using C = ReceiveCommand;
    namespace st = setting;
    EXPECT_TRUE(sent(C::thresholdMode(st::ThresholdMode::Quiet)));
    EXPECT_TRUE(sent(C::noiseFilter(st::Switch3::On)));
    EXPECT_TRUE(sent(C::textCase(st::TextCase::Upper)));
    EXPECT_TRUE(sent(C::spaceTime(st::SpaceTime::Long)));
    EXPECT_TRUE(sent(C::displayType(st::DisplayType::Waterfall)));
    EXPECT_TRUE(sent(C::afcMode(st::AfcWidth::Wide)));
    EXPECT_TRUE(sent(C::afcMode(st::AfcWidth::Off)));
    EXPECT_TRUE(sent(C::nonEnglish(st::OnOff::Off))) << "creation selects non-English off";
}

// Each item the engine reads reaches it as the command of its own setting with the item's
// value: settings of one value type (the on/off ones, the ones switched on with 3) must not
// be crossed on the way.
TEST(DecoderFormMenuTest, EachEngineItemPostsItsOwnSettingsCommand) {
    FormRig r(1, false);
    using C = ReceiveCommand;
    namespace st = setting;
    const std::vector<std::pair<const char*, ReceiveCommand>> items = {
        {"TransmitReceive1", C::screenOpMode(st::ScreenOpMode::TransmitReceive)},
        {"ReceiveOnly1", C::screenOpMode(st::ScreenOpMode::ReceiveOnly)},
        {"Normal2", C::thresholdMode(st::ThresholdMode::Normal)},
        {"FilterOn1", C::noiseFilter(st::Switch3::On)},
        {"Standard1", C::decoder(st::Decoder::Standard)},
        {"Enhanced1", C::decoder(st::Decoder::Enhanced)},
        {"N45WPM", C::receiveSpeedMode(st::RxSpeedLock{4})},
        {"Narrow1", C::afcMode(st::AfcWidth::Narrow)},
        {"TimerOn1", C::afcTimer(st::OnOff::On)},
        {"Lower1", C::textCase(st::TextCase::Lower)},
        {"SpacesOff", C::spacesMode(st::Switch3::Off)},
        {"Short1", C::spaceTime(st::SpaceTime::Short)},
        {"ProsignDisable", C::prosigns(st::OnOff::Off)},
        {"EnableEnglish", C::nonEnglish(st::OnOff::On)},
        {"TextOff", C::textDisplay(st::OnOff::Off)},
        {"Waterfall2", C::displayType(st::DisplayType::Waterfall)},
    };
    for (const auto& [name, command] : items) {
        const size_t before = r.processor.commands().size();
        ASSERT_TRUE(r.form->click(name)) << name;
        const auto all = r.processor.commands();
        EXPECT_NE(std::find(all.begin() + static_cast<std::ptrdiff_t>(before), all.end(), command),
                  all.end())
            << name;
    }
}

TEST(DecoderFormMenuTest, SpeedLocksSetTheTransmitSpeedAndTheLockedMark) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.click("N30WPM");
    EXPECT_EQ(raw(f.settings().RxSpeedLock), 7);
    EXPECT_TRUE(f.item("LockedWPM")->isChecked());
    EXPECT_FALSE(f.item("Auto3")->isChecked());
    EXPECT_EQ(f.readout().xmitSpeed, 30);
    EXPECT_EQ(f.readout().xmitSpeedPanel, "30");
    f.click("N50PLUSWPM");
    EXPECT_EQ(f.readout().xmitSpeed, 50) << "the serial port keys at most 50 wpm";
    EXPECT_EQ(f.readout().xmitSpeedPanel, "50");
    EXPECT_FALSE(f.item("N30WPM")->isChecked());
    f.click("SoundCard1");
    f.click("N50PLUSWPM");
    EXPECT_EQ(f.readout().xmitSpeed, 100);
    EXPECT_EQ(f.settings().XmitSpeed, 100);
    f.click("Auto3");
    EXPECT_EQ(raw(f.settings().RxSpeedLock), 1);
    EXPECT_FALSE(f.item("LockedWPM")->isChecked());
    // Auto takes the receive speed as the decoder reset leaves it, 35, not Auto's starting 25.
    EXPECT_EQ(f.readout().xmitSpeed, 35);
    EXPECT_EQ(f.readout().xmitSpeedPanel, "35");
    const auto cmds = r.processor.commands();
    int speedModes = 0;
    for (const auto& c : cmds)
        speedModes += c.get<ReceiveCommand::ReceiveSpeedMode>() ? 1 : 0;
    EXPECT_EQ(speedModes, 4);
}

TEST(DecoderFormMenuTest, FormDefaultsCaptionsAndHiddenItems) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    for (const char* name : {"WhiteBackground", "TimerOff1", "TextOn", "SingleScreen1", "N1Second1",
                             "ReceiveOnly1", "DisableEnglish"})
        EXPECT_TRUE(f.item(name)->isChecked()) << name;
    EXPECT_FALSE(f.findChild<QMenu*>("Messaging1")->menuAction()->isVisible());
    EXPECT_FALSE(f.item("None1")->isVisible());
    EXPECT_EQ(f.item("MsgsON")->text(), "Msgs  On");
    EXPECT_EQ(f.item("ScrollingOn1")->text(), "Scrollling On");
    EXPECT_EQ(f.item("ScrollingOff1")->text(), "Scrollng Off");
    EXPECT_EQ(f.item("N50PLUSWPM")->text(), "50+ WPM");
    EXPECT_EQ(f.item("AFCStartFreq1")->text(), "AFC Start Freq");
    EXPECT_EQ(control(f, "CoarseGainBar").toolTip(), "Spectrum Display Gain ");
    // The checked size item and the memos agree from the start.
    EXPECT_TRUE(f.item("NormalFont1")->isChecked());
    EXPECT_EQ(control(f, "RcvMemo").font().pointSize(), 14);
    EXPECT_EQ(control(f, "TransmitMemo").font().pointSize(), 14);
    f.click("SmallFont1");
    EXPECT_EQ(control(f, "RcvMemo").font().pointSize(), 12);
    EXPECT_EQ(control(f, "ClearButton").toolTip(), "Reset Stuck Decoding");
    EXPECT_EQ(control(f, "XmitSpdUpDn2").toolTip(), "Set Transmit Code Speed");
    EXPECT_EQ(control<QSpinBox>(f, "BandSpinEdit").value(), 1);
    EXPECT_EQ(control<QSlider>(f, "CoarseGainBar").value(), 10);
    EXPECT_EQ(control<QSlider>(f, "CoarseGainBar2").value(), 10);
    EXPECT_EQ(f.settings().DisplayGain, 5) << "the bars' form position is not a gain setting";
    // The station fields are the station panel's, each once in the window.
    const StationPanel& station = part<StationPanel>(f);
    for (const char* name : {"CallMemo", "GMTDateMemo", "BandSpinEdit"})
        EXPECT_EQ(control(f, name).parent(), &station) << name;
    EXPECT_GE(f.centralWidget()->width(), station.width()) << "the Log button is in sight";
}

TEST(DecoderFormLayoutTest, ScreenModesPlaceTheControls) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.show();
    const auto& clear = control<QPushButton>(f, "ClearButton");
    const QWidget& transmitMemo = control(f, "TransmitMemo");
    const QWidget& rcv2Pnl = control(f, "Rcv2Pnl");
    const QWidget& panel2 = control(f, "Panel2");
    EXPECT_EQ(clear.text(), "Clear Decode");
    f.click("TransmitReceive1");
    EXPECT_EQ(clear.text(), "Clr Decode");
    EXPECT_EQ(transmitMemo.y(), 268);
    EXPECT_FALSE(rcv2Pnl.isVisible());
    EXPECT_EQ(rcv2Pnl.y(), 616);
    EXPECT_EQ(panel2.y(), 594);
    EXPECT_EQ(f.windowHeight(), 649);
    EXPECT_EQ(f.clientHeight(), 599);
    EXPECT_EQ(raw(f.settings().ScreenOpMode), 1);

    f.click("ReceiveOnly1");
    EXPECT_EQ(transmitMemo.y(), 661);
    EXPECT_GE(transmitMemo.y(), f.clientHeight()) << "the transmit window must be out of sight";
    EXPECT_TRUE(rcv2Pnl.isVisible());
    EXPECT_EQ(rcv2Pnl.y(), control(f, "ImagePnl").height() + control(f, "Panel3").height() +
                               control(f, "RcvMemo").height() + control(f, "SplitPnl").height());
    EXPECT_EQ(panel2.y(), 312);
    EXPECT_EQ(f.windowHeight(), 366);
    EXPECT_EQ(f.clientHeight(), 317);
}

TEST(DecoderFormLayoutTest, BackgroundsFontsAndBold) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    auto text = [](QWidget& w) { return w.palette().color(QPalette::Text); };
    auto windowText = [](QWidget& w) { return w.palette().color(QPalette::WindowText); };
    auto base = [](QWidget& w) { return w.palette().color(QPalette::Base); };
    QWidget& transmitMemo = control(f, "TransmitMemo");
    QWidget& rcvMemo = control(f, "RcvMemo");
    QWidget& mkrLabel = control(f, "MkrLabel");
    QWidget& imagePnl = control(f, "ImagePnl");
    const StationPanel& station = part<StationPanel>(f);
    f.click("WhiteBackground");
    EXPECT_EQ(windowText(mkrLabel), QColor(Qt::red));
    EXPECT_EQ(text(transmitMemo), QColor(Qt::red));
    EXPECT_EQ(base(transmitMemo), QColor(Qt::white));
    EXPECT_EQ(text(rcvMemo), QColor(Qt::black));
    EXPECT_EQ(windowText(control(f, "UTCPnl")), QColor(Qt::black));
    EXPECT_EQ(imagePnl.palette().color(QPalette::Window), QColor(Qt::white));
    const SpectrumBox* box = part<SpectrumPanel>(f).spectrumBox();
    EXPECT_EQ(box->frame().pixelColor(20, 20), QColor(Qt::white));
    EXPECT_EQ(station.committedTextColour(), QColor(Qt::black));
    f.click("BlackBackground");
    for (const char* name : {"TransmitMemo", "RcvMemo", "XmitSpdUpDn2", "RcvWPMPnl", "Label3"})
        EXPECT_EQ(windowText(control(f, name)), QColor(Qt::white)) << name;
    EXPECT_EQ(windowText(mkrLabel), QColor(Qt::white));
    EXPECT_EQ(station.committedTextColour(), QColor(Qt::white));
    EXPECT_EQ(base(rcvMemo), QColor(Qt::black));
    EXPECT_EQ(imagePnl.palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(box->frame().pixelColor(20, 20), QColor(Qt::black)) << "before the first pass";
    EXPECT_EQ(raw(f.settings().Background), 0);

    f.click("On2");
    EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(raw(f.settings().StayOnTop), 1);
    f.click("Off2");
    EXPECT_FALSE(f.windowFlags() & Qt::WindowStaysOnTopHint);

    f.click("MediumFont1");
    EXPECT_EQ(transmitMemo.font().pointSize(), 16);
    EXPECT_EQ(rcvMemo.font().pointSize(), 18);
    f.click("LargeFont1");
    EXPECT_EQ(transmitMemo.font().pointSize(), 20);
    EXPECT_EQ(rcvMemo.font().pointSize(), 20);
    f.click("Bold1");
    EXPECT_TRUE(rcvMemo.font().bold());
    EXPECT_FALSE(transmitMemo.font().bold());
    EXPECT_EQ(rcvMemo.font().pointSize(), 20) << "bold must keep the size";
    f.click("Normal3");
    EXPECT_FALSE(rcvMemo.font().bold());
}

TEST(DecoderFormLayoutTest, FocusRuleAndGainBars) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(pumpUntil([&] { return f.isActiveWindow(); }, 2000ms));
    QWidget& transmitMemo = control(f, "TransmitMemo");
    QWidget& rcvMemo = control(f, "RcvMemo");
    transmitMemo.setFocus();
    f.click("ScrollingOff1");
    EXPECT_TRUE(pumpUntil([&] { return rcvMemo.hasFocus(); }, 1000ms));
    startTransmitRun(f); // typed characters are being sent
    rcvMemo.setFocus();
    ASSERT_TRUE(pumpUntil([&] { return rcvMemo.hasFocus(); }, 1000ms));
    f.click("Short1");
    EXPECT_TRUE(pumpUntil([&] { return transmitMemo.hasFocus(); }, 1000ms));

    auto& gainBar = control<QSlider>(f, "CoarseGainBar");
    control<QSlider>(f, "CoarseGainBar2").setValue(17);
    EXPECT_EQ(f.settings().DisplayGain, 17);
    EXPECT_EQ(gainBar.value(), 10) << "the two gain bars are independent";
    gainBar.setValue(3);
    EXPECT_EQ(f.settings().DisplayGain, 3);
    bool posted = false;
    for (const auto& c : r.processor.commands())
        posted |= c == ReceiveCommand::displayGain(17);
    EXPECT_TRUE(posted);
}

TEST(DecoderFormLayoutTest, AboutHelpAndPlaceholders) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.click("About1");
    ASSERT_EQ(r.messages.messages.size(), 1u);
    EXPECT_EQ(r.messages.messages[0].caption, "About DITA");
    EXPECT_NE(r.messages.messages[0].text.find("\n             Version 1.38"), std::string::npos);

    f.click("Help1");
    ASSERT_EQ(r.opened.size(), 1u);
    EXPECT_TRUE(r.opened[0].toLocalFile().endsWith("DITA.html"));
    EXPECT_EQ(r.messages.messages.size(), 1u) << "a working viewer gives no message";
    r.openResult = false;
    f.click("Help1");
    EXPECT_TRUE(r.hasMessage("Could not run the help application", ""));
}

// ---------------------------------------------------------------- the loop behind the window

TEST(DecoderFormLoopTest, TheClockRunsOnWhileReceptionPausesForASend) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 1; }));
    holdCarrier(f, true); // no passes while the carrier is keyed
    // A pass handed over just before the pause may still be on its way (a slow build delivers it
    // late): let it land before counting.
    pumpUntil([] { return false; }, 400ms);
    const int passes = f.passesShown();
    const QString before = f.readout().utcTime;
    EXPECT_TRUE(pumpUntil([&] { return f.readout().utcTime != before; }, 2500ms))
        << "the UTC clock stood at " << before.toStdString();
    EXPECT_EQ(f.passesShown(), passes);
    EXPECT_EQ(f.clockTexts().LogTimeText, f.readout().utcTime.remove(':').toStdString());
    holdCarrier(f, false);
}

TEST(DecoderFormLoopTest, PassesReachTheWindowAndQuittingLeavesNoThread) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 3; }));
    EXPECT_EQ(r.loads, 1);
    EXPECT_TRUE(r.firstStartDuringLoad);
    EXPECT_FALSE(f.FirstStart());
    const FormReadout shownNow = f.readout();
    EXPECT_TRUE(shownNow.receiveText.startsWith("EEE"));
    EXPECT_EQ(shownNow.marker, "5\n3\n2");
    EXPECT_EQ(shownNow.receiveWpm, "20");
    EXPECT_EQ(shownNow.rawSnr, "RAW = 17");
    EXPECT_DOUBLE_EQ(f.signalBarValue(), 12.5);
    EXPECT_EQ(f.signalBarColor(), 0xFF0000u);
    EXPECT_TRUE(f.rcvLedOn());
    EXPECT_FALSE(f.xmitLedOn());
    const QString gmtDate = control<QLineEdit>(f, "GMTDateMemo").text();
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(shownNow.utcTime).hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d$").match(gmtDate).hasMatch());
    EXPECT_EQ(f.clockTexts().LogDateText, QString(gmtDate).remove('-').toStdString());
    EXPECT_EQ(f.clockTexts().LogTimeText, QString(shownNow.utcTime).remove(':').toStdString());

    // Text is written at the caret, replacing a selection.
    auto& rcvMemo = control<QPlainTextEdit>(f, "RcvMemo");
    QTextCursor c = rcvMemo.textCursor();
    c.setPosition(0);
    c.setPosition(2, QTextCursor::KeepAnchor);
    rcvMemo.setTextCursor(c);
    const int shown = f.passesShown();
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() > shown; }));
    EXPECT_TRUE(f.readout().receiveText.startsWith("EE")); // two replaced by at least one

    // A second SystemTimer tick while the loop runs changes nothing.
    const int entries = f.loopEntries();
    f.SystemTimerTimer();
    EXPECT_EQ(f.loopEntries(), entries);

    f.close(); // the close box runs the quit sequence
    EXPECT_EQ(r.saves, 1);
    EXPECT_EQ(r.terminates, 1);
    EXPECT_FALSE(f.loopRunning());
    EXPECT_FALSE(r.catalog.script(0).running) << "the device is released";
    f.Quit1Click();
    EXPECT_EQ(r.saves, 1) << "the configuration is saved exactly once";
}

TEST(DecoderFormLoopTest, QuitStopsASendBeforeAndAfterSavingThenKeysUp) {
    ensureApp();
    FakeCatalog catalog(1);
    RecordingProcessor processor;
    RecordingMessageService messages;
    std::vector<std::string> steps;
    bool sending = true;
    DecoderFormServices s;
    s.catalog = &catalog;
    s.processor = &processor;
    s.messages = &messages;
    s.saveConfiguration = [&] {
        steps.push_back("save");
        sending = true; // the send thread was still finishing
    };
    s.sendActive = [&] { return sending; };
    s.stopSend = [&] {
        steps.push_back("stop send");
        sending = false;
    };
    s.keyUp = [&] { steps.push_back("key up"); };
    s.terminate = [&] { steps.push_back("terminate"); };
    KeyingParts keying;
    s.keying = &keying;
    TDecoderForm f(s);
    f.SystemTimerTimer(); // the first tick loads the configuration
    f.Quit1Click();
    EXPECT_EQ(steps,
              (std::vector<std::string>{"stop send", "save", "stop send", "key up", "terminate"}));
}

TEST(DecoderFormLoopTest, QuittingBeforeTheFirstLoadKeepsTheStoredSettings) {
    FormRig r(1, false); // the first SystemTimer tick, which loads DITA.cfc, has not come
    r.form->close();
    EXPECT_EQ(r.loads, 0);
    EXPECT_EQ(r.saves, 0) << "the creation defaults would overwrite the operator's settings";
    EXPECT_EQ(r.terminates, 1);
}

TEST(DecoderFormLoopTest, TransmitPausesTheWindowAndCaptureRestartsFresh) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 2; }));
    holdCarrier(f, true);
    ASSERT_TRUE(pumpUntil([&] { return f.xmitLedOn() && !f.rcvLedOn(); }));
    pumpUntil([] { return false; }, 50ms);
    const int paused = r.processor.passes;
    const int resets = r.catalog.script(0).resets;
    pumpUntil([] { return false; }, 200ms);
    EXPECT_EQ(r.processor.passes, paused);
    holdCarrier(f, false);
    ASSERT_TRUE(pumpUntil([&] { return r.processor.passes >= paused + 2; }));
    EXPECT_TRUE(f.rcvLedOn());
    EXPECT_FALSE(f.xmitLedOn());
    EXPECT_EQ(r.catalog.script(0).resets, resets + 1);
    f.Quit1Click();
    EXPECT_FALSE(f.loopRunning());
}

TEST(DecoderFormLoopTest, ChannelChangeRestartsTheLoopWithTheNewFormat) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 2);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 1; }));
    EXPECT_EQ(r.catalog.script(0).openedChannels, 1);
    f.click("RightInput");
    EXPECT_TRUE(r.hasMessage("Be sure to set the mixer panel recording input to Line in",
                             "Operating Hint"));
    ASSERT_TRUE(pumpUntil([&] { return f.loopEntries() == 2 && f.loopRunning(); }));
    EXPECT_EQ(raw(f.settings().InputChannel), kInputRight);
    const int shown = f.passesShown();
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() > shown; }));
    EXPECT_EQ(r.catalog.script(0).openedChannels, 2);
    f.click("MicInput");
    EXPECT_TRUE(r.hasMessage("Be sure to set the mixer panel recording input to Microphone",
                             "Operating Hint"));
    ASSERT_TRUE(pumpUntil([&] { return f.loopEntries() == 3; }));
    f.Quit1Click();
    EXPECT_FALSE(f.loopRunning());
}

TEST(DecoderFormLoopTest, DeviceFailureShowsItsMessageThenEndsTheProgram) {
    FormRig r(1);
    r.catalog.script(0).startOk = false;
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return r.terminates == 1; }));
    EXPECT_TRUE(r.hasMessage("Error starting the input wave device", "Wave Device Message"));
    EXPECT_EQ(r.saves, 0) << "the error exit does not save";
    EXPECT_FALSE(f.loopRunning());
}

// ---------------------------------------------------------------- sound card windows

TEST(SoundCardWindowsTest, NoDeviceShowsTheErrorWindowAndItsButtonsWork) {
    {
        FormRig r(0);
        TDecoderForm& f = *r.form;
        ASSERT_TRUE(pumpUntil([&] { return errorWindowShown(f); }));
        TSndCardErrForm& err = part<TSndCardErrForm>(f);
        EXPECT_EQ(err.windowTitle(), "Sound Card Error");
        EXPECT_TRUE(err.SndCardErrMemo->toPlainText().startsWith(
            "No sound card was detected. Options are:\n\n1. Quit the program."));
        EXPECT_TRUE(f.flags().noInputDevice());
        ASSERT_TRUE(pumpUntil([&] { return f.rcvLedOn(); }));
        holdCarrier(f, true);
        ASSERT_TRUE(pumpUntil([&] { return f.xmitLedOn() && !f.rcvLedOn(); }));
        err.ContinueBtn->click();
        EXPECT_FALSE(err.isVisible());
        f.click("SelectSoundcard");
        EXPECT_TRUE(r.hasMessage("No Sound Device Detected", "Wave Device Message"));
        EXPECT_TRUE(part<TSoundCardSelect>(f).SoundCardManf->text().isEmpty());
    }
    {
        FormRig r(0);
        TDecoderForm& f = *r.form;
        ASSERT_TRUE(pumpUntil([&] { return errorWindowShown(f); }));
        part<TSndCardErrForm>(f).QuitBtn->click();
        EXPECT_EQ(r.saves, 1);
        EXPECT_EQ(r.terminates, 1);
        EXPECT_FALSE(f.loopRunning());
    }
}

TEST(SoundCardWindowsTest, EveryQuitEndsTheProgramWhileTheSoundCardWindowsAreOpen) {
    // Both sound card windows answer a close by hiding, and Qt asks its windows in no fixed
    // order: each way out is taken several times, with the real quit and a real event loop.
    enum Way { Menu, CloseBox, ErrorWindowQuit, SelectionQuit, kWays };
    constexpr int kRunsPerWay = 5;
    constexpr int kStillRunning = 99;
    constexpr auto kGuard = 10s; // only a quit that failed waits this long
    for (int run = 0; run < kWays * kRunsPerWay; ++run) {
        const Way way = static_cast<Way>(run % kWays);
        FormRig r(0, true, [](DecoderFormServices& s) { s.terminate = nullptr; });
        TDecoderForm& f = *r.form;
        f.show();
        ASSERT_TRUE(pumpUntil([&] { return errorWindowShown(f); }));
        f.click("SelectSoundcard");
        ASSERT_TRUE(part<TSoundCardSelect>(f).isVisible());
        QTimer::singleShot(0, &f, [&f, way] {
            switch (way) {
            case Menu:
                f.click("Quit1");
                break;
            case CloseBox:
                f.close();
                break;
            case ErrorWindowQuit:
                part<TSndCardErrForm>(f).QuitBtn->click();
                break;
            case SelectionQuit:
                part<TSoundCardSelect>(f).TermSndCardSel->click();
                break;
            case kWays:
                break;
            }
        });
        QObject guard; // the guard's timer goes with it when the quit works
        QTimer::singleShot(kGuard, &guard, [] { QCoreApplication::exit(kStillRunning); });
        ASSERT_EQ(QCoreApplication::exec(), 0)
            << "run " << run << ", way " << way << ": still running";
        EXPECT_EQ(r.saves, way == SelectionQuit ? 0 : 1) << "Quit Program leaves without saving";
        EXPECT_FALSE(f.loopRunning());
    }
}

TEST(SoundCardWindowsTest, SelectionDialogClampsTestsAndRestarts) {
    FormRig r(2);
    Feeder feed0(r.catalog.script(0), 1);
    Feeder feed1(r.catalog.script(1), 1);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 1; }));
    f.click("SelectSoundcard");
    TSoundCardSelect& d = part<TSoundCardSelect>(f);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.SoundCardManf->text(), "Fake input 0");
    EXPECT_TRUE(f.flags().capturePause.has(PauseReason::SoundCardDialog))
        << "no audio is handled while choosing";
    ASSERT_TRUE(pumpUntil([&] { return !f.loopRunning(); }));
    d.WaveUpDown->setValue(5);
    EXPECT_EQ(d.WaveUpDown->value(), 1);
    EXPECT_EQ(d.SoundCardManf->text(), "Fake input 1");
    EXPECT_EQ(d.SoundCardManf->palette().color(QPalette::WindowText), QColor(Qt::blue));

    r.catalog.script(1).openOk = false;
    d.CloseBtn->click();
    EXPECT_TRUE(r.hasMessage("Error Opening Input wave device, try a different device",
                             "Wave Device Message"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(f.settings().InputDeviceId, 0);

    r.catalog.script(1).openOk = true;
    d.CloseBtn->click();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(f.settings().InputDeviceId, 1);
    EXPECT_FALSE(f.flags().capturePause.has(PauseReason::SoundCardDialog));
    const int shown = f.passesShown();
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() > shown && f.loopEntries() == 2; }));
    EXPECT_GE(r.catalog.created[1], 2) << "test open and the loop's open";
    f.Quit1Click();
}

// ---------------------------------------------------------------- setup dialogs

TEST(SetupDialogsTest, ValuesRangesAndCancel) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    f.click("AFCStartFreq1");
    TAFCStartFreqForm& afc = part<TAFCStartFreqForm>(f);
    EXPECT_TRUE(afc.isVisible());
    EXPECT_EQ(afc.windowTitle(), "AFC Start Frequency");
    afc.AFCStartSpinBtn->setValue(5000);
    EXPECT_EQ(afc.AFCStartSpinBtn->value(), 1500);
    afc.AFCStartSpinBtn->setValue(20);
    EXPECT_EQ(afc.AFCStartSpinBtn->value(), 100);
    afc.AFCStartSpinBtn->setValue(750);
    afc.AFCStartCancelBtn->click();
    EXPECT_EQ(f.settings().AfcStartFreq, 600);
    EXPECT_FALSE(afc.isVisible());
    f.click("AFCStartFreq1");
    EXPECT_EQ(afc.AFCStartSpinBtn->value(), 750) << "the window keeps its value";
    afc.AFCStartBtn->click();
    EXPECT_EQ(f.settings().AfcStartFreq, 750);

    f.click("ShowConfiguration1");
    TCharTimingForm& ct = part<TCharTimingForm>(f);
    EXPECT_EQ(ct.windowTitle(), "Character Timing");
    for (size_t i = 0; i < 4; ++i) { // the window shows the weights the timing uses
        EXPECT_EQ(ct.upDowns[i]->value(), 100);
        EXPECT_EQ(ct.memos[i]->text(), "1");
    }
    ct.upDowns[0]->setValue(73);
    EXPECT_EQ(ct.memos[0]->text(), "0.73");
    EXPECT_FLOAT_EQ(f.settings().TimingWeights[0], 73.0f);
    ct.upDowns[1]->setValue(150);
    EXPECT_EQ(ct.memos[1]->text(), "1.5");
    EXPECT_EQ(ct.upDowns[3]->singleStep(), 10);
    ct.upDowns[2]->setValue(10);
    EXPECT_EQ(ct.upDowns[2]->value(), 50);
    ct.loadValues({120.9f, 100.0f, 100.0f, 200.0f});
    EXPECT_EQ(ct.upDowns[0]->value(), 120);
    EXPECT_EQ(ct.memos[0]->text(), "1.21");
    EXPECT_FLOAT_EQ(f.settings().TimingWeights[0], 73.0f) << "loading fills controls only";

    f.click("PortNumber1");
    TComPortSelectForm& com = part<TComPortSelectForm>(f);
    EXPECT_EQ(com.windowTitle(), "COM Port Selection");
    EXPECT_EQ(com.ComPortSpinBtn->value(), 3);
    EXPECT_TRUE(com.ComPortDeviceLabel->text().contains("/dev/ttyS2") ||
                com.ComPortDeviceLabel->text().contains("com3"));
    com.ComPortSpinBtn->setValue(40);
    EXPECT_TRUE(com.ComPortDeviceLabel->text().contains("/dev/ttyUSB7") ||
                com.ComPortDeviceLabel->text().contains("com40"));
    com.ComPortCancelBtn->click();
    EXPECT_EQ(f.settings().ComPortNumber, 0);
    f.click("PortNumber1");
    com.SelectComPortBtn->click();
    EXPECT_EQ(f.settings().ComPortNumber, 40);
    EXPECT_FALSE(com.isVisible());

    f.macroSources()[1] = "CQ CQ DE \xC4X";
    f.click("ShowMacros");
    const auto& listingWindow = part<macros::TTransmitMemoryForm>(f);
    const QString listing = listingWindow.Memo1->toPlainText();
    EXPECT_EQ(listing.count('\n'), 15);
    EXPECT_TRUE(listing.startsWith(QString::fromUtf8("M1 = CQ CQ DE \u00C4X\nM2 = \n")));
    EXPECT_TRUE(listing.contains("\nM7 = \n"));
    EXPECT_TRUE(listing.endsWith("M15 = \n"));
    EXPECT_EQ(listingWindow.windowTitle(), "Tranmit Memory (Macros)");

    // Long macros are listed whole rather than cut at a fixed size.
    for (int k = 1; k <= 15; ++k)
        f.macroSources()[static_cast<size_t>(k)] = std::string(200, 'A');
    f.click("ShowMacros");
    EXPECT_EQ(listingWindow.Memo1->toPlainText().count('A'), 15 * 200);
}
