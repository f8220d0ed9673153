#include "skim/IqCorrector.h"

#include <algorithm>
#include <cmath>

namespace dita {

namespace {
constexpr double kDcCornerHz = 2.0;
// The imbalance statistics average over this long: long enough that their own scatter leaves
// the image far below the noise, short enough to follow a receiver retuned.
constexpr double kAverageSeconds = 3.0;
constexpr int kBlock = 4096;
// Nothing to measure in digital silence.
constexpr double kMinPower = 1e-6;
} // namespace

void IqCorrector::configure(double sampleRateHz) {
    m_rateHz = sampleRateHz;
    m_dcAlpha = 1.0 - std::exp(-2.0 * M_PI * kDcCornerHz / sampleRateHz);
    reset();
}

void IqCorrector::reset() {
    m_dc = {};
    m_ii = m_qq = m_iq = 0.0;
    m_averaged = 0.0;
}

void IqCorrector::process(std::complex<float>* samples, int count) {
    for (int done = 0; done < count; done += kBlock)
        correctBlock(samples + done, std::min(kBlock, count - done));
}

void IqCorrector::correctBlock(std::complex<float>* x, int count) {
    double ii = 0.0, qq = 0.0, iq = 0.0;
    if (m_averaged == 0.0) {
        // The tracker starts from the first block's mean: a receiver's DC offset is there from
        // the first sample, and would otherwise spoil the first imbalance estimates.
        std::complex<double> mean{};
        for (int n = 0; n < count; ++n)
            mean += std::complex<double>(x[n].real(), x[n].imag());
        m_dc = mean / static_cast<double>(count);
    }
    std::complex<double> dc = m_dc;
    for (int n = 0; n < count; ++n) {
        const std::complex<double> v(x[n].real(), x[n].imag());
        dc += m_dcAlpha * (v - dc);
        const std::complex<double> y = v - dc;
        ii += y.real() * y.real();
        qq += y.imag() * y.imag();
        iq += y.real() * y.imag();
        x[n] = {static_cast<float>(y.real()), static_cast<float>(y.imag())};
    }
    m_dc = dc;
    ii /= count;
    qq /= count;
    iq /= count;
    // A running mean of everything so far until the averaging time is reached, then an
    // exponential average over that time.
    m_averaged += count;
    const double weight = count / std::min(m_averaged, kAverageSeconds * m_rateHz);
    m_ii += weight * (ii - m_ii);
    m_qq += weight * (qq - m_qq);
    m_iq += weight * (iq - m_iq);
    if (m_ii < kMinPower) return;
    const double leak = m_iq / m_ii;
    const double rest = m_qq - leak * leak * m_ii;
    if (rest < kMinPower) return;
    const float mu = static_cast<float>(leak);
    const float scale = static_cast<float>(std::sqrt(m_ii / rest));
    for (int n = 0; n < count; ++n)
        x[n] = {x[n].real(), scale * (x[n].imag() - mu * x[n].real())};
}

double IqCorrector::gain() const {
    return m_ii > kMinPower ? std::sqrt(m_qq / m_ii) : 1.0;
}

double IqCorrector::phaseDegrees() const {
    if (m_ii <= kMinPower || m_qq <= kMinPower) return 0.0;
    return std::asin(std::clamp(m_iq / std::sqrt(m_ii * m_qq), -1.0, 1.0)) * 180.0 / M_PI;
}

} // namespace dita
