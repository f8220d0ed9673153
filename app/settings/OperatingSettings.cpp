#include "app/settings/OperatingSettings.h"

namespace dita {

int lockedSpeedWpm(setting::RxSpeedLock lock) {
    constexpr int kAutoWpm = 25;
    constexpr int kFiftyPlusWpm = 100;
    constexpr int kTopLockedWpm = 50;
    constexpr int kLockStepWpm = 5;
    const int32_t value = raw(lock);
    if (lock == setting::RxSpeedLock::FiftyPlus) return kFiftyPlusWpm;
    if (value >= raw(setting::RxSpeedLock::Locked50) &&
        value <= raw(setting::RxSpeedLock::Locked10))
        return kTopLockedWpm - kLockStepWpm * (value - raw(setting::RxSpeedLock::Locked50));
    return kAutoWpm;
}

} // namespace dita
