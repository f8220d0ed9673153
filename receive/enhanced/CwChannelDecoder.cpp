#include "receive/enhanced/CwChannelDecoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dita {

namespace {

// |z| by its definition. std::abs calls hypot, whose guard against overflow these sums of
// 16-bit samples never need, and which took a tenth of the enhanced decoder's time.
double magnitude(std::complex<double> z) {
    return std::sqrt(z.real() * z.real() + z.imag() * z.imag());
}

// Level trackers, in seconds.
constexpr double kSpaceSeconds = 0.3; // space (noise) level average
constexpr double kMarkSeconds = 0.1;  // mark level falling with a fading signal (16 dB in 2 s)
constexpr double kDecaySeconds = 1.0; // mark level sinking to the space level in silence
// Key decisions toggle this fraction of the mark-space span above or below the midpoint.
constexpr float kHysteresis = 0.1f;
// Level squelch: the mark level must stand this far above the space level (amplitude ratio)
// before anything is keyed. Noise alone holds the ratio near 3 (its peaks drive the mark level),
// so this only stops the detector from keying on level noise while the levels are still equal;
// telling a weak tone from noise is the gate's work (setGate).
constexpr float kSquelchOpen = 2.2f;
// A key-down decision also needs the envelope this far over the space level. The space level
// sits at about 0.8 of the mean noise amplitude (it may always fall, and it learns only from
// steps plainly not a mark), so noise alone passes this floor in 0.6-3 % of the steps: now and
// then a short false mark, which the squelch, the gate and the weak-word check keep from being
// written. A higher floor doubles the errors at -6 dB, where weak elements need this low one.
constexpr float kNoiseFloorFactor = 3.2f;
constexpr float kSquelchClose = 2.0f;
// The space level learns only from steps that are plainly not a mark: below the lower
// hysteresis edge, or within this multiple of the space level (noise passes 2.5 times its mean
// amplitude in 0.7 % of the steps). A weak element the decisions miss must not raise the space
// level: the noise floor above would then miss more of them, until the signal is lost.
constexpr float kSpaceCensor = 2.5f;

// Gathering detectors: half lengths of their triangles (steps), shortest first. Matched to dots
// of about 4, 10 and 24 steps: 100, 40 and 17 wpm; each also serves slower senders.
constexpr std::array<int, CwChannelDecoder::kBanks> kBankHalfLengths = {2, 5, 12};
// A gathering detector whose triangle is longer than this many dots blurs the elements. At 1.75
// dots a dot still rises to 0.82 of the mark level and an element gap falls to 0.18 of it, clear
// of the decision band; a fast sender whose dots come out short in noise still fits the middle
// detector (60 wpm at 0 dB).
constexpr float kMaxFilterDots = 1.75f;
// The matched detector's boxcars are each this fraction of a dot long.
constexpr float kMatchedFraction = 0.5f;
// The matched length follows the sender when the dot changes by more than this.
constexpr float kRetuneFraction = 0.25f;
constexpr float kDashDots = 3.0f;
// A weak signal's timing is read again by the sequencer at most this many times, until its unit
// moves by less than kTimingSettled; it needs kTimingMarks marks and element gaps for that.
constexpr int kTimingRounds = 4;
constexpr float kTimingSettled = 0.03f;
constexpr int kTimingMarks = 6;
// A signal the gathering detectors cannot time is searched for by the sequencer after this long
// with the gate open, and again every kSearchEverySeconds, from these speeds; it settles on a
// reading of at least kSearchMarks marks whose evidence is at least kSearchEvidence a mark. Where
// a reading shows more than kSearchStrongEvidence a mark the signal is not weak.
constexpr double kSearchAfterSeconds = 4.0;
// An over shorter than that is searched when the gate closes after it, if the gate was open this
// long. On such an over the gathering detectors may read the signal clean for moments and never
// settle; nothing else would read it.
constexpr double kSearchShortOverSeconds = 1.5;
constexpr double kSearchEverySeconds = 1.5;
constexpr double kSearchSpanSeconds = 10.0;
constexpr std::array<double, 8> kSearchWpm = {8, 11, 15, 20, 26, 34, 45, 60};
constexpr int kSearchMarks = 10;
constexpr double kSearchEvidence = 8.0;
constexpr double kSearchStrongEvidence = 100.0;
// Readings of the search agree on the unit within this share of it.
constexpr float kSearchAgreement = 0.15f;
// A weak sender's settled timing gives way to a reading from a longer unit with at least
// kCheckMarks marks, none weaker, that two start speeds came to and that explains the steps
// better as a whole.
constexpr int kCheckMarks = 6;
// It gives way to a reading from a shorter unit with at least kSearchMarks marks, more than
// kMergedMarks for each of its own, whose marks are no weaker and which explains the steps better
// as a whole: elements merged by a detector longer than the sender's dot, read apart, give that
// many marks for each merged one; noise splitting a slow sender's elements adds far fewer. Marks
// kMuchStronger times as strong each (at the likeliest tone) need only kStrongerMergedMarks for
// each of its own: fragments of elements are weaker than the elements, never stronger.
constexpr double kMergedMarks = 1.4;
constexpr double kStrongerMergedMarks = 1.15;
constexpr double kMuchStronger = 1.3;
// Marks that read clean give way to a reading from a shorter unit whose marks hold this much more
// evidence a step: a fast sender's elements, which the clean marks merged with the gaps between.
constexpr double kMergedDensity = 1.4;
constexpr double kMergedDotShare = 0.25;
// Gaps between characters in a weak sender's reading: when at least kSpacingGaps were read and a
// quarter of them lie above kFarnsworthShare times a keyer's letter gap, the sender spaces the
// characters out (Farnsworth): that quarter's length is the letter gap, and a word gap is 7/3 of
// it. Read with a keyer's spacing, every such letter gap would be a word gap.
constexpr int kSpacingGaps = 6;
constexpr float kFarnsworthShare = 1.8f;
constexpr double kSpacingQuantile = 0.25;
// A weak signal's sequencer takes the learnt timing when its unit moves by this share.
constexpr float kSequencerFollows = 0.1f;
// Runs shorter than this fraction of a dot (marks) or element gap (gaps) are not elements.
constexpr float kMinRunFraction = 0.45f;
// Gathering waits at most this long after the first mark for the spacing to become clear.
constexpr double kMaxHoldSeconds = 12.0;
// Kept steps from before the first mark that are run again: the gathering detectors may have
// missed the first element (a tone that is already there when the levels start). It was 0.3 s
// until a tone present from the first sample lost its first element; the band decoder's and
// the skimmer's 0.3 s lead (kChannelLeadSeconds) is another thing: where a channel begins to
// feed this decoder.
constexpr double kReplayLeadSeconds = 1.5;
// Seeds of the matched detector's levels from the kept steps' amplitudes.
constexpr double kSpacePercentile = 0.3;
constexpr double kMarkPercentile = 0.95;
// A gap this long ends the over: the next signal's timing is learnt afresh.
constexpr double kOverGapSeconds = 3.0;
constexpr float kOverGapWordGaps = 2.5f;
constexpr int kMinMarksToSettle = 6;
// Kept steps the resting gathering detectors run over before the next over is gathered: the
// over gap (at least kOverGapSeconds of silence, where the space level settles in a third of a
// second) and the over's last marks, which set the mark level within a dot. Five times the
// slowest level time constant (kDecaySeconds): what they held from before is gone.
constexpr double kCatchUpSeconds = 5.0;
// Mark level over space level (amplitude) from which a detector does not split elements in
// noise (25 dB).
constexpr float kStrongSignalRatio = 18.0f;
// Element gap to dot: 0.43 with heavy weighting (1.4), 1.9 with light weighting (0.7) or the
// shortened marks of a weak signal.
constexpr float kMinElementGapDots = 0.35f;
constexpr float kMaxElementGapDots = 2.2f;
// The ratio of element gap to dot is judged without the detector's edges (kEdgeSteps).
// Dots shorter than this (70 wpm, above the fastest senders decoded) are a detector splitting
// elements in noise, not a sender. A clean signal is not split: its speed is judged from the
// unit (the mean of dot and element gap), which keyer weighting and the edges leave alone, so
// that a fast sender's lightly weighted dots, or dots the edges shorten (a 60 wpm dot of 6.9
// steps is measured at 5.5 at +3 dB), pass.
constexpr double kMinDotSeconds = kParisUnitSeconds / 70.0;
// A word of one or two marks (E, T, I, A, N, M) is believed only if one of its marks peaks close
// to the sender's level (the peaks of its recent dots): no more than this many noise levels (the
// space level) below it. In the silence after an over the mark level sinks to the noise within a
// second while the signal gate still holds open, and noise keys the detector now and then: a
// blip, or two close together, a few noise levels high, where the sender's dots seldom fall that
// far short. A word of more marks is the sender's even in the bottom of a fade.
constexpr float kShortWordNoiseLevels = 3.0f;
// After a pause longer than this many of the sender's word gaps the noise has had many chances to
// key the detector: a short word must then come closer to the sender's level.
constexpr float kPauseWordGaps = 1.5f;
constexpr float kPauseNoiseLevels = 1.5f;
constexpr float kSenderLevelWeight = 0.25f; // the sender's level follows its last few dots
// Beside a stronger signal, a mark whose peak stays under this share (-9 dB) of the sender's level
// is the neighbour's keying let through the channel's filters (60 Hz off, 7 dB stronger: -13 dB),
// which keys the detector once the sender stops and its mark level has sunk.
constexpr float kNeighbourSpreadShare = 0.35f;
// Mark level over space level (amplitude, 15.6 dB) above which a detector does not split marks
// into fragments, so that short element gaps are the sender's own.
constexpr float kCleanSignalRatio = 6.0f;
// A signal read clean but not strong is still read by the sequencer when it writes each run within
// this long of its end (about nine of the sender's units: senders faster than about 27 wpm). The
// matched detector then splits a fast sender's elements at the start of the over, and slower
// senders keep its quicker text.
constexpr double kQuickReadSeconds = 0.4;

// The triangle that best separates marks from spaces is looked for among half lengths that grow
// by this ratio, from the shortest up to its first peak: a triangle as long as whole characters
// separates them from the word gaps well again.
constexpr float kSeparationGrowth = 1.15f;
// The separation has peaked once it falls this far below its best.
constexpr float kSeparationPeakDrop = 0.97f;
constexpr int kSeparationIterations = 12; // two-means rounds
// The best separating triangle is 0.8 to 1.5 dots long in noise (its peak is flat).
constexpr float kSeparatingDots = 1.15f;
// Gathered dots or element gaps shorter than this share of the separating length are noise
// splitting the elements: a sender that fast would be separated best by a shorter triangle.
constexpr float kFragmentShare = 0.6f;
// Nor is the matched detector made shorter than this share of it, when the timing is settled or
// later as it follows the sender: a detector built for fragments splits the elements into more
// of them and confirms its own length (45 wpm at -6 dB: CER 0.27 to 0.21).
constexpr float kShortestShare = 0.75f;
// A weak signal's gathered gaps may fall into one class of element and letter gaps together,
// which would then split letters: letter gaps are taken as at least three units (as keyers space
// them, Farnsworth more) and word gaps as at least two letter gaps.
constexpr float kLeastLetterUnits = 3.0f;
constexpr float kLeastWordLetters = 2.0f;

// The run length (steps) the matched detector is built for: about a dot.
// In noise a detector splits some elements into fragments, which pull the dot class down, and a
// detector built for that shorter dot splits yet more: it confirms its own length. Dashes stay
// whole, so the detector is never shorter than a third of the dash (the dash of a 3:1 sender).
// Heavy keyer weighting lengthens the dot and shortens the element gap (1.4 and 0.6 units at
// weighting 1.4), and a long dash ratio lengthens the dash (4.5 dots). A triangle as long as the
// dot or a third of the dash then hardly dips in the element gaps, and the elements of a
// character merge into long marks that read as a slower sender. So on a clean signal, whose
// short gaps are the sender's own, the triangle is also kept within kMaxFilterDots element gaps.
float matchedLength(const TimingEstimate& e, bool clean) {
    if (!e.marksSplit) return e.dot;
    const float fromMarks = std::max(e.dot, e.dash / kDashDots);
    if (!clean || e.elementGap <= 0.0f) return fromMarks;
    return std::min(fromMarks, kMaxFilterDots * e.elementGap);
}

// The spacing a weak signal is read with (see kLeastLetterUnits).
TimingEstimate withSpacing(TimingEstimate e) {
    e.letterGap = std::max(e.letterGap, kLeastLetterUnits * e.unit());
    e.wordGap = std::max(e.wordGap, kLeastWordLetters * e.letterGap);
    return e;
}

// A sender's spaced-out letter gap (0: none) taken into e.
TimingEstimate withLetterGap(TimingEstimate e, float letter) {
    if (letter <= 0.0f) return e;
    e.letterGap = letter;
    e.wordGap = std::max(e.wordGap, 7.0f / 3.0f * letter);
    return e;
}

// Half length of a detector's boxcars for runs of lengthSteps (a dot).
int matchedHalf(float lengthSteps) {
    return std::clamp(static_cast<int>(std::lround(kMatchedFraction * lengthSteps)), 1,
                      KeyDetector::kMaxHalfLength);
}

// The shortest run that counts as an element, for an element class of lengthSteps.
int shortestRun(float lengthSteps) {
    return std::max(1, static_cast<int>(std::lround(kMinRunFraction * lengthSteps)));
}

float alphaFor(double seconds, double stepRate) {
    return static_cast<float>(1.0 / (seconds * stepRate));
}

} // namespace

// ---- KeyDetector -------------------------------------------------------------------------

void KeyDetector::configure(int halfLength, double stepRate) {
    m_half = std::clamp(halfLength, 1, kMaxHalfLength);
    m_stepRate = stepRate;
    m_spaceAlpha = alphaFor(kSpaceSeconds, stepRate);
    m_markAlpha = alphaFor(kMarkSeconds, stepRate);
    m_decayAlpha = alphaFor(kDecaySeconds, stepRate);
    m_attackAlpha = 1.0f / static_cast<float>(2 * m_half);
    // A tone of amplitude A mixes to A/2 per sample: 8A per step, 8A * half^2 after the
    // triangle. Scaled back to A.
    m_amplitudeScale =
        2.0 / (static_cast<double>(m_half) * m_half * CwChannelDecoder::kStepSamples);
    m_ring1.fill({});
    m_ring2.fill({});
    m_sum1 = m_sum2 = {};
    m_pos = 0;
}

void KeyDetector::reset() {
    configure(m_half, m_stepRate);
    restartLevels();
}

void KeyDetector::restartLevels() {
    m_amplitude = m_space = m_mark = 0.0f;
    m_started = m_rawKey = m_open = false;
    m_tailSteps = 0;
    m_filled = 0;
}

void KeyDetector::seed(float space, float mark) {
    m_space = space;
    m_mark = std::max(mark, space);
    m_started = true;
    m_rawKey = false;
    m_open = m_mark > kSquelchOpen * m_space;
}

float KeyDetector::filter(std::complex<float> raw) {
    const std::complex<double> in(raw.real(), raw.imag());
    m_sum1 += in - m_ring1[static_cast<size_t>(m_pos)];
    m_ring1[static_cast<size_t>(m_pos)] = in;
    m_sum2 += m_sum1 - m_ring2[static_cast<size_t>(m_pos)];
    m_ring2[static_cast<size_t>(m_pos)] = m_sum1;
    m_pos = m_pos + 1 == m_half ? 0 : m_pos + 1;
    m_amplitude = static_cast<float>(magnitude(m_sum2) * m_amplitudeScale);
    return m_amplitude;
}

bool KeyDetector::step(std::complex<float> raw) {
    return decide(filter(raw));
}

bool KeyDetector::decide(float a) {
    m_amplitude = a;
    if (!m_started) {
        // Levels start once the triangle holds only input.
        if (++m_filled < 2 * m_half) return false;
        m_space = m_mark = a;
        m_started = true;
    }
    const float span = m_mark - m_space;
    const float mid = m_space + 0.5f * span;
    if (m_rawKey) {
        if (a < mid - kHysteresis * span) {
            m_rawKey = false;
            m_tailSteps = 2 * m_half; // the triangle's tail is not noise
        }
    } else if (a > mid + kHysteresis * span && a > kNoiseFloorFactor * m_space) {
        m_rawKey = true;
    }
    if (m_rawKey) {
        m_mark += (a > m_mark ? m_attackAlpha : m_markAlpha) * (a - m_mark);
    } else {
        if (m_tailSteps > 0) {
            --m_tailSteps;
        } else if (a < std::max(mid - kHysteresis * span, kSpaceCensor * m_space)) {
            m_space += m_spaceAlpha * (a - m_space);
        }
        m_mark += m_decayAlpha * (m_space - m_mark);
    }
    // The space level may always fall: a long run keyed by mistake must not hold it up.
    if (a < m_space) m_space += m_spaceAlpha * (a - m_space);
    if (m_open) {
        m_open = m_mark > kSquelchClose * m_space;
    } else {
        m_open = m_mark > kSquelchOpen * m_space;
    }
    return m_rawKey && m_open;
}

// ---- RunCleaner --------------------------------------------------------------------------

void RunCleaner::reset() {
    m_inMark = false;
    m_length = 0;
    m_tentative = 0;
}

bool RunCleaner::feed(bool key, KeyEvent& event) {
    if (key == m_inMark) {
        m_length += m_tentative + 1; // a run too short to count belongs to this one
        m_tentative = 0;
        return false;
    }
    ++m_tentative;
    if (m_tentative < (m_inMark ? m_minGap : m_minMark)) return false;
    event.mark = m_inMark;
    event.steps = static_cast<float>(m_length);
    m_inMark = key;
    m_length = m_tentative;
    m_tentative = 0;
    return true;
}

// ---- CwChannelDecoder --------------------------------------------------------------------

CwChannelDecoder::CwChannelDecoder() {
    configure(m_sampleRate);
}

void CwChannelDecoder::configure(double sampleRateHz) {
    m_sampleRate = sampleRateHz;
    m_stepRate = sampleRateHz / kStepSamples;
    m_lengths.minDot = static_cast<float>(kMinDotSeconds * m_stepRate);
    m_lengths.maxHold = static_cast<int>(kMaxHoldSeconds * m_stepRate);
    m_lengths.replayLead = static_cast<int>(kReplayLeadSeconds * m_stepRate);
    m_lengths.catchUp = static_cast<int>(kCatchUpSeconds * m_stepRate);
    m_lengths.overGap = static_cast<float>(kOverGapSeconds * m_stepRate);
    m_lengths.searchAfter = static_cast<int>(kSearchAfterSeconds * m_stepRate);
    m_lengths.searchEvery = static_cast<int>(kSearchEverySeconds * m_stepRate);
    m_lengths.searchShortOver = static_cast<int>(kSearchShortOverSeconds * m_stepRate);
    m_lengths.searchSpan = static_cast<int>(kSearchSpanSeconds * m_stepRate);
    for (size_t b = 0; b < m_banks.size(); ++b)
        m_banks[b].detector.configure(kBankHalfLengths[b], m_stepRate);
    m_detector.configure(kBankHalfLengths[1], m_stepRate);
    setPitch(m_pitchHz);
    setFixedWpm(m_fixedWpm);
    reset();
}

void CwChannelDecoder::reset() {
    for (auto& bank : m_banks)
        bank.detector.reset();
    m_detector.reset();
    m_kept = 0;
    m_banksBehind = 0;
    m_lastReplay.valid = false;
    rebasePhase();
    m_phaseBase = 0;
    m_accumulator = {};
    m_accumulated = 0;
    startGathering();
}

void CwChannelDecoder::startGathering() {
    m_stage = Stage::Gathering;
    m_shortestMatched = 0.0f;
    dropHeld();
    m_skipGap = false;
    for (auto& bank : m_banks) {
        bank.runs.reset();
        const int half = bank.detector.halfLength();
        bank.runs.setMinimum(half, half);
        bank.eventCount = 0;
        bank.firstMarkStep = -1;
    }
    m_gatherSteps = 0;
    m_gateOpenSteps = 0;
    m_gateWasOpen = false;
    m_lastSearch = 0;
    m_timing.reset();
}

void CwChannelDecoder::setPitch(double hz) {
    m_pitchHz = hz;
    rebasePhase();
    m_rotation = std::polar(1.0, -2.0 * M_PI * hz / m_sampleRate);
    m_phase[0] = {1.0, 0.0};
    for (size_t j = 1; j < m_phase.size(); ++j)
        m_phase[j] = m_phase[j - 1] * m_rotation;
    for (size_t j = 0; j < m_phase.size(); ++j) {
        m_phaseRe[j] = m_phase[j].real();
        m_phaseIm[j] = m_phase[j].imag();
    }
}

void CwChannelDecoder::setFixedWpm(int wpm) {
    m_fixedWpm = std::max(wpm, 0);
    m_timing.setFixedWpm(m_fixedWpm, 1.0 / m_stepRate);
}

void CwChannelDecoder::rebasePhase() {
    if (m_accumulated == m_phaseBase) return;
    m_oscillator *= m_phase[static_cast<size_t>(m_accumulated - m_phaseBase)];
    m_phaseBase = m_accumulated;
}

void CwChannelDecoder::process(const float* samples, int count, const DecoderSettings& settings,
                               std::string& out) {
    // The oscillator at each sample of a step is its value at the step's start turned by the
    // precomputed powers of the rotation, so the samples of a step are mixed independently.
    for (int i = 0; i < count;) {
        const int n = std::min(kStepSamples - m_accumulated, count - i);
        const double oscRe = m_oscillator.real();
        const double oscIm = m_oscillator.imag();
        const int offset = m_accumulated - m_phaseBase;
        std::array<float, kStepSamples> mixedRe;
        std::array<float, kStepSamples> mixedIm;
        const double* phaseRe = m_phaseRe.data() + offset;
        const double* phaseIm = m_phaseIm.data() + offset;
        for (int j = 0; j < n; ++j) {
            const double x = samples[i + j];
            mixedRe[static_cast<size_t>(j)] =
                static_cast<float>(x * (oscRe * phaseRe[j] - oscIm * phaseIm[j]));
            mixedIm[static_cast<size_t>(j)] =
                static_cast<float>(x * (oscRe * phaseIm[j] + oscIm * phaseRe[j]));
        }
        float re = m_accumulator.real();
        float im = m_accumulator.imag();
        for (int j = 0; j < n; ++j) {
            re += mixedRe[static_cast<size_t>(j)];
            im += mixedIm[static_cast<size_t>(j)];
        }
        m_accumulator = {re, im};
        i += n;
        m_accumulated += n;
        if (m_accumulated < kStepSamples) continue;
        m_oscillator *= m_phase[static_cast<size_t>(kStepSamples - m_phaseBase)];
        m_oscillator /= magnitude(m_oscillator); // keep the oscillator on the unit circle
        m_phaseBase = 0;
        step(m_accumulator, settings, out);
        m_accumulator = {};
        m_accumulated = 0;
    }
}

CwChannelDecoder::Reading CwChannelDecoder::readingOf(const KeyDetector& d) {
    if (d.markLevel() > kStrongSignalRatio * d.spaceLevel()) return Reading::Strong;
    if (d.markLevel() > kCleanSignalRatio * d.spaceLevel()) return Reading::Clean;
    return Reading::Noisy;
}

bool CwChannelDecoder::isPlausible(const TimingEstimate& e, Reading reading) const {
    // Element gaps are about as long as dots in every keying style; a detector too long for
    // the sender merges the elements of a character, and its "gaps" are letter gaps.
    const bool fastEnough = (reading != Reading::Noisy ? e.unit() : e.dot) >= m_lengths.minDot;
    return fastEnough && e.elementGap - kEdgeSteps <= kMaxElementGapDots * (e.dot + kEdgeSteps) &&
           e.elementGap >= kMinElementGapDots * e.dot;
}

bool CwChannelDecoder::enoughMarks(const TimingEstimate& e) {
    return e.marksSplit && e.marks >= kMinMarksToSettle;
}

int CwChannelDecoder::detectorDelay() const {
    return KeyDetector::kMaxHalfLength - m_detector.halfLength();
}

std::complex<float> CwChannelDecoder::rawAt(int age) const {
    int pos = m_rawPos - 1 - age;
    if (pos < 0) pos += kRawSteps;
    return m_raw[static_cast<size_t>(pos)];
}

void CwChannelDecoder::step(std::complex<float> raw, const DecoderSettings& settings,
                            std::string& out) {
    m_lastReplay.valid = false; // a new step: the kept steps have moved on
    m_raw[static_cast<size_t>(m_rawPos)] = raw;
    m_rawPos = m_rawPos + 1 == kRawSteps ? 0 : m_rawPos + 1;
    if (m_kept < kRawSteps) ++m_kept;
    ++m_gatherSteps;
    if (decoding()) {
        liveStep(rawAt(detectorDelay()), Retune::Follow, settings, out);
    } else {
        gatherStep(raw, settings, out);
        if (!decoding()) searchStep(settings, out);
    }
}

bool CwChannelDecoder::bankEstimate(const Bank& bank, Reading reading, TimingEstimate& estimate) {
    auto& marks = m_markScratch;
    auto& gaps = m_gapScratch;
    int nm = 0;
    int ng = 0;
    for (int i = 0; i < bank.eventCount; ++i) {
        const KeyEvent& e = bank.events[static_cast<size_t>(i)];
        if (e.mark) {
            marks[static_cast<size_t>(nm++)] = e.steps;
        } else {
            gaps[static_cast<size_t>(ng++)] = e.steps;
        }
    }
    estimateTiming(marks.data(), nm, gaps.data(), ng, reading != Reading::Noisy, estimate);
    return nm > 0;
}

void CwChannelDecoder::gatherStep(std::complex<float> raw, const DecoderSettings& settings,
                                  std::string& out) {
    bool newEvent = false;
    for (auto& bank : m_banks) {
        KeyEvent e;
        if (!bank.runs.feed(bank.detector.step(raw) && m_gate, e)) continue;
        if (!e.mark && bank.firstMarkStep < 0) {
            // The leading gap ended: the first mark has begun.
            bank.firstMarkStep = m_gatherSteps;
            continue;
        }
        if (bank.eventCount < kMaxEvents) bank.events[static_cast<size_t>(bank.eventCount++)] = e;
        newEvent = true;
    }
    if (!newEvent) return;
    // The hold runs from the earliest first mark of any gathering detector.
    bool full = false;
    for (const auto& bank : m_banks)
        full = full || bank.eventCount >= kMaxEvents;
    const bool held = full || m_gatherSteps - firstMarkStep() >= m_lengths.maxHold;
    // Which detector's events to trust: a strong signal is read best by the shortest one (a
    // longer one may merge the elements of a fast sender); otherwise the longest one that fits
    // the dot it finds, as it sees the least noise. A detector longer than the elements merges
    // them into long marks that look like a slower sender of their own: it must also fit the
    // shortest dot that any detector finds a plausible sender for.
    std::array<TimingEstimate, kBanks> estimates;
    std::array<Reading, kBanks> readings{};
    std::array<bool, kBanks> found{};
    float shortestLength = std::numeric_limits<float>::max();
    for (size_t b = 0; b < m_banks.size(); ++b) {
        readings[b] = readingOf(m_banks[b].detector);
        found[b] = bankEstimate(m_banks[b], readings[b], estimates[b]);
        if (found[b] && estimates[b].marksSplit && isPlausible(estimates[b], readings[b]))
            shortestLength = std::min(shortestLength,
                                      matchedLength(estimates[b], readings[b] != Reading::Noisy));
    }
    for (int pick = 0; pick < 2 * kBanks; ++pick) {
        const bool strongPass = pick < kBanks;
        const auto b = static_cast<size_t>(strongPass ? pick : 2 * kBanks - 1 - pick);
        if (strongPass && readings[b] != Reading::Strong) continue;
        if (!found[b]) continue;
        // The pass over all detectors reads a strong one as a clean one.
        const Candidate candidate{
            estimates[b], strongPass ? Reading::Strong : std::min(readings[b], Reading::Clean),
            held};
        if (worthSettling(candidate, m_banks[b].detector.halfLength(), shortestLength) &&
            settle(candidate, settings, out))
            return;
    }
    // Held long enough and nothing fits: what was gathered was not a sender.
    if (held) startGathering();
}

int CwChannelDecoder::firstMarkStep() const {
    int firstMark = m_gatherSteps;
    for (const auto& bank : m_banks) {
        if (bank.firstMarkStep >= 0) firstMark = std::min(firstMark, bank.firstMarkStep);
    }
    return firstMark;
}

bool CwChannelDecoder::worthSettling(const Candidate& c, int halfLength,
                                     float shortestLength) const {
    const TimingEstimate& estimate = c.estimate;
    // The dots it measures are shortened by the edges; the sender's own are not.
    const bool fitsFilter =
        2.0f * static_cast<float>(halfLength) <=
        kMaxFilterDots *
            (std::min(matchedLength(estimate, c.reading != Reading::Noisy), shortestLength) +
             kEdgeSteps);
    // A fixed speed stands in for the spacing, not for the marks that show a sender: a noise
    // blip or two must not start the reading (its levels would be the noise's).
    const bool known = enoughMarks(estimate) && (m_fixedWpm > 0 || estimate.spacingKnown);
    // Once the hold is over the marks need not split into dots and dashes (a sender of dots
    // alone), but there must be as many as a sender keys: one or two in all that time are noise.
    return (known || (c.holdOver && estimate.marks >= kMinMarksToSettle)) && fitsFilter &&
           isPlausible(estimate, c.reading);
}

void CwChannelDecoder::applyMatchedLength(float lengthSteps) {
    m_matchedLength = lengthSteps;
    const int half = matchedHalf(lengthSteps);
    if (half != m_detector.halfLength()) {
        m_detector.configure(half, m_stepRate);
        // Refill the new triangle from the kept steps so the envelope does not restart; the
        // delay keeps the triangle's centre where it was.
        const int delay = detectorDelay();
        for (int age = std::min(delay + 2 * half, m_kept) - 1; age > delay; --age)
            m_detector.filter(rawAt(age));
    }
}

CwChannelDecoder::MatchedRun CwChannelDecoder::replay(float dotSteps, float elementGapSteps,
                                                      int count) {
    const int half = matchedHalf(dotSteps);
    const int minMark = shortestRun(dotSteps);
    const int minGap = shortestRun(elementGapSteps);
    // Within one step the detectors of several gathering lengths may ask for the same run: its
    // events, estimate and end state are those of the last one.
    const ReplayKey key{count, half, minMark, minGap};
    if (m_lastReplay.valid && m_lastReplay.key == key) return m_lastReplay.run;
    m_detector.configure(half, m_stepRate);
    m_detector.reset();
    const int delay = detectorDelay();
    int amplitudes = 0;
    for (int age = count - 1; age >= delay; --age) {
        const float a = m_detector.filter(rawAt(age));
        m_amplitudes[static_cast<size_t>(amplitudes)] = a;
        m_scratch[static_cast<size_t>(amplitudes++)] = a;
    }
    auto percentile = [&](double p) {
        if (amplitudes == 0) return 0.0f;
        const auto k = static_cast<size_t>(p * (amplitudes - 1));
        std::nth_element(m_scratch.begin(), m_scratch.begin() + static_cast<long>(k),
                         m_scratch.begin() + amplitudes);
        return m_scratch[k];
    };
    const float space = percentile(kSpacePercentile);
    const float mark = percentile(kMarkPercentile);
    // The decisions run over the same amplitudes; the filter already holds the state they end in.
    m_detector.restartLevels();
    m_detector.seed(space, mark);
    m_runs.reset();
    m_runs.setMinimum(minMark, minGap);
    int n = 0;
    for (int i = 0; i < amplitudes; ++i) {
        KeyEvent e;
        if (m_runs.feed(m_detector.decide(m_amplitudes[static_cast<size_t>(i)]), e) &&
            n < kMaxEvents)
            m_replayEvents[static_cast<size_t>(n++)] = e;
    }
    int nm = 0;
    int ng = 0;
    bool seenMark = false;
    for (int i = 0; i < n; ++i) {
        const KeyEvent& e = m_replayEvents[static_cast<size_t>(i)];
        if (e.mark) {
            m_markScratch[static_cast<size_t>(nm++)] = e.steps;
            seenMark = true;
        } else if (seenMark) {
            m_gapScratch[static_cast<size_t>(ng++)] = e.steps;
        }
    }
    MatchedRun run;
    run.events = n;
    run.reading = readingOf(m_detector);
    estimateTiming(m_markScratch.data(), nm, m_gapScratch.data(), ng, run.reading != Reading::Noisy,
                   run.estimate);
    m_lastReplay = {true, key, run};
    return run;
}

float CwChannelDecoder::separatingLength(int count) {
    // For each triangle, the kept amplitudes are split in two classes (two-means); the best
    // triangle makes the classes lie furthest apart for their spread. Shorter than a dot it lets
    // through more noise; longer, it fills the element gaps and lowers the dots.
    float best = -1.0f;
    int bestHalf = 0;
    for (int half = 1; half <= KeyDetector::kMaxHalfLength;
         half = std::max(half + 1, static_cast<int>(std::lround(kSeparationGrowth * half)))) {
        m_probe.configure(half, m_stepRate);
        int n = 0;
        for (int age = count - 1; age >= 0; --age) {
            const float a = m_probe.filter(rawAt(age));
            if (age < count - 2 * half) m_scratch[static_cast<size_t>(n++)] = a;
        }
        const float separation = twoClassSeparation(m_scratch.data(), n);
        if (separation > best) {
            best = separation;
            bestHalf = half;
        } else if (separation < kSeparationPeakDrop * best) {
            break;
        }
    }
    return 2.0f * static_cast<float>(bestHalf);
}

float CwChannelDecoder::twoClassSeparation(const float* values, int n) {
    if (n < 2) return 0.0f;
    double mean = 0.0;
    for (int i = 0; i < n; ++i)
        mean += values[i];
    double threshold = mean / n;
    std::array<double, 2> sum{};
    std::array<double, 2> squares{};
    std::array<int, 2> count{};
    for (int round = 0; round < kSeparationIterations; ++round) {
        sum = {};
        squares = {};
        count = {};
        // Without branches: noise puts the values either side of the threshold at random.
        for (int i = 0; i < n; ++i) {
            const double v = values[i];
            const bool high = v >= threshold;
            const double vh = high ? v : 0.0;
            const double vl = high ? 0.0 : v;
            sum[1] += vh;
            sum[0] += vl;
            squares[1] += vh * vh;
            squares[0] += vl * vl;
            count[1] += high;
        }
        count[0] = n - count[1];
        if (count[0] == 0 || count[1] == 0) return 0.0f;
        const double next = 0.5 * (sum[0] / count[0] + sum[1] / count[1]);
        // The same threshold splits the values the same way again.
        if (next == threshold) break;
        threshold = next;
    }
    const double low = sum[0] / count[0];
    const double high = sum[1] / count[1];
    const double spread = squares[0] / count[0] - low * low + squares[1] / count[1] - high * high;
    return static_cast<float>((high - low) * (high - low) / std::max(spread, 1e-12));
}

bool CwChannelDecoder::settle(const Candidate& candidate, const DecoderSettings& settings,
                              std::string& out) {
    const TimingEstimate& gathered = candidate.estimate;
    const bool clean = candidate.reading != Reading::Noisy;
    // Steps to run again: from a little before the earliest first mark up to now.
    const int lead = m_lengths.replayLead + 4 * KeyDetector::kMaxHalfLength;
    const int count = std::min(m_kept, m_gatherSteps - firstMarkStep() + lead);

    // Run the kept steps through a detector matched to the gathered dot; when the matched
    // detector finds another dot, once more with that one. The gathering detectors may have
    // split elements in noise: the matched run must confirm the timing.
    // In noise the gathering detectors may have timed fragments of the elements: the kept
    // steps themselves then show a longer dot, and the matched detector is kept near it.
    float gatheredLength = matchedLength(gathered, clean);
    float gatheredGap = gathered.elementGap;
    float shortest = 0.0f;
    if (candidate.reading != Reading::Strong && m_fixedWpm == 0) {
        const float separatedDot = separatingLength(count) / kSeparatingDots;
        shortest = kShortestShare * separatedDot;
        if (std::min(gatheredLength, gatheredGap) < kFragmentShare * separatedDot)
            gatheredLength = gatheredGap = separatedDot;
    }
    MatchedRun run = replay(gatheredLength, gatheredGap, count);
    const float found = std::max(matchedLength(run.estimate, clean), shortest);
    if (run.estimate.marksSplit &&
        std::abs(found - gatheredLength) > kRetuneFraction * gatheredLength) {
        run = replay(found, std::max(run.estimate.elementGap, shortest), count);
    }
    // A gathering detector may have looked clean for a moment; the matched run's own levels
    // judge whether its short dots are the sender's.
    const bool confirmed =
        enoughMarks(run.estimate) &&
        (m_fixedWpm > 0 ||
         isPlausible(run.estimate,
                     candidate.reading == Reading::Strong ? Reading::Strong : run.reading));
    if (!confirmed && !candidate.holdOver) return false;
    TimingEstimate estimate = run.estimate.marksSplit ? run.estimate : gathered;
    // Few letter and word gaps yet: the gathering detectors may have seen the two kinds, if they
    // read the same sender (not noise fragments of it, whose gaps are far shorter).
    const bool sameSender =
        std::abs(gathered.unit() - estimate.unit()) <= kRetuneFraction * estimate.unit();
    if (!estimate.spacingKnown && gathered.spacingKnown && sameSender) {
        estimate.letterGap = gathered.letterGap;
        estimate.wordGap = gathered.wordGap;
        estimate.spacingKnown = true;
    }

    startDecoding({estimate, run, candidate.reading, shortest, count}, settings, out);
    return true;
}

void CwChannelDecoder::startDecoding(const Settlement& settled, const DecoderSettings& settings,
                                     std::string& out) {
    // A signal that either the gathering detector or the matched run reads strong is decoded from
    // the matched detector's runs, and so is a slower sender that one of them reads clean; a weak
    // one, or a fast one, by the sequencer.
    const bool gatheredClean = settled.gathered != Reading::Noisy;
    const bool matchedClean = settled.run.reading != Reading::Noisy;
    const bool strong =
        settled.gathered == Reading::Strong || settled.run.reading == Reading::Strong;
    auto quickRead = [&](const TimingEstimate& e) {
        return 2.0f * e.dash + e.letterGap <= kQuickReadSeconds * m_stepRate;
    };
    bool sequenced = !strong && (!(gatheredClean || matchedClean) || quickRead(settled.estimate));
    // The first live mark is never held: the gap before it was decoded with the kept steps.
    m_markPeak = 0.0f;
    m_gapBefore = 0.0f;
    m_senderLevel = m_detector.markLevel();
    // Learn from everything first, then decode from the start.
    m_timing.reset();
    for (int i = 0; i < settled.run.events; ++i)
        m_timing.observe(m_replayEvents[static_cast<size_t>(i)], matchedClean);
    m_timing.setEstimate(settled.estimate);
    m_shortestMatched = settled.shortest;
    m_matchedLength = std::max(matchedLength(settled.estimate, gatheredClean), settled.shortest);
    // The sequencer reads everything kept since the gathering began: the detector that found
    // the sender may have found its first marks seconds after they were keyed.
    const int count = std::max(settled.count, std::min(m_kept, m_gatherSteps));
    TimingEstimate read;
    bool readKnown = false;
    // A detector longer than a fast sender's dot merges its elements into marks that read clean,
    // as a slower sender's would: the search reads the kept steps from shorter units as well, and
    // a fast sender's own unit, found so, explains them better.
    if (!strong && (gatheredClean || matchedClean) && m_fixedWpm == 0) {
        const TimingEstimate checked = checkedTiming(TimingCheck::Merged, count);
        const bool merged = checked.unit() < (1.0f - kSearchAgreement) * settled.estimate.unit() &&
                            quickRead(checked);
        // Without merged marks the reading is the one a clean detector's timing gives.
        if (merged || (sequenced && gatheredClean)) {
            read = checked;
            readKnown = true;
            sequenced = true;
        }
    }
    m_stage = sequenced ? Stage::Sequenced : Stage::Matched;
    if (m_stage == Stage::Sequenced) {
        if (!readKnown)
            read = checkedTiming(gatheredClean ? TimingCheck::None : TimingCheck::Both, count);
        // The reading that writes the text allows for the tone lying a little off the mixer's.
        m_sequencer.setToneSpread(true);
        m_sequencer.reset(m_sequenceLevels.noise, m_sequenceLevels.mark);
        // From here on the timing is learnt from what the sequencer reads.
        m_timing.reset();
        m_timing.setEstimate(read);
        m_sequencedUnit = read.unit();
        m_sequencedLetter = read.letterGap;
        m_spaces = {};
        readKept(count, settings, out);
        if (m_sequencer.gapSoFar() > 0.0f)
            m_timing.gapProgress(m_sequencer.gapSoFar(), settings, out);
    } else {
        for (int i = 0; i < settled.run.events; ++i)
            m_timing.decode(m_replayEvents[static_cast<size_t>(i)], settings, out);
        if (!m_runs.inMark())
            m_timing.gapProgress(static_cast<float>(m_runs.gapSoFar()), settings, out);
    }
    applyMatchedLength(
        std::max(matchedLength(m_timing.estimate(), gatheredClean), settled.shortest));
}

void CwChannelDecoder::readKept(int count, const DecoderSettings& settings, std::string& out) {
    // A lone dot before the first word is taken for noise: over the seconds kept before the
    // sender was found, noise keys a dot far more often than a sender opens with an E alone.
    auto take = [&](const KeyEvent& e) {
        learnSequenced(e);
        m_timing.decode(e, settings, out);
    };
    KeyEvent held;
    bool holding = false;
    bool started = false;
    for (int age = count - 1; age >= detectorDelay(); --age) {
        const int n = m_sequencer.step(rawAt(age), true, false, m_sequenceEvents.data());
        for (int i = 0; i < n; ++i) {
            const KeyEvent& e = m_sequenceEvents[static_cast<size_t>(i)];
            if (holding) {
                holding = false;
                if (e.kind == RunKind::WordGap) continue;
                take(held);
            } else if (!started && e.mark) {
                started = e.kind != RunKind::Dot;
                holding = !started;
                held = e;
                if (holding) continue;
            }
            take(e);
        }
    }
    if (holding) take(held);
}

TimingEstimate CwChannelDecoder::checkedTiming(TimingCheck check, int count) {
    const TimingEstimate settled = KeySequencer::standardSpacing(m_timing.estimate());
    if (check == TimingCheck::None) return sequencedTiming(settled, count).estimate;
    // Gathering detectors in noise may have timed fragments of the elements: read from a longer
    // unit, the steps then show clearly stronger marks (each holding a whole element). The
    // search reads first, so that the sequencer is left started with the settled timing unless
    // another reading takes its place.
    searchSpeeds(count, check == TimingCheck::Merged);
    const SequencedReading reading = sequencedTiming(settled, count);
    // Of the readings that qualify, the shortest unit is taken: a still longer one reads several
    // elements as one mark, and its marks are stronger again. Stronger marks alone do not qualify
    // it, for merged elements are stronger marks too: a reading from a longer unit must also
    // explain the steps better, and be reached from two start speeds at least (merged elements,
    // like noise fragments, are read from one alone).
    const SequencedReading* longer = nullptr;
    auto perMark = [](const SequencedReading& r) { return r.evidence / std::max(r.marks, 1); };
    for (const SequencedReading& r : m_searchReadings) {
        if (check == TimingCheck::Merged) break;
        if (r.marks >= kCheckMarks && perMark(r) >= kSearchEvidence &&
            perMark(r) > perMark(reading) && r.score() > reading.score() &&
            agreeingReadings(r) >= 2 &&
            r.estimate.unit() > (1.0f + kSearchAgreement) * reading.estimate.unit() &&
            (!longer || r.estimate.unit() < longer->estimate.unit()))
            longer = &r;
    }
    // A fast sender may have been gathered from merged elements (a detector longer than its dot):
    // read from a shorter unit, the steps then show many more marks, none weaker, and marks and
    // lengths together explain the steps better. Noise splitting a slow sender's elements adds a
    // few marks, and a reading of such fragments is reached from one speed alone, a sender's unit
    // from several. The marks are weighed at the likeliest tone near the mixer's: a slow sender's
    // long elements, summed at one phase, lose their gain to a tone a little off, and fragments
    // of them would seem the stronger marks.
    auto perMarkAtTone = [](const SequencedReading& r) {
        return r.toneEvidence / std::max(r.marks, 1);
    };
    auto perStepAtTone = [](const SequencedReading& r) {
        return r.toneEvidence / std::max(r.markSteps, 1.0);
    };
    const SequencedReading* shorter = nullptr;
    // Marks that read clean are not noise, however few of them the settled timing reads.
    if (reading.marks >= kCheckMarks || check == TimingCheck::Merged)
        for (const SequencedReading& r : m_searchReadings) {
            const bool manyMore = r.marks > kMergedMarks * reading.marks;
            const bool strongerMore = r.marks > kStrongerMergedMarks * reading.marks &&
                                      perMarkAtTone(r) > kMuchStronger * perMarkAtTone(reading);
            // Merged marks of a clean signal are each stronger than the elements they hold, but
            // hold the gaps between them too: the elements are the stronger for their length.
            // A slow sender read from a unit a third of his own has dashes for dots and pairs of
            // them for dashes, and hardly a dot among them.
            const bool noWeaker =
                check == TimingCheck::Merged
                    ? perStepAtTone(r) > kMergedDensity * perStepAtTone(reading) &&
                          r.dots >= kMergedDotShare * r.marks
                    : perMarkAtTone(r) > perMarkAtTone(reading);
            if (r.marks >= kSearchMarks && (manyMore || strongerMore) && agreeingReadings(r) >= 2 &&
                noWeaker && r.score() > reading.score() &&
                r.estimate.unit() * (1.0f + kSearchAgreement) < reading.estimate.unit() &&
                (!shorter || r.score() > shorter->score()))
                shorter = &r;
        }
    // Where both qualify, the one that explains the steps better.
    const SequencedReading* taken = longer;
    if (!taken || (shorter && shorter->score() > longer->score())) taken = shorter;
    if (!taken) return reading.estimate;
    return sequencedTiming(KeySequencer::standardSpacing(taken->estimate), count).estimate;
}

void CwChannelDecoder::startSequence(const TimingEstimate& estimate, int count) {
    m_sequencer.setToneSpread(false);
    m_sequencer.setTiming(estimate, m_stepRate);
    // Levels from the envelope of the sequencer's boxcar over the kept steps.
    const int box = m_sequencer.boxcarLength();
    const int delay = detectorDelay();
    std::complex<float> sum{};
    int n = 0;
    for (int age = count - 1; age >= delay; --age) {
        sum += rawAt(age);
        if (age + box <= count - 1) sum -= rawAt(age + box);
        // Boxcars of exact zeros (the input had stopped) say nothing of the noise.
        if (count - 1 - age >= box && sum != std::complex<float>{})
            m_scratch[static_cast<size_t>(n++)] = std::norm(sum);
    }
    KeySequencer::levelsFrom(m_scratch.data(), n, m_sequenceLevels.noise, m_sequenceLevels.mark);
    m_sequencer.reset(m_sequenceLevels.noise, m_sequenceLevels.mark);
}

namespace {

// What the sequencer read over the kept steps: the lengths of its dots, dashes and element gaps,
// and the power of its marks and gaps.
struct SequencedTally {
    std::array<double, 3> length{}; // by kind: dot, dash, element gap
    std::array<int, 3> count{};
    double markPower = 0.0;   // |sum of a mark's steps|^2, over the marks
    double markSquares = 0.0; // (a mark's steps)^2, over the marks
    double gapPower = 0.0;    // |step|^2, over the gaps' steps
    int gapSteps = 0;
    double windowPower = 0.0; // |sum of a boxcar's steps|^2, over the boxcars inside gaps
    int windows = 0;

    static size_t index(RunKind kind) { return static_cast<size_t>(kind); }
    // silent: steps of the run that were exactly zero (the input had stopped).
    void add(RunKind kind, int steps, int silent, std::complex<double> sum, double power) {
        if (kind == RunKind::Dot || kind == RunKind::Dash) {
            markPower += std::norm(sum);
            markSquares += static_cast<double>(steps) * steps;
        } else {
            gapPower += power;
            gapSteps += steps - silent;
        }
        if (kind == RunKind::LetterGap || kind == RunKind::WordGap) return;
        length[index(kind)] += steps;
        ++count[index(kind)];
    }
    // A boxcar of steps inside a gap; one of exact zeros (the input had stopped) holds no noise.
    void addWindow(std::complex<double> sum) {
        if (sum == std::complex<double>{}) return;
        windowPower += std::norm(sum);
        ++windows;
    }
    bool enough() const {
        return count[index(RunKind::Dot)] + count[index(RunKind::Dash)] >= kTimingMarks &&
               count[index(RunKind::ElementGap)] >= kTimingMarks / 2 && gapSteps > 0;
    }
    // The unit that the dots, dashes (3 units) and element gaps together are long.
    float unit() const {
        const double units = count[index(RunKind::Dot)] + kDashDots * count[index(RunKind::Dash)] +
                             count[index(RunKind::ElementGap)];
        return static_cast<float>((length[0] + length[1] + length[2]) / units);
    }
    float mean(RunKind kind, float otherwise) const {
        const size_t i = index(kind);
        return count[i] > 0 ? static_cast<float>(length[i] / count[i]) : otherwise;
    }
    // The noise power of a sum of box steps, measured over boxcars inside the gaps: a channel
    // filter narrower than the step rate makes the noise of neighbouring steps alike, and a sum
    // of them holds more than its steps' powers.
    double noisePower(int box) const {
        return windows > 0 ? windowPower / windows : box * gapPower / gapSteps;
    }
    // A mark of L steps sums to L a in amplitude, with the noise power of L steps.
    double markAmplitude2(int box) const {
        const double markSteps = length[index(RunKind::Dot)] + length[index(RunKind::Dash)];
        return (markPower - noisePower(box) / box * markSteps) / markSquares;
    }
};

} // namespace

void CwChannelDecoder::SpaceHistory::add(const KeyEvent& e) {
    if (e.kind == RunKind::LetterGap || e.kind == RunKind::WordGap) {
        m_pending = m_markSeen ? e.steps : 0.0f;
        return;
    }
    if (!e.mark) return;
    m_markSeen = true;
    if (m_pending <= 0.0f) return;
    m_spaces[static_cast<size_t>(m_next)] = m_pending;
    m_next = (m_next + 1) % kSize;
    m_count = std::min(m_count + 1, kSize);
    m_pending = 0.0f;
    if (m_count < kSpacingGaps) return;
    std::array<float, kSize> sorted = m_spaces;
    const auto k = static_cast<std::ptrdiff_t>(kSpacingQuantile * (m_count - 1));
    std::nth_element(sorted.begin(), sorted.begin() + k, sorted.begin() + m_count);
    m_quarter = sorted[static_cast<size_t>(k)];
}

float CwChannelDecoder::SpaceHistory::spacedLetter(float unit) const {
    // The spaces are the key's own lengths; the estimate's gaps are lengthened by the detector's
    // edges.
    const float letter = m_quarter + kEdgeSteps;
    return m_quarter > 0.0f && letter > kFarnsworthShare * kLeastLetterUnits * unit ? letter : 0.0f;
}

CwChannelDecoder::SequencedReading CwChannelDecoder::sequencedTiming(TimingEstimate estimate,
                                                                     int count) {
    // Gathered in noise, the unit comes from fragments of the elements and is short, and the
    // envelope's percentiles put the mark level high; the sequencer's ranges are wide enough to
    // read the sender's elements all the same, and what it reads gives both back.
    startSequence(estimate, count);
    const int delay = detectorDelay();
    SequencedReading reading{estimate};
    float lastUnit = estimate.unit();
    KeySequencer::ToneSums turns{};
    for (size_t t = 0; t < KeySequencer::kTones; ++t)
        turns[t] = KeySequencer::toneTurn(t, m_stepRate);
    for (int round = 0; round < kTimingRounds; ++round) {
        SequencedTally tally;
        double durations = 0.0;
        const int box = m_sequencer.boxcarLength();
        std::array<std::complex<double>, KeySequencer::kMaxBoxcar> window{};
        int marks = 0;
        double markSteps = 0.0;
        int dots = 0;
        SpaceHistory spaces;
        int age = count - 1;
        auto add = [&](int events) {
            for (int i = 0; i < events; ++i) {
                const KeyEvent& e = m_sequenceEvents[static_cast<size_t>(i)];
                const auto steps = static_cast<int>(e.steps);
                spaces.add(e);
                std::complex<double> sum{};
                KeySequencer::ToneSums atTones{};
                KeySequencer::ToneSums phase{};
                phase.fill(1.0);
                double power = 0.0;
                int silent = 0;
                std::complex<double> boxcar{};
                window.fill({});
                for (int k = 0; k < steps && age >= delay; ++k, --age) {
                    const std::complex<double> raw(rawAt(age));
                    sum += raw;
                    power += std::norm(raw);
                    silent += raw == std::complex<double>{};
                    if (e.mark) {
                        for (size_t t = 0; t < KeySequencer::kTones; ++t) {
                            atTones[t] += phase[t] * raw;
                            phase[t] *= turns[t];
                        }
                        continue;
                    }
                    // The boxcar over the gap's last box steps, slid one step on.
                    auto& oldest = window[static_cast<size_t>(k % box)];
                    boxcar += raw - oldest;
                    oldest = raw;
                    if (k + 1 >= box) tally.addWindow(boxcar);
                }
                tally.add(e.kind, steps, silent, sum, power);
                durations += m_sequencer.runLikelihood(e.kind, e.steps);
                if (e.mark) markSteps += e.steps;
                dots += e.kind == RunKind::Dot;
                if (e.mark && marks < kMaxEvents) {
                    double strongest = 0.0;
                    for (const auto& t : atTones)
                        strongest = std::max(strongest, std::norm(t));
                    m_markScratch[static_cast<size_t>(marks)] = static_cast<float>(std::abs(sum));
                    m_toneScratch[static_cast<size_t>(marks)] =
                        static_cast<float>(std::sqrt(strongest));
                    m_gapScratch[static_cast<size_t>(marks++)] = static_cast<float>(steps);
                }
            }
        };
        for (int a = count - 1; a >= delay; --a)
            add(m_sequencer.step(rawAt(a), true, false, m_sequenceEvents.data()));
        add(m_sequencer.flush(m_sequenceEvents.data()));
        const double amplitude2 = tally.markAmplitude2(box);
        if (!tally.enough() || amplitude2 <= 0.0) break;
        // How well the marks read explain the steps, with the levels they show: at the mixer's
        // tone, and at the likeliest tone a little either side of it.
        reading.evidence = reading.toneEvidence = 0.0;
        const double noise = tally.noisePower(box) / box;
        for (int i = 0; i < marks; ++i) {
            const auto steps = static_cast<int>(m_gapScratch[static_cast<size_t>(i)]);
            reading.evidence += KeySequencer::markEvidence(m_markScratch[static_cast<size_t>(i)],
                                                           steps, amplitude2, noise);
            reading.toneEvidence += KeySequencer::markEvidence(
                m_toneScratch[static_cast<size_t>(i)], steps, amplitude2, noise);
        }
        reading.marks = marks;
        reading.markSteps = markSteps;
        reading.dots = dots;
        reading.durations = durations;

        // The sequencer's runs are the key's own lengths; the estimate's are the detector's
        // (marks shortened and gaps lengthened by its edges).
        const float unit = tally.unit();
        const bool holds = std::abs(unit - lastUnit) <= kTimingSettled * lastUnit;
        lastUnit = unit;
        TimingEstimate read = reading.estimate;
        read.dot = tally.mean(RunKind::Dot, unit) - kEdgeSteps;
        read.dash = tally.mean(RunKind::Dash, kDashDots * unit) - kEdgeSteps;
        read.elementGap = tally.mean(RunKind::ElementGap, unit) + kEdgeSteps;
        reading.estimate =
            withLetterGap(KeySequencer::standardSpacing(read), spaces.spacedLetter(read.unit()));
        // The sequencer's levels are those of its boxcar, which follows the new dot.
        m_sequencer.setTiming(reading.estimate, m_stepRate);
        const auto next = static_cast<double>(m_sequencer.boxcarLength());
        m_sequenceLevels = {static_cast<float>(tally.noisePower(box) * next / box),
                            static_cast<float>(next * std::sqrt(amplitude2))};
        m_sequencer.reset(m_sequenceLevels.noise, m_sequenceLevels.mark);
        if (holds) return reading;
    }
    m_sequencer.setTiming(reading.estimate, m_stepRate);
    m_sequencer.reset(m_sequenceLevels.noise, m_sequenceLevels.mark);
    return reading;
}

CwChannelDecoder::SequencedReading CwChannelDecoder::searchSpeeds(int count, bool fastest) {
    static_assert(kSearchWpm.size() == kSearchSpeeds);
    // Readings from several speeds come to the sender's unit; a reading of noise fragments, or
    // of merged elements, is reached from one alone.
    auto& readings = m_searchReadings;
    readings.back() = {};
    for (size_t i = 0; i < kSearchWpm.size() - (fastest ? 0 : 1); ++i) {
        const auto unit = static_cast<float>(kParisUnitSeconds / kSearchWpm[i] * m_stepRate);
        TimingEstimate start;
        start.dot = unit - kEdgeSteps;
        start.dash = kDashDots * unit - kEdgeSteps;
        start.elementGap = unit + kEdgeSteps;
        start.marksSplit = true;
        start.spacingKnown = true;
        readings[i] = sequencedTiming(KeySequencer::standardSpacing(start), count);
    }
    // A strong signal's elements are the gathering detectors' to time, which they do soon.
    for (const SequencedReading& r : readings)
        if (r.marks > 0 && r.evidence > kSearchStrongEvidence * r.marks) return {};
    SequencedReading best;
    int bestAgreeing = 0;
    for (const SequencedReading& r : readings) {
        if (r.marks == 0) continue;
        const int agreeing = agreeingReadings(r);
        if (agreeing > bestAgreeing || (agreeing == bestAgreeing && r.evidence > best.evidence)) {
            best = r;
            bestAgreeing = agreeing;
        }
    }
    return best;
}

int CwChannelDecoder::agreeingReadings(const SequencedReading& r) const {
    int n = 0;
    for (const SequencedReading& other : m_searchReadings)
        n += other.marks > 0 && std::abs(other.estimate.unit() - r.estimate.unit()) <=
                                    kSearchAgreement * r.estimate.unit();
    return n;
}

void CwChannelDecoder::searchStep(const DecoderSettings& settings, std::string& out) {
    const bool overEnded = m_gateWasOpen && !m_gate && m_gateOpenSteps >= m_lengths.searchShortOver;
    m_gateWasOpen = m_gate;
    if (m_gate) ++m_gateOpenSteps;
    if (!overEnded && (m_gateOpenSteps < m_lengths.searchAfter ||
                       m_gatherSteps - m_lastSearch < m_lengths.searchEvery))
        return;
    m_lastSearch = m_gatherSteps;
    // A signal that a gathering detector reads clean is theirs to time, while it lasts.
    if (!overEnded)
        for (const auto& bank : m_banks)
            if (readingOf(bank.detector) != Reading::Noisy) return;
    const int count = std::min({m_kept, m_gatherSteps, m_lengths.searchSpan});
    const SequencedReading best = searchSpeeds(count);
    // Too few marks yet to settle on: searched again once more have come.
    if (best.marks < kSearchMarks || best.evidence < kSearchEvidence * best.marks) return;
    const TimingEstimate& e = best.estimate;
    MatchedRun run = replay(matchedLength(e, false), e.elementGap, count);
    run.reading = Reading::Noisy;
    startDecoding({e, run, Reading::Noisy, 0.0f, count}, settings, out);
}

void CwChannelDecoder::catchUpBanks() {
    // The levels forget within a few seconds, so the last kept steps bring them to where they
    // would be had the detectors run all along.
    const int behind = std::min({m_banksBehind, m_kept, m_lengths.catchUp});
    for (int age = behind - 1; age >= 0; --age) {
        const std::complex<float> raw = rawAt(age);
        for (auto& bank : m_banks)
            bank.detector.step(raw);
    }
    m_banksBehind = 0;
}

void CwChannelDecoder::finish(const DecoderSettings& settings, std::string& out) {
    for (int age = detectorDelay() - 1; age >= 0 && decoding(); --age)
        liveStep(rawAt(age), Retune::Keep, settings, out);
    if (m_stage == Stage::Sequenced)
        writeSequenced(m_sequencer.flush(m_sequenceEvents.data()), Retune::Keep, settings, out);
    // A word gap running now ends the word: the next mark, which would write the space, is
    // decoded afresh.
    if (decoding() && !m_runs.inMark() &&
        static_cast<float>(m_runs.gapSoFar()) >= m_timing.estimate().wordThreshold())
        m_timing.endOver(settings, out);
}

void CwChannelDecoder::liveStep(std::complex<float> raw, Retune retune,
                                const DecoderSettings& settings, std::string& out) {
    // The gathering detectors rest while the timing is known; they catch up when the next over
    // starts.
    ++m_banksBehind;
    const bool key = m_detector.step(raw) && m_gate;
    if (key) m_markPeak = std::max(m_markPeak, m_detector.amplitude());
    const bool sequenced = m_stage == Stage::Sequenced;
    if (sequenced) sequenceStep(raw, key, retune, settings, out);
    KeyEvent e;
    if (m_runs.feed(key, e)) {
        if (sequenced) {
            followSender(e, retune);
        } else {
            liveEvent(e, retune, settings, out);
        }
        return;
    }
    // A weak signal's pause is the sequencer's: the matched detector loses the sender in noise
    // for longer than a word gap.
    float gap = 0.0f;
    if (sequenced) {
        gap = m_sequencer.gapSoFar();
    } else {
        if (m_runs.inMark()) return;
        gap = static_cast<float>(m_runs.gapSoFar());
        dropHeldAfter(gap);
        m_timing.gapProgress(gap, settings, out);
    }
    const float overGap =
        std::max(m_lengths.overGap, kOverGapWordGaps * m_timing.estimate().wordGap);
    if (gap > overGap) endOverAfterPause(retune, settings, out);
}

void CwChannelDecoder::endOverAfterPause(Retune retune, const DecoderSettings& settings,
                                         std::string& out) {
    if (m_stage == Stage::Sequenced)
        writeSequenced(m_sequencer.flush(m_sequenceEvents.data()), retune, settings, out);
    m_timing.endOver(settings, out);
    catchUpBanks();
    startGathering();
}

void CwChannelDecoder::sequenceStep(std::complex<float> raw, bool key, Retune retune,
                                    const DecoderSettings& settings, std::string& out) {
    // The gate alone holds the sequencer's reading closed: the matched detector's squelch shuts
    // on a weak signal whose marks it misses, and the sequencer would read the rest as a gap.
    const int n = m_sequencer.step(raw, m_gate, key, m_sequenceEvents.data());
    writeSequenced(n, retune, settings, out);
    const float gap = m_sequencer.gapSoFar();
    if (gap <= 0.0f) return;
    dropHeldAfter(gap);
    m_timing.gapProgress(gap, settings, out);
}

void CwChannelDecoder::writeSequenced(int events, Retune retune, const DecoderSettings& settings,
                                      std::string& out) {
    for (int i = 0; i < events; ++i) {
        learnSequenced(m_sequenceEvents[static_cast<size_t>(i)]);
        if (m_sequenceEvents[static_cast<size_t>(i)].mark) m_markPeak = m_sequencer.peak(i);
        liveEvent(m_sequenceEvents[static_cast<size_t>(i)], retune, settings, out);
    }
}

void CwChannelDecoder::liveEvent(const KeyEvent& e, Retune retune, const DecoderSettings& settings,
                                 std::string& out) {
    const float wordThreshold = m_timing.estimate().wordThreshold();
    if (!e.mark) {
        m_gapBefore = e.steps;
        dropHeldAfter(e.steps);
        if (m_skipGap) {
            m_skipGap = false;
            return;
        }
        if (m_heldMarks > 0) {
            m_held[static_cast<size_t>(m_heldCount++)] = {e, 0.0f};
            return;
        }
        acceptLive(e, 0.0f, retune, settings, out);
        return;
    }
    const float peak = m_markPeak;
    m_markPeak = 0.0f;
    if (m_strongerNeighbour && peak < kNeighbourSpreadShare * m_senderLevel) {
        // Dropped with the gap after it; the sender's pause runs on.
        dropHeld();
        m_skipGap = true;
        return;
    }
    const bool pause =
        m_heldMarks == 0 && m_gapBefore >= kPauseWordGaps * m_timing.estimate().wordGap;
    const bool weak = peak < m_senderLevel - (pause ? kPauseNoiseLevels : kShortWordNoiseLevels) *
                                                 m_detector.spaceLevel();
    const bool hold =
        weak && (m_heldMarks > 0 ? m_heldMarks < kMaxWeakMarks : m_gapBefore >= wordThreshold);
    if (hold) {
        m_held[static_cast<size_t>(m_heldCount++)] = {e, peak};
        ++m_heldMarks;
        return;
    }
    // A strong mark, or more weak marks than noise makes: the held ones are the sender's.
    releaseHeld(retune, settings, out);
    acceptLive(e, peak, retune, settings, out);
}

void CwChannelDecoder::releaseHeld(Retune retune, const DecoderSettings& settings,
                                   std::string& out) {
    const int count = m_heldCount;
    m_heldCount = m_heldMarks = 0;
    for (int i = 0; i < count; ++i)
        acceptLive(m_held[static_cast<size_t>(i)].event, m_held[static_cast<size_t>(i)].peak,
                   retune, settings, out);
}

void CwChannelDecoder::dropHeld() {
    // The held word ended after its weak marks: noise, dropped with the gaps on either side.
    m_skipGap = m_heldMarks > 0;
    m_heldCount = m_heldMarks = 0;
}

void CwChannelDecoder::dropHeldAfter(float gapSteps) {
    if (m_heldMarks > 0 && gapSteps >= m_timing.estimate().wordThreshold()) dropHeld();
}

void CwChannelDecoder::acceptLive(const KeyEvent& e, float peak, Retune retune,
                                  const DecoderSettings& settings, std::string& out) {
    // A clean signal's runs teach the timing as they are decoded; a weak signal's teach it as
    // the matched detector ends them (liveStep).
    const bool matched = m_stage == Stage::Matched;
    if (matched) learnTiming(e);
    m_timing.decode(e, settings, out);
    if (!e.mark) return;
    const TimingEstimate& est = m_timing.estimate();
    if (e.steps < est.dashThreshold()) m_senderLevel += kSenderLevelWeight * (peak - m_senderLevel);
    if (matched) followSender(e, retune);
}

void CwChannelDecoder::learnTiming(const KeyEvent& e) {
    m_timing.observe(e, readingOf(m_detector) != Reading::Noisy);
}

void CwChannelDecoder::learnSequenced(const KeyEvent& e) {
    // The sequencer's runs are the key's own lengths; the timing is kept as the detector
    // measures runs (marks shortened and gaps lengthened by its edges).
    KeyEvent run = e;
    run.steps = std::max(e.steps + (e.mark ? -kEdgeSteps : kEdgeSteps), 1.0f);
    m_timing.observe(run, false);
    m_spaces.add(e);
    const TimingEstimate learnt = withSpacing(m_timing.estimate());
    const float spacedLetter = m_spaces.spacedLetter(learnt.unit());
    const TimingEstimate estimate = withLetterGap(learnt, spacedLetter);
    m_timing.setEstimate(estimate);
    // The sequencer's lengths follow the sender's, and its letter gap a sender's spaced-out one.
    const float unit = estimate.unit();
    if (std::abs(unit - m_sequencedUnit) > kSequencerFollows * m_sequencedUnit ||
        (spacedLetter > 0.0f && std::abs(estimate.letterGap - m_sequencedLetter) >
                                    kSequencerFollows * m_sequencedLetter)) {
        m_sequencer.setTiming(estimate, m_stepRate);
        m_sequencedUnit = unit;
        m_sequencedLetter = estimate.letterGap;
    }
}

void CwChannelDecoder::followSender(const KeyEvent& e, Retune retune) {
    if (!e.mark) return;
    const TimingEstimate& est = m_timing.estimate();
    const float length =
        std::max(matchedLength(est, readingOf(m_detector) != Reading::Noisy), m_shortestMatched);
    if (retune == Retune::Follow &&
        std::abs(length - m_matchedLength) > kRetuneFraction * m_matchedLength &&
        est.dot >= m_lengths.minDot) {
        applyMatchedLength(length);
        m_runs.setMinimum(shortestRun(length), shortestRun(est.elementGap));
        if (m_stage == Stage::Sequenced) m_sequencer.setTiming(est, m_stepRate);
    }
}

int CwChannelDecoder::wpm() const {
    return decoding() ? m_timing.wpm(1.0 / m_stepRate) : 0;
}

double CwChannelDecoder::wordGapSeconds() const {
    return decoding() ? m_timing.estimate().wordGap / m_stepRate : 0.0;
}

} // namespace dita
