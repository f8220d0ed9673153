// The subsystems inside the main window, driven as an operator drives them: the spectrum panel
// (click-to-tune, display type, timeline window), the station panel and its log file, the macro
// windows, the File menu's text files, the transmit speed controls and the keying port behind
// the Output Device, Invert Xmit and Setup PTT items.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "app/BandWorker.h"
#include "app/SetupDialogs.h"
#include "app/config/ConfigWindow.h"
#include "app/tests/FormRig.h"
#include "display/BandWindow.h"
#include "display/DisplayPanel.h"
#include "display/TimeLineForm.h"
#include "gaugekit/GkBar.h"
#include "gaugekit/GkLED.h"
#include "log/AdifLog.h"
#include "log/StationPanel.h"
#include "macros/MacroWindows.h"
#include "receive/tests/CwSynth.h"
#include "transmit/PttForm.h"
#include "transmit/SendTiming.h"
#include "transmit/TransmitControls.h"

using namespace dita;
using namespace dita::test;

namespace {

// A DITA folder of its own for one test, removed afterwards.
class DitaHome {
public:
    DitaHome() {
        m_path = std::filesystem::temp_directory_path() /
                 ("dita_window_" + std::to_string(::getpid()) + "_" + std::to_string(++s_count));
        std::filesystem::create_directories(m_path);
        if (const char* old = std::getenv("DITA_HOME")) m_old = old;
        ::setenv("DITA_HOME", m_path.c_str(), 1);
    }
    ~DitaHome() {
        if (m_old.empty())
            ::unsetenv("DITA_HOME");
        else
            ::setenv("DITA_HOME", m_old.c_str(), 1);
        std::filesystem::remove_all(m_path);
    }
    const std::filesystem::path& path() const { return m_path; }

private:
    static inline int s_count = 0;
    std::filesystem::path m_path;
    std::string m_old;
};

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool sentCommand(RecordingProcessor& processor, const ReceiveCommand& command) {
    for (const auto& c : processor.commands())
        if (c == command) return true;
    return false;
}

bool hasColourOtherThan(const QImage& image, QColor colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != colour) return true;
    return false;
}

void releaseLeftButton(QWidget* w, int x) {
    const QPointF at(x, w->height() / 2);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

// Modem lines that remember every level they were set to.
struct LineLog {
    std::vector<std::string> opened;
    std::vector<std::pair<ModemLine, bool>> writes;
    bool last(ModemLine line) const {
        for (auto it = writes.rbegin(); it != writes.rend(); ++it)
            if (it->first == line) return it->second;
        return false;
    }
};

class RecordingLines : public ModemLines {
public:
    explicit RecordingLines(LineLog& log) : m_log(log) {}
    void setLine(ModemLine line, bool raised) override { m_log.writes.emplace_back(line, raised); }

private:
    LineLog& m_log;
};

} // namespace

// ---------------------------------------------------------------- displays

TEST(WindowDisplaysTest, PassesDrawTheSpectrumAndAClickRetunesTheEngine) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    SpectrumPanel& panel = part<SpectrumPanel>(f);
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 2; }));
    EXPECT_TRUE(hasColourOtherThan(panel.spectrumBox()->frame(), Qt::white))
        << "the trace of the pass is on the screen";
    EXPECT_EQ(panel.markerText(), "532");

    releaseLeftButton(panel.image1(), 137);
    EXPECT_TRUE(sentCommand(r.processor, ReceiveCommand::tuneToBin(137)));

    // Display type from the menu: the panel checks the item, the engine and settings follow.
    f.click("Waterfall2");
    EXPECT_EQ(panel.displayType(), 1);
    EXPECT_EQ(raw(f.settings().DisplayType), 1);
    EXPECT_TRUE(f.item("Waterfall2")->isChecked());
    EXPECT_FALSE(f.item("Spectrum1")->isChecked());
    EXPECT_TRUE(
        sentCommand(r.processor, ReceiveCommand::displayType(setting::DisplayType::Waterfall)));
    f.click("Spectrum1");
    EXPECT_TRUE(f.item("Spectrum1")->isChecked());
    EXPECT_FALSE(f.item("Waterfall2")->isChecked());
    EXPECT_EQ(raw(f.settings().DisplayType), 0);
    f.Quit1Click();
}

TEST(WindowDisplaysTest, TimelineShowsFromTheMenuAndSkipsPassesWhileTheOutputIsStalled) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    TTimeLineForm& tl = part<TTimeLineForm>(f);
    EXPECT_FALSE(tl.isVisible()) << "made once at start, hidden";
    tl.setStoredPlacement({40, 30, 300, 500});
    f.click("Show2");
    EXPECT_TRUE(tl.isVisible());
    EXPECT_TRUE(tl.running());
    EXPECT_EQ(f.settings().TimelineShown, 1);

    int shown = f.passesShown();
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() > shown + 1; }));
    EXPECT_TRUE(hasColourOtherThan(tl.chart().image(), Qt::white));

    r.processor.stallDuringPass = &f.flags().capturePause;
    shown = f.passesShown(); // let queued passes and the window's own events settle first
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() > shown + 1; }));
    const QImage frozen = tl.chart().image().copy();
    shown = f.passesShown();
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() > shown + 2; }));
    EXPECT_EQ(tl.chart().image(), frozen) << "a pass with a stalled output draws no timeline";
    r.processor.stallDuringPass = nullptr;
    shown = f.passesShown();
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() > shown + 1; }));
    EXPECT_NE(tl.chart().image(), frozen);

    tl.TimeCloseBtnClick();
    EXPECT_EQ(f.settings().TimelineShown, 0);
    f.Quit1Click();
}

TEST(WindowDisplaysTest, GainBarsAndLampsAsTheFormHasThem) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    auto& signalBar = control<TGkBar>(f, "SignalBar");
    EXPECT_EQ(signalBar.size(), QSize(93, 22));
    EXPECT_DOUBLE_EQ(signalBar.SignalSettings()->ValueFrom(), 1.0);
    EXPECT_DOUBLE_EQ(signalBar.SignalSettings()->ValueTo(), 2000.0);
    for (const char* name : {"RcvLED", "XmitLED"}) {
        auto& led = control<TGkLED>(f, name);
        EXPECT_EQ(led.LED()->Shape(), sRectangle) << name;
        EXPECT_EQ(led.LED()->Width(), 30) << name;
        EXPECT_EQ(led.LED()->Height(), 20) << name;
    }
    EXPECT_EQ(control(f, "CoarseGainBar").parentWidget(), &control(f, "ContrlPnl"));
    EXPECT_EQ(control(f, "CoarseGainBar2").parentWidget(), &control(f, "Rcv2Pnl"));
    // The configuration loader sets the bar and runs its handler itself.
    f.configWindow().windowSettings().CoarseGainBar = 14;
    f.configWindow().coarseGainBarPositionChanged();
    f.configWindow().coarseGainBarChange();
    EXPECT_EQ(f.settings().DisplayGain, 14);
    EXPECT_EQ(part<SpectrumPanel>(f).displayGain(), 14);
    EXPECT_TRUE(sentCommand(r.processor, ReceiveCommand::displayGain(14)));
}

TEST(WindowDisplaysTest, ToneOptionTunesOnceTheWindowHasStarted) {
    FormRig r(1, true, [](DecoderFormServices& s) { s.startToneHz = 650; });
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return !f.FirstStart(); }));
    const int bin = f.settings().TunedBin;
    EXPECT_LT(std::abs((bin - 1) * kBinHz - 650.0), kBinHz / 2) << "the nearest bin to 650 Hz";
    EXPECT_TRUE(sentCommand(r.processor, ReceiveCommand::tuneToBin(bin)));
    f.Quit1Click();
}

// ---------------------------------------------------------------- station panel and log

TEST(WindowStationTest, LogButtonAppendsToTheLogInTheDitaFolderAndRefusesAnEmptyCall) {
    DitaHome home;
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    auto& callMemo = control<QLineEdit>(f, "CallMemo");
    auto& logButton = control<QPushButton>(f, "LogBtn");
    f.SystemTimer2Timer(); // the clock texts reach the station panel
    EXPECT_EQ(control<QLineEdit>(f, "GMTDateMemo").text(), f.readout().utcDate);
    callMemo.setText("DL1ABC");
    control<QLineEdit>(f, "MyCallMemo").setText("W1AW");
    control<QLineEdit>(f, "FrequencyMemo").setText("7.030");
    logButton.click();
    const auto log = home.path() / kLogFileName;
    ASSERT_TRUE(std::filesystem::exists(log));
    std::string text = readFile(log);
    EXPECT_NE(text.find("<call:6>DL1ABC"), std::string::npos) << text;
    EXPECT_NE(text.find("<station_callsign:4>W1AW"), std::string::npos) << text;
    EXPECT_NE(text.find("<qso_date:8>" + f.clockTexts().LogDateText), std::string::npos) << text;
    EXPECT_TRUE(r.hasMessage(kLogWrittenText, kFileMessageCaption));

    callMemo.clear();
    logButton.click();
    EXPECT_EQ(readFile(log), text) << "a refused entry leaves the log as it was";
    EXPECT_EQ(r.messages.messages.back().text, kNoStationText);

    callMemo.setText("G4XYZ");
    logButton.click();
    text = readFile(log);
    EXPECT_EQ(text.find("<call:6>DL1ABC"), 0u) << "the first record stays first";
    EXPECT_NE(text.find("<call:5>G4XYZ"), std::string::npos);
}

TEST(WindowStationTest, BlackSchemeAndMacroFieldsComeFromTheStationPanelAndTheEditor) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    const StationPanel& station = part<StationPanel>(f);
    f.click("BlackBackground");
    EXPECT_EQ(station.committedTextColour(), QColor(Qt::white));
    f.click("WhiteBackground");
    EXPECT_EQ(station.committedTextColour(), QColor(Qt::black));

    control<QLineEdit>(f, "CallMemo").setText("DL1ABC");
    control<QLineEdit>(f, "MyCallMemo").setText("W1AW");
    control<QLineEdit>(f, "NameMemo").setText("Hans");
    control<QLineEdit>(f, "RSTMemo").setText("579");
    control<QLineEdit>(f, "MyRSTMemo").setText("599");
    control<QSpinBox>(f, "XmitCntrSpinEdit").setValue(42);
    auto& editor = part<macros::TXmitMacrosForm>(f);
    editor.MyNameMemo->setText("Joe");
    editor.QTHMemo->setText("Newington");
    const MacroFields m = f.macroFields();
    EXPECT_EQ(m.CallMemo, "DL1ABC");
    EXPECT_EQ(m.MyCallMemo, "W1AW");
    EXPECT_EQ(m.NameMemo, "Hans");
    EXPECT_EQ(m.RSTMemo, "579");
    EXPECT_EQ(m.MyRSTMemo, "599");
    EXPECT_EQ(m.XmitCntrMemo, "42");
    EXPECT_EQ(m.MyNameMemo, "Joe");
    EXPECT_EQ(m.QTHMemo, "Newington");
    EXPECT_EQ(ExpandMacro("%a DE %b NR %i", m), "DL1ABC DE W1AW NR 42");
}

// ---------------------------------------------------------------- macros and text files

TEST(WindowMacrosTest, EditorSavesIntoTheWindowsMacrosAndTheListingShowsThem) {
    DitaHome home;
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    auto& editor = part<macros::TXmitMacrosForm>(f);
    const auto& listing = part<macros::TTransmitMemoryForm>(f);
    f.click("Edit1");
    ASSERT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.windowTitle(), "Macro Edit");
    editor.Memo1->setPlainText("CQ TEST DE %b");
    ASSERT_TRUE(editor.saveMacro(3));
    EXPECT_EQ(f.macroSources()[3], "CQ TEST DE %b");
    f.click("ShowMacros");
    EXPECT_TRUE(listing.isVisible());
    EXPECT_TRUE(listing.Memo1->toPlainText().contains("M3 = CQ TEST DE %b\n"));
    f.SystemTimer2Timer();
    EXPECT_EQ(editor.GMTMemo->text().toStdString(), f.clockTexts().utcTime);
}

TEST(WindowTextFilesTest, SaveAndLoadGoThroughTheChosenFilesAndHandTheTextOn) {
    DitaHome home;
    const auto saved = home.path() / "rcv.txt";
    const auto loaded = home.path() / "load.txt";
    QString openChoice = QString::fromStdString(loaded.string());
    std::vector<std::pair<int, std::string>> handed;
    FormRig r(1, false, [&](DecoderFormServices& s) {
        s.chooseSaveFile = [&](QWidget*) { return QString::fromStdString(saved.string()); };
        s.chooseOpenFile = [&](QWidget*) { return openChoice; };
        s.transmitTextLoaded = [&](int index, const std::string& text) {
            handed.emplace_back(index, text);
        };
    });
    TDecoderForm& f = *r.form;
    control<QPlainTextEdit>(f, "RcvMemo").setPlainText("CQ DE W1AW\nK");
    f.click("SaveRcv1");
    const std::string rcv = readFile(saved);
    EXPECT_NE(rcv.find("CQ DE W1AW"), std::string::npos);
    EXPECT_NE(rcv.find('K'), std::string::npos);

    std::ofstream(loaded) << "TEST DE DL1ABC";
    f.click("LoadTransmit1");
    EXPECT_EQ(f.readout().transmitText, "TEST DE DL1ABC");
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0].first, kLoadedTextBuffer);
    EXPECT_NE(handed[0].second.find("TEST DE DL1ABC"), std::string::npos);

    openChoice.clear(); // cancelled: the window keeps its text, which is still handed on
    const size_t messages = r.messages.messages.size();
    f.click("LoadTransmit1");
    EXPECT_EQ(f.readout().transmitText, "TEST DE DL1ABC");
    EXPECT_EQ(handed.size(), 2u);
    EXPECT_EQ(r.messages.messages.size(), messages);
}

// ---------------------------------------------------------------- transmit side

TEST(WindowTransmitTest, SpeedControlsHoldTheSerialLimitAndPublishTheTiming) {
    FormRig r(1, false);
    TDecoderForm& f = *r.form;
    EXPECT_GT(r.keying.timing().current().DotMs, 0) << "timing exists before any speed change";

    auto& speedSpin = control<QSpinBox>(f, "XmitSpdUpDn2"); // the operator types a speed
    speedSpin.setValue(70);                                 // serial port is the default output
    EXPECT_EQ(f.readout().xmitSpeed, 50);
    EXPECT_EQ(f.settings().XmitSpeed, 50);
    EXPECT_EQ(r.keying.timing().current().DotMs, ComputeSendTiming(50, TimingWeights{}).DotMs);
    EXPECT_TRUE(r.messages.messages.empty()) << "the spin edit cuts without a message";

    auto& upDown = control<QSpinBox>(f, "XmitSpdUpDn");
    upDown.setValue(80); // the up-down's arrows, then their release
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&upDown, &release);
    ASSERT_TRUE(pumpUntil([&] { return upDown.value() == 50; }));
    EXPECT_TRUE(r.hasMessage(kSerialSpeedNoteText, kTransmitSpeedNoteCaption));
    EXPECT_EQ(upDown.value(), 50);
    EXPECT_EQ(f.readout().xmitSpeedPanel, "50");

    f.click("SoundCard1");
    speedSpin.setValue(70);
    EXPECT_EQ(f.readout().xmitSpeed, 70);
    EXPECT_EQ(r.keying.timing().current().DotMs, ComputeSendTiming(70, TimingWeights{}).DotMs);

    // A damaged configuration record stays within the spin edit's range.
    f.configWindow().applyXmitSpeed(135);
    EXPECT_EQ(f.readout().xmitSpeed, 125);
    EXPECT_EQ(f.readout().xmitSpeedPanel, "125");
    EXPECT_EQ(f.settings().XmitSpeed, 125);
    f.configWindow().applyXmitSpeed(70);

    startTransmitRun(f); // while typed characters are sent the spin edit changes nothing
    speedSpin.setValue(30);
    EXPECT_EQ(r.keying.timing().current().DotMs, ComputeSendTiming(70, TimingWeights{}).DotMs);
    f.click("N15WPM"); // the speed locks still do
    EXPECT_EQ(r.keying.timing().current().DotMs, ComputeSendTiming(15, TimingWeights{}).DotMs);
    EXPECT_EQ(f.readout().xmitSpeed, 15);
}

TEST(WindowTransmitTest, SyncCopiesTheReceiveSpeedOfTheLastPass) {
    FormRig r(1);
    Feeder feed(r.catalog.script(0), 1);
    TDecoderForm& f = *r.form;
    ASSERT_TRUE(pumpUntil([&] { return f.passesShown() >= 1; }));
    f.click("SoundCard1");
    control<QSpinBox>(f, "XmitSpdUpDn2").setValue(40);
    control<QPushButton>(f, "SyncBtn").click();
    EXPECT_EQ(f.readout().receiveWpm, "20");
    EXPECT_EQ(f.readout().xmitSpeed, 20);
    EXPECT_EQ(f.settings().XmitSpeed, 20);
    f.Quit1Click();
}

TEST(WindowTransmitTest, OutputDeviceSwitchesTheSidetoneAndToneItemsReachTheKeyers) {
    std::vector<ToneSettings> applied;
    std::vector<BeaconCarrier> carriers;
    FormRig r(1, false, [&](DecoderFormServices& s) {
        s.applyTone = [&](const ToneSettings& t, const BeaconCarrier& c) {
            applied.push_back(t);
            carriers.push_back(c);
        };
    });
    TDecoderForm& f = *r.form;
    f.click("SoundCard1");
    EXPECT_TRUE(f.item("SideToneOn")->isChecked());
    EXPECT_FALSE(f.item("SideToneOFF")->isChecked());
    EXPECT_EQ(raw(f.settings().SidetoneOn), 1);
    ASSERT_FALSE(applied.empty());
    EXPECT_TRUE(applied.back().SidetoneOn);
    f.click("Freq3");
    EXPECT_FLOAT_EQ(applied.back().SidetoneFreq, 1000.0f);
    f.click("Squarewave1");
    EXPECT_EQ(raw(f.settings().SidetoneWaveform), 1);
    EXPECT_FALSE(f.item("Sinewave1")->isChecked());
    f.click("N4Seconds1");
    EXPECT_EQ(carriers.back().BeaconCarrierTime, 4);
    EXPECT_EQ(f.settings().BeaconCarrierSamples, 4 * 44100);

    f.configWindow().setConfigLoading(true); // as the configuration load does: no dialog
    f.click("SerialPort1");
    EXPECT_FALSE(part<TComPortSelectForm>(f).isVisible());
    EXPECT_TRUE(f.item("SideToneOFF")->isChecked());
    EXPECT_FALSE(applied.back().SidetoneOn);
}

TEST(WindowTransmitTest, SerialOutputOpensTheChosenPortOfAPseudoTerminal) {
    DitaHome home;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::filesystem::create_symlink(::ptsname(master), home.path() / "com5");
    std::filesystem::create_symlink(home.path() / "missing", home.path() / "com6");
    {
        FormRig r(1, false);
        TDecoderForm& f = *r.form;
        f.setFirstStart(false);
        f.click("SoundCard1");
        f.click("SerialPort1");
        TComPortSelectForm& com = part<TComPortSelectForm>(f);
        ASSERT_TRUE(com.isVisible()) << "the operator picks the port";
        com.ComPortSpinBtn->setValue(5);
        EXPECT_TRUE(com.ComPortDeviceLabel->text().contains("com5"));
        com.SelectComPortBtn->click();
        EXPECT_TRUE(r.keying.port().PortOpen());
        EXPECT_EQ(f.settings().ComPortNumber, 5);
        EXPECT_EQ(raw(f.settings().OutputPort), kOutputPortNumber);
        EXPECT_TRUE(r.messages.messages.empty());

        f.click("PortNumber1");
        com.ComPortSpinBtn->setValue(6);
        com.SelectComPortBtn->click();
        EXPECT_TRUE(r.hasMessage(kComOpenFailedText, kCommIoErrorCaption));
        EXPECT_FALSE(r.keying.port().PortOpen());
    }
    ::close(master);
}

TEST(WindowTransmitTest, InvertAndQuitDriveTheKeyingLinesAndSetupPttShowsItsDialog) {
    LineLog lines;
    KeyingSetup keying;
    keying.opener = [&](const std::string& path) -> std::unique_ptr<ModemLines> {
        lines.opened.push_back(path);
        return std::make_unique<RecordingLines>(lines);
    };
    FormRig r(1, false, {}, keying);
    TDecoderForm& f = *r.form;
    f.settings().ComPortNumber = 4;
    f.configWindow().setConfigLoading(
        true); // the configuration load opens the stored port directly
    f.click("SerialPort1");
    f.configWindow().setConfigLoading(false);
    ASSERT_EQ(lines.opened.size(), 1u);
    EXPECT_EQ(lines.opened[0], comDevicePath(4));

    f.click("Invert2");
    EXPECT_EQ(r.keying.port().KeyInvert.load(), kKeyInverted);
    EXPECT_TRUE(lines.last(ModemLine::Dtr)) << "inverted key-up raises the data line";
    f.click("Normal1");
    EXPECT_FALSE(lines.last(ModemLine::Dtr));

    f.click("SetupPTT");
    TPTTForm& ptt = part<TPTTForm>(f);
    ASSERT_TRUE(ptt.isVisible());
    EXPECT_EQ(ptt.windowTitle(), "PTT Setup");
    ptt.PTTEnbCheckBox->setChecked(true);
    ptt.PTTEnbCheckBoxMouseUp();
    EXPECT_TRUE(r.keying.port().ptt().PttEnable);
    ptt.hide();

    r.keying.port().KeyState = kKeyDown;
    r.keying.port().SetKeyLines(kKeyDown);
    ASSERT_TRUE(lines.last(ModemLine::Dtr));
    f.Quit1Click();
    EXPECT_FALSE(lines.last(ModemLine::Dtr)) << "quitting leaves the key up";
    EXPECT_EQ(r.keying.port().KeyState.load(), kKeyUp);
    EXPECT_EQ(f.settings().PttEnable, 1) << "the dialog's choice is kept with the settings";
}

TEST(WindowTransmitTest, AMessageFromAnotherThreadIsShownByTheWindowThread) {
    KeyingSetup keying;
    keying.opener = [](const std::string&) -> std::unique_ptr<ModemLines> { return nullptr; };
    FormRig r(1, false, {}, keying); // the window reports the keying port's messages
    r.keying.port().OutputPort = kOutputPortNumber;
    std::thread sender([&] { r.keying.port().openDevice("/dev/null-port"); });
    sender.join();
    EXPECT_TRUE(r.messages.messages.empty()) << "not shown on the sender's thread";
    ASSERT_TRUE(pumpUntil([&] { return !r.messages.messages.empty(); }, 2000ms));
    EXPECT_TRUE(r.hasMessage(kComOpenFailedText, kCommIoErrorCaption));
}

// ---------------------------------------------------------------- band window

// Three senders through the real run loop and band decoder thread: the Band window lists them
// by frequency with their text, the waterfall marks them, and a click on a row tunes the main
// decoder as a click on the spectrum at that frequency does.
TEST(WindowBandTest, BandWindowListsTheSendersAndARowClickTunesLikeTheSpectrum) {
    BandWorker worker;
    FormRig r(1, true, [&](DecoderFormServices& s) { s.bandWorker = &worker; });
    TDecoderForm& f = *r.form;
    f.click("BandDecoder1");
    BandWindow& band = part<BandWindow>(f);
    SpectrumPanel& spectrum = part<SpectrumPanel>(f);
    ASSERT_TRUE(band.isVisible());
    ASSERT_TRUE(worker.enabled());

    const std::vector<test::BandSignal> senders = {
        {"CQ CQ DE W1AW W1AW K", {20, 500, 0, 12, 0.5, 0, 1}},
        {"TNX FER CALL UR RST 579", {25, 1210, 0, 10, 1.0, 0, 2}},
        {"QRL? DE F5NQ F5NQ", {18, 1900, 0, 15, 0.7, 0, 3}},
    };
    const auto audio = test::synthesizeBand(senders, 1000.0, 16.0, 9);
    FakeDeviceScript& device = r.catalog.script(0);
    ASSERT_TRUE(pumpUntil([&] { return device.running.load(); }));
    const int channels = std::max<int>(1, device.openedChannels.load());
    std::atomic<bool> delivered{false};
    std::thread player([&] {
        constexpr size_t kChunk = 1024;
        for (size_t i = 0; i + kChunk <= audio.size(); i += kChunk) {
            std::vector<int16_t> frames(kChunk * static_cast<size_t>(channels));
            for (size_t j = 0; j < kChunk; ++j)
                for (int c = 0; c < channels; ++c)
                    frames[j * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                        static_cast<int16_t>(audio[i + j]);
            device.deliver(frames);
            // About real time, as a sound card delivers: the band worker drops blocks it cannot
            // keep up with, and under a sanitizer on a busy machine a faster feed would starve it.
            std::this_thread::sleep_for(20ms);
        }
        delivered = true;
    });
    auto rowsMatch = [&] {
        QTableWidget* t = band.table();
        if (t->rowCount() != static_cast<int>(senders.size())) return false;
        for (int row = 0; row < t->rowCount(); ++row) {
            const double hz = t->item(row, 0)->data(Qt::UserRole).toDouble();
            if (std::abs(hz - senders[static_cast<size_t>(row)].signal.toneHz) > 15.0) return false;
            const std::string& text = senders[static_cast<size_t>(row)].text;
            // The last word the sender keyed ends the row's text.
            const QString last = QString::fromStdString(text.substr(text.rfind(' ') + 1)).toLower();
            if (!t->item(row, BandWindow::kTextColumn)->text().trimmed().endsWith(last))
                return false;
        }
        return true;
    };
    const bool listed = pumpUntil(rowsMatch, 60000ms);
    player.join();
    ASSERT_TRUE(listed) << "rows: " << band.table()->rowCount()
                        << ", band passes dropped: " << worker.droppedPasses();
    EXPECT_TRUE(band.status()->text().startsWith("3 signals"))
        << band.status()->text().toStdString();

    // The waterfall marks each channel at its bin.
    const auto& marks = spectrum.spectrumBox()->bandMarks();
    ASSERT_EQ(marks.size(), senders.size());
    for (size_t i = 0; i < marks.size(); ++i)
        EXPECT_NEAR((marks[i] - 1) * kBinHz, senders[i].signal.toneHz, 15.0);

    if (const char* dir = std::getenv("DITA_SCREENSHOT_DIR")) {
        f.click("Waterfall2");
        pumpUntil([] { return false; }, 1500ms);
        band.grab().save(QString(dir) + "/band-window.png");
        spectrum.grab().save(QString(dir) + "/band-marks.png");
    }

    // A click on the middle row: the engine is told to tune to the bin of that frequency, the
    // command a click on the spectrum at that column sends.
    QTableWidget* t = band.table();
    const double hz = t->item(1, 0)->data(Qt::UserRole).toDouble();
    const QRect cell = t->visualItemRect(t->item(1, BandWindow::kTextColumn));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const QPointF at = cell.center();
        QMouseEvent click(type, at, t->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(t->viewport(), &click);
    }
    const int bin = static_cast<int>(std::lround(hz / kBinHz)) + 1;
    EXPECT_TRUE(sentCommand(r.processor, ReceiveCommand::tuneToBin(bin)));
    EXPECT_NEAR((bin - 1) * kBinHz, senders[1].signal.toneHz, kBinHz + 15.0);

    // Closing the window stops the band decoding and clears the marks.
    band.close();
    EXPECT_FALSE(worker.enabled());
    EXPECT_TRUE(spectrum.spectrumBox()->bandMarks().empty());
}
