#pragma once
// RealTransform: forward and inverse transforms of real sequences of power-of-two length N.
//
// The forward transform is unscaled and yields bins 0..N/2-1 (bin k at frequency k/N of the
// sample rate; the receive chain numbers them from 1, bin 1 being direct current). The
// inverse takes those N/2 bins and is scaled by 2/N with the DC term counted once, so that
// inverse(forward(x)) returns x for any signal without energy at exactly half the sample rate.
// Plain class used by the filter and spectrum stages; not thread-safe per instance.
#include <complex>
#include <vector>

namespace dita {

class RealTransform {
public:
    // Prepares twiddle and bit-reversal tables; the only place that allocates.
    void configure(int n);
    int size() const { return m_n; }

    // in: N samples (multiplied by window[i] first when window is not null);
    // re, im: N/2 outputs each.
    void forward(const float* in, const float* window, float* re, float* im);
    // re, im: N/2 bins; out: N samples.
    void inverse(const float* re, const float* im, float* out);

private:
    void complexTransform(std::complex<float>* data, bool inverse) const;

    int m_n = 0;
    int m_half = 0;
    std::vector<std::complex<float>> m_twiddles;  // e^{-2 pi i k / (N/2)}, k < N/4
    std::vector<std::complex<float>> m_split;     // e^{-2 pi i k / N}, k < N/2
    std::vector<int> m_bitReverse;
    std::vector<std::complex<float>> m_work;
};

} // namespace dita
