#pragma once
// Arithmetic of the instrument components that needs no GUI: rounding, the value/digit/
// per-thousand scale, sector lookup, value formatting and the damping filter. Used by the
// controls on the GUI thread and directly by tests and benchmarks.
#include <array>
#include <string>
#include <vector>

#include "gaugekit/GkColor.h"

// Nearest integer, ties to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Not-a-number gives 0 and
// values beyond the int range are held at its ends, so no caller ever converts a non-finite
// float to an integer.
GAUGEKIT_EXPORT double gkRoundEven(double x);
GAUGEKIT_EXPORT int gkRound(double x);

// The mapping between a value range, a digital range and the per-thousand scale.
// Called by TSignalSettings (GUI thread) and tests; plain data, no thread rules.
struct GAUGEKIT_EXPORT GkScale {
    double ValueFrom = 0.0;
    double ValueTo = 100.0;
    int DigitalFrom = 0;
    int DigitalTo = 1000;

    double TotalValue = 100.0;
    int TotalDigit = 1000;
    double ValuePerDigit = 0.1;
    double DigitPerValue = 10.0;
    double PPTPerValue = 10.0;

    // Recomputes the derived members from the four ranges (sign rules of the meters).
    void recompute();
    double valueOfPpt(int ppt) const;
    int pptOfValue(double value) const;
    // Digit of a value on the linear scale.
    int digitOfValue(double value) const;
    // Per-thousand position of a digit; 0 when the digital range is empty.
    int pptOfDigit(int digit) const;
};

// One coloured range of the per-thousand scale (closed at both ends). Plain data, used by
// TSectorSettings and the bar drawing on the GUI thread.
struct GkSector {
    int From = 0;
    int To = 0;
    TColor Color = 0;
    bool holds(int ppt) const { return ppt >= From && ppt <= To; }
};
using GkSectors = std::array<GkSector, 3>;

// Index (0..2) of the first sector holding `ppt`, or -1 when none does.
GAUGEKIT_EXPORT int gkSectorIndexOf(const GkSectors& sectors, int ppt);

// Formats `value` with a picture such as "##0.0": '0' a digit always shown, '#' a digit shown
// when significant, '.' the decimal point, ',' thousands grouping, text in quotes and other
// characters literal; "pos;neg;zero" sections. Rounds to nearest, ties to even. An empty picture
// gives the shortest exact text. Not-a-number and infinities give "NAN", "INF", "-INF".
GAUGEKIT_EXPORT std::string gkFormatFloat(const std::string& picture, double value);
// The longer half of a picture holding ';' (the one that needs the most room), else the picture.
GAUGEKIT_EXPORT std::string gkSizingFormat(const std::string& picture);

// Smoothing of value changes, one step per 20 ms tick. Low-pass: value moves by
// (value - target) * 0.2 / factor per step; linear: moving average over round(factor * 33)
// steps. Motion ends within `threshold` of the target (then snaps to it) and also ends when a
// step makes no progress, so a zero threshold cannot leave it running for ever.
// Owned by TGkDamping (GUI thread).
class GAUGEKIT_EXPORT GkDampingCore {
public:
    static constexpr double kMinFactor = 0.1;
    static constexpr double kMaxFactor = 100.0;
    static constexpr double kLowpassGain = 0.2;
    static constexpr int kStepsPerFactor = 33;

    void setFactor(double factor);
    double factor() const { return m_factor; }
    void setLinear(bool linear) { m_linear = linear; }
    bool linear() const { return m_linear; }
    void setThreshold(double threshold) { m_threshold = threshold; }
    double threshold() const { return m_threshold; }
    // Number of entries of the moving average for the current factor.
    int averageLength() const;

    // Begins a motion from `current` toward `target`.
    void start(double current, double target);
    // Advances one step; writes the new value and returns true while still moving,
    // false when `value` has reached the target.
    bool step(double& value);
    double target() const { return m_target; }

private:
    double m_factor = 1.0;
    bool m_linear = false;
    double m_threshold = 0.1;
    double m_target = 0.0;
    double m_value = 0.0;
    std::vector<double> m_average;
    std::size_t m_next = 0;
    double m_sum = 0.0;
    int m_stepsTaken = 0;
};
