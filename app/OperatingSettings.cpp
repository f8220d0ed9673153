#include "app/OperatingSettings.h"

namespace dita {

int lockedSpeedWpm(int rxSpeedLock) {
    constexpr int kAutoWpm = 25;
    constexpr int kFiftyPlusWpm = 100;
    constexpr int kTopLockedWpm = 50; // RxSpeedLock 3
    constexpr int kLockStepWpm = 5;
    if (rxSpeedLock == 2) return kFiftyPlusWpm;
    if (rxSpeedLock >= 3 && rxSpeedLock <= 11)
        return kTopLockedWpm - kLockStepWpm * (rxSpeedLock - 3);
    return kAutoWpm;
}

} // namespace dita
