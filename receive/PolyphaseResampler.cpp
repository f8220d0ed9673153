#include "receive/PolyphaseResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

namespace dita {

namespace {
// The passband ends at this fraction of the lower Nyquist frequency; the stopband begins at it.
constexpr double kPassbandFraction = 0.8;
// Attenuation from the stopband edge on: below what a 16-bit sample resolves of a signal a
// tenth of full scale.
constexpr double kStopbandDb = 90.0;
// Kaiser's estimates for the window's shape and length at that attenuation.
constexpr double kKaiserBetaPerDb = 0.1102;
constexpr double kKaiserBetaOffsetDb = 8.7;
constexpr double kKaiserLengthOffsetDb = 7.95;
constexpr double kKaiserLengthPerBandwidth = 14.36;
// Taps are summed in this many independent partial sums, which the compiler turns into
// vector instructions; the taps per phase are a multiple of it.
constexpr int kTapGroup = 8;
// Limits on the table: phases (the ratio's numerator) and taps per phase.
constexpr int kMaxPhases = 4096;
constexpr int kMaxTaps = 1024;
// Input samples buffered at a time, beyond one window.
constexpr size_t kBufferFrames = 8192;

struct Design {
    int up = 1;
    int down = 1;
    double cutoff = 0.0; // cycles per input sample, halfway through the transition band
    int taps = 0;
};

Design design(int inRateHz, int outRateHz) {
    Design d;
    const int g = std::gcd(inRateHz, outRateHz);
    d.up = outRateHz / g;
    d.down = inRateHz / g;
    const double stopEdge = 0.5 * std::min(inRateHz, outRateHz) / inRateHz;
    const double passEdge = kPassbandFraction * stopEdge;
    d.cutoff = 0.5 * (passEdge + stopEdge);
    const double length =
        (kStopbandDb - kKaiserLengthOffsetDb) / (kKaiserLengthPerBandwidth * (stopEdge - passEdge));
    d.taps = (static_cast<int>(std::ceil(length)) + kTapGroup - 1) / kTapGroup * kTapGroup;
    return d;
}

// The zeroth-order modified Bessel function of the first kind, by its power series.
double besselI0(double x) {
    constexpr double kSeriesEnd = 1e-12;
    double sum = 1.0;
    double term = 1.0;
    const double q = 0.25 * x * x;
    for (int k = 1; term > kSeriesEnd * sum; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}
} // namespace

bool PolyphaseResampler::handles(int inRateHz, int outRateHz) {
    if (inRateHz <= 0 || outRateHz <= 0) return false;
    const Design d = design(inRateHz, outRateHz);
    return d.up <= kMaxPhases && d.taps <= kMaxTaps;
}

void PolyphaseResampler::configure(int inRateHz, int outRateHz) {
    const Design d = design(inRateHz, outRateHz);
    m_up = d.up;
    m_down = d.down;
    m_taps = d.taps;
    // Tap k of phase p weighs the input sample at distance t = p/up + taps/2 - 1 - k before the
    // output's time: the window runs over |t| <= taps/2. Each phase is scaled to a gain of
    // exactly 1 at 0 Hz, so a steady level passes unchanged whatever the phase.
    const double beta = kKaiserBetaPerDb * (kStopbandDb - kKaiserBetaOffsetDb);
    const double norm = besselI0(beta);
    const double half = 0.5 * m_taps;
    m_table.assign(static_cast<size_t>(m_up) * m_taps, 0.0f);
    std::vector<double> phase(static_cast<size_t>(m_taps));
    for (int p = 0; p < m_up; ++p) {
        double sum = 0.0;
        for (int k = 0; k < m_taps; ++k) {
            const double t = static_cast<double>(p) / m_up + half - 1.0 - k;
            const double x = 2.0 * d.cutoff * t;
            const double sinc =
                x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
            const double r = t / half;
            const double window =
                r * r < 1.0 ? besselI0(beta * std::sqrt(1.0 - r * r)) / norm : 0.0;
            phase[static_cast<size_t>(k)] = 2.0 * d.cutoff * sinc * window;
            sum += phase[static_cast<size_t>(k)];
        }
        for (int k = 0; k < m_taps; ++k)
            m_table[static_cast<size_t>(p) * m_taps + k] =
                static_cast<float>(phase[static_cast<size_t>(k)] / sum);
    }
    m_buffer.assign(kBufferFrames + static_cast<size_t>(m_taps), 0.0f);
    reset();
}

void PolyphaseResampler::reset() {
    // The first output stands for input time 0: its window starts taps/2 - 1 samples before
    // the input does, on zeros.
    m_buffered = static_cast<size_t>(m_taps / 2 - 1);
    std::fill(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_buffered), 0.0f);
    m_windowStart = 0;
    m_phase = 0;
    m_inputTotal = 0;
    m_outputTotal = 0;
    m_outputLimit = 0;
    m_flushed = false;
}

bool PolyphaseResampler::finished() const {
    return m_flushed && m_outputTotal >= m_outputLimit;
}

size_t PolyphaseResampler::produce(float* out, size_t capacity) {
    const size_t taps = static_cast<size_t>(m_taps);
    size_t written = 0;
    while (written < capacity && m_windowStart + taps <= m_buffered && !finished()) {
        const float* x = m_buffer.data() + m_windowStart;
        const float* c = m_table.data() + static_cast<size_t>(m_phase) * taps;
        float sums[kTapGroup] = {};
        for (size_t k = 0; k < taps; k += kTapGroup)
            for (int j = 0; j < kTapGroup; ++j)
                sums[j] += x[k + j] * c[k + j];
        float y = 0.0f;
        for (float s : sums)
            y += s;
        out[written++] = y;
        ++m_outputTotal;
        m_phase += m_down;
        m_windowStart += static_cast<size_t>(m_phase / m_up);
        m_phase %= m_up;
    }
    return written;
}

PolyphaseResampler::Result PolyphaseResampler::process(const float* in, size_t inCount, float* out,
                                                       size_t outCapacity, bool endOfInput) {
    Result r;
    const size_t half = static_cast<size_t>(m_taps / 2);
    for (;;) {
        // Samples before the next window are done with.
        const size_t keep = m_buffered - std::min(m_windowStart, m_buffered);
        if (m_windowStart > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + (m_buffered - keep),
                         keep * sizeof(float));
            m_windowStart -= m_buffered - keep;
            m_buffered = keep;
        }
        const size_t take = std::min(inCount - r.inputUsed, m_buffer.size() - m_buffered);
        std::copy_n(in + r.inputUsed, take, m_buffer.data() + m_buffered);
        m_buffered += take;
        r.inputUsed += take;
        m_inputTotal += static_cast<int64_t>(take);
        const bool lastTaken = endOfInput && r.inputUsed == inCount;
        if (lastTaken && !m_flushed && m_buffer.size() - m_buffered >= half) {
            // The tail: zeros after the input, so that the last outputs' windows are whole.
            std::fill_n(m_buffer.data() + m_buffered, half, 0.0f);
            m_buffered += half;
            m_flushed = true;
            m_outputLimit = (m_inputTotal * m_up + m_down - 1) / m_down;
        }
        const size_t made = produce(out + r.outputWritten, outCapacity - r.outputWritten);
        r.outputWritten += made;
        if (r.outputWritten == outCapacity || finished()) break;
        // Without new input or new output another round would change nothing.
        if (take == 0 && made == 0 && (!lastTaken || m_flushed)) break;
    }
    return r;
}

} // namespace dita
