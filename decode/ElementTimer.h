#pragma once
// ElementTimer: measures marks and spaces from the detector's step decisions, classifies dots
// and dashes, acquires and tracks the receive speed, and keeps the watchdogs that restore a
// saved timing state when the averages go wrong.
//
// Called by ReceiveEngine on its worker thread: acquire() or track() once per 2.902 ms step,
// the per-pass hooks once per pass. Lengths are integers in timing units (3 per step, about a
// millisecond each); all divisions truncate toward zero, halvings marked "shift" are
// arithmetic shifts.
#include <array>

namespace dita {

// The part of the timing state that is saved at every character end and restored by the
// watchdogs. The character code and weight of the assembler belong to it.
struct TimingState {
    int stepLength = 3;
    int markLength = 0;
    int spaceLength = 0;
    std::array<int, 2> dotRing{};
    std::array<int, 2> dashRing{};
    int dotIndex = 0;
    int dashIndex = 0;
    int dotSum = 0;
    int dashSum = 0;
    int dotAverage = 0;
    int dashAverage = 0;
    int previousMark = 0;
    bool dotFlag = false;
    bool dashFlag = false;
    bool characterEndFlag = false;
    int characterCode = 0;
    int codeWeight = 1;
};

enum class SpaceTime { Short = 0, Medium = 1, Long = 2 };

// Receive speed modes (RxSpeedLock): 1 automatic, 2 locked 50+, 3..11 locked 50 down to 10.
constexpr int kSpeedModeAuto = 1;
constexpr int kSpeedModeFiftyPlus = 2;
constexpr int kSpeedModeCount = 11;
// Speed set by each mode's menu item (index = mode).
constexpr std::array<int, 12> kSpeedModeWpm = {0, 25, 100, 50, 45, 40, 35, 30, 25, 20, 15, 10};

class ElementTimer {
public:
    ElementTimer();

    // Speed acquisition: one call per step while acquiring().
    void acquire(bool keyDown);
    // Tracking: one call per step otherwise; the assembler runs right after it.
    void track(bool keyDown, SpaceTime spaceTime);
    // Stall watch, per tracking step: restarts acquisition when the dash index stops changing
    // on a strong signal. Returns true when it asked for a threshold reset.
    bool stallWatch(int rawSnr);
    void clearStallSteps() { m_stallSteps = 0; }

    // Per pass, before the steps.
    void updateSmoothedDot() { m_smoothedDot = (4 * m_smoothedDot + m_state.dotAverage) / 5; }
    // Per pass, after the steps: balance clearing, consistency checks and, unless a speed lock
    // is pending, the speed update. Returns true when the speed update found a very low speed
    // once too often: the caller then runs the decoder reset and finishSpeedUpdate().
    bool endOfPass(bool speedLockPending);
    // The rest of the speed update: smoothing, the mode bounds and the stalled-speed rescue.
    void finishSpeedUpdate();

    void saveState() { m_saved = m_state; }
    void restoreState() { m_state = m_saved; }
    void resetToAcquisition();
    // Sets both the raw and the smoothed receive speed (menu items, decoder reset, stall watch).
    void setSpeeds(int wpm) { m_rawSpeed = m_speed = wpm; }
    void setSpeedMode(int mode) { m_speedMode = mode; }
    void clearPassCounter() { m_passCounter = 0; }

    TimingState& state() { return m_state; }
    const TimingState& state() const { return m_state; }
    bool acquiring() const { return m_acquiring; }
    int receiveSpeed() const { return m_speed; }
    int rawReceiveSpeed() const { return m_rawSpeed; }
    int smoothedDot() const { return m_smoothedDot; }
    int speedMode() const { return m_speedMode; }

private:
    void classifyAcquired(int mark);
    bool speedUpdate();

    TimingState m_state;
    TimingState m_saved;
    bool m_acquiring = true;
    int m_balance = 0;
    int m_smoothedDot = 0;
    int m_rawSpeed = 25; // values at creation; a decoder reset sets 35
    int m_speed = 50;
    int m_speedMode = kSpeedModeAuto;
    int m_passCounter = 0;
    int m_ratioCounter = 0;
    int m_lowSpeedCounter = 0; // counts for the whole run of the program
    int m_stallSteps = 0;
    int m_dashIndexChanges = 0;
    int m_lastDashIndex = 0;
};

} // namespace dita
