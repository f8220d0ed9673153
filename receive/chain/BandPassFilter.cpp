#include "receive/chain/BandPassFilter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace dita {

namespace {

// The design uses these rounded constants for 2 pi, 4 pi and 6 pi.
constexpr double kTwoPi = 6.2831853;
constexpr double kFourPi = 12.5663706;
constexpr double kSixPi = 18.8495559;

// Half width by words per minute, 0..110.
constexpr std::array<float, 111> kSpeedWidth = {
    0.0015f, 0.0015f, 0.0015f,  0.0015f, 0.0015f,
    0.0015f, 0.0015f, 0.0015f,  0.0015f, 0.0015f, // 0-9
    0.0016f, 0.0016f, 0.0016f,  0.0016f, 0.0016f,
    0.0016f, 0.0016f, 0.0017f,  0.0018f, 0.0018f, // 10-19
    0.0018f, 0.0019f, 0.002f,   0.002f,  0.0021f,
    0.0023f, 0.0023f, 0.0023f,  0.0025f, 0.0025f, // 20-29
    0.0027f, 0.0027f, 0.0028f,  0.0028f, 0.003f,
    0.003f,  0.0031f, 0.0031f,  0.0032f, 0.0032f, // 30-39
    0.0034f, 0.0034f, 0.0035f,  0.0037f, 0.0039f,
    0.0041f, 0.0043f, 0.0045f,  0.0047f, 0.0049f, // 40-49
    0.0052f, 0.0055f, 0.0057f,  0.006f,  0.0064f,
    0.0068f, 0.007f,  0.0072f,  0.0074f, 0.0076f, // 50-59
    0.008f,  0.0084f, 0.0088f,  0.0092f, 0.0096f,
    0.01f,   0.0104f, 0.0108f,  0.0112f, 0.0116f, // 60-69
    0.012f,  0.0124f, 0.0128f,  0.0132f, 0.0136f,
    0.0138f, 0.014f,  0.0144f,  0.016f,  0.018f, // 70-79
    0.02f,   0.021f,  0.022f,   0.023f,  0.024f,
    0.025f,  0.026f,  0.027f,   0.028f,  0.029f, // 80-89
    0.0295f, 0.023f,  0.02315f, 0.024f,  0.0245f,
    0.025f,  0.0255f, 0.026f,   0.0265f, 0.027f, // 90-99
    0.0275f, 0.028f,  0.0285f,  0.029f,  0.0295f,
    0.03f,   0.0315f, 0.032f,   0.0325f, 0.033f, // 100-109
    0.033f};                                     // 110

constexpr int kAutoMode = 1;
constexpr int kFiftyPlusMode = 2;
constexpr int kSlowestLockMode = 11;
constexpr int kMinTableWpm = 6;
constexpr int kMaxTableWpm = 110;
constexpr int kDefaultWidthWpm = 30;
// Locked modes 3..11 stand for these speeds.
constexpr std::array<int, 12> kModeWpm = {0, 0, 0, 50, 45, 40, 35, 30, 25, 20, 15, 10};
constexpr float kFiftyPlusBase = 0.01f;
constexpr float kFiftyPlusSlope = 0.0003f;
constexpr float kFiftyPlusMax = 0.02f;
constexpr float kResetNarrowing = 0.85f;
constexpr float kResetFiftyPlus = 0.007f;
constexpr float kResetFiftyWidening = 1.1f;
constexpr float kCentreOffsetBins = 2.7f;
constexpr float kCentreDivisor = 2024.0f;

// Predictor constants: power smoothing and step size 2 * beta / taps.
constexpr float kPowerBeta = 0.00045f;
constexpr float kStartPower = 2.0f;
// The power estimate decays toward zero over minutes of silence; a floor keeps the step
// size finite when the first sample after such a silence arrives.
constexpr float kMinPower = 1e-6f;

// Windowed sinc, sin(2 pi f d) / d with d = i - m/2, evaluated by a rotation so that the
// per-pass redesign costs no transcendental calls per tap. Designs K kernels in one sweep: the
// rotations are independent chains, so they run side by side, each with the arithmetic of a
// design of its own.
template <size_t K>
void windowedSinc(int m, const std::array<float, K>& cutoffs, const float* window,
                  const std::array<float*, K>& taps) {
    const double half = m / 2.0;
    std::array<double, K> theta, stepCos, stepSin, c, s, sum;
    for (size_t k = 0; k < K; ++k) {
        theta[k] = kTwoPi * cutoffs[k];
        stepCos[k] = std::cos(theta[k]);
        stepSin[k] = std::sin(theta[k]);
        c[k] = std::cos(-half * theta[k]);
        s[k] = std::sin(-half * theta[k]);
        sum[k] = 0.0;
    }
    for (int i = 0; i <= m; ++i) {
        const double d = i - half;
        for (size_t k = 0; k < K; ++k) {
            const double value = (i == m / 2) ? theta[k] : s[k] / d;
            taps[k][i] = static_cast<float>(value * window[i]);
            sum[k] += taps[k][i];
            const double nextC = c[k] * stepCos[k] - s[k] * stepSin[k];
            s[k] = s[k] * stepCos[k] + c[k] * stepSin[k];
            c[k] = nextC;
        }
    }
    for (size_t k = 0; k < K; ++k) {
        // A cutoff of exactly 0 (a band edge at 0 Hz, tuned bin about 69 or below) makes every
        // term and their sum 0: the taps are then the limit for a vanishing cutoff, where each
        // term tends to theta, i.e. the window itself once normalised (not 0 / 0).
        if (theta[k] == 0.0) {
            sum[k] = 0.0;
            for (int i = 0; i <= m; ++i) {
                taps[k][i] = window[i];
                sum[k] += taps[k][i];
            }
        }
        const float norm = static_cast<float>(sum[k]);
        for (int i = 0; i <= m; ++i)
            taps[k][i] /= norm;
    }
}

void fourTermWindow(int m, double a0, double a1, double a2, double a3, float* window) {
    for (int i = 0; i <= m; ++i) {
        window[i] =
            static_cast<float>(a0 - a1 * std::cos(kTwoPi * i / m) + a2 * std::cos(kFourPi * i / m) -
                               a3 * std::cos(kSixPi * i / m));
    }
}

} // namespace

float speedWidth(int wpm) {
    return kSpeedWidth[std::clamp(wpm, 0, kMaxTableWpm)];
}

float passHalfWidth(int speedMode, int wpm) {
    if (speedMode == kAutoMode) {
        return (wpm >= kMinTableWpm && wpm <= kMaxTableWpm) ? kSpeedWidth[wpm]
                                                            : kSpeedWidth[kDefaultWidthWpm];
    }
    if (speedMode == kFiftyPlusMode) {
        if (wpm < 52) return kFiftyPlusBase;
        return std::min((wpm - 50) * kFiftyPlusSlope + kFiftyPlusBase, kFiftyPlusMax);
    }
    return kSpeedWidth[kModeWpm[std::clamp(speedMode, 3, kSlowestLockMode)]];
}

float resetHalfWidth(int speedMode) {
    if (speedMode == kAutoMode || speedMode == kSlowestLockMode)
        return kSpeedWidth[10] * kResetNarrowing;
    if (speedMode == kFiftyPlusMode) return kResetFiftyPlus;
    if (speedMode == 3) return kSpeedWidth[50] * kResetFiftyWidening;
    return kSpeedWidth[kModeWpm[std::clamp(speedMode, 4, 10)]] * kResetNarrowing;
}

float filterCentreForBin(int tunedBin) {
    return (tunedBin - kCentreOffsetBins) / kCentreDivisor;
}

void designLowPass(int m, float cutoff, float* taps) {
    std::vector<float> window(m + 1);
    fourTermWindow(m, 0.35875, 0.48829, 0.14128, 0.01168, window.data());
    windowedSinc<1>(m, {cutoff}, window.data(), {taps});
}

BandPassFilter::BandPassFilter() {
    m_designTransform.configure(kResponseLength);
    for (auto& t : m_blockTransforms)
        t.configure(kNarrowbandBlock);
    fourTermWindow(kDesignLength, 0.40243, 0.49804, 0.09831, 0.00122, m_window.data());
}

void BandPassFilter::reset() {
    m_overlap1.fill(0.0f);
    m_overlap2.fill(0.0f);
}

void BandPassFilter::design(float lowerEdge, float upperEdge) {
    // The receive loop designs every pass, mostly with the edges of the pass before (the
    // centre and the speed settle); the same edges give the same kernel.
    if (m_designed && lowerEdge == m_lowerEdge && upperEdge == m_upperEdge) return;
    m_designed = true;
    m_lowerEdge = lowerEdge;
    m_upperEdge = upperEdge;

    constexpr int centre = kDesignLength / 2;
    // Low-pass at the lower edge plus high-pass at the upper edge is a band-reject;
    // spectral inversion turns it into the band-pass.
    windowedSinc<2>(kDesignLength, {lowerEdge, upperEdge}, m_window.data(),
                    {m_kernel.data(), m_scratch.data()});
    for (int i = 0; i <= kDesignLength; ++i)
        m_scratch[i] = -m_scratch[i];
    m_scratch[centre] += 1.0f;
    for (int i = 0; i <= kDesignLength; ++i)
        m_kernel[i] = -(m_kernel[i] + m_scratch[i]);
    m_kernel[centre] += 1.0f;

    float* padded = m_designTransform.samples();
    std::copy(m_kernel.begin(), m_kernel.end(), padded);
    std::fill(padded + kDesignLength + 1, padded + kResponseLength, 0.0f);
    m_designTransform.forwardInPlace();
    std::copy_n(m_designTransform.bins(), kDesignLength, m_response.begin());
}

// Transforms 512 samples zero-padded to 1024 and multiplies bins 1..512 by the response; the
// inverse leaves the 1024 output samples in the transform's samples().
void BandPassFilter::convolveHalf(const float* in, RealTransform& t) {
    float* padded = t.samples();
    std::copy(in, in + kHalfBlock, padded);
    std::fill(padded + kHalfBlock, padded + kNarrowbandBlock, 0.0f);
    t.forwardInPlace();
    std::complex<float>* bins = t.bins();
    for (int k = 0; k < kHalfBlock; ++k) {
        const float re =
            bins[k].real() * m_response[k].real() - bins[k].imag() * m_response[k].imag();
        const float im =
            bins[k].real() * m_response[k].imag() + bins[k].imag() * m_response[k].real();
        bins[k] = {re, im};
    }
    t.inverseInPlace();
}

// Overlap-add in two halves: the first half's output tail overlaps the second half, and the
// second half's tail is kept for the next pass.
void BandPassFilter::stage(float* x, std::array<float, kHalfBlock>& overlap) {
    RealTransform& first = m_blockTransforms[0];
    RealTransform& second = m_blockTransforms[1];
    convolveHalf(x, first);
    convolveHalf(x + kHalfBlock, second);
    const float* y1 = first.samples();
    const float* y2 = second.samples();
    for (int i = 0; i < kHalfBlock; ++i) {
        x[i] = y1[i] + overlap[i];
        x[kHalfBlock + i] = y1[kHalfBlock + i] + y2[i];
        overlap[i] = y2[kHalfBlock + i];
    }
}

void BandPassFilter::process(float* block) {
    stage(block, m_overlap1);
    stage(block, m_overlap2);
}

void NoiseFilter::reset() {
    m_weights.fill(0.0f);
    m_delay.fill(0.0f);
    m_previous = 0.0f;
    m_stepSize = 2.0f * kPowerBeta / kTaps;
    m_power = kStartPower;
}

float NoiseFilter::predict(float input, float desired) {
    m_delay[0] = input;
    float y = 0.0f;
    for (int j = 0; j < kTaps; ++j)
        y += m_weights[j] * m_delay[j];
    m_power =
        std::max(kPowerBeta * m_delay[0] * m_delay[0] + (1.0f - kPowerBeta) * m_power, kMinPower);
    const float g = m_stepSize * (desired - y) / m_power;
    for (int j = 0; j < kTaps; ++j)
        m_weights[j] += g * m_delay[j];
    for (int j = kTaps - 1; j >= 1; --j)
        m_delay[j] = m_delay[j - 1];
    return y;
}

void NoiseFilter::process(float* block, int count) {
    for (int i = 0; i < count; ++i) {
        const float unfiltered = block[i];
        block[i] = predict(m_previous, unfiltered);
        m_previous = unfiltered;
    }
}

} // namespace dita
