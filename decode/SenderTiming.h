#pragma once
// SenderTiming: element timing learnt from the sender's own mark and gap lengths, and the
// character assembly that turns key events into text.
//
// Marks are split into dots and dashes, gaps into element, letter and word gaps, by clustering
// their durations on a logarithmic scale (the ratios between the classes matter, not the
// absolute speed). This copes with any dash/dot ratio and keyer weighting, hand keying, and
// Farnsworth spacing (letters at one speed, spacing at another).
//
// Used by the enhanced channel decoder, one instance per decoded signal, on the receive worker
// thread. Durations are in detector steps. Nothing is allocated after construction.
#include "decode/CharacterDecoder.h"

#include <array>
#include <string>

namespace dita {

// The key detector's edges shorten each mark and lengthen each gap by about this many steps (a
// short dot barely reaches the mark level through the band-pass and the matched filter): a
// 60 wpm sender at weighting 0.7 (dot 4.8 steps, element gap 8.9) is measured at 3.1 and 10.6.
inline constexpr float kEdgeSteps = 1.5f;

// A unit (a dot) lasts this many seconds over the speed in words a minute (PARIS: 50 units).
inline constexpr double kParisUnitSeconds = 1.2;

// What a key run is: known where a reader weighed whole elements to find it (the sequence
// decoder), Unknown where only its length tells, against the timing's thresholds.
enum class RunKind : signed char { Unknown = -1, Dot, Dash, ElementGap, LetterGap, WordGap };

// One key run: a mark (key down) or a gap (key up) and its length in steps.
struct KeyEvent {
    bool mark = false;
    float steps = 0.0f;
    RunKind kind = RunKind::Unknown;
};

// Class centres in steps, and the thresholds between them.
struct TimingEstimate {
    float dot = 0.0f;
    float dash = 0.0f;
    float elementGap = 0.0f;
    float letterGap = 0.0f;
    float wordGap = 0.0f;
    bool marksSplit = false;   // two mark clusters were found
    bool spacingKnown = false; // letter and word gaps can be told apart
    int marks = 0;

    bool valid() const { return dot > 0.0f; }
    float dashThreshold() const;
    float letterThreshold() const;
    float wordThreshold() const;
    float unit() const { return 0.5f * (dot + elementGap); }
};

// Estimates the timing classes from mark and gap lengths (in any order; leading gaps before
// the first mark must already be left out). clean: the detector's levels show a signal that noise
// does not split or thin out, so that gaps of three lengths are element, letter and word gaps.
void estimateTiming(const float* marks, int markCount, const float* gaps, int gapCount, bool clean,
                    TimingEstimate& out);

class SenderTiming {
public:
    static constexpr int kMarkHistory = 24;
    static constexpr int kGapHistory = 48;

    // Forgets the sender: histories, the estimate and the character being assembled.
    void reset();
    // Uses this estimate until enough events of the sender's own have been observed.
    void setEstimate(const TimingEstimate& estimate);
    // Fixed speed (words per minute) instead of learning it; 0 learns it.
    void setFixedWpm(int wpm, double stepSeconds);

    // Adds an event to the histories and re-estimates; clean as for estimateTiming.
    void observe(const KeyEvent& event, bool clean);
    // Decodes a completed event: a gap ends the character (and may write a word space), a mark
    // adds a dot or a dash.
    void decode(const KeyEvent& event, const DecoderSettings& settings, std::string& out);
    // The gap running now has lasted this many steps: ends the character once it is clearly
    // longer than an element gap, so the character appears without waiting for the next mark.
    void gapProgress(float steps, const DecoderSettings& settings, std::string& out);

    // The sender stopped: what was written ends with a word space.
    void endOver(const DecoderSettings& settings, std::string& out) { writeSpace(settings, out); }

    const TimingEstimate& estimate() const { return m_estimate; }
    // Words per minute from the estimated unit (PARIS timing), 0 while unknown.
    int wpm(double stepSeconds) const;

private:
    void endCharacter(const DecoderSettings& settings, std::string& out);
    void writeSpace(const DecoderSettings& settings, std::string& out);

    DecodingTables m_tables;
    TimingEstimate m_estimate;
    int m_fixedWpm = 0;
    float m_fixedDot = 0.0f;
    std::array<float, kMarkHistory> m_marks{};
    std::array<float, kGapHistory> m_gaps{};
    int m_markCount = 0; // events seen (the histories keep the latest)
    int m_gapCount = 0;
    bool m_seenMark = false;
    int m_code = 0;
    int m_weight = 1;
    int m_elements = 0;
    bool m_wroteSinceSpace = false;
    bool m_lastWasSpace = true;
};

} // namespace dita
