#pragma once
// RealTransform: forward and inverse transforms of real sequences of power-of-two length N, on
// FFTW (single precision).
//
// The forward transform is unscaled and yields bins 0..N/2-1 (bin k at frequency k/N of the
// sample rate; the receive chain numbers them from 1, bin 1 being direct current). The
// inverse takes those N/2 bins and is scaled by 2/N with the DC term counted once, so that
// inverse(forward(x)) returns x for any signal without energy at exactly half the sample rate.
//
// configure() allocates the arrays and, the first time a length is used in the process, makes
// its FFTW plans, which every instance of that length then shares (the only place that
// allocates or plans; it may be called from several threads at once). forward() and inverse()
// only execute the plans on the instance's own arrays, so separate instances may run on
// separate threads. Plain class used by the filter and spectrum stages;
// not thread-safe per instance.
#include <complex>
#include <memory>
#include <mutex>

namespace dita {

// The one lock under which FFTW plans are made, for every transform in the process.
std::mutex& fftwPlannerMutex();

class RealTransform {
public:
    RealTransform();
    ~RealTransform();
    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    void configure(int n);
    int size() const { return m_n; }

    // in: N samples (multiplied by window[i] first when window is not null);
    // re, im: N/2 outputs each.
    void forward(const float* in, const float* window, float* re, float* im);
    // re, im: N/2 bins (im[0], the imaginary part of DC, is taken as zero); out: N samples.
    void inverse(const float* re, const float* im, float* out);

    // The same transforms without the split into re and im, for stages that work on the
    // bins in place: fill samples() (N values) and call forwardInPlace() to get bins()
    // 0..N/2 (bin N/2 at half the sample rate); or fill bins() 0..N/2-1 and call
    // inverseInPlace() to get samples(), scaled as inverse() scales them.
    float* samples() { return m_samples; }
    std::complex<float>* bins() { return m_bins; }
    void forwardInPlace();
    void inverseInPlace();

private:
    struct Plans;

    int m_n = 0;
    int m_half = 0;
    std::unique_ptr<Plans> m_plans;
    float* m_samples = nullptr;            // N values, owned by m_plans
    std::complex<float>* m_bins = nullptr; // N/2 + 1 values, owned by m_plans
};

} // namespace dita
