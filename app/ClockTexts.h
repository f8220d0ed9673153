#pragma once
// The clock and date texts of the main window, the log and the macro editor, all made from one
// reading of the clock. Plain functions, any thread.
#include <ctime>
#include <string>

namespace dita {

struct ClockTexts {
    std::string utcTime;     // hh:mm:ss (UTCPnl, GMTMemo)
    std::string utcDate;     // yyyy-mm-dd (GMTDateMemo)
    std::string LogTimeText; // hhmmss UTC
    std::string LogDateText; // yyyymmdd UTC
    std::string localTime;   // hh:mm:ss AM|PM, 12-hour (LocalTimeMemo)
};

// Texts for broken-down UTC and local times (the testable core).
ClockTexts makeClockTexts(const std::tm& utc, const std::tm& local);

// Texts for one calendar time, broken down with gmtime_r and localtime_r.
ClockTexts makeClockTexts(std::time_t now);

} // namespace dita
