#pragma once
// ComplexTransform: an unscaled discrete Fourier transform of complex sequences of one length,
// forward (e^-j) or backward (e^+j), on FFTW single precision. Fill in(), call execute(), read
// out(). configure() allocates and plans (under the process's FFTW planner lock, so instances
// may be configured on several threads); execute() only runs the plan. Plain class, one
// instance per thread.
#include <complex>

namespace dita {

class ComplexTransform {
public:
    enum class Direction { Forward, Backward };

    ComplexTransform() = default;
    ~ComplexTransform();
    ComplexTransform(const ComplexTransform&) = delete;
    ComplexTransform& operator=(const ComplexTransform&) = delete;

    void configure(int n, Direction direction);
    int size() const { return m_n; }
    std::complex<float>* in() { return m_in; }
    const std::complex<float>* out() const { return m_out; }
    void execute();

private:
    void release();

    int m_n = 0;
    std::complex<float>* m_in = nullptr;
    std::complex<float>* m_out = nullptr;
    void* m_plan = nullptr;
};

} // namespace dita
