#pragma once
// TDecoderForm: DITA's main window. It owns the operating settings, the menus, the receive
// text and the instruments, the setup windows, and the receive run loop's worker thread.
//
// Who calls it: main() creates one on the window thread; every handler runs on the window
// thread. The run loop's worker thread reaches the window only through queued calls (one per
// pass, plus lamp changes and device messages) and through LoopFlags.
#include <QMainWindow>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ClockTexts.h"
#include "app/MessageService.h"
#include "app/OperatingSettings.h"
#include "app/RunLoop.h"
#include "receive/audio/CaptureCycle.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class QUrl;
class TGkBar;
class TGkLED;
class TGkClock;

namespace dita {

class TAFCStartFreqForm;
class TCharTimingForm;
class TComPortSelectForm;
class TTransmitMemoryForm;
class TSoundCardSelect;
class TSndCardErrForm;

// What the window needs from outside; main() passes the real parts, tests pass fakes.
struct DecoderFormServices {
    DeviceCatalog* catalog = nullptr;
    PassProcessor* processor = nullptr;
    MessageService* messages = nullptr;
    std::function<bool(const QUrl&)> openUrl; // default: the desktop's viewer
    std::function<void()> loadConfiguration;  // DITA.cfc, applied through the handlers
    std::function<void()> saveConfiguration;
    // The send controls: is a whole-text send running, stop it, and put the keying line to
    // key-up. Empty until the transmit side is connected.
    std::function<bool()> sendActive;
    std::function<void()> stopSend;
    std::function<void()> keyUp;
    std::function<void()> terminate;       // default: quit the application
    std::optional<int> startInputDeviceId; // --input-file: use this device at start
    int systemTimerMs = 1000;
    CaptureTimings captureTimings{};
    LoopTimings loopTimings{};
};

class TDecoderForm : public QMainWindow {
    Q_OBJECT
public:
    // FormCreate: defaults, layout for receive-only mode, menus, setup windows; then
    // SystemTimer is enabled.
    explicit TDecoderForm(DecoderFormServices services, QWidget* parent = nullptr);
    ~TDecoderForm() override; // FormDestroy: stops the run loop first

    // ---- life cycle
    void SystemTimerTimer();
    void Quit1Click();
    void About1Click();
    void Help1Click();
    void SystemTimer2Timer();
    // Error exit: code 1 returns at once; code 0 runs the stop sequence and terminates.
    void errorExit(int code);
    void stopSequence();
    void terminateApplication();
    void enableSystemTimer();

    // ---- option handlers, by item name ("Quiet2", "MediumFont1", ...): the same handler the
    // menu runs. False when no item has that name.
    bool click(const QString& itemName);
    QAction* item(const QString& itemName) const;
    // The items of the radio group an item belongs to (empty for plain commands).
    std::vector<QAction*> groupOf(const QString& itemName) const;

    // ---- state
    OperatingSettings& settings() { return m_settings; }
    LoopFlags& flags() { return m_flags; }
    MessageService& messages() { return *m_services.messages; }
    DeviceCatalog& deviceCatalog() { return *m_services.catalog; }
    int inputDeviceCount() const { return m_inputDeviceCount; }
    bool FirstStart() const { return m_FirstStart; }
    void setFirstStart(bool on) { m_FirstStart = on; } // the configuration load runs with it set
    bool loopRunning() const { return m_loopRunning.load(); }
    bool systemTimerActive() const;
    int passesShown() const { return m_passesShown; }
    int loopEntries() const { return m_loopEntries; }
    // The window's nominal height (client height plus caption) for the screen mode.
    int windowHeight() const { return m_windowHeight; }
    int clientHeight() const;
    bool testOpenInputDevice(int deviceId);
    // Transmit state of the send controls; the focus rule reads it.
    void setTypingActive(int state) { m_typingActive = state; }
    // The macro texts the listing shows (filled by the macro subsystem).
    std::array<std::string, 16>& macroSources() { return m_macroSources; }

    std::string LogDateText;
    std::string LogTimeText;
    std::string GMTMemoText;       // UTC time for the macro editor
    std::string LocalTimeMemoText; // local time for the macro editor
    double signalBarValue() const;
    uint32_t signalBarColor() const;
    bool rcvLedOn() const;
    bool xmitLedOn() const;

    // ---- controls, named as on the form
    QFrame* ImagePnl;
    QLabel* SpectrumBox;
    QLabel* MkrLabel;
    QSlider* CoarseGainBar;
    QFrame* Panel3;
    QLabel* Label3;
    QLabel* Label12;
    QLabel* Label13;
    QLabel* Label14;
    QLabel* Label15;
    QLabel* RcvWPMPnl;
    QLabel* UTCPnl;
    QLineEdit* GMTDateMemo;
    TGkBar* SignalBar;
    TGkLED* RcvLED;
    TGkLED* XmitLED;
    TGkClock* GkClock1;
    QPushButton* ClearButton;
    QPushButton* ClrRcvBtn;
    QPlainTextEdit* RcvMemo;
    QFrame* SplitPnl;
    QFrame* Rcv2Pnl;
    QSlider* CoarseGainBar2;
    QLineEdit* RawSnrMemo;
    QPushButton* ClrRcvBtn2;
    QPlainTextEdit* TransmitMemo;
    QFrame* StationPnl;
    QLineEdit* CallMemo;
    QLineEdit* MyCallMemo;
    QLineEdit* NameMemo;
    QLineEdit* RSTMemo;
    QLineEdit* MyRSTMemo;
    QSpinBox* XmitCntrSpinEdit;
    QSpinBox* XmitSpdUpDn2;
    QLabel* XmitSpeedPanel;
    QSpinBox* BandSpinEdit;
    QFrame* Panel2;
    QTimer* SystemTimer;
    QTimer* SystemTimer2;

    TAFCStartFreqForm* AFCStartFreqForm;
    TCharTimingForm* CharTimingForm;
    TComPortSelectForm* ComPortSelectForm;
    TTransmitMemoryForm* TransmitMemoryForm;
    TSoundCardSelect* SoundCardSelect;
    TSndCardErrForm* SndCardErrForm;

    // The spectrum and waterfall images, as wide as SpectrumBox and 130 pixels high.
    QImage* spectrumBitmap() { return m_spectrumBitmap.get(); }
    QImage* waterfallBitmap() { return m_waterfallBitmap.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenus();
    void selectDefaults();
    QAction* addItem(QMenu* menu, const char* name, const char* caption,
                     std::function<void(QAction*)> handler, bool checkable = true);
    void check(QAction* own);
    void placeholder(const char* what, const char* caption);
    void post(ReceiveCommandKind kind, int value);
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
    void applyColours();
    void clearDisplayImages();

    void enterRunLoop();
    void joinRunLoop();
    void showPass(const PassResult& result);
    void showLeds(bool rcvOn, bool xmitOn);
    void showMarker(int hz);
    void insertReceiveText(const std::string& utf8);

    DecoderFormServices m_services;
    OperatingSettings m_settings;
    LoopFlags m_flags;
    std::unique_ptr<CaptureCycle> m_capture;
    std::unique_ptr<RunLoop> m_runLoop;
    std::thread m_loopThread;
    std::atomic<bool> m_loopRunning{false};
    bool m_FirstStart = false;
    bool m_quitting = false;
    int m_inputDeviceCount = 0;
    int m_windowHeight = 0;
    int m_typingActive = 0;
    int m_passesShown = 0;
    int m_loopEntries = 0;
    std::array<std::string, 16> m_macroSources;
    std::unique_ptr<QImage> m_spectrumBitmap;
    std::unique_ptr<QImage> m_waterfallBitmap;
    std::map<QString, QAction*> m_items;
    std::map<QAction*, std::vector<QAction*>> m_groups;
    QMenu* m_messagingMenu = nullptr;
};

} // namespace dita
