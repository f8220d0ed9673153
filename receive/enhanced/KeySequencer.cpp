#include "receive/enhanced/KeySequencer.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {

constexpr float kNone = -1e30f;
// Spread of each class's durations on a logarithmic scale: hand keying and the edges of a weak
// signal stretch and shrink elements by a third and more.
constexpr float kSpread = 0.3f;
// How often each class follows the other kind: marks are dots or dashes alike, most gaps are
// element gaps.
constexpr std::array<float, 5> kPriors = {0.5f, 0.5f, 0.6f, 0.3f, 0.1f};
// How often a character of 1, 2, .. 6 elements (or more) ends there, a letter or word gap
// following. The same share after any count, as a mark followed by gaps of three kinds would have
// it, makes a third of all characters one element long: noise in a word gap is read as an E. With
// every character alike likely, each further character costs a factor of about 36, and two
// characters whose gap noise shortens merge into one. The shares lie between the two.
constexpr std::array<float, 6> kEnds = {0.24f, 0.28f, 0.4f, 0.52f, 0.6f, 0.6f};
constexpr float kWordShare = 0.25f;
constexpr float kCountReach = 5.0f;
template <class F> std::array<float, 6> overEnds(F f) {
    std::array<float, 6> out{};
    for (size_t k = 0; k < out.size(); ++k)
        out[k] = f(kEnds[k]);
    return out;
}
const std::array<float, 6> kLogEnd = overEnds([](float h) { return std::log(h); });
const std::array<float, 6> kLogContinue = overEnds([](float h) { return std::log(1.0f - h); });
const std::array<float, 2> kLogGapKind = {std::log(1.0f - kWordShare), std::log(kWordShare)};
// A mark's evidence weighs this much against the lengths' weights: it comes from levels that are
// themselves estimates, and near the noise floor evidence at full weight reads a noise bump as an
// element sooner than the sender's timing allows.
constexpr float kEvidenceWeight = 0.8f;
// Steps with the squelch or the gate closed weigh this much for a gap (a dot of 10 steps: 20).
constexpr float kClosedEvidence = -2.0f;
// Noise power below this multiple of its mean teaches the noise level; the mean of an
// exponential distribution cut there is this share of the whole mean.
constexpr float kNoiseCensor = 1.0f;
constexpr float kCensoredShare = 0.418f;
constexpr double kNoiseSeconds = 0.5;
constexpr double kMarkSeconds = 0.2;
constexpr double kMaxLagSeconds = 1.0;
// The live reading weighs an element at tones up to this far either side of the mixer's; an
// element so short that the outer tones turn less than kToneTurn over it is weighed at the
// mixer's tone alone (the others would score it within a trifle of that).
constexpr double kToneSpreadHz = 2.5;
constexpr double kToneTurn = 0.5;
// The weight of each tone is learnt from the marks written: each mark's likelihoods at the tones
// multiply into the weights, raised to kToneMemory first so that a tone the pitch has moved from
// is forgotten within a few marks; a share kToneDoubt stays spread evenly over all the tones.
constexpr float kToneMemory = 0.5f;
constexpr float kToneDoubt = 0.1f;
// Bounds on a candidate's score are loosened by this much for the tables' rounding.
constexpr float kPruneMargin = 0.01f;
constexpr int kMinLag = 30;
// The search's slots are at most this share of a dot or element gap long: a sixth where readings
// of the sender's timing are compared (their units may lie a tenth apart), a quarter in the live
// reading, which weighs every element at five tones and only tells the classes apart.
constexpr float kSlotsPerDot = 6.0f;
constexpr float kLiveSlotsPerDot = 4.0f;
constexpr float kRenormalise = 1e4f;
// Percentiles of the envelope power that seed the levels: the lower one lies in noise, the
// upper one in marks.
constexpr double kNoisePercentile = 0.3;
constexpr double kMarkPercentile = 0.9;

// log I0(z), the modified Bessel function (Abramowitz and Stegun 9.8.1, 9.8.2).
float logBesselI0(float z) {
    if (z < 3.75f) {
        const float t = (z / 3.75f) * (z / 3.75f);
        return std::log(
            1.0f +
            t * (3.5156229f +
                 t * (3.0899424f +
                      t * (1.2067492f + t * (0.2659732f + t * (0.0360768f + t * 0.0045813f))))));
    }
    const float t = 3.75f / z;
    const float p =
        0.39894228f +
        t * (0.01328592f +
             t * (0.00225319f +
                  t * (-0.00157565f +
                       t * (0.00916281f +
                            t * (-0.02057706f +
                                 t * (0.02635537f + t * (-0.01647633f + t * 0.00392377f)))))));
    return z - 0.5f * std::log(z) + std::log(p);
}

// A function tabulated over lo..hi in steps of 1/perUnit and linearly interpolated: the search
// weighs every candidate element with these, and the library's log and exp would cost a third
// of the decoder's time.
template <int Size> class LerpTable {
public:
    template <class F> LerpTable(float lo, float perUnit, F f) : m_lo(lo), m_perUnit(perUnit) {
        for (int i = 0; i < Size; ++i)
            m_value[static_cast<size_t>(i)] = f(lo + static_cast<float>(i) / perUnit);
    }
    float hi() const { return m_lo + static_cast<float>(Size - 2) / m_perUnit; }
    // x within lo..hi.
    float operator()(float x) const {
        const float u = (x - m_lo) * m_perUnit;
        const auto i = static_cast<size_t>(u);
        const float f = u - static_cast<float>(i);
        return m_value[i] + f * (m_value[i + 1] - m_value[i]);
    }

private:
    float m_lo;
    float m_perUnit;
    std::array<float, Size> m_value{};
};

// log I0 below 64 in steps of 1/8; above, log I0(z) = z - log(2 pi z) / 2 within 0.2 %,
// tabulated in steps of 1 up to 4,096.
float besselAsymptote(float z) {
    return z - 0.5f * std::log(2.0f * static_cast<float>(M_PI) * z);
}
const LerpTable<64 * 8 + 2> kLogBesselLow(0.0f, 8.0f, logBesselI0);
const LerpTable<4096 - 64 + 2> kLogBesselHigh(64.0f, 1.0f, besselAsymptote);

inline float fastLogBesselI0(float z) {
    if (z < 64.0f) return kLogBesselLow(z);
    if (z < kLogBesselHigh.hi()) return kLogBesselHigh(z);
    return besselAsymptote(z);
}

// log sum exp(v[k]) over the tones (terms more than 16 under the largest left out).
const LerpTable<16 * 16 + 2> kExpNegative(-16.0f, 16.0f, [](float x) { return std::exp(x); });
const LerpTable<(KeySequencer::kTones - 1) * 64 + 2> kLogOfSum(1.0f, 64.0f,
                                                               [](float x) { return std::log(x); });

float logSumExp(const std::array<float, KeySequencer::kTones>& v) {
    const float top = *std::max_element(v.begin(), v.end());
    float sum = 0.0f;
    for (const float x : v)
        if (x - top > -16.0f) sum += kExpNegative(x - top);
    return top + kLogOfSum(std::min(sum, kLogOfSum.hi()));
}

// The argument of log I0 in a mark's likelihood at tone k, from the prefix sums at its end and
// its start: the magnitude of its steps' sum turned to that tone, times the matched gain.
float toneArgument(const KeySequencer::ToneSums& end, const KeySequencer::ToneSums& start, size_t k,
                   double matched) {
    return static_cast<float>(matched * std::sqrt(std::norm(end[k] - start[k])));
}

// A mark's weight in the search from the mean of its two kinds of evidence.
float markWeight(float atTones, float rest, float stepwise) {
    return kEvidenceWeight * 0.5f * (atTones + rest + stepwise);
}

bool isMark(int c) {
    return c < 2;
}

} // namespace

double KeySequencer::markEvidence(double sumMagnitude, int steps, double amplitude2, double noise) {
    const double z = 2.0 * std::sqrt(amplitude2) * sumMagnitude / noise;
    return fastLogBesselI0(static_cast<float>(z)) - steps * amplitude2 / noise;
}

TimingEstimate KeySequencer::standardSpacing(TimingEstimate e) {
    const float unit = e.unit();
    e.dash = std::max(e.dash, 3.0f * unit - kEdgeSteps);
    e.letterGap = 3.0f * unit + kEdgeSteps;
    e.wordGap = 7.0f * unit + kEdgeSteps;
    return e;
}

void KeySequencer::setTiming(const TimingEstimate& e, double stepRate) {
    m_stepRate = stepRate;
    const float dot = e.dot + kEdgeSteps;
    const float dash = std::max(e.dash + kEdgeSteps, 2.0f * dot);
    const float elementGap = std::max(e.elementGap - kEdgeSteps, 1.0f);
    const float letterGap = std::max(e.letterGap - kEdgeSteps, 2.0f * elementGap);
    const float wordGap = std::max(e.wordGap - kEdgeSteps, 1.5f * letterGap);
    m_mean = {dot, dash, elementGap, letterGap, wordGap};
    m_plannedBoxcar = std::clamp(static_cast<int>(std::lround(0.5f * dot)), 1, kMaxBoxcar);
    m_shortest = std::min(dot, elementGap);
    for (size_t k = 0; k < kTones; ++k)
        m_turn[k] = toneTurn(k, stepRate);
    m_noiseAlpha = static_cast<float>(1.0 / (kNoiseSeconds * stepRate));
    m_markAlpha = static_cast<float>(1.0 / (kMarkSeconds * stepRate));
    buildTables();
}

std::complex<double> KeySequencer::toneTurn(size_t k, double stepRate) {
    const double hz = kToneSpreadHz * (2.0 * static_cast<double>(k) / (kTones - 1) - 1.0);
    return std::polar(1.0, -2.0 * M_PI * hz / stepRate);
}

float KeySequencer::durationWeight(size_t c, float steps) const {
    const float x = (std::log(steps) - std::log(m_mean[c])) / kSpread;
    return std::log(kPriors[c]) - 0.5f * x * x;
}

double KeySequencer::runLikelihood(RunKind kind, float steps) const {
    const auto c = static_cast<size_t>(kind);
    if (c >= kClasses || steps <= 0.0f) return 0.0;
    // The search's weight is a density in the length's logarithm; per step it is divided by the
    // length, and the log-normal's normalisation is added so that timings compare.
    return durationWeight(c, steps) - std::log(steps * kSpread * std::sqrt(2.0 * M_PI));
}

void KeySequencer::buildTables() {
    const auto q = static_cast<float>(m_slot);
    const int longest = kRing / 2 - 1;
    m_spreadSlots =
        static_cast<int>(std::ceil(kToneTurn * m_stepRate / (2.0 * M_PI * kToneSpreadHz * m_slot)));
    auto slots = [&](float steps) {
        return std::clamp(static_cast<int>(std::lround(steps / q)), 1, longest);
    };
    const auto [dot, dash, elementGap, letterGap, wordGap] = m_mean;
    m_min = {slots(0.3f * dot), slots(std::max(1.2f * dot, 0.4f * dash)), slots(0.3f * elementGap),
             slots(std::max(1.2f * elementGap, 0.4f * letterGap)),
             slots(std::max(1.2f * letterGap, 0.5f * wordGap))};
    m_max = {slots(2.2f * dot), slots(2.0f * dash), slots(2.2f * elementGap),
             slots(2.0f * letterGap), slots(wordGap)};
    for (size_t c = 0; c < kClasses; ++c) {
        auto& table = m_logDuration[c];
        // The search weighs which kind of gap follows a mark by the count of the character's
        // elements (kEnds) instead of the class's share.
        const float gapShare = isMark(static_cast<int>(c)) ? 0.0f : std::log(kPriors[c]);
        for (int d = 1; d < static_cast<int>(table.size()); ++d)
            table[static_cast<size_t>(d)] = durationWeight(c, static_cast<float>(d) * q) - gapShare;
    }
    m_lag = std::clamp(static_cast<int>(std::lround(2.0f * dash + letterGap)), kMinLag,
                       static_cast<int>(kMaxLagSeconds * m_stepRate)) /
            m_slot;
}

void KeySequencer::reset(float noisePower, float markAmplitude) {
    m_boxcar = m_plannedBoxcar;
    m_spread = m_plannedSpread;
    m_slot = std::clamp(static_cast<int>(m_shortest / (m_spread ? kLiveSlotsPerDot : kSlotsPerDot)),
                        1, kMaxSlotSteps);
    buildTables();
    m_slotEvidence = 0.0f;
    m_slotPeak = 0.0f;
    m_slotSteps = 0;
    m_box.fill({});
    m_sum = {};
    m_boxPos = 0;
    m_noisePower = std::max(noisePower, 1e-12f);
    m_markPower = markAmplitude * markAmplitude + m_noisePower;
    m_t = 0;
    m_prefix[0] = 0.0;
    m_rawPrefix[0] = {};
    m_phase.fill(1.0);
    m_toneWeight.fill(-std::log(static_cast<float>(kTones)));
    m_closedPrefix[0] = 0;
    m_slotRaw = {};
    m_slotClosed = 0;
    for (auto& c : m_cells[0])
        c = {kNone, 0, -1};
    m_cells[0][kWordGapState].score = 0.0f;
    summarise(0);
    m_written = 0;
    m_gapSoFar = 0.0f;
}

void KeySequencer::levelsFrom(float* powers, int n, float& noisePower, float& markAmplitude) {
    noisePower = 1.0f;
    markAmplitude = 1.0f;
    if (n < 2) return;
    auto percentile = [&](double p) {
        const auto k = static_cast<size_t>(p * (n - 1));
        std::nth_element(powers, powers + k, powers + n);
        return powers[k];
    };
    // An exponential distribution's p-quantile is -ln(1 - p) times its mean.
    noisePower = std::max(percentile(kNoisePercentile) /
                              static_cast<float>(-std::log(1.0 - kNoisePercentile)),
                          1e-12f);
    const float mark = percentile(kMarkPercentile);
    markAmplitude = std::sqrt(std::max(mark - noisePower, noisePower));
}

int KeySequencer::step(std::complex<float> raw, bool open, bool markHint, KeyEvent* events) {
    m_sum += raw - m_box[static_cast<size_t>(m_boxPos)];
    m_box[static_cast<size_t>(m_boxPos)] = raw;
    m_boxPos = m_boxPos + 1 == m_boxcar ? 0 : m_boxPos + 1;
    const float power = std::norm(m_sum);
    if (power < kNoiseCensor * m_noisePower)
        m_noisePower += m_noiseAlpha * (power / kCensoredShare - m_noisePower);
    if (markHint) m_markPower += m_markAlpha * (power - m_markPower);
    const float mark2 = markAmplitude2();
    float evidence = kClosedEvidence;
    if (open) {
        const float z = 2.0f * std::sqrt(mark2 * power) / m_noisePower;
        evidence = (logBesselI0(z) - mark2 / m_noisePower) / static_cast<float>(m_boxcar);
    }
    // The search runs over slots of a few steps: a dot spans several of them still.
    m_slotEvidence += evidence;
    // The steps summed at the mixer's tone, and turned to each other tone for the live reading.
    const std::complex<double> rawD(raw.real(), raw.imag());
    m_slotRaw[kCentre] += rawD;
    if (m_spread)
        for (size_t k = 0; k < kTones; ++k) {
            if (k == kCentre) continue;
            m_slotRaw[k] += m_phase[k] * rawD;
            m_phase[k] *= m_turn[k];
        }
    if (!open) ++m_slotClosed;
    m_slotPeak = std::max(m_slotPeak, std::sqrt(power));
    if (++m_slotSteps < m_slot) return 0;
    const int t = m_t;
    m_envelope[static_cast<size_t>(slot(t))] = m_slotPeak;
    const int T = ++m_t;
    m_prefix[static_cast<size_t>(slot(T))] =
        m_prefix[static_cast<size_t>(slot(t))] + m_slotEvidence;
    auto& prefix = m_rawPrefix[static_cast<size_t>(slot(T))];
    const auto& before = m_rawPrefix[static_cast<size_t>(slot(t))];
    prefix[kCentre] = before[kCentre] + m_slotRaw[kCentre];
    if (m_spread)
        for (size_t k = 0; k < kTones; ++k) {
            prefix[k] = before[k] + m_slotRaw[k];
            m_phase[k] /= std::abs(m_phase[k]); // the turns' rounding must not grow
        }
    m_closedPrefix[static_cast<size_t>(slot(T))] =
        m_closedPrefix[static_cast<size_t>(slot(t))] + m_slotClosed;
    m_slotRaw = {};
    m_slotClosed = 0;
    m_slotEvidence = 0.0f;
    m_slotPeak = 0.0f;
    m_slotSteps = 0;
    // The element's matched filter: a tone of amplitude a per step in noise of power n per step
    // scores log I0(2a|sum|/n) - len a^2/n; the boxcar's levels are K a and K n.
    const double matched = matchedGain(mark2);
    const double perStep = mark2 / (static_cast<double>(m_boxcar) * m_noisePower);
    const ToneSums& rawT = m_rawPrefix[static_cast<size_t>(slot(T))];
    const int closedT = m_closedPrefix[static_cast<size_t>(slot(T))];
    const double prefixT = m_prefix[static_cast<size_t>(slot(T))];
    auto& cells = m_cells[static_cast<size_t>(slot(T))];
    for (auto& cell : cells)
        cell = {kNone, 0, -1};
    const int oldest = std::max(0, T - kRing + 1);
    auto offer = [&](int state, float score, int start, signed char previous) {
        Cell& cell = cells[static_cast<size_t>(state)];
        if (score > cell.score) cell = {score, start, previous};
    };
    for (int c = 0; c < kClasses; ++c) {
        const auto& table = m_logDuration[static_cast<size_t>(c)];
        const int dMax = std::min(m_max[static_cast<size_t>(c)], T - oldest);
        for (int d = m_min[static_cast<size_t>(c)]; d <= dMax; ++d) {
            const auto s = static_cast<size_t>(slot(T - d));
            const float weight = table[static_cast<size_t>(d)];
            if (c == LetterGap || c == WordGap) {
                const Best& from = m_lastMark[s];
                if (from.score > kNone)
                    offer(stateOf(c, 0), from.score + weight + kLogGapKind[c - LetterGap], T - d,
                          from.state);
                continue;
            }
            if (c == ElementGap) {
                const Reach& reach = m_gapFrom[s];
                for (int i = 0; i < reach.n; ++i) {
                    const From& from = reach.from[static_cast<size_t>(i)];
                    offer(stateOf(c, from.count), from.score + weight, T - d, from.state);
                }
                continue;
            }
            // A mark: from the gaps before it, by the count it continues.
            const Reach& reach = m_markFrom[s];
            if (reach.n == 0) continue;
            // Whether a candidate with this much evidence would beat the best of a count so far.
            auto beats = [&](float evidence) {
                for (int i = 0; i < reach.n; ++i) {
                    const From& from = reach.from[static_cast<size_t>(i)];
                    if (from.score + weight + evidence + kPruneMargin >=
                        cells[static_cast<size_t>(stateOf(c, from.count))].score)
                        return true;
                }
                return false;
            };
            // A mark's evidence: the mean of the element's own matched filter (its steps
            // summed at one phase) and of the boxcar's step by step (which a pitch a little
            // off, turning the phase over a long dash, leaves alone).
            const float stepwise = static_cast<float>(prefixT - m_prefix[s]);
            const ToneSums& rawS = m_rawPrefix[s];
            const int closed = closedT - m_closedPrefix[s];
            const float rest = -static_cast<float>(perStep * d * m_slot) +
                               kClosedEvidence * static_cast<float>(closed);
            float atTones = 0.0f;
            if (m_spread && d >= m_spreadSlots) {
                std::array<float, kTones> each{};
                float likeliest = 0.0f;
                for (size_t k = 0; k < kTones; ++k) {
                    each[k] = toneArgument(rawT, rawS, k, matched);
                    likeliest = std::max(likeliest, each[k]);
                }
                // The tones' weights sum to one: their mean likelihood is at most the likeliest
                // tone's, and a candidate that falls short of every best even so is passed by.
                if (!beats(markWeight(fastLogBesselI0(likeliest), rest, stepwise))) continue;
                for (size_t k = 0; k < kTones; ++k)
                    each[k] = fastLogBesselI0(each[k]) + m_toneWeight[k];
                atTones = logSumExp(each);
            } else {
                atTones = fastLogBesselI0(toneArgument(rawT, rawS, kCentre, matched));
            }
            const float evidence = markWeight(atTones, rest, stepwise);
            for (int i = 0; i < reach.n; ++i) {
                const From& from = reach.from[static_cast<size_t>(i)];
                offer(stateOf(c, from.count), from.score + weight + evidence, T - d, from.state);
            }
        }
    }
    // A word gap goes on as long as the silence does.
    const Cell& longer = m_cells[static_cast<size_t>(slot(T - 1))][kWordGapState];
    if (longer.score > cells[kWordGapState].score) cells[kWordGapState] = longer;
    float top = kNone;
    for (const Cell& cell : cells)
        top = std::max(top, cell.score);
    if (top > kNone && std::abs(top) > kRenormalise) {
        // Scores are relative: move them all back near zero.
        auto lower = [top](float& score) {
            if (score > kNone) score -= top;
        };
        for (int k = oldest; k <= T; ++k) {
            const auto i = static_cast<size_t>(slot(k));
            for (auto& c : m_cells[i])
                lower(c.score);
            lower(m_lastMark[i].score);
            for (Reach* reach : {&m_markFrom[i], &m_gapFrom[i]})
                for (int n = 0; n < reach->n; ++n)
                    lower(reach->from[static_cast<size_t>(n)].score);
        }
    }
    summarise(T);
    // The live reading writes a run as soon as every path agrees on it; on a clean signal that is
    // within an element or two, where the lag would hold it for a second.
    int decision = T - m_lag;
    int traced = -1;
    if (m_spread) {
        traced = traceBest();
        decision = std::max(decision, converged(traced));
    }
    if (decision <= m_written) return 0;
    return emit(decision, traced >= 0 ? traced : traceBest(), events);
}

int KeySequencer::bestState() const {
    const auto& last = m_cells[static_cast<size_t>(slot(m_t))];
    int best = 0;
    for (int k = 1; k < kStates; ++k)
        if (last[static_cast<size_t>(k)].score > last[static_cast<size_t>(best)].score) best = k;
    return best;
}

int KeySequencer::traceBest() {
    const int T = m_t;
    int n = 0;
    for (int end = T, c = bestState();
         end > m_written && c >= 0 && n < kMaxTrace && end > T - kRing + 1;) {
        m_traceEnd[static_cast<size_t>(n)] = end;
        m_traceState[static_cast<size_t>(n++)] = static_cast<signed char>(c);
        const Cell& cell = m_cells[static_cast<size_t>(slot(end))][static_cast<size_t>(c)];
        end = cell.start;
        c = cell.previous;
    }
    return n;
}

int KeySequencer::converged(int traced) const {
    if (traced == kMaxTrace) return m_written;
    const int T = m_t;
    const auto& last = m_cells[static_cast<size_t>(slot(T))];
    const int best = bestState();
    // Each other state's path joins the best one at a segment end of both: the paths are one
    // from there back.
    int agreed = T;
    for (int k = 0; k < kStates && agreed > m_written; ++k) {
        if (k == best || last[static_cast<size_t>(k)].score <= kNone) continue;
        int end = T;
        int c = k;
        int i = 0;
        int joined = m_written;
        while (end > m_written && c >= 0) {
            while (i < traced && m_traceEnd[static_cast<size_t>(i)] > end)
                ++i;
            if (i < traced && m_traceEnd[static_cast<size_t>(i)] == end &&
                m_traceState[static_cast<size_t>(i)] == c) {
                joined = end;
                break;
            }
            const Cell& cell = m_cells[static_cast<size_t>(slot(end))][static_cast<size_t>(c)];
            end = cell.start;
            c = cell.previous;
        }
        agreed = std::min(agreed, joined);
    }
    return agreed;
}

void KeySequencer::reachable(const std::array<Best, kCounts>& scores, Reach& reach) {
    // After this slot two paths of different counts differ only by the counts' shares of the
    // rest of their characters, a few nats at most: one further behind than kCountReach is left.
    float top = kNone;
    for (const Best& b : scores)
        top = std::max(top, b.score);
    reach.n = 0;
    for (size_t k = 0; k < kCounts; ++k)
        if (scores[k].score > kNone && scores[k].score >= top - kCountReach)
            reach.from[static_cast<size_t>(reach.n++)] = {scores[k].score, scores[k].state,
                                                          static_cast<signed char>(k)};
}

void KeySequencer::summarise(int t) {
    const auto i = static_cast<size_t>(slot(t));
    const auto& cells = m_cells[i];
    auto at = [&](int state) {
        return Best{cells[static_cast<size_t>(state)].score, static_cast<signed char>(state)};
    };
    auto better = [](const Best& a, const Best& b) { return b.score > a.score ? b : a; };
    // A mark that starts here: the first element of a character follows the end of the last one,
    // the others an element gap of one count fewer (the last count also its own).
    std::array<Best, kCounts> before{};
    before[0] = better(at(stateOf(LetterGap, 0)), at(stateOf(WordGap, 0)));
    for (int k = 1; k < kCounts; ++k)
        before[static_cast<size_t>(k)] = at(stateOf(ElementGap, k - 1));
    before[kCounts - 1] = better(before[kCounts - 1], at(stateOf(ElementGap, kCounts - 1)));
    reachable(before, m_markFrom[i]);
    // An element gap goes on with the character, a letter or word gap ends it.
    std::array<Best, kCounts> going{};
    Best last;
    for (int k = 0; k < kCounts; ++k) {
        const auto n = static_cast<size_t>(k);
        const Best mark = better(at(stateOf(Dot, k)), at(stateOf(Dash, k)));
        if (mark.score <= kNone) continue;
        going[n] = {mark.score + kLogContinue[n], mark.state};
        last = better(last, {mark.score + kLogEnd[n], mark.state});
    }
    reachable(going, m_gapFrom[i]);
    m_lastMark[i] = last;
}

float KeySequencer::markAmplitude2() const {
    return std::max(m_markPower - m_noisePower, 0.5f * m_noisePower);
}

double KeySequencer::matchedGain(float amplitude2) const {
    return 2.0 * std::sqrt(static_cast<double>(amplitude2)) / m_noisePower;
}

void KeySequencer::learnTone(int start, int end) {
    if (end - start < m_spreadSlots || end - start >= kRing) return;
    const double matched = matchedGain(markAmplitude2());
    const ToneSums& a = m_rawPrefix[static_cast<size_t>(slot(end))];
    const ToneSums& b = m_rawPrefix[static_cast<size_t>(slot(start))];
    std::array<float, kTones> posterior{};
    for (size_t k = 0; k < kTones; ++k)
        posterior[k] =
            kToneMemory * m_toneWeight[k] + fastLogBesselI0(toneArgument(a, b, k, matched));
    const float total = logSumExp(posterior);
    for (size_t k = 0; k < kTones; ++k)
        m_toneWeight[k] = std::log((1.0f - kToneDoubt) * std::exp(posterior[k] - total) +
                                   kToneDoubt / static_cast<float>(kTones));
}

int KeySequencer::flush(KeyEvent* events) {
    return m_t <= m_written ? 0 : emit(m_t, traceBest(), events);
}

int KeySequencer::emit(int decision, int traced, KeyEvent* events) {
    int n = 0;
    m_gapSoFar = 0.0f;
    for (int i = traced - 1; i >= 0 && n < kMaxEvents; --i) {
        const int cls = classOf(m_traceState[static_cast<size_t>(i)]);
        const int segmentEnd = m_traceEnd[static_cast<size_t>(i)];
        if (segmentEnd > decision) {
            if (!isMark(cls)) m_gapSoFar = static_cast<float>((decision - m_written) * m_slot);
            break;
        }
        const int length = segmentEnd - m_written;
        if (length <= 0) continue;
        float peak = 0.0f;
        if (isMark(cls) && m_spread) learnTone(m_written, segmentEnd);
        if (isMark(cls)) {
            for (int k = m_written; k < segmentEnd; ++k)
                peak = std::max(peak, m_envelope[static_cast<size_t>(slot(k))]);
            peak /= 8.0f * static_cast<float>(m_boxcar); // a tone of amplitude A sums to 8A a step
        }
        events[n] = {isMark(cls), static_cast<float>(length * m_slot), static_cast<RunKind>(cls)};
        m_peaks[static_cast<size_t>(n++)] = peak;
        m_written = segmentEnd;
    }
    return n;
}

} // namespace dita
