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

PttSettings pttLines(const OperatingSettings& s) {
    PttSettings lines;
    lines.PttEnable = s.PttEnable != 0;
    lines.PttInvert = s.PttInvert != 0;
    lines.DtrIsData = s.DtrIsData != 0;
    lines.DtrIsPtt = s.DtrIsPtt != 0;
    lines.RtsIsData = s.RtsIsData != 0;
    lines.RtsIsPtt = s.RtsIsPtt != 0;
    return lines;
}

void setPttLines(OperatingSettings& s, const PttSettings& lines) {
    s.PttEnable = lines.PttEnable ? 1 : 0;
    s.PttInvert = lines.PttInvert ? 1 : 0;
    s.DtrIsData = lines.DtrIsData ? 1 : 0;
    s.DtrIsPtt = lines.DtrIsPtt ? 1 : 0;
    s.RtsIsData = lines.RtsIsData ? 1 : 0;
    s.RtsIsPtt = lines.RtsIsPtt ? 1 : 0;
}

} // namespace dita
