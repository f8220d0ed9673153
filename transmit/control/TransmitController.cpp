#include "transmit/control/TransmitController.h"

#include "common/Latin1.h"
#include "transmit/MorseCode.h"
#include "transmit/control/KeyCharacters.h"

#include <chrono>

namespace dita {
namespace {

// TCharThread waits for keys in slices of this length, as the original polled.
constexpr auto kKeyWaitSlice = std::chrono::milliseconds(10);
// Poll interval of the typed sender while it waits for the screen sender to finish.
constexpr auto kScreenIdlePoll = std::chrono::milliseconds(1);
constexpr int kFirstCtrlMacro = 11; // Ctrl+1 presses the button of macro 11

// The macro a command key stands for: F1..F10 give 1..10, Ctrl+1..Ctrl+5 give 11..15.
int macroForCommand(const TypedEntry& entry) {
    if (entry.code >= kVkF1 && entry.code <= kVkF10) return entry.code - kVkF1 + 1;
    if (entry.ctrl && entry.code >= kVkDigit1 && entry.code <= kVkDigit5)
        return entry.code - kVkDigit1 + kFirstCtrlMacro;
    return 0;
}

} // namespace

// One screen send pass on a thread of its own. Its stop flag is its own, so a new pass that
// starts after a stopped one cannot undo the stop.
class TSendThread {
public:
    TSendThread(TransmitController& owner, int bufferIndex, uint64_t number)
        : m_bufferIndex(bufferIndex), m_number(number) {
        m_thread = std::thread([this, &owner] { owner.sendPass(*this); });
    }
    ~TSendThread() { join(); }
    TSendThread(const TSendThread&) = delete;
    TSendThread& operator=(const TSendThread&) = delete;

    void terminate() { m_stop = true; }
    void join() {
        if (m_thread.joinable()) m_thread.join();
    }

    const int m_bufferIndex;
    const uint64_t m_number; // its report names it by this, never by an address reused later
    std::atomic<bool> m_stop{false};

private:
    std::thread m_thread;
};

TransmitController::TransmitController(TransmitView& view, TransmitParts parts,
                                       CapturePause& capturePause)
    : m_view(view), m_parts(std::move(parts)), m_capturePause(capturePause) {}

TransmitController::~TransmitController() {
    shutdown();
}

void TransmitController::start() {
    if (!m_charThread.joinable() && !m_charTerminated) {
        m_charThread = std::thread([this] { charThreadRun(); });
    }
    if (phase() == TransmitPhase::Idle) showIdleControls();
}

// ---------------------------------------------------------------- shared helpers

bool TransmitController::transmitEnabled() const {
    return m_state.XmitEnableState == kStateOn;
}

bool TransmitController::keyForOtherProgram(const std::vector<KeyingStep>& steps,
                                            const std::atomic<bool>& stop, PttHang hang) {
    Keyer* keyer = m_parts.keyer ? m_parts.keyer() : nullptr;
    if (!keyer) return false;
    bool done = false;
    {
        std::lock_guard keying(m_keyingMutex);
        setTransmitOwner(kOwnerOtherProgram, true);
        done = keyer->keySteps(steps, stop, hang);
        setTransmitOwner(kOwnerOtherProgram, false);
    }
    afterKeying();
    return done;
}

void TransmitController::afterKeying() {
    // The carrier asked for while this thread held the keying lock could not go down then.
    // The lock is released before the state is read, so either the window's attempt found the
    // lock free or this read sees Tuning.
    if (phase() == TransmitPhase::Tuning)
        m_view.post([this] {
            if (tuning()) keyCarrierUnlessKeying();
        });
}

void TransmitController::setTransmitOwner(unsigned owner, bool on) {
    std::lock_guard lock(m_ownerMutex);
    const bool was = m_owners != 0;
    m_owners = on ? (m_owners | owner) : (m_owners & ~owner);
    if ((m_owners != 0) != was) m_capturePause.set(PauseReason::Transmit, m_owners != 0);
}

void TransmitController::postSpeedControlsEnabled() {
    // Runs later on the window thread: a send started in between keeps the controls locked.
    m_view.post([this] {
        if (!typingActive()) m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, true);
    });
}

void TransmitController::refused(const char* text) {
    m_view.showMessage(text, kErrorMessageCaption);
}

void TransmitController::tellKeyingProblem() {
    // Told when the operator switches transmission on or starts to key, not on every key.
    if (!m_parts.keyingProblem) return;
    std::string problem = m_parts.keyingProblem();
    if (problem == m_toldKeyingProblem) return;
    m_toldKeyingProblem = std::move(problem);
    m_view.showKeyingProblem(m_toldKeyingProblem);
}

void TransmitController::keyingOutputChanged() {
    if (!m_toldKeyingProblem.empty()) tellKeyingProblem();
}

void TransmitController::showIdleControls() {
    m_view.setSpeedControlEnabled(SpeedControl::ScreenSpin, true);
    m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, true);
    m_view.setTransmitReadOnly(false);
    m_view.transmitStateChanged();
}

// ---------------------------------------------------------------- the state and the sender

void TransmitController::enterPhase(TransmitPhase next) {
    m_phase = next;
    if (next != TransmitPhase::Tuning) releaseCarrier();
    if (next == TransmitPhase::Idle) releaseKeyUnlessKeying();
}

void TransmitController::keyLines(int32_t keyState) {
    if (!m_parts.port) return;
    m_parts.port->KeyState = keyState;
    m_parts.port->SetKeyLines(keyState);
}

void TransmitController::keyCarrierUnlessKeying() {
    // Whoever holds the keying lock lets the key up at the end of its character and then asks
    // for the carrier again (afterKeying, or the screen sender's report).
    std::unique_lock keying(m_keyingMutex, std::try_to_lock);
    if (!keying.owns_lock()) return;
    Keyer* keyer = m_parts.keyer ? m_parts.keyer() : nullptr;
    if (!keyer || !keyer->carrierIsTone()) {
        keyLines(kKeyDown);
        return;
    }
    // Sound-card keying: a steady tone, held on the carrier's own thread under the keying lock.
    if (!m_carrierRelease.load()) return; // already sounding
    keying.unlock();
    // The last carrier has let the lock go: its thread is ending.
    if (m_carrierThread.joinable()) m_carrierThread.join();
    m_carrierRelease = false;
    m_carrierThread = std::thread([this, keyer] {
        {
            std::lock_guard hold(m_keyingMutex);
            keyer->holdCarrier(m_carrierRelease);
        }
        // Tune pressed again while this carrier was still falling found the lock held: the new
        // carrier starts now. A carrier that ended unreleased (a failing device) is not retried.
        if (m_carrierRelease.load()) afterKeying();
    });
}

void TransmitController::releaseCarrier() {
    m_carrierRelease = true;
}

void TransmitController::releaseKeyUnlessKeying() {
    // Whoever holds the keying lock is mid-character and lets the key up at its end; otherwise
    // nothing may hold it down in the idle state, whatever ended the send (a keyer that failed
    // mid-element included).
    std::unique_lock keying(m_keyingMutex, std::try_to_lock);
    if (keying.owns_lock()) keyLines(kKeyUp);
}

void TransmitController::startSender(int bufferIndex) {
    if (m_sender) {
        // The previous sender is still finishing its last character: this send begins when
        // it has reported, so two senders never run.
        m_sender->terminate();
        m_pendingBufferIndex = bufferIndex;
        return;
    }
    m_sender = std::make_unique<TSendThread>(*this, bufferIndex, ++m_senderCount);
}

void TransmitController::stopSender() {
    m_pendingBufferIndex = -1;
    if (!m_sender) return;
    m_sender->terminate();
}

void TransmitController::releaseScreenOwnerIfNoSender() {
    // A stopped sender still keys its last character: capture stays paused until its report.
    if (!m_sender && phase() != TransmitPhase::Transmitting) setTransmitOwner(kOwnerScreen, false);
}

void TransmitController::senderFinished(uint64_t senderNumber) {
    if (!m_sender || m_sender->m_number != senderNumber) return;
    m_sender->join();
    m_sender.reset();
    if (m_pendingBufferIndex >= 0) {
        const int index = m_pendingBufferIndex;
        m_pendingBufferIndex = -1;
        startSender(index);
        return;
    }
    switch (phase()) {
    case TransmitPhase::Sending:
        // The pass ended by itself: the stop path puts the window back into its idle state.
        sendStopPath();
        break;
    case TransmitPhase::Tuning:
        // The carrier asked for during the send's last element goes down now.
        keyCarrierUnlessKeying();
        setTransmitOwner(kOwnerScreen, false);
        break;
    case TransmitPhase::Idle:
        releaseKeyUnlessKeying();
        setTransmitOwner(kOwnerScreen, false);
        break;
    case TransmitPhase::Transmitting:
        break;
    }
}

// ---------------------------------------------------------------- SendBtn

void TransmitController::SendBtnClick() {
    TransmitState& s = m_state;
    if (sendActive()) {
        sendStopPath();
        return;
    }
    if (s.XmitEnableState == kStateOff) {
        refused(kXmitEnableMustBeOnText);
        m_view.setSpeedControlEnabled(SpeedControl::ScreenSpin, true);
        s.SendBufferIndex = 0;
        m_view.clearMessageButtonMarks();
        m_view.transmitStateChanged();
        m_view.focusTransmitMemo();
        return;
    }
    if (s.SendMode == kSendModeImm && s.SendBufferIndex == 0 && !typingActive() && !s.TextLoaded) {
        refused(kNoMemoryButtonText);
        m_view.focusTransmitMemo();
        return;
    }
    if (s.TypedEchoDone && typingActive() && s.SendBufferIndex == 0) {
        cancelTyping();
        return;
    }

    // Start a screen send. The window text is taken here, on the window thread, because
    // TransmitMemo is a window control; it stays read-only until the send ends.
    tellKeyingProblem();
    setTransmitOwner(kOwnerScreen, true);
    if (tuning()) tuneOff();
    enterPhase(TransmitPhase::Sending);
    m_view.setSpeedControlEnabled(SpeedControl::ScreenSpin, false);
    m_view.transmitCaretToEnd();
    m_view.setTransmitReadOnly(true);
    prepareSendBuffer();
    startSender(s.SendBufferIndex);
    m_view.transmitStateChanged();
    m_view.focusTransmitMemo();
}

void TransmitController::prepareSendBuffer() {
    TransmitState& s = m_state;
    const int index = s.SendBufferIndex;
    if (s.SendMode == kSendModeScn || s.TextLoaded) {
        s.SendBuffers.set(index, utf8ToLatin1(m_view.transmitText()));
        s.TextLoaded = false;
    } else if (!s.MacroPrepared && index != 0 && m_parts.expandMacro) {
        s.SendBuffers.set(index, m_parts.expandMacro(index));
        m_view.setTransmitText(latin1ToUtf8(s.SendBuffers.get(index)));
    }
}

void TransmitController::cancelTyping() {
    TransmitState& s = m_state;
    // TCharThread ends its run after the character it keys and then lets the Transmit pause go.
    ++m_typingCancels;
    m_view.setSpeedControlEnabled(SpeedControl::ScreenSpin, true);
    m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, true);
    s.keyQueue.clear();
    s.typedBuffer.clear();
    m_view.transmitCaretToEnd();
    m_view.transmitStateChanged();
    m_view.focusTransmitMemo();
}

void TransmitController::sendStopPath() {
    TransmitState& s = m_state;
    stopSender();
    ++m_typingCancels;
    enterPhase(TransmitPhase::Idle);
    s.TypedEchoDone = false;
    // The stop also ends a Transmit-button run: neither control may stay locked.
    m_view.setSpeedControlEnabled(SpeedControl::ScreenSpin, true);
    m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, true);
    m_view.transmitCaretToEnd();
    m_view.setTransmitReadOnly(false);
    m_view.focusTransmitMemo();
    m_view.clearMessageButtonMarks();
    s.SendBufferIndex = s.SendMode == kSendModeScn ? kScnBufferIndex : 0;
    // Typed characters still pending keep their own claim on the Transmit pause.
    releaseScreenOwnerIfNoSender();
    m_view.transmitStateChanged();
}

// ---------------------------------------------------------------- TSendThread

void TransmitController::sendPass(TSendThread& thread) {
    TransmitState& s = m_state;
    // Buffer 0 (nothing chosen) is sent once, never looped.
    const bool singlePass = thread.m_bufferIndex == 0;
    if (s.XmitEnableState == kStateOn && !thread.m_stop) {
        const std::string text = s.SendBuffers.get(thread.m_bufferIndex);
        Keyer* keyer = m_parts.keyer ? m_parts.keyer() : nullptr;
        if (keyer && !text.empty()) {
            std::lock_guard keying(m_keyingMutex);
            keyer->sendText(text, thread.m_stop);
            while (!singlePass && !thread.m_stop && s.LoopMode == kStateOn) {
                m_view.post([this] { m_view.transmitCaretToEnd(); });
                keyer->sendText(text, thread.m_stop);
            }
        }
    }
    // The window thread takes it from here: the state changes there only.
    const uint64_t number = thread.m_number;
    m_view.post([this, number] { senderFinished(number); });
}

// ---------------------------------------------------------------- other buttons

void TransmitController::XmitButtonClick() {
    TransmitState& s = m_state;
    if (s.XmitEnableState == kStateOff) {
        s.XmitEnableState = kStateOn;
        s.typedBuffer.clear();
        s.SendBufferIndex = s.SendMode == kSendModeScn ? kScnBufferIndex : 0;
        m_view.transmitStateChanged();
        tellKeyingProblem();
        TransmitMemoClick();
        return;
    }
    ++m_typingCancels;
    s.XmitEnableState = kStateOff;
    s.TypedEchoDone = true;
    // A held tune carrier is a transmission too: switching transmission off releases it.
    if (tuning()) tuneOff();
    m_view.transmitStateChanged();
    m_view.focusTransmitMemo();
    if (sendActive()) SendBtnClick();
}

void TransmitController::LoopButtonClick() {
    m_state.LoopMode = m_state.LoopMode == kStateOn ? kStateOff : kStateOn;
    m_view.transmitStateChanged();
    m_view.transmitCaretToEnd();
    m_view.focusTransmitMemo();
}

void TransmitController::tuneOff() {
    if (tuning()) enterPhase(TransmitPhase::Idle);
    releaseCarrier();
    keyLines(kKeyUp);
    setTransmitOwner(kOwnerTune, false);
    m_view.showLeds(true, false);
}

void TransmitController::TuneBtnClick() {
    TransmitState& s = m_state;
    if (!tuning() && s.XmitEnableState == kStateOn) {
        tellKeyingProblem();
        setTransmitOwner(kOwnerTune, true);
        // The carrier and a send never key together: a running send stops first.
        if (sendActive()) sendStopPath();
        enterPhase(TransmitPhase::Tuning);
        // A stopped sender still keying its last element: the key goes down on its report.
        if (!m_sender) keyCarrierUnlessKeying();
        m_view.showLeds(false, true);
    } else {
        tuneOff();
        if (s.XmitEnableState == kStateOff) refused(kXmitEnableMustBeOnText);
    }
    m_view.transmitStateChanged();
    m_view.focusTransmitMemo();
}

void TransmitController::loopEntry() {
    TransmitState& s = m_state;
    if (sendActive()) sendStopPath();
    if (m_typingRun) cancelTyping();
    if (tuning()) tuneOff();
    s.keyQueue.clear();
    s.typedBuffer.clear();
    s.SendMode = kSendModeImm;
    s.SendBufferIndex = kImmBufferIndex;
    releaseKeyUnlessKeying();
    m_view.transmitStateChanged();
    start();
}

void TransmitController::MsgButton13Click() {
    if (!typingActive()) {
        m_state.SendMode = kSendModeImm;
        m_state.SendBufferIndex = kImmBufferIndex;
        m_view.transmitStateChanged();
    }
    m_view.focusTransmitMemo();
}

void TransmitController::MsgButton14Click() {
    if (!typingActive()) {
        m_state.SendMode = kSendModeScn;
        m_state.SendBufferIndex = kScnBufferIndex;
        m_view.transmitStateChanged();
        m_view.transmitCaretToEnd();
    }
    m_view.focusTransmitMemo();
}

void TransmitController::XmitWindowClrClick() {
    m_view.clearTransmitText();
    m_view.focusTransmitMemo();
}

void TransmitController::ScreenBtnClick() {
    setTransmitScreen(m_state.TransmitScreen == kDoubleScreen ? kSingleScreen : kDoubleScreen);
    m_view.focusTransmitMemo();
}

void TransmitController::setTransmitScreen(int32_t screen) {
    m_state.TransmitScreen = screen == kDoubleScreen ? kDoubleScreen : kSingleScreen;
    m_view.transmitStateChanged();
}

void TransmitController::XmitBtnClick() {
    TransmitState& s = m_state;
    if (s.SendMode == kSendModeScn) {
        refused(kMustBeImmText);
        m_view.focusTransmitMemo();
        return;
    }
    if (phase() != TransmitPhase::Transmitting) {
        if (s.XmitEnableState == kStateOff) {
            refused(kXmitEnableMustBeOnText);
            m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, true);
            m_view.focusTransmitMemo();
            return;
        }
        tellKeyingProblem();
        // One thing at a time: a screen send stops, the carrier ends.
        if (phase() == TransmitPhase::Sending) sendStopPath();
        setTransmitOwner(kOwnerScreen, true);
        if (tuning()) tuneOff();
        enterPhase(TransmitPhase::Transmitting);
        m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, false);
        m_view.appendReceiveText("\n");
    } else {
        ++m_typingCancels;
        enterPhase(TransmitPhase::Idle);
        m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, true);
        s.SendBufferIndex = 0;
        m_view.clearMessageButtonMarks();
        m_view.appendReceiveText("\n");
        s.keyQueue.clear();
        s.typedBuffer.clear();
        s.TypedEchoDone = false;
        releaseScreenOwnerIfNoSender();
    }
    m_view.transmitStateChanged();
    m_view.focusTransmitMemo();
}

void TransmitController::TransmitMemoClick() {
    if (m_state.XmitEnableState == kStateOn && phase() != TransmitPhase::Sending) {
        m_view.setTransmitReadOnly(false);
        m_view.focusTransmitMemo();
    }
}

void TransmitController::textLoaded(int bufferIndex, const std::string& latin1) {
    if (bufferIndex < 1 || bufferIndex >= kSendBufferCount) return;
    m_state.SendBufferIndex = bufferIndex;
    m_state.SendBuffers.set(bufferIndex, latin1);
    m_state.TextLoaded = true;
}

void TransmitController::TransmitMemoMouseDown() {
    // While a screen send runs the window holds the text being sent: it stays read-only.
    if (phase() == TransmitPhase::Sending) return;
    m_view.setTransmitReadOnly(false);
}

// ---------------------------------------------------------------- keys (window thread)

bool TransmitController::TransmitMemoKeyDown(int32_t virtualKey, char32_t character) {
    switch (virtualKey) {
    case kVkShift:
        m_shiftHeld = true;
        return false;
    case kVkControl:
        m_ctrlHeld = true;
        return false;
    case kVkAlt:
        m_altHeld = true;
        return false;
    default:
        break;
    }
    if (virtualKey == kVkBackspace) {
        m_state.keyQueue.removeLastUnread();
    } else {
        m_state.keyQueue.push({virtualKey, character, m_shiftHeld, m_ctrlHeld, m_altHeld});
    }
    if (phase() != TransmitPhase::Sending) m_state.KeysShownFlag = true;
    if (m_state.XmitEnableState == kStateOn && m_state.SendMode == kSendModeImm)
        tellKeyingProblem();
    wakeCharThread();
    return virtualKey == kVkF10;
}

void TransmitController::TransmitMemoKeyUp(int32_t virtualKey, char32_t character) {
    switch (virtualKey) {
    case kVkShift:
        m_shiftHeld = false;
        break;
    case kVkControl:
        m_ctrlHeld = false;
        break;
    case kVkAlt:
        m_altHeld = false;
        break;
    default:
        if (m_state.TransmitScreen == kDoubleScreen) {
            const std::string echo = echoCharacter(virtualKey, character);
            if (!echo.empty()) m_view.appendReceiveText(echo);
        }
        break;
    }
    wakeCharThread();
}

void TransmitController::wakeCharThread() {
    { std::lock_guard lock(m_wakeMutex); }
    m_wake.notify_all();
}

// ---------------------------------------------------------------- message buttons

bool TransmitController::macroSendAllowed() const {
    return m_state.XmitEnableState == kStateOn && m_state.SendMode == kSendModeImm &&
           phase() != TransmitPhase::Sending;
}

void TransmitController::sendMacroBuffer(int bufferIndex, const std::string& expandedLatin1) {
    if (bufferIndex < 1 || bufferIndex >= kSendBufferCount) return;
    m_state.SendBuffers.set(bufferIndex, expandedLatin1);
    m_state.MacroPrepared = true;
    m_state.TypedEchoDone = false;
    m_state.KeysShownFlag = false;
    m_state.SendBufferIndex = bufferIndex;
    SendBtnClick();
}

// ---------------------------------------------------------------- quitting

void TransmitController::stopRunningSend() {
    if (sendActive()) SendBtnClick();
}

void TransmitController::shutdown() {
    m_charTerminated = true;
    ++m_typingCancels;
    stopSender();
    wakeCharThread();
    if (m_charThread.joinable()) m_charThread.join();
    releaseCarrier();
    if (m_carrierThread.joinable()) m_carrierThread.join();
    // The sender's report, if it queued one, is dropped with the window's queue.
    m_sender.reset();
    m_phase = TransmitPhase::Idle;
    keyLines(kKeyUp);
    if (m_parts.port) m_parts.port->updatePtt(false);
    std::lock_guard lock(m_ownerMutex);
    m_owners = 0;
    m_capturePause.set(PauseReason::Transmit, false);
}

// ---------------------------------------------------------------- TCharThread

bool TransmitController::screenSenderIdle() const {
    // Typed characters wait while a screen send or the tune carrier keys, and while a command
    // key's message button press is on its way.
    const TransmitPhase p = phase();
    return p != TransmitPhase::Sending && p != TransmitPhase::Tuning && !m_commandPending;
}

void TransmitController::charThreadRun() {
    while (!m_charTerminated) {
        if (!waitForKey()) break;
        if (m_state.keyQueue.takeEscape()) handleEscape();
        takeKey();
    }
}

bool TransmitController::waitForKey() {
    std::unique_lock lock(m_wakeMutex);
    while (!m_charTerminated && !m_state.keyQueue.hasUnread()) {
        m_wake.wait_for(lock, kKeyWaitSlice);
        if (m_charTerminated || m_state.keyQueue.hasUnread()) break;
        // A slice without a new key after a run: typing is over.
        if (m_typedRunEnded && screenSenderIdle()) {
            m_typingRun = false;
            postSpeedControlsEnabled();
            setTransmitOwner(kOwnerTyped, false);
            m_state.keyQueue.rewindIfAllRead();
            m_state.typedBuffer.rewindIfSent();
            m_typedRunEnded = false;
        }
    }
    return !m_charTerminated;
}

void TransmitController::handleEscape() {
    TransmitState& s = m_state;
    s.SendBufferIndex = s.SendMode == kSendModeScn ? kScnBufferIndex : 0;
    s.typedBuffer.clear();
    s.TypedEchoDone = true;
    setTransmitOwner(kOwnerTyped, false);
    m_view.post([this] {
        if (sendActive()) {
            SendBtnClick();
        } else if (typingActive()) {
            cancelTyping();
        }
        m_view.clearTransmitText();
    });
}

void TransmitController::takeKey() {
    TransmitState& s = m_state;
    QueuedKey key;
    if (!s.keyQueue.take(key)) return;
    if (phase() == TransmitPhase::Sending &&
        (s.SendMode == kSendModeScn || s.SendBufferIndex != 0)) {
        m_view.post([this] {
            if (phase() == TransmitPhase::Sending) m_view.setTransmitReadOnly(true);
        });
    }
    // A character is keyed as itself; the key maps apply to keys that produced none.
    const TypedKey typed = key.character != 0
                               ? TypedKey{typedCharacterCode(key.character)}
                               : translateTypedKey(key.virtualKey, {key.shift, key.ctrl, key.alt},
                                                   s.SendBufferIndex == kScnBufferIndex);
    if (typed.showSpectrum || typed.showWaterfall) {
        const bool waterfall = typed.showWaterfall;
        m_view.post([this, waterfall] { m_view.selectDisplay(waterfall); });
    }
    // The typed buffer feeds IMM sending only; keys typed in SCN mode are window text.
    if (s.SendMode != kSendModeImm || s.XmitEnableState != kStateOn) return;
    s.typedBuffer.push({typed.code, key.ctrl});
    runTyped();
}

bool TransmitController::waitForScreenIdle(uint64_t cancels) {
    while (!screenSenderIdle()) {
        // Esc, or a cancel from the window, drops the character that waits.
        if (m_charTerminated || m_state.keyQueue.hasUnreadEscape() ||
            m_typingCancels.load() != cancels)
            return false;
        std::this_thread::sleep_for(kScreenIdlePoll);
    }
    return !m_charTerminated;
}

void TransmitController::runTyped() {
    TransmitState& s = m_state;
    TypedEntry entry;
    while (s.typedBuffer.peek(entry)) {
        setTransmitOwner(kOwnerTyped, true);
        m_typingRun = true;
        // A cancel from the window during this character ends the run after it.
        const uint64_t cancels = m_typingCancels.load();
        bool commandTaken = false;
        m_view.post([this] { m_view.setSpeedControlEnabled(SpeedControl::TypingUpDown, false); });
        if (m_charTerminated) break;
        if (entry.code > kHighestTypedCode) {
            // A code without a sendable row is skipped, so it cannot hold up what follows.
            s.typedBuffer.advance();
            continue;
        }
        if ((entry.code >= kVkF1 && entry.code <= kVkF10) || entry.ctrl) {
            if (!waitForScreenIdle(cancels)) break;
            s.typedBuffer.advance();
            s.TypedEchoDone = false;
            s.KeysShownFlag = false;
            m_typingRun = false;
            postSpeedControlsEnabled();
            commandTaken = true; // the run ends with a command key
            const int macro = macroForCommand(entry);
            if (macro > 0) {
                m_commandPending = true;
                m_view.post([this, macro] {
                    m_view.pressMessageButton(macro);
                    m_commandPending = false;
                });
            }
        } else {
            if (!waitForScreenIdle(cancels)) break;
            if (!s.TypedEchoDone && !s.KeysShownFlag) {
                // Typed while a macro went out: these keys did not reach the read-only window.
                const std::string shown = typedCodeCharacter(entry.code);
                if (!shown.empty()) {
                    m_view.post([this, shown] { m_view.appendTransmitText(shown); });
                }
                if (!s.keyQueue.hasUnread()) s.TypedEchoDone = true;
            } else {
                s.TypedEchoDone = true;
            }
            s.typedBuffer.advance();
            keyTypedCode(entry.code);
        }
        setTransmitOwner(kOwnerTyped, false);
        if (commandTaken || m_typingCancels.load() != cancels) {
            postSpeedControlsEnabled();
            break;
        }
        if (s.XmitEnableState == kStateOff) break;
    }
    m_typingRun = false;
    postSpeedControlsEnabled();
    setTransmitOwner(kOwnerTyped, false);
    m_typedRunEnded = true;
}

void TransmitController::keyTypedCode(int32_t code) {
    Keyer* keyer = m_parts.keyer ? m_parts.keyer() : nullptr;
    if (!keyer) return;
    {
        std::lock_guard keying(m_keyingMutex);
        keyer->sendTypedCode(code);
    }
    afterKeying();
}

} // namespace dita
