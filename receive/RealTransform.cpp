#include "receive/RealTransform.h"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace dita {

void RealTransform::configure(int n) {
    if (n < 4 || (n & (n - 1)) != 0) throw std::invalid_argument("transform length must be a power of two");
    m_n = n;
    m_half = n / 2;
    const double twoPi = 2.0 * M_PI;
    m_twiddles.resize(m_half / 2);
    for (int k = 0; k < m_half / 2; ++k) {
        m_twiddles[k] = std::polar(1.0, -twoPi * k / m_half);
    }
    m_split.resize(m_half);
    for (int k = 0; k < m_half; ++k) m_split[k] = std::polar(1.0, -twoPi * k / n);
    m_bitReverse.resize(m_half);
    int bits = 0;
    while ((1 << bits) < m_half) ++bits;
    for (int i = 0; i < m_half; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        m_bitReverse[i] = r;
    }
    m_work.assign(m_half, {});
}

// Iterative radix-2 transform of N/2 complex points; the inverse is unscaled.
void RealTransform::complexTransform(std::complex<float>* data, bool inverse) const {
    const int n = m_half;
    for (int i = 0; i < n; ++i) {
        const int j = m_bitReverse[i];
        if (j > i) std::swap(data[i], data[j]);
    }
    for (int len = 2; len <= n; len <<= 1) {
        const int halfLen = len >> 1;
        const int stride = n / len;
        for (int start = 0; start < n; start += len) {
            std::complex<float>* a = data + start;
            std::complex<float>* b = a + halfLen;
            for (int k = 0; k < halfLen; ++k) {
                std::complex<float> w = m_twiddles[k * stride];
                if (inverse) w = std::conj(w);
                const float br = b[k].real() * w.real() - b[k].imag() * w.imag();
                const float bi = b[k].real() * w.imag() + b[k].imag() * w.real();
                const float ar = a[k].real();
                const float ai = a[k].imag();
                a[k] = {ar + br, ai + bi};
                b[k] = {ar - br, ai - bi};
            }
        }
    }
}

// The N real samples are packed as N/2 complex points (even samples real, odd imaginary),
// transformed, and split into the spectrum of the real sequence.
void RealTransform::forward(const float* in, const float* window, float* re, float* im) {
    std::complex<float>* z = m_work.data();
    if (window) {
        for (int i = 0; i < m_half; ++i) {
            z[i] = {in[2 * i] * window[2 * i], in[2 * i + 1] * window[2 * i + 1]};
        }
    } else {
        for (int i = 0; i < m_half; ++i) z[i] = {in[2 * i], in[2 * i + 1]};
    }
    complexTransform(z, false);
    re[0] = z[0].real() + z[0].imag();
    im[0] = 0.0f;
    for (int k = 1; k < m_half; ++k) {
        const std::complex<float> zk = z[k];
        const std::complex<float> zc = std::conj(z[m_half - k]);
        const std::complex<float> even = 0.5f * (zk + zc);
        const std::complex<float> odd = std::complex<float>(0.0f, -0.5f) * (zk - zc);
        const std::complex<float> x = even + m_split[k] * odd;
        re[k] = x.real();
        im[k] = x.imag();
    }
}

void RealTransform::inverse(const float* re, const float* im, float* out) {
    // Rebuild the packed half-length spectrum from bins 0..N/2-1 (the bin at N/2 is zero),
    // then one inverse complex transform gives even and odd samples at once.
    std::complex<float>* z = m_work.data();
    for (int k = 0; k < m_half; ++k) {
        const std::complex<float> xk(re[k], im[k]);
        // Bin k + N/2 mirrors bin N/2 - k; for k = 0 it is the (zero) bin at N/2.
        const std::complex<float> partner =
            k == 0 ? std::complex<float>(0.0f, 0.0f)
                   : std::conj(std::complex<float>(re[m_half - k], im[m_half - k]));
        const std::complex<float> even = 0.5f * (xk + partner);
        const std::complex<float> odd = 0.5f * (xk - partner) * std::conj(m_split[k]);
        z[k] = even + std::complex<float>(0.0f, 1.0f) * odd;
    }
    complexTransform(z, true);
    const float scale = 2.0f / static_cast<float>(m_n);
    for (int i = 0; i < m_half; ++i) {
        out[2 * i] = z[i].real() * scale;
        out[2 * i + 1] = z[i].imag() * scale;
    }
}

} // namespace dita
