#include "skim/FilterBank.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace dita {

namespace {
constexpr double kMinRateHz = 8000.0;
constexpr double kMaxRateHz = 20e6;
// Spectra a little over 40 ms long: bins narrow enough to part senders 90 Hz apart, short
// enough to see the key go up between a fast sender's letters.
constexpr double kMaxBinHz = 25.0;
constexpr double kMinChannelRateHz = 4000.0;
// Channel prototype: passes the signal and its keying sidebands, and is far down (80 dB,
// Kaiser beta 7.86) before the edge of the bins a channel takes.
constexpr double kPassHz = 1200.0;
constexpr double kKaiserBeta = 7.857;
constexpr int kPrototypeFraction = 4; // taps: a quarter of the transform

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < 1e-12 * sum) break;
    }
    return sum;
}
} // namespace

bool filterBankLayout(double rateHz, FilterBankLayout& layout) {
    if (!(rateHz >= kMinRateHz && rateHz <= kMaxRateHz)) return false;
    int n = 1;
    while (rateHz / n > kMaxBinHz)
        n *= 2;
    // The channel rate: the lowest power-of-two fraction of the input rate not under 4 kHz.
    int decimation = 1;
    while (rateHz / (decimation * 2) >= kMinChannelRateHz && decimation * 2 <= n / 8)
        decimation *= 2;
    layout.rateHz = rateHz;
    layout.fftSize = n;
    layout.hop = n / 2;
    layout.channelSize = n / decimation;
    layout.binHz = rateHz / n;
    layout.channelRateHz = rateHz / decimation;
    return true;
}

void FilterBank::configure(double rateHz) {
    if (!filterBankLayout(rateHz, m_layout))
        throw std::invalid_argument("sample rate " + std::to_string(std::llround(rateHz)) +
                                    " Hz is outside 8 kHz .. 20 MHz");
    const int n = m_layout.fftSize;
    const int l = m_layout.channelSize;
    m_forward.configure(n, ComplexTransform::Direction::Forward);
    m_backward.configure(l, ComplexTransform::Direction::Backward);
    m_input.assign(static_cast<size_t>(n), {});
    // Kaiser-windowed sinc, and its response at the channel's bins.
    const int taps = n / kPrototypeFraction;
    std::vector<double> h(static_cast<size_t>(taps));
    const double fc = kPassHz / rateHz;
    double sum = 0.0;
    for (int i = 0; i < taps; ++i) {
        const double m = i - (taps - 1) / 2.0;
        const double sinc = m == 0.0 ? 2.0 * fc : std::sin(2.0 * M_PI * fc * m) / (M_PI * m);
        const double r = 2.0 * i / (taps - 1) - 1.0;
        const double w =
            besselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / besselI0(kKaiserBeta);
        h[static_cast<size_t>(i)] = sinc * w;
        sum += sinc * w;
    }
    m_response.assign(static_cast<size_t>(l), {});
    for (int j = -l / 2; j < l / 2; ++j) {
        std::complex<double> acc{};
        for (int i = 0; i < taps; ++i)
            acc += h[static_cast<size_t>(i)] * std::polar(1.0, -2.0 * M_PI * j * i / n);
        // Unity gain at the channel's centre, and the 1/N the backward transform leaves out.
        m_response[static_cast<size_t>((j + l) % l)] =
            std::complex<float>(acc / (sum * static_cast<double>(n)));
    }
    reset();
}

void FilterBank::reset() {
    // Half a transform of silence first, so that the first spectrum's valid half is the
    // input's first hop.
    std::fill(m_input.begin(), m_input.end(), std::complex<float>{});
    m_fill = m_layout.hop;
}

void FilterBank::transformInput() {
    std::copy(m_input.begin(), m_input.end(), m_forward.in());
    m_forward.execute();
    std::copy(m_input.begin() + m_layout.hop, m_input.end(), m_input.begin());
    m_fill = m_layout.fftSize - m_layout.hop;
}

void FilterBank::extract(const std::complex<float>* spectrum, int bin, int64_t spectrumIndex,
                         std::complex<float>* out) {
    const int n = m_layout.fftSize;
    const int l = m_layout.channelSize;
    std::complex<float>* in = m_backward.in();
    for (int j = -l / 2; j < l / 2; ++j) {
        const size_t k = static_cast<size_t>(((bin + j) % n + n) % n);
        const size_t c = static_cast<size_t>((j + l) % l);
        in[c] = spectrum[k] * m_response[c];
    }
    m_backward.execute();
    // Each spectrum starts half a transform later: the channel's bin turns by half a cycle
    // per spectrum for every bin it lies from 0 Hz.
    const float sign = ((static_cast<int64_t>(bin) * spectrumIndex) & 1) ? -1.0f : 1.0f;
    const std::complex<float>* y = m_backward.out() + l / 2;
    for (int i = 0; i < l / 2; ++i)
        out[i] = sign * y[i];
}

} // namespace dita
