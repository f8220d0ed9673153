#include "decode/SenderTiming.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {

// A dash is at least this much longer than a dot (dash/dot ratios run from 2.5 to 4.5; keyer
// weighting stretches both by the same factor).
constexpr float kMinDashDotRatio = 2.2f;
// With one cluster of marks only: marks this much longer than the shortest gaps are dashes.
// Lies between a heavily weighted dot (1.4 / 0.6 = 2.3) and a plain dash (3).
constexpr float kSingleClusterDashRatio = 2.65f;
// Word gaps are at least this much longer than letter gaps (7/3 with standard spacing).
constexpr float kMinWordLetterRatio = 1.7f;
// Letter gaps are at least this much longer than element gaps (2.5 with weak-signal distortion
// of the lengths, 4.3 with heavy weighting).
constexpr float kMinLetterElementRatio = 1.8f;
// One cluster of gaps longer than element gaps is taken as letter gaps while it is shorter
// than this many units; longer ones may be word gaps or Farnsworth letter gaps.
constexpr float kMaxLetterGapUnits = 5.0f;
constexpr float kLetterGapUnits = 3.0f;
constexpr float kWordGapUnits = 7.0f;
// Gaps longer than this many times the median letter-or-word gap are pauses.
constexpr float kPauseRatio = 4.0f;
constexpr float kDashUnits = 3.0f;
// An element gap (lengthened by the edges) is compared with a dash (shortened by them) this
// many steps longer. With light weighting (0.7) the element gap is 1.3 units and the dash of a
// 2.5 sender 1.75.
constexpr float kEdgeAllowanceSteps = 2.0f * kEdgeSteps;
constexpr float kMinSteps = 0.5f;
constexpr int kScratch = 1024;
// Marks needed in the history before it replaces the estimate given from outside.
constexpr int kMinMarksToLearn = 6;
constexpr int kMaxElements = 7;
constexpr int kManyValues = 6;
constexpr int kMinClusterShare = 10; // with many values, each cluster holds a tenth at least

struct Split {
    float low = 0.0f;  // mean of the lower cluster (log scale)
    float high = 0.0f; // mean of the upper cluster
    float all = 0.0f;  // mean of everything
    int lowCount = 0;  // members of the lower cluster
};

// Best two-cluster split of sorted values (least squares). With enough values the lower cluster
// needs a few members, so that a stray short run does not make a cluster of its own; the upper
// one may be a single dash or word gap.
Split bestSplit(const float* v, int n) {
    const int minMembers = n >= kManyValues ? std::max(2, n / kMinClusterShare) : 1;
    Split s;
    double total = 0.0;
    double totalSq = 0.0;
    for (int i = 0; i < n; ++i) {
        total += v[i];
        totalSq += static_cast<double>(v[i]) * v[i];
    }
    s.all = static_cast<float>(total / n);
    s.low = s.high = s.all;
    double best = 1e300;
    double left = 0.0;
    double leftSq = 0.0;
    for (int k = 1; k < n; ++k) {
        left += v[k - 1];
        leftSq += static_cast<double>(v[k - 1]) * v[k - 1];
        if (k < minMembers) continue;
        const double right = total - left;
        const double sse =
            (leftSq - left * left / k) + ((totalSq - leftSq) - right * right / (n - k));
        if (sse < best) {
            best = sse;
            s.low = static_cast<float>(left / k);
            s.high = static_cast<float>(right / (n - k));
            s.lowCount = k;
        }
    }
    return s;
}

int sortedLogs(const float* in, int n, float* out) {
    n = std::min(n, kScratch);
    for (int i = 0; i < n; ++i)
        out[i] = std::log(std::max(in[i], kMinSteps));
    std::sort(out, out + n);
    return n;
}

float meanOf(const float* v, int n) {
    float sum = 0.0f;
    for (int i = 0; i < n; ++i)
        sum += v[i];
    return sum / static_cast<float>(n);
}

} // namespace

float TimingEstimate::dashThreshold() const {
    return std::sqrt(dot * dash);
}
float TimingEstimate::letterThreshold() const {
    return std::sqrt(elementGap * letterGap);
}
float TimingEstimate::wordThreshold() const {
    return std::sqrt(letterGap * wordGap);
}

void estimateTiming(const float* marks, int markCount, const float* gaps, int gapCount, bool clean,
                    TimingEstimate& out) {
    out = TimingEstimate{};
    if (markCount <= 0) return;
    std::array<float, kScratch> m{};
    std::array<float, kScratch> g{};
    const int nm = sortedLogs(marks, markCount, m.data());
    const int ng = sortedLogs(gaps, gapCount, g.data());
    out.marks = nm;

    const Split ms = bestSplit(m.data(), nm);
    if (nm >= 2 && std::exp(ms.high - ms.low) >= kMinDashDotRatio) {
        out.dot = std::exp(ms.low);
        out.dash = std::exp(ms.high);
        out.marksSplit = true;
    } else {
        // All marks alike: dots or dashes? Compare them with the shortest gaps, which are
        // element gaps.
        const float c = std::exp(ms.all);
        const bool dashes =
            ng > 0 && c / std::exp(meanOf(g.data(), (ng + 1) / 2)) > kSingleClusterDashRatio;
        out.dot = dashes ? c / kDashUnits : c;
        out.dash = dashes ? c : c * kDashUnits;
    }

    // Element gaps are the lower of two gap clusters. Detection in noise shortens marks and
    // lengthens gaps, and keyer weighting does the opposite, so the marks cannot place this
    // boundary; they only do while the gaps do not yet show two clusters.
    float boundary = std::log(out.dashThreshold());
    if (ng >= 2) {
        const Split all = bestSplit(g.data(), ng);
        // The lower cluster is the element gaps when it lies below the dash threshold. In noise
        // the marks come out short and the gaps long, so element gaps may lie above that
        // threshold: they are still the lower cluster while it is shorter than a dash (allowing
        // for the edges) and holds only one class (element and letter gaps together would split
        // again).
        const Split lower = all.lowCount >= 2 ? bestSplit(g.data(), all.lowCount) : Split{};
        const bool lowerIsOneClass = std::exp(lower.high - lower.low) < kMinLetterElementRatio;
        const bool elementGaps =
            all.low < boundary ||
            (lowerIsOneClass && all.low < std::log(out.dash + kEdgeAllowanceSteps));
        // Light weighting with long word gaps: the lower cluster holds element and letter gaps
        // (0.67-unit dots, 1.4-unit element gaps, 3-unit letter gaps, 10-unit word gaps), and the
        // element gaps, longer than the dash threshold, are its lower part. In noise, lost dots
        // and early estimates make such clusters too, so only a clean signal's many gaps count.
        const bool threeClasses =
            clean && !lowerIsOneClass && lower.lowCount >= kManyValues &&
            lower.high > std::log(out.dashThreshold()) &&
            (lower.low < boundary || lower.low < std::log(out.dash + kEdgeAllowanceSteps));
        if (threeClasses) {
            boundary = 0.5f * (lower.low + lower.high);
        } else if (std::exp(all.high - all.low) >= kMinLetterElementRatio && elementGaps) {
            boundary = 0.5f * (all.low + all.high);
        }
    }
    int intra = 0;
    while (intra < ng && g[intra] < boundary)
        ++intra;
    out.elementGap = intra > 0 ? std::exp(meanOf(g.data(), intra)) : out.dot;
    const float unit = out.unit();
    // Pauses (the sender stopping to think, a fade swallowing a character) are far longer than
    // the typical letter gap and would pull the word gap class up to themselves.
    int rest = ng - intra;
    if (rest > 0) {
        const float pause = g[static_cast<size_t>(intra + rest / 2)] + std::log(kPauseRatio);
        while (rest > 1 && g[static_cast<size_t>(intra + rest - 1)] > pause)
            --rest;
    }
    if (rest == 0) {
        out.letterGap = kLetterGapUnits * unit;
        out.wordGap = kWordGapUnits * unit;
        return;
    }
    const Split gs = bestSplit(g.data() + intra, rest);
    if (rest >= 2 && std::exp(gs.high - gs.low) >= kMinWordLetterRatio) {
        out.letterGap = std::exp(gs.low);
        out.wordGap = std::exp(gs.high);
        out.spacingKnown = true;
        return;
    }
    const float c = std::exp(gs.all);
    if (c < kMaxLetterGapUnits * unit) {
        out.letterGap = c;
        out.wordGap = c * kWordGapUnits / kLetterGapUnits;
        out.spacingKnown = true;
    } else {
        out.wordGap = c;
        out.letterGap =
            std::max(c * kLetterGapUnits / kWordGapUnits, out.elementGap * kMinWordLetterRatio);
    }
}

void SenderTiming::reset() {
    m_estimate = TimingEstimate{};
    m_markCount = 0;
    m_gapCount = 0;
    m_seenMark = false;
    m_code = 0;
    m_weight = 1;
    m_elements = 0;
    m_wroteSinceSpace = false;
    m_lastWasSpace = true;
    if (m_fixedWpm > 0) setEstimate(m_estimate);
}

void SenderTiming::setEstimate(const TimingEstimate& estimate) {
    m_estimate = estimate;
    if (m_fixedWpm > 0) {
        m_estimate.dot = m_fixedDot;
        m_estimate.dash = kDashUnits * m_fixedDot;
        m_estimate.marksSplit = true;
        if (m_estimate.elementGap <= 0.0f) {
            m_estimate.elementGap = m_fixedDot;
            m_estimate.letterGap = kLetterGapUnits * m_fixedDot;
            m_estimate.wordGap = kWordGapUnits * m_fixedDot;
        }
    }
}

void SenderTiming::setFixedWpm(int wpm, double stepSeconds) {
    m_fixedWpm = std::max(wpm, 0);
    m_fixedDot =
        m_fixedWpm > 0 ? static_cast<float>(kParisUnitSeconds / m_fixedWpm / stepSeconds) : 0.0f;
    if (m_fixedWpm > 0) setEstimate(m_estimate);
}

void SenderTiming::observe(const KeyEvent& e, bool clean) {
    if (e.mark) {
        m_seenMark = true;
        m_marks[static_cast<size_t>(m_markCount % kMarkHistory)] = e.steps;
        ++m_markCount;
    } else {
        if (!m_seenMark) return; // silence before the first mark says nothing about spacing
        m_gaps[static_cast<size_t>(m_gapCount % kGapHistory)] = e.steps;
        ++m_gapCount;
    }
    const int marks = std::min(m_markCount, kMarkHistory);
    if (marks < kMinMarksToLearn) return;
    TimingEstimate next;
    estimateTiming(m_marks.data(), marks, m_gaps.data(), std::min(m_gapCount, kGapHistory), clean,
                   next);
    // A stretch of like marks (or of like gaps) cannot tell the classes apart: keep what was
    // learnt before.
    if (!next.marksSplit && m_estimate.marksSplit) return;
    if (!next.spacingKnown && m_estimate.spacingKnown) {
        next.letterGap = m_estimate.letterGap;
        next.wordGap = m_estimate.wordGap;
        next.spacingKnown = true;
    }
    setEstimate(next);
}

void SenderTiming::decode(const KeyEvent& e, const DecoderSettings& settings, std::string& out) {
    if (!m_estimate.valid()) return;
    if (!e.mark) {
        const bool known = e.kind != RunKind::Unknown;
        const bool endsLetter =
            known ? e.kind != RunKind::ElementGap : e.steps >= m_estimate.letterThreshold();
        const bool endsWord =
            known ? e.kind == RunKind::WordGap : e.steps >= m_estimate.wordThreshold();
        if (m_elements > 0 && endsLetter) endCharacter(settings, out);
        if (endsWord) writeSpace(settings, out);
        return;
    }
    if (m_elements < kMaxElements + 1) {
        const bool dot = e.kind != RunKind::Unknown ? e.kind == RunKind::Dot
                                                    : e.steps < m_estimate.dashThreshold();
        if (dot) m_code += m_weight;
        m_weight *= 2;
    }
    ++m_elements;
}

void SenderTiming::gapProgress(float steps, const DecoderSettings& settings, std::string& out) {
    if (m_elements > 0 && m_estimate.valid() && steps >= m_estimate.letterThreshold())
        endCharacter(settings, out);
}

void SenderTiming::endCharacter(const DecoderSettings& settings, std::string& out) {
    const int code = m_code + m_weight;
    const bool readable = m_elements <= kMaxElements && code < DecodingTables::kSize - 1;
    m_code = 0;
    m_weight = 1;
    m_elements = 0;
    if (!readable || !settings.textDisplay) return;
    const size_t before = out.size();
    if (settings.prosigns) out += DecodingTables::prosign(code, settings.nonEnglish);
    if (settings.nonEnglish) out += DecodingTables::nonEnglish(code, settings.upperCase);
    const char c = m_tables.character(code, settings.upperCase);
    const bool named = out.size() > before;
    if (c == ' ') {
        // No letter for this code: write nothing, or end a prosign with its space.
        if (named) {
            out += ' ';
            m_lastWasSpace = true;
        }
    } else if (c == '\n') {
        out += "\r\n";
        m_lastWasSpace = true;
    } else {
        out += c;
        m_lastWasSpace = false;
    }
    if (out.size() > before) m_wroteSinceSpace = true;
}

void SenderTiming::writeSpace(const DecoderSettings& settings, std::string& out) {
    if (!settings.wordSpaces || !settings.textDisplay || m_lastWasSpace || !m_wroteSinceSpace)
        return;
    out += ' ';
    m_lastWasSpace = true;
}

int SenderTiming::wpm(double stepSeconds) const {
    if (!m_estimate.valid()) return 0;
    return static_cast<int>(std::lround(kParisUnitSeconds / (m_estimate.unit() * stepSeconds)));
}

} // namespace dita
