#include "decode/ElementTimer.h"

namespace dita {

namespace {
constexpr int kSpeedConstant = 3880; // raw wpm = 3880 / (dash average + 7)
constexpr int kSpeedOffset = 7;
constexpr int kLowSpeedWpm = 10;
constexpr int kLowSpeedGrace = 5; // low readings forced to 10 wpm before resets start
constexpr int kFallbackWpm = 30;  // an automatic speed above 50 falls back here
constexpr int kFiftyPlusFloorWpm = 50;
constexpr int kStalledSpeedWpm = 15;
constexpr int kStallSteps = 1000;
constexpr int kStallSnr = 16;
constexpr int kBalanceLimit = -500;
constexpr int kRatioLimit = 5;
constexpr int kRatioPatience = 4;
constexpr int kRatioCounterMax = 6;
constexpr int kBalancePasses = 4;
} // namespace

ElementTimer::ElementTimer() {
    resetToAcquisition();
}

void ElementTimer::resetToAcquisition() {
    m_acquiring = true;
    m_state = TimingState{};
}

void ElementTimer::acquire(bool keyDown) {
    TimingState& s = m_state;
    if (keyDown) {
        s.markLength += s.stepLength;
        return;
    }
    if (s.markLength == 0) return;
    const int m = s.markLength;
    bool pairFound = false;
    int dash = 0;
    int dot = 0;
    if (s.dotIndex != 0) {
        classifyAcquired(m);
    } else if (s.previousMark == 0) {
        s.previousMark = m;
    } else if (s.previousMark > m) {
        if (2 * m >= s.previousMark) {
            s.previousMark = m;
        } else {
            pairFound = true;
            dash = s.previousMark;
            dot = m;
        }
    } else if (2 * s.previousMark < m) {
        pairFound = true;
        dash = m;
        dot = s.previousMark;
    } else {
        s.previousMark = m;
    }
    if (pairFound) {
        s.dashAverage = s.dashSum = s.dashRing[0] = dash;
        s.dotAverage = s.dotSum = s.dotRing[0] = dot;
        s.dotIndex = s.dashIndex = 1;
    }
    s.markLength = 0;
}

// After the pair is found, the next mark is only classified (and stored while its ring still
// has room); once both indexes stand at 1 the acquisition ends.
void ElementTimer::classifyAcquired(int m) {
    TimingState& s = m_state;
    if (m > ((s.dotAverage + s.dashAverage) >> 1)) {
        if (s.dashIndex < 1) {
            s.dashRing[s.dashIndex] = m;
            s.dashSum += m;
            ++s.dashIndex;
            s.dashAverage = s.dashSum / s.dashIndex;
        }
    } else if (s.dotIndex < 1) {
        s.dotRing[s.dotIndex] = m;
        s.dotSum += m;
        ++s.dotIndex;
        s.dotAverage = s.dotSum / s.dotIndex;
    }
    if (s.dotIndex == 1 && s.dashIndex == 1) {
        s.dotIndex = s.dashIndex = 0;
        m_acquiring = false;
    }
}

void ElementTimer::track(bool keyDown, SpaceTime spaceTime) {
    TimingState& s = m_state;
    if (keyDown) {
        s.markLength += s.stepLength;
        if (s.spaceLength > 0) {
            int limit = 0;
            switch (spaceTime) {
            case SpaceTime::Short:
                limit = (s.dashAverage / 2 + s.dashAverage) >> 2;
                break;
            case SpaceTime::Medium:
                limit = m_speed >= 26 ? (2 * s.dashAverage + s.dotAverage / 2) >> 2
                                      : (s.dotAverage + 2 * s.dashAverage) >> 2;
                break;
            case SpaceTime::Long:
                limit = (3 * s.dashAverage) >> 2;
                break;
            }
            if (s.spaceLength > limit) s.characterEndFlag = true;
            s.spaceLength = 0;
        }
        return;
    }
    s.spaceLength += s.stepLength;
    if (s.markLength <= 0) return;
    const int m = s.markLength;
    if (m <= (s.dotAverage / 2 + s.dashAverage) / 2) {
        s.dotFlag = true;
        --m_balance;
        s.dotSum = s.dotSum - s.dotRing[s.dotIndex] + m;
        s.dotRing[s.dotIndex] = m;
        s.dotAverage = s.dotSum >> 1;
        s.dotIndex ^= 1;
    } else {
        s.dashFlag = true;
        ++m_balance;
        s.dashSum = s.dashSum - s.dashRing[s.dashIndex] + m;
        s.dashRing[s.dashIndex] = m;
        s.dashAverage = s.dashSum >> 1;
        s.dashIndex ^= 1;
    }
    s.markLength = 0;
}

bool ElementTimer::stallWatch(int rawSnr) {
    if (m_state.dashIndex != m_lastDashIndex) {
        ++m_dashIndexChanges;
        m_lastDashIndex = m_state.dashIndex;
    }
    if (++m_stallSteps <= kStallSteps) return false;
    m_stallSteps = 0;
    bool restarted = false;
    if (m_dashIndexChanges == 0 && rawSnr > kStallSnr) {
        resetToAcquisition();
        setSpeeds(kFallbackWpm);
        restarted = true;
    }
    m_dashIndexChanges = 0;
    return restarted;
}

bool ElementTimer::endOfPass(bool speedLockPending) {
    TimingState& s = m_state;
    if (++m_passCounter % kBalancePasses == 0) m_balance = 0;
    if (m_balance * s.dotAverage <= kBalanceLimit || s.dotRing[1] > s.dashRing[1]) restoreState();
    if (s.dotAverage > 0) {
        if (s.dashAverage / s.dotAverage > kRatioLimit && m_ratioCounter > kRatioPatience) {
            restoreState();
            m_ratioCounter = 0;
        } else {
            ++m_ratioCounter;
        }
        if (m_ratioCounter > kRatioCounterMax) m_ratioCounter = kRatioCounterMax;
    }
    return speedLockPending ? false : speedUpdate();
}

bool ElementTimer::speedUpdate() {
    m_rawSpeed = kSpeedConstant / (m_state.dashAverage + kSpeedOffset);
    if (m_rawSpeed < kLowSpeedWpm) {
        if (++m_lowSpeedCounter > kLowSpeedGrace) return true;
        m_rawSpeed = kLowSpeedWpm;
    }
    finishSpeedUpdate();
    return false;
}

void ElementTimer::finishSpeedUpdate() {
    const TimingState& s = m_state;
    m_speed = (2 * m_speed + m_rawSpeed) / 3;
    if (m_speedMode != kSpeedModeFiftyPlus && m_speed > kFiftyPlusFloorWpm) {
        setSpeeds(kFallbackWpm);
    } else if (m_speedMode == kSpeedModeFiftyPlus && m_speed < kFiftyPlusFloorWpm) {
        setSpeeds(kFiftyPlusFloorWpm);
    }
    if (m_speed >= 0 && m_speed <= 4) {
        if (s.dotAverage > 0) {
            if (s.dashAverage / s.dotAverage >= kRatioLimit) {
                restoreState();
            } else {
                resetToAcquisition();
            }
        }
        m_speed = kStalledSpeedWpm;
    }
}

} // namespace dita
