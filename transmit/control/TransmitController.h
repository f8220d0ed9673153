#pragma once
// Transmit control: the handlers of the transmit panel's buttons and keys, the long-lived
// typed-character sender TCharThread and the screen sender TSendThread.
//
// Who calls it: the window thread calls every public handler (the transmit panel, the main
// window's menus, quit sequence and message buttons). TCharThread and TSendThread are real
// threads owned by the controller; whatever they change on the window, their reports (a send
// pass done, Esc) and every handler they run (message buttons for command keys) reach the
// window thread through TransmitView::post as queued calls, in the order they were made. The
// state of what is being sent (TransmitPhase) changes only there. With sound-card keying the
// Tune carrier plays on a third thread of the controller's, started and released by the
// window thread. No Qt.
#include "common/CapturePause.h"
#include "macros/MessageButtons.h"
#include "transmit/Keyer.h"
#include "transmit/KeyingPort.h"
#include "transmit/Messages.h"
#include "transmit/control/TransmitState.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dita {

inline constexpr const char* kXmitEnableMustBeOnText = "Xmit Enable must be ON";
inline constexpr const char* kNoMemoryButtonText = "No Memory Button has beeen selected";
inline constexpr const char* kMustBeImmText = "Must be in IMM mode of operation";

// The two transmit speed controls, locked separately: the spin edit XmitSpdUpDn2 while a screen
// or macro send runs, the up-down XmitSpdUpDn while typed characters are keyed.
enum class SpeedControl { ScreenSpin, TypingUpDown };

// What transmit control changes on the window. Every method except post runs on the window
// thread; post may be called from any thread and must run the call later on the window thread,
// calls in the order posted.
class TransmitView {
public:
    virtual ~TransmitView() = default;
    virtual void post(std::function<void()> call) = 0;

    // TransmitMemo
    virtual std::string transmitText() const = 0; // UTF-8
    virtual void setTransmitText(const std::string& utf8) = 0;
    virtual void appendTransmitText(const std::string& utf8) = 0;
    virtual void clearTransmitText() = 0;
    virtual void setTransmitReadOnly(bool readOnly) = 0;
    virtual void transmitCaretToEnd() = 0;
    virtual void focusTransmitMemo() = 0;

    // The rest of the main window.
    virtual void appendReceiveText(const std::string& utf8) = 0; // RcvMemo, at its end
    virtual void setSpeedControlEnabled(SpeedControl control, bool enabled) = 0;
    virtual void clearMessageButtonMarks() = 0;
    virtual void pressMessageButton(int macroNumber) = 0; // 1..15
    virtual void selectDisplay(bool waterfall) = 0;       // Up / Down arrow keys
    virtual void showLeds(bool rcvOn, bool xmitOn) = 0;   // RcvLED, XmitLED
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // Why the chosen output keys nothing, naming the setting to change, where the operator
    // looks while sending; empty when it keys again.
    virtual void showKeyingProblem(const std::string& text) = 0;
    // Captions and fonts follow the state: called after every change of a shown state.
    virtual void transmitStateChanged() = 0;
};

// The real parts transmit control keys with.
struct TransmitParts {
    // The keyer of the current output device (serial lines or sound card); may return nullptr
    // when nothing can be keyed.
    std::function<Keyer*()> keyer;
    // The serial port for the tune button and for releasing the lines; may be null.
    KeyingPort* port = nullptr;
    // Expands macro n into 8-bit text for a send pass that has no prepared buffer; optional.
    std::function<std::string(int macroNumber)> expandMacro;
    // Why the chosen output cannot key (no serial port, a port that did not open, no sound
    // card output), naming the setting to change; empty when it can. Optional; window thread.
    std::function<std::string()> keyingProblem;
};

class TSendThread;

// What the window's transmit buttons have started: one state, changed only on the window thread
// (by the handlers and by the queued reports of the senders); the senders only read it.
//
//   Idle         -> Sending       SendBtn or a message button with something to send
//   Idle         -> Transmitting  Transmit (IMM mode)
//   Idle         -> Tuning        Tune
//   Sending      -> Idle          the screen sender reports its pass done; SendBtn, Esc,
//                                 Xmit Enable off, a receive loop entry or quit stop it
//   Transmitting -> Idle          Transmit again, SendBtn, Esc, Xmit Enable off, loop entry, quit
//   Tuning       -> Idle          Tune again, Xmit Enable off, loop entry, quit
//   Tuning       -> Sending / Transmitting: the carrier ends first
//   Sending / Transmitting -> Tuning: the send stops first, the carrier follows its last element
//
// There is at most one screen sender: a send started while a stopped one finishes its last
// character begins when that one has reported. Each return to Idle leaves the key up. Typed
// characters are keyed by TCharThread in Idle and Transmitting (and after a send); they wait
// while a send or the carrier keys.
enum class TransmitPhase { Idle, Sending, Transmitting, Tuning };

class TransmitController : public MacroSender {
public:
    // capturePause is the receive loop's: this controller is the one writer of its Transmit
    // reason, set while anything is keyed.
    TransmitController(TransmitView& view, TransmitParts parts, CapturePause& capturePause);
    ~TransmitController() override;
    TransmitController(const TransmitController&) = delete;
    TransmitController& operator=(const TransmitController&) = delete;

    // The run loop's entry: creates TCharThread (once) and brings the controls into their idle
    // state unless something is being sent.
    void start();
    // The receive loop's entry, the first and every later one (after an input channel or sound
    // card change): whatever was still being sent, typed or tuned stops, IMM mode is selected
    // as MsgButton13 does, the key goes up; then the senders start as in start().
    void loopEntry();

    // ---- handlers (window thread)
    void SendBtnClick();
    void XmitButtonClick();
    void LoopButtonClick();
    void TuneBtnClick();
    void MsgButton13Click();
    void MsgButton14Click();
    void XmitWindowClrClick();
    void ScreenBtnClick();
    void XmitBtnClick();
    void TransmitMemoClick();
    void TransmitMemoMouseDown();
    // A key of TransmitMemo: its key code, and the printable character the keyboard layout
    // produced for it (0 for none, and always 0 with Ctrl or Alt held). A key with a character
    // is sent as that character. KeyDown returns true when the key must not reach the widget
    // (F10, so it cannot open the menus).
    bool TransmitMemoKeyDown(int32_t virtualKey, char32_t character = 0);
    void TransmitMemoKeyUp(int32_t virtualKey, char32_t character = 0);
    // SingleScreen1 / DoubleScreen1 and the configuration: TransmitScreen without toggling.
    void setTransmitScreen(int32_t screen);
    // Load Transmit: the window's text (8-bit, at most 4095 characters) went into TransmitMemo
    // and becomes buffer bufferIndex, the buffer the next send uses (so Loop repeats it).
    void textLoaded(int bufferIndex, const std::string& latin1);

    // The output device, port or tone changed (window thread): a keying problem already told
    // is told again as it now stands, or cleared.
    void keyingOutputChanged();

    // ---- for the message buttons (window thread): the macro sending of MacroSender.
    // A command key's own button press is not refused because of the keys typed after it:
    // they wait for its macro and key nothing until it has started.
    bool sendBusy() const override { return sendActive() || (m_typingRun && !m_commandPending); }
    bool macroSendAllowed() const override;
    void send(int bufferIndex, const std::string& expanded) override {
        sendMacroBuffer(bufferIndex, expanded);
    }
    // Stores expanded as SendBuffers entry bufferIndex and starts a send of it.
    void sendMacroBuffer(int bufferIndex, const std::string& expandedLatin1);

    // ---- other programs' keying (the keying listener's thread)
    // Keys Latin-1 text through the current keyer, never at the same time as a character of
    // the window's own senders, with the Transmit pause held meanwhile. False when there is no
    // keyer or the keying stopped early.
    bool keyForOtherProgram(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                            PttHang hang);
    // Xmit Enable, readable from any thread.
    bool transmitEnabled() const;

    // ---- quit sequence (window thread)
    // Stops a running whole-text transmission (run before and after the configuration save).
    void stopRunningSend();
    // Ends both senders, waits for them (at most one character) and releases key and PTT.
    void shutdown();

    // ---- state for the window and tests
    TransmitState& state() { return m_state; }
    const TransmitState& state() const { return m_state; }
    TransmitPhase phase() const { return m_phase.load(); }
    // A send or a Transmit run has been started and not yet ended.
    bool sendActive() const {
        const TransmitPhase p = phase();
        return p == TransmitPhase::Sending || p == TransmitPhase::Transmitting;
    }
    // Typed characters, a send or a Transmit run are being keyed: the speed controls are
    // locked and the mode buttons and message buttons wait.
    bool typingActive() const { return m_typingRun.load() || sendActive(); }
    bool tuning() const { return phase() == TransmitPhase::Tuning; }
    bool transmitActive() const { return m_capturePause.has(PauseReason::Transmit); }
    bool sendButtonMarked() const { return phase() == TransmitPhase::Sending; }
    bool xmitBtnMarked() const { return phase() == TransmitPhase::Transmitting; }

private:
    friend class TSendThread;

    // The Transmit pause reason is the OR of these owners, so one sender ending never clears
    // it under another that still keys.
    enum TransmitOwner : unsigned {
        kOwnerScreen = 1,
        kOwnerTyped = 2,
        kOwnerTune = 4,
        kOwnerOtherProgram = 8,
    };
    void setTransmitOwner(unsigned owner, bool on);

    // window thread
    void enterPhase(TransmitPhase phase);
    void startSender(int bufferIndex);
    void stopSender();
    void senderFinished(uint64_t senderNumber);
    void releaseScreenOwnerIfNoSender();
    void keyLines(int32_t keyState);
    void keyCarrierUnlessKeying();
    void releaseCarrier();
    void releaseKeyUnlessKeying();
    void prepareSendBuffer();
    void cancelTyping();
    void sendStopPath();
    void tuneOff();
    void refused(const char* text);
    void tellKeyingProblem();
    void showIdleControls();
    void wakeCharThread();

    // any thread
    void postSpeedControlsEnabled();
    void afterKeying();

    // TSendThread body.
    void sendPass(TSendThread& thread);

    // TCharThread body.
    void charThreadRun();
    bool waitForKey();
    bool waitForScreenIdle(uint64_t cancels);
    void handleEscape();
    void takeKey();
    void runTyped();
    void keyTypedCode(int32_t code);
    bool screenSenderIdle() const;

    TransmitView& m_view;
    TransmitParts m_parts;
    CapturePause& m_capturePause;
    TransmitState m_state;
    std::atomic<TransmitPhase> m_phase{TransmitPhase::Idle}; // written on the window thread

    std::mutex m_ownerMutex;
    unsigned m_owners = 0;

    // Held while a code or a text is keyed, so the senders never key at the same time.
    std::mutex m_keyingMutex;

    // The one screen sender, running or finished with its report not yet handled (window
    // thread). A send started meanwhile waits in m_pendingBufferIndex.
    std::unique_ptr<TSendThread> m_sender;
    int m_pendingBufferIndex = -1;
    uint64_t m_senderCount = 0;

    // TCharThread is the one writer of m_typingRun; the window cancels a run by counting up
    // m_typingCancels, which TCharThread compares after each character.
    std::atomic<bool> m_typingRun{false};
    std::atomic<uint64_t> m_typingCancels{0};
    // A command key has posted its message button press, which has not run yet: the typed
    // sender treats the screen sender as busy until it has.
    std::atomic<bool> m_commandPending{false};
    bool m_typedRunEnded = false; // TCharThread only

    // The tune carrier on the tone output plays on a thread of its own until released; the
    // window thread only sets the release, so ending Tune never waits for the sound card.
    std::thread m_carrierThread;
    std::atomic<bool> m_carrierRelease{true};

    std::thread m_charThread;
    std::atomic<bool> m_charTerminated{false};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;

    // The keying problem last shown (window thread): each is told once, until it changes.
    std::string m_toldKeyingProblem;

    // Window-thread state of the modifier keys.
    bool m_shiftHeld = false;
    bool m_ctrlHeld = false;
    bool m_altHeld = false;
};

} // namespace dita
