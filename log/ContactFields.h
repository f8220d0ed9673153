#pragma once
// The contact fields of the station panel: the band table, the key filters of the frequency
// and report fields, and what committing those fields (Enter or leaving the field) does.
//
// Who calls it: the station panel's event handlers on the window thread (StationPanel), and
// the configuration code for the band name. Plain functions on values; no Qt.
#include <array>
#include <string>
#include <string_view>

namespace dita {

struct BandRow {
    const char* BandMemo; // name shown for the band
    double lowerMHz;      // both edges belong to the band
    double upperMHz;
    const char* message;   // shown when a frequency lies outside
    int significantDigits; // precision kept when the frequency is reformatted
};

constexpr int kFirstBand = 1;
constexpr int kLastBand = 11;
constexpr int kBandCount = kLastBand;

// Rows 1..11 of the band table; row 0 is not used.
const std::array<BandRow, kBandCount + 1>& bandTable();
// The row of a band index; indexes outside 1..11 give row 1, the band the panel starts on.
const BandRow& bandRow(int bandIndex);

inline constexpr const char* kFrequencySetCaption = "Frequency Set";
inline constexpr const char* kNumberSetCaption = "Number Set";
inline constexpr const char* kRstRangeText = "RST Number must be between 1 and 999";
inline constexpr const char* kConversionErrorCaption = "Error Message";
constexpr int kMinReport = 1;
constexpr int kMaxReport = 999;
constexpr int kFrequencyDecimals = 6;

constexpr int kBackspaceKey = 8;
constexpr int kEnterKey = 13;

// The band (1..11) whose edges hold mhz, both edges included; 0 when it lies in none.
int bandOfFrequency(double mhz);

// Key filters: whether a typed character (its character code) may enter the field.
// Frequency: "0".."9", ".", Backspace, Enter. Report: "1".."9", Backspace, Enter.
bool frequencyKeyAccepted(int charCode);
bool reportKeyAccepted(int charCode);

// The message for a field text that is not a number: names the text and says it was kept.
std::string conversionErrorText(std::string_view text);

// Strict conversions of a whole field text: decimal digits with at most one "." for the
// frequency, decimal digits for a report (an optional leading "-" is accepted by both, so a
// pasted negative value reaches the range check). false when the text is not such a number.
bool parseFrequency(std::string_view text, double& mhz);
bool parseReport(std::string_view text, long long& value);

// The frequency text after rounding to the band's significant digits, with exactly six
// digits after the point (14.025 on 20M gives "14.025000").
std::string formatFrequency(double mhz, int bandIndex);

// What a commit asks the panel to do.
struct FieldCommit {
    enum class Result {
        Unchanged,  // nothing to do (an empty field being left)
        Accepted,   // text := newText, font black
        Refused,    // message, then text := newText, font black
        NotANumber, // message; the field keeps its text and its red colour
    };
    Result result = Result::Unchanged;
    std::string newText;
    std::string message;
    std::string caption;
};

// Enter in FrequencyMemo (onExit false) or leaving it (onExit true).
FieldCommit commitFrequency(std::string_view text, int bandIndex, bool onExit);
// Enter in RSTMemo / MyRSTMemo (onExit false) or leaving it (onExit true). An out-of-range
// report empties the field in both cases, so that no invalid report can reach the log.
FieldCommit commitReport(std::string_view text, bool onExit);

} // namespace dita
