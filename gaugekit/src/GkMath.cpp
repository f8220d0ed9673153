#include "gaugekit/GkMath.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {
constexpr double kPptFull = 1000.0;
constexpr int kChannelMax = 255;
constexpr double kPercent = 100.0;
// Largest scaled magnitude formatted through the exact 64-bit integer path.
constexpr double kFormatIntegerLimit = 1e18;
constexpr int kMaxFormatDecimals = 15;
} // namespace

double gkRoundEven(double x) {
    if (!std::isfinite(x)) return x;
    const double lower = std::floor(x);
    const double fraction = x - lower;
    if (fraction > 0.5) return lower + 1.0;
    if (fraction < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

int gkRound(double x) {
    if (std::isnan(x)) return 0;
    const double r = gkRoundEven(x);
    if (r >= double(INT_MAX)) return INT_MAX;
    if (r <= double(INT_MIN)) return INT_MIN;
    return int(r);
}

TColor gkMixColor(TColor from, TColor to, double fraction) {
    auto channel = [fraction](int a, int b) {
        return std::clamp(gkRound(a + (b - a) * fraction), 0, kChannelMax);
    };
    return gkRgb(channel(gkRedOf(from), gkRedOf(to)), channel(gkGreenOf(from), gkGreenOf(to)),
                 channel(gkBlueOf(from), gkBlueOf(to)));
}

TColor gkDimColor(TColor c, double percent) {
    auto channel = [percent](int a) {
        return std::clamp(gkRound(a * percent / kPercent), 0, kChannelMax);
    };
    return gkRgb(channel(gkRedOf(c)), channel(gkGreenOf(c)), channel(gkBlueOf(c)));
}

void GkScale::recompute() {
    if (ValueFrom >= 0 && ValueTo > 0)
        TotalValue = ValueTo - ValueFrom;
    else if (ValueFrom < 0 && ValueTo >= 0)
        TotalValue = std::fabs(ValueFrom) + ValueTo;
    else if (ValueFrom < 0 && ValueTo < 0)
        TotalValue = std::fabs(ValueFrom) - std::fabs(ValueTo);

    // 64-bit so that extreme digital ranges cannot overflow.
    const std::int64_t from = DigitalFrom, to = DigitalTo;
    std::int64_t total = TotalDigit;
    if (from >= 0 && to > 0)
        total = to - from;
    else if (from >= 0 && to <= 0)
        total = 0;
    else if (from < 0 && to >= 0)
        total = -from + to;
    else
        total = -from + to; // both negative: |from| - |to|
    TotalDigit = int(std::clamp<std::int64_t>(total, INT_MIN, INT_MAX));

    if (TotalDigit > 0) ValuePerDigit = TotalValue / TotalDigit;
    if (TotalValue > 0) {
        DigitPerValue = TotalDigit / TotalValue;
        PPTPerValue = kPptFull / TotalValue;
    }
}

double GkScale::valueOfPpt(int ppt) const {
    return TotalValue / kPptFull * ppt + ValueFrom;
}

int GkScale::pptOfValue(double value) const {
    return gkRound((value - ValueFrom) * PPTPerValue);
}

int GkScale::digitOfValue(double value) const {
    return gkRound(DigitalFrom + (value - ValueFrom) * DigitPerValue);
}

int GkScale::pptOfDigit(int digit) const {
    if (TotalDigit == 0) return 0;
    return gkRound(kPptFull / TotalDigit * (double(digit) - DigitalFrom));
}

int gkSectorIndexOf(const GkSectors& sectors, int ppt) {
    for (int i = 0; i < int(sectors.size()); ++i)
        if (sectors[std::size_t(i)].holds(ppt)) return i;
    return -1;
}

namespace {

struct Picture {
    std::string prefix;
    std::string suffix;
    int integerZeros = 0;
    int decimalsMax = 0;
    int decimalsMin = 0;
    bool thousands = false;
    bool hasPlaceholder = false;
};

std::vector<std::string> splitSections(const std::string& picture) {
    std::vector<std::string> sections(1);
    char quote = 0;
    for (char ch : picture) {
        if (quote) {
            if (ch == quote) quote = 0;
        } else if (ch == '\'' || ch == '"') {
            quote = ch;
        } else if (ch == ';') {
            sections.emplace_back();
            continue;
        }
        sections.back() += ch;
    }
    return sections;
}

Picture parsePicture(const std::string& section) {
    Picture p;
    bool afterPoint = false;
    char quote = 0;
    for (char ch : section) {
        std::string& literal = p.hasPlaceholder ? p.suffix : p.prefix;
        if (quote) {
            if (ch == quote)
                quote = 0;
            else
                literal += ch;
            continue;
        }
        switch (ch) {
        case '\'':
        case '"':
            quote = ch;
            break;
        case '0':
        case '#':
            p.hasPlaceholder = true;
            if (afterPoint) {
                ++p.decimalsMax;
                if (ch == '0') p.decimalsMin = p.decimalsMax;
            } else if (ch == '0') {
                ++p.integerZeros;
            }
            break;
        case '.':
            if (!afterPoint) {
                afterPoint = true;
                p.hasPlaceholder = true;
            } else {
                literal += ch;
            }
            break;
        case ',':
            if (!afterPoint) p.thousands = true;
            break;
        default:
            literal += ch;
        }
    }
    p.decimalsMax = std::min(p.decimalsMax, kMaxFormatDecimals);
    p.decimalsMin = std::min(p.decimalsMin, p.decimalsMax);
    return p;
}

std::string shortest(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// Digits of |value| rounded to `decimals`, without sign: integer part and fraction part.
void roundedDigits(double magnitude, int decimals, std::string& intPart, std::string& fracPart) {
    const double scaled = gkRoundEven(magnitude * std::pow(10.0, decimals));
    if (scaled < kFormatIntegerLimit) {
        std::string all = std::to_string(static_cast<unsigned long long>(scaled));
        if (int(all.size()) <= decimals)
            all.insert(0, std::size_t(decimals + 1 - int(all.size())), '0');
        intPart = all.substr(0, all.size() - std::size_t(decimals));
        fracPart = all.substr(all.size() - std::size_t(decimals));
    } else {
        char buf[400];
        auto res =
            std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, decimals);
        std::string all(buf, res.ptr);
        const auto point = all.find('.');
        intPart = all.substr(0, point);
        fracPart = point == std::string::npos ? std::string() : all.substr(point + 1);
    }
}

} // namespace

std::string gkFormatFloat(const std::string& picture, double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (picture.empty()) return shortest(value);

    const std::vector<std::string> sections = splitSections(picture);
    std::size_t chosen = 0;
    bool writeSign = true;
    if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
        chosen = 1;
        writeSign = false;
    }
    Picture p = parsePicture(sections[chosen]);
    if (!p.hasPlaceholder) return p.prefix + p.suffix;

    std::string intPart, fracPart;
    roundedDigits(std::fabs(value), p.decimalsMax, intPart, fracPart);
    const bool isZero = intPart.find_first_not_of('0') == std::string::npos &&
                        fracPart.find_first_not_of('0') == std::string::npos;
    if (isZero && sections.size() > 2 && !sections[2].empty()) {
        p = parsePicture(sections[2]);
        if (!p.hasPlaceholder) return p.prefix + p.suffix;
        roundedDigits(0.0, p.decimalsMax, intPart, fracPart);
        writeSign = false;
    }

    intPart.erase(0, std::min(intPart.find_first_not_of('0'), intPart.size()));
    if (int(intPart.size()) < p.integerZeros)
        intPart.insert(0, std::size_t(p.integerZeros - int(intPart.size())), '0');
    if (p.thousands) {
        for (int i = int(intPart.size()) - 3; i > 0; i -= 3)
            intPart.insert(std::size_t(i), 1, ',');
    }
    while (int(fracPart.size()) > p.decimalsMin && !fracPart.empty() && fracPart.back() == '0')
        fracPart.pop_back();

    std::string out = p.prefix;
    if (writeSign && value < 0 && !isZero) out += '-';
    out += intPart;
    if (!fracPart.empty()) out += '.' + fracPart;
    return out + p.suffix;
}

std::string gkSizingFormat(const std::string& picture) {
    const std::vector<std::string> sections = splitSections(picture);
    if (sections.size() < 2) return picture;
    return sections[1].size() > sections[0].size() ? sections[1] : sections[0];
}

void GkDampingCore::setFactor(double factor) {
    if (std::isnan(factor)) return;
    m_factor = std::clamp(factor, kMinFactor, kMaxFactor);
}

int GkDampingCore::averageLength() const {
    return std::max(1, gkRound(m_factor * kStepsPerFactor));
}

void GkDampingCore::start(double current, double target) {
    m_value = current;
    m_target = target;
    m_stepsTaken = 0;
    if (m_linear) {
        m_average.assign(std::size_t(averageLength()), current);
        m_sum = current * double(m_average.size());
        m_next = 0;
    }
}

bool GkDampingCore::step(double& value) {
    double next;
    if (m_linear) {
        m_sum += m_target - m_average[m_next];
        m_average[m_next] = m_target;
        m_next = (m_next + 1) % m_average.size();
        ++m_stepsTaken;
        next = m_sum / double(m_average.size());
        // Every entry holds the target now; summing errors must not keep it short of it.
        if (m_stepsTaken >= int(m_average.size())) next = m_target;
    } else {
        next = m_value - (m_value - m_target) * kLowpassGain / m_factor;
        const bool overshot =
            (m_value < m_target && next > m_target) || (m_value > m_target && next < m_target);
        if (overshot) next = m_target;
    }
    const bool noProgress = next == m_value;
    if (std::fabs(next - m_target) <= m_threshold || noProgress || !std::isfinite(next))
        next = m_target;
    m_value = next;
    value = next;
    return next != m_target;
}
