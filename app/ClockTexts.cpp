#include "app/ClockTexts.h"

namespace dita {

namespace {

std::string two(int v) {
    constexpr int kPadBelow = 10;
    return (v < kPadBelow ? "0" : "") + std::to_string(v);
}

} // namespace

ClockTexts makeClockTexts(const std::tm& utc, const std::tm& local) {
    constexpr int kNoonHour = 12;
    constexpr int kTmYearBase = 1900;
    ClockTexts t;
    int hour = local.tm_hour;
    std::string suffix = "AM";
    if (hour > kNoonHour - 1) {
        suffix = "PM";
        if (hour > kNoonHour) hour -= kNoonHour;
    } else if (hour == 0) {
        hour = kNoonHour;
    }
    t.localTime = two(hour) + ":" + two(local.tm_min) + ":" + two(local.tm_sec) + " " + suffix;

    const std::string hh = two(utc.tm_hour), mm = two(utc.tm_min), ss = two(utc.tm_sec);
    const std::string day = two(utc.tm_mday), month = two(utc.tm_mon + 1);
    const std::string year = std::to_string(utc.tm_year + kTmYearBase);
    t.utcTime = hh + ":" + mm + ":" + ss;
    t.LogTimeText = hh + mm + ss;
    t.LogDateText = year + month + day;
    t.utcDate = year + "-" + month + "-" + day;
    return t;
}

ClockTexts makeClockTexts(std::time_t now) {
    std::tm utc{}, local{};
    gmtime_r(&now, &utc);
    localtime_r(&now, &local);
    return makeClockTexts(utc, local);
}

} // namespace dita
