#include "skim/ComplexTransform.h"

#include "receive/chain/RealTransform.h"

#include <fftw3.h>

#include <mutex>
#include <stdexcept>

namespace dita {

ComplexTransform::~ComplexTransform() {
    release();
}

void ComplexTransform::release() {
    std::lock_guard<std::mutex> lock(fftwPlannerMutex());
    if (m_plan) fftwf_destroy_plan(static_cast<fftwf_plan>(m_plan));
    fftwf_free(m_in);
    fftwf_free(m_out);
    m_plan = nullptr;
    m_in = m_out = nullptr;
    m_n = 0;
}

void ComplexTransform::configure(int n, Direction direction) {
    release();
    std::lock_guard<std::mutex> lock(fftwPlannerMutex());
    auto* in = fftwf_alloc_complex(static_cast<size_t>(n));
    auto* out = fftwf_alloc_complex(static_cast<size_t>(n));
    // FFTW_ESTIMATE: the same algorithm on every run, so results do not vary between runs.
    fftwf_plan plan = in && out ? fftwf_plan_dft_1d(n, in, out,
                                                    direction == Direction::Forward ? FFTW_FORWARD
                                                                                    : FFTW_BACKWARD,
                                                    FFTW_ESTIMATE)
                                : nullptr;
    if (!plan) {
        fftwf_free(in);
        fftwf_free(out);
        throw std::runtime_error("cannot plan the transform");
    }
    m_in = reinterpret_cast<std::complex<float>*>(in);
    m_out = reinterpret_cast<std::complex<float>*>(out);
    for (int i = 0; i < n; ++i)
        m_in[i] = {};
    m_plan = plan;
    m_n = n;
}

void ComplexTransform::execute() {
    fftwf_execute(static_cast<fftwf_plan>(m_plan));
}

} // namespace dita
