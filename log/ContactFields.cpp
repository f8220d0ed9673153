#include "log/ContactFields.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace dita {

namespace {

constexpr int kFormatBufferBytes = 64;

// Only what the key filter lets through, plus a leading minus sign; no spaces, no exponent.
bool looksDecimal(std::string_view text, bool pointAllowed) {
    std::size_t i = text.empty() || text.front() != '-' ? 0 : 1;
    bool digit = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && pointAllowed && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

} // namespace

const std::array<BandRow, kBandCount + 1>& bandTable() {
    static const std::array<BandRow, kBandCount + 1> table = {{
        {"", 0.0, 0.0, "", 0},
        {"2M", 144, 148, "Frequency must be greater than 144 mHz and less than 148 mHz", 9},
        {"6M", 50, 54, "Frequency must be greater than 50 mHz and less than 54 mHz", 9},
        {"10M", 28, 29.7, "Frequency must be greater than 28 mHz and less than 29.7 mHz", 9},
        {"12M", 24.89, 24.99, "Frequency must be greater than 24.89 mHz and less than 24.99 mHz",
         9},
        {"15M", 21, 21.45, "Frequency must be greater than 21 mHz and less than 21.45 mHz", 9},
        {"17M", 18.068, 18.168,
         "Frequency must be greater than 18.068 mHz and less than 18.168 mHz", 9},
        {"20M", 14, 14.35, "Frequency must be greater than 14 mHz and less than 14.35 mHz", 9},
        {"30M", 10.1, 10.15, "Frequency must be greater than 10.1 mHz and less than 10.15 mHz", 9},
        {"40M", 7.0, 7.3, "Frequency must be greater than 7.0 mHz and less than 7.3 mHz", 8},
        {"80M", 3.5, 4.0, "Frequency must be greater than 3.5 mHz and less than 4.0 mHz", 8},
        {"160M", 1.8, 2.0, "Frequency must be greater than 1.8 mHz and less than 2.0 mHz", 8},
    }};
    return table;
}

const BandRow& bandRow(int bandIndex) {
    if (bandIndex < kFirstBand || bandIndex > kLastBand) bandIndex = kFirstBand;
    return bandTable()[static_cast<std::size_t>(bandIndex)];
}

bool frequencyKeyAccepted(int c) {
    return (c >= '0' && c <= '9') || c == '.' || c == kBackspaceKey || c == kEnterKey;
}

bool reportKeyAccepted(int c) {
    return (c >= '1' && c <= '9') || c == kBackspaceKey || c == kEnterKey;
}

std::string conversionErrorText(std::string_view text) {
    return "\"" + std::string(text) + "\" is not a valid number; the field keeps its text";
}

bool parseFrequency(std::string_view text, double& mhz) {
    if (!looksDecimal(text, true)) return false;
    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return false;
    mhz = value;
    return true;
}

bool parseReport(std::string_view text, long long& value) {
    if (!looksDecimal(text, false)) return false;
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Far too many digits is still a number, just far out of range.
        v = text.front() == '-' ? std::numeric_limits<long long>::min()
                                : std::numeric_limits<long long>::max();
    } else if (ec != std::errc() || end != text.data() + text.size()) {
        return false;
    }
    value = v;
    return true;
}

int bandOfFrequency(double mhz) {
    for (int band = kFirstBand; band <= kLastBand; ++band) {
        const BandRow& row = bandRow(band);
        if (mhz >= row.lowerMHz && mhz <= row.upperMHz) return band;
    }
    return 0;
}

std::string formatFrequency(double mhz, int bandIndex) {
    char rounded[kFormatBufferBytes];
    std::snprintf(rounded, sizeof rounded, "%.*g", bandRow(bandIndex).significantDigits, mhz);
    const double value = std::strtod(rounded, nullptr);
    char text[kFormatBufferBytes];
    std::snprintf(text, sizeof text, "%.*f", kFrequencyDecimals, value);
    return text;
}

FieldCommit commitFrequency(std::string_view text, int bandIndex, bool onExit) {
    FieldCommit c;
    if (onExit && text.empty()) return c;
    double f = 0.0;
    if (!parseFrequency(text, f)) {
        c.result = FieldCommit::Result::NotANumber;
        c.message = conversionErrorText(text);
        c.caption = kConversionErrorCaption;
        return c;
    }
    const BandRow& row = bandRow(bandIndex);
    if (f > row.upperMHz || f < row.lowerMHz) {
        c.result = FieldCommit::Result::Refused;
        c.message = row.message;
        c.caption = kFrequencySetCaption;
        return c;
    }
    c.result = FieldCommit::Result::Accepted;
    c.newText = formatFrequency(f, bandIndex);
    return c;
}

FieldCommit commitReport(std::string_view text, bool onExit) {
    FieldCommit c;
    if (onExit && text.empty()) return c;
    long long n = 0;
    if (!parseReport(text, n)) {
        c.result = FieldCommit::Result::NotANumber;
        c.message = conversionErrorText(text);
        c.caption = kConversionErrorCaption;
        return c;
    }
    if (n < kMinReport || n > kMaxReport) {
        c.result = FieldCommit::Result::Refused;
        c.message = kRstRangeText;
        c.caption = kNumberSetCaption;
        return c;
    }
    c.result = FieldCommit::Result::Accepted;
    c.newText = std::to_string(n);
    return c;
}

} // namespace dita
