#include "receive/chain/RealTransform.h"

#include <fftw3.h>

#include <array>
#include <bit>
#include <mutex>
#include <stdexcept>

namespace dita {

// FFTW's planner keeps global state: plans are made under one lock, while executing a plan on
// arrays of the alignment it was made for is safe from any thread.
std::mutex& fftwPlannerMutex() {
    static std::mutex mutex;
    return mutex;
}

namespace {

// FFTW_ESTIMATE picks the same algorithm on every run, so results (and decoded text) do not
// vary from one run to the next the way measured plans would.
constexpr unsigned kPlanFlags = FFTW_ESTIMATE;

// The plans of one length, made the first time that length is configured and kept for the
// process: every transform of that length executes them on its own arrays, so an engine made
// for each file of a batch plans nothing after the first.
struct SharedPlans {
    fftwf_plan forward = nullptr;
    fftwf_plan inverse = nullptr;
};

constexpr int kMaxLog2Length = 31;

SharedPlans sharedPlans(int n) {
    static std::array<SharedPlans, kMaxLog2Length + 1> table{};
    const int log2n = std::countr_zero(static_cast<unsigned>(n));
    std::lock_guard<std::mutex> lock(fftwPlannerMutex());
    SharedPlans& plans = table[static_cast<size_t>(log2n)];
    if (!plans.forward) {
        // Planned on arrays of FFTW's own alignment, which every transform's arrays have too.
        // They stay allocated with the plans.
        float* samples = fftwf_alloc_real(static_cast<size_t>(n));
        fftwf_complex* bins = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
        if (!samples || !bins) {
            fftwf_free(samples);
            fftwf_free(bins);
            throw std::runtime_error("cannot plan the transform");
        }
        const fftwf_plan forward = fftwf_plan_dft_r2c_1d(n, samples, bins, kPlanFlags);
        const fftwf_plan inverse = fftwf_plan_dft_c2r_1d(n, bins, samples, kPlanFlags);
        if (!forward || !inverse) {
            if (forward) fftwf_destroy_plan(forward);
            if (inverse) fftwf_destroy_plan(inverse);
            fftwf_free(samples);
            fftwf_free(bins);
            throw std::runtime_error("cannot plan the transform");
        }
        plans = {forward, inverse};
    }
    return plans;
}
} // namespace

struct RealTransform::Plans {
    float* samples = nullptr;
    fftwf_complex* bins = nullptr;
    fftwf_plan forward = nullptr;
    fftwf_plan inverse = nullptr;

    explicit Plans(int n) {
        const SharedPlans shared = sharedPlans(n);
        forward = shared.forward;
        inverse = shared.inverse;
        samples = fftwf_alloc_real(static_cast<size_t>(n));
        bins = fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1));
        if (!samples || !bins) {
            release();
            throw std::runtime_error("cannot allocate the transform");
        }
    }
    ~Plans() { release(); }
    void release() {
        fftwf_free(samples);
        fftwf_free(bins);
        samples = nullptr;
        bins = nullptr;
    }
};

RealTransform::RealTransform() = default;
RealTransform::~RealTransform() = default;

void RealTransform::configure(int n) {
    if (n < 4 || (n & (n - 1)) != 0)
        throw std::invalid_argument("transform length must be a power of two");
    m_plans.reset();
    m_plans = std::make_unique<Plans>(n);
    m_n = n;
    m_half = n / 2;
    m_samples = m_plans->samples;
    // fftwf_complex is float[2], laid out as std::complex<float>.
    m_bins = reinterpret_cast<std::complex<float>*>(m_plans->bins);
}

void RealTransform::forwardInPlace() {
    fftwf_execute_dft_r2c(m_plans->forward, m_plans->samples, m_plans->bins);
    // The bins at DC and half the sample rate are real; keep their imaginary parts exactly 0.
    m_bins[0].imag(0.0f);
    m_bins[m_half].imag(0.0f);
}

void RealTransform::inverseInPlace() {
    // The bin at half the sample rate is not carried; DC has no imaginary part.
    m_bins[m_half] = {0.0f, 0.0f};
    m_bins[0].imag(0.0f);
    fftwf_execute_dft_c2r(m_plans->inverse, m_plans->bins, m_plans->samples);
    // The unnormalised inverse sums each bin 1..N/2-1 with its mirror image, so 1/N here is
    // the 2/N scaling of the half spectrum with DC counted once.
    const float scale = 1.0f / static_cast<float>(m_n);
    for (int i = 0; i < m_n; ++i)
        m_samples[i] *= scale;
}

void RealTransform::forward(const float* in, const float* window, float* re, float* im) {
    if (window) {
        for (int i = 0; i < m_n; ++i)
            m_samples[i] = in[i] * window[i];
    } else {
        for (int i = 0; i < m_n; ++i)
            m_samples[i] = in[i];
    }
    forwardInPlace();
    for (int k = 0; k < m_half; ++k) {
        re[k] = m_bins[k].real();
        im[k] = m_bins[k].imag();
    }
}

void RealTransform::inverse(const float* re, const float* im, float* out) {
    for (int k = 0; k < m_half; ++k)
        m_bins[k] = {re[k], im[k]};
    inverseInPlace();
    for (int i = 0; i < m_n; ++i)
        out[i] = m_samples[i];
}

} // namespace dita
