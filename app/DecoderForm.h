#pragma once
// TDecoderForm: DITA's main window. It composes the parts it owns (the menus, the spectrum,
// instrument, receive, station and transmit panels, the setup windows and the Band window) and
// forwards the operator's actions to the settings, the receive session and the transmit side.
// It owns the operating settings and the receive session; what keys the transmitter
// (KeyingParts) and the devices are built outside and handed in.
// Its controls are private: others see the menu items, the read-out of what is shown and the
// configuration view.
//
// Who calls it: main() creates one on the window thread; every handler runs on the window
// thread. The run loop's worker thread reaches the window only through queued calls (one per
// pass, plus lamp changes and device messages) and through LoopFlags.
#include <QMainWindow>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ClockTexts.h"
#include "app/FormMenus.h"
#include "app/KeyingParts.h"
#include "app/MessageService.h"
#include "app/ReceiveSession.h"
#include "app/RunLoop.h"
#include "app/SoundCardDialogs.h"
#include "app/settings/MenuTable.h"
#include "app/settings/OperatingSettings.h"
#include "app/settings/WindowSettings.h"
#include "log/TextFileActions.h"
#include "macros/MacroExpansion.h"
#include "receive/audio/CaptureCycle.h"
#include "station/RigControl.h"
#include "transmit/Keyer.h"
#include "transmit/KeyingPort.h"
#include "transmit/ToneOutput.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class QPixmap;
class QUrl;

namespace dita {

// The tuned bin nearest a tone (bin 1 is 0 Hz).
int binForToneHz(int hz);

inline constexpr const char* kLoadDefaultsQuestion =
    "Replace all settings, the macros and the window positions with the defaults?";

class CallQueue;
class ConfigWindow;
class InstrumentPanel;
class MessageButtonRow;
class ReceivePanel;
class OutputMenuHandlers;
class SpectrumArea;
class StationLink;
class StationPanel;
class BandView;
class IqBand;
class BandWorker;
class SettingsFile;
class SetupWindows;
class ToneMenuHandlers;
class TransmitPanel;
class TransmitSpeedPanel;

// What the window needs from outside; main() passes the real parts, tests pass fakes.
struct DecoderFormServices {
    DeviceCatalog* catalog = nullptr;
    PassProcessor* processor = nullptr;
    MessageService* messages = nullptr;
    std::function<bool(const QUrl&)> openUrl; // default: the desktop's viewer
    std::function<void()> loadConfiguration;  // DITA.cfc, applied through the handlers
    std::function<void()> saveConfiguration;
    std::function<void()> loadDefaults; // File, Load Defaults (DefaultDITA.cfc)
    // The send controls: is a whole-text send running, stop it, and put the keying line to
    // key-up. Empty until the transmit side is connected.
    std::function<bool()> sendActive;
    std::function<void()> stopSend;
    std::function<void()> keyUp;
    std::function<void()> terminate;       // default: quit the application
    std::optional<int> startInputDeviceId; // --input-file: use this device at start
    std::optional<int> startToneHz;        // --tone: tune to this tone once started
    // What keys the transmitter (required); it outlives the window.
    KeyingParts* keying = nullptr;
    // The file dialogs of Save Rcv / Save Transmit / Load Transmit; empty: the real dialogs.
    TextFileActions::FileChooser chooseSaveFile;
    TextFileActions::FileChooser chooseOpenFile;
    // A text loaded into the transmit window is handed on to transmit control here.
    std::function<void(int bufferIndex, const std::string& text)> transmitTextLoaded;
    // Sidetone and beacon carrier changes, for the keyers.
    std::function<void(const ToneSettings&, const BeaconCarrier&)> applyTone;
    // The keyer transmit control uses; empty: the serial keyer or the tone keyer, as
    // OutputDevice says.
    std::function<Keyer*()> keyer;
    // DITA.conf with the rig control and keying listener settings; empty: neither starts
    // (the Setup dialogs then keep their settings for this run only).
    std::optional<std::filesystem::path> stationSettingsFile;
    RigTiming rigTiming{};
    // The band decoder's thread (null: no band decoding) and DITA's own settings file, which
    // keeps the Band window's placement (null: not kept).
    BandWorker* bandWorker = nullptr;
    // A whole band's I/Q recording as the input (null: none): the Band window lists its
    // signals, opens at start, and a click on one tunes the I/Q receiver to it.
    IqBand* iqBand = nullptr;
    SettingsFile* settingsFile = nullptr;
    int systemTimerMs = 1000;
    // False: SystemTimer is not started, so the first tick (configuration load, loop entry)
    // comes only when SystemTimerTimer() is called.
    bool startSystemTimer = true;
    CaptureTimings captureTimings{};
    LoopTimings loopTimings{};
};

// What the window shows, as the operator reads it off the screen.
struct FormReadout {
    QString receiveText;    // the receive window (RcvMemo)
    QString transmitText;   // the transmit window
    QString receiveWpm;     // RcvWPMPnl: the receive speed of the last pass shown
    QString rawSnr;         // RawSnrMemo
    QString marker;         // the spectrum's marker (MkrLabel), one digit a line
    QString utcTime;        // UTCPnl
    QString utcDate;        // UTCDatePnl
    int xmitSpeed = 0;      // the transmit speed spin edit XmitSpdUpDn2
    QString xmitSpeedPanel; // XmitSpeedPanel beside the up-down
};

class TDecoderForm : public QMainWindow {
    Q_OBJECT
public:
    // FormCreate: defaults, layout for receive-only mode, menus, setup windows; then
    // SystemTimer is enabled.
    explicit TDecoderForm(DecoderFormServices services, QWidget* parent = nullptr);
    ~TDecoderForm() override; // FormDestroy: stops the run loop first

    // ---- life cycle: the timers' ticks and the quit
    void SystemTimerTimer();
    void SystemTimer2Timer();
    void Quit1Click();
    // A problem nobody asked about (a settings file that cannot be saved): on standard error
    // and in the status line, never a box waiting for OK, so an unattended quit still ends.
    void notice(const std::string& text);

    // ---- menu items, as the menu table names them ("Quiet2", "MediumFont1", ...). An unknown
    // name throws std::invalid_argument.
    // Runs the same handler as the menu; false when the item is disabled and nothing ran.
    bool click(const QString& itemName);
    QAction* item(const QString& itemName) const;
    // The items of the radio group an item belongs to (empty for plain commands).
    std::vector<QAction*> groupOf(const QString& itemName) const;
    // Runs the item that stands for this value of a setting; false when none does (a receive
    // setting's value then still reaches the receive engine).
    bool choose(SettingId setting, int32_t value);
    template <typename E> bool choose(SettingId setting, E value) {
        return choose(setting, static_cast<int32_t>(raw(value)));
    }

    // ---- state
    OperatingSettings& settings() { return m_settings; }
    LoopFlags& flags() { return m_session->flags(); }
    bool FirstStart() const { return m_FirstStart; }
    void setFirstStart(bool on) { m_FirstStart = on; } // the configuration load runs with it set
    bool loopRunning() const { return m_session->running(); }
    int passesShown() const { return m_passesShown; }
    int loopEntries() const { return m_session->entries(); }
    // The window's nominal height (client height plus caption) for the screen mode.
    int windowHeight() const { return m_windowHeight; }
    int clientHeight() const;
    // The macro texts M1..M15 that the editor writes and the listing shows.
    MacroSources& macroSources() { return m_windowSettings.Macros; }
    // The texts the "%" tokens of a macro stand for, as the controls hold them now.
    MacroFields macroFields() const;
    // What the configuration files read and apply (DITA.cfc, DefaultDITA.cfc).
    ConfigWindow& configWindow();

    // ---- what the window shows
    FormReadout readout() const;
    // The clock texts of the last tick (the log and the macro editor use them too).
    const ClockTexts& clockTexts() const { return m_clockTexts; }
    double signalBarValue() const;
    uint32_t signalBarColor() const;
    bool rcvLedOn() const;
    bool xmitLedOn() const;
    // A picture of the Band window while it is open (--screenshot); a null picture otherwise.
    QPixmap bandWindowPicture() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void About1Click();
    void Help1Click();
    // Error exit: code 1 returns at once; code 0 runs the stop sequence and terminates.
    void errorExit(int code);
    void stopSequence();
    void terminateApplication();
    void enableSystemTimer();
    // TypingActive of the send controls; the focus rule reads it.
    int typingActive() const;
    // The sound card becomes the output device without the item's handler (Load Defaults).
    void selectSoundCardOutput();
    // Configuration load: "Port Number" checked, "None" not, no dialog.
    void checkPortNumber();
    // Configuration load: stored values that no item of their group stands for.
    void setUnlistedSidetone(float hz);
    void setUnlistedCarrierTime(int seconds);
    MessageService& messages() { return *m_services.messages; }
    // The keyer of the current output device; null when nothing can be keyed.
    Keyer* currentKeyer();
    // Why the chosen output keys nothing, naming the setting to change; empty when it keys.
    std::string keyingProblem();
    bool openInViewer(const QUrl& url); // the help page in the desktop's viewer
    void postUnlisted(SettingId setting, int32_t value);

    void createControls();
    // The window's place into the stored values (after every move of the window).
    void windowPlaced();
    // The controls and dialogs report each change of a stored value to m_windowSettings, which
    // starts with the values they were made with.
    void keepWindowSettings();
    void createMenus();
    void selectDefaults();
    using OptionHandler = FormMenus::OptionHandler;
    std::map<std::string, std::function<void()>> commandHandlers();
    std::map<SettingId, OptionHandler> optionHandlers(); // the three below, by menu
    std::map<SettingId, OptionHandler> receiveOptionHandlers();
    std::map<SettingId, OptionHandler> windowOptionHandlers();
    std::map<SettingId, OptionHandler> keyingOptionHandlers();
    void post(ReceiveCommand command);
    void focusRule();

    // option handlers shared by the items of one group
    void InputChannelClick(int channel, QAction* own);
    void SelectSoundcardClick();
    void StayOnTopClick(int on, QAction* own);
    void BackgroundClick(int background, QAction* own);
    void ScreenOpModeClick(int mode, QAction* own);
    void ReceiveSpeedClick(int lock, QAction* own);
    void AfcClick(int width, QAction* own);
    void TextBoldClick(int bold, QAction* own);
    void FontSizeClick(int size, QAction* own);
    void applyFontSize(int size); // the memos' point sizes of FontSize 1..4
    void applyColours();
    void createSubsystems();
    void createBandView();
    MessageSink messageSink();
    void syncOutputChecks();
    void syncToneChecks();
    void keyUpLines();
    // The transmit speed controls, the transmit panel with its window in `client`, and the
    // message buttons, in the control panel.
    void createTransmitSide(QWidget* client);
    void createStationLink();
    void createMessageButtons();
    void transmitScreenChanged(int32_t screen);
    // The send timing follows the settings' TimingWeights.
    void keyWithTimingWeights();

    void enterRunLoop();
    void showPass(const PassResult& result, bool outputStalled);
    void showLeds(bool rcvOn, bool xmitOn);
    void insertReceiveText(const std::string& utf8);

    // ---- controls, named as on the form
    SpectrumArea* m_spectrum;       // ImagePnl with MkrLabel, and CoarseGainBar
    InstrumentPanel* m_instruments; // Panel3: signal bar, lamps, clocks, clear buttons
    ReceivePanel* m_receive;        // RcvMemo, the split bar and the second row (Rcv2Pnl)
    QFrame* ContrlPnl;              // the lower control panel (transmit/receive mode)
    StationPanel* StationPnl;
    TransmitSpeedPanel* m_speedPanel = nullptr; // the transmit speed controls and Sync
    MessageButtonRow* m_messageRow = nullptr;   // M1..M15
    QFrame* Panel2;
    QTimer* SystemTimer;
    QTimer* SystemTimer2;

    SetupWindows* m_setup = nullptr; // the setup, macro and sound card windows
    BandView* m_band = nullptr;      // the Band window

    DecoderFormServices m_services;
    OperatingSettings m_settings;
    WindowSettings m_windowSettings; // the stored values the controls and dialogs show
    CallQueue* m_calls = nullptr;    // child: worker threads' calls to this thread
    std::unique_ptr<ReceiveSession> m_session;
    class SoundCardHostImpl;
    std::unique_ptr<SoundCardHost> m_soundCardHost; // a SoundCardHostImpl
    class ConfigView;
    std::unique_ptr<ConfigView> m_configView;
    bool m_FirstStart = false;
    bool m_configLoading = false;
    bool m_quitting = false;
    int m_inputDeviceCount = 0;
    // The input device the settings file named when --input-file put its sound file in its
    // place for this session only; the save writes it back unless the operator chose another.
    std::optional<int> m_storedInputDeviceId;
    int m_windowHeight = 0;
    int m_passesShown = 0;
    int m_clientWidth = 0;
    int m_receiveWpm = 0;
    ClockTexts m_clockTexts;
    KeyingParts& m_keying;
    std::unique_ptr<OutputMenuHandlers> m_outputMenu;
    std::unique_ptr<ToneMenuHandlers> m_toneMenu;
    std::unique_ptr<TextFileActions> m_textFiles;
    std::unique_ptr<TransmitTextTarget> m_textTarget;
    TransmitPanel* m_transmitPanel = nullptr;
    // Rig control and the keying listener; made after the transmit side and the station panel.
    std::unique_ptr<StationLink> m_station;
    std::unique_ptr<FormMenus> m_menus; // the menu bar's items, wired to the handlers here
};

} // namespace dita
