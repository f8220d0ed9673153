#pragma once
// FilterBank: splits wideband I/Q into spectra from which the narrow stream of any channel is
// taken at little cost (a fast-convolution filter bank).
//
// Every hop (half a transform) of input a spectrum of the last fftSize samples is made; it is
// both what the signal scan looks at and what the channels are cut from. A channel centred on
// a bin takes channelSize bins around it, weighted by the response of a low-pass FIR of a
// quarter transform's length, and transforms them back: overlap-save, with the second half of
// the result valid, gives hop / decimation samples of the channel at channelRate, with the
// channel's bin at 0 Hz. Bins are 22-25 Hz wide and channels run at 4-8 kHz whatever the input
// rate (48,000 Hz: 2,048 bins, 6,000 Hz channels; 192,000 Hz: 8,192 bins, 6,000 Hz channels).
//
// Plain class, no Qt; configure on any thread, then push/extract on the decoding thread; no
// allocation after configure.
#include "skim/ComplexTransform.h"

#include <algorithm>
#include <complex>
#include <cstdint>
#include <vector>

namespace dita {

struct FilterBankLayout {
    double rateHz = 0.0;
    int fftSize = 0;     // bins of each spectrum
    int hop = 0;         // input samples between spectra (fftSize / 2)
    int channelSize = 0; // bins a channel takes; its stream has channelSize / 2 samples a hop
    double binHz = 0.0;
    double channelRateHz = 0.0;
};

// The layout for an input rate; false when the rate is outside 8 kHz .. 20 MHz.
bool filterBankLayout(double rateHz, FilterBankLayout& layout);

class FilterBank {
public:
    // Throws std::invalid_argument for a rate filterBankLayout() refuses.
    void configure(double rateHz);
    void reset();
    const FilterBankLayout& layout() const { return m_layout; }

    // Takes count input samples; for every spectrum completed calls onSpectrum(const
    // std::complex<float>* bins), bins in transform order (0 Hz first, negative frequencies in
    // the upper half). The pointer is valid during the call only.
    template <class OnSpectrum>
    void push(const std::complex<float>* x, int count, OnSpectrum&& onSpectrum) {
        while (count > 0) {
            const int take = std::min(count, m_layout.fftSize - m_fill);
            std::copy(x, x + take, m_input.begin() + m_fill);
            m_fill += take;
            x += take;
            count -= take;
            if (m_fill == m_layout.fftSize) {
                transformInput();
                onSpectrum(static_cast<const std::complex<float>*>(m_forward.out()));
            }
        }
    }

    // The channel centred on signed bin `bin` (negative below the centre) of the spectrum made
    // as number `spectrumIndex` (counted from 0): channelSize / 2 samples into out. The index
    // keeps the channel's phase continuous from one spectrum to the next.
    void extract(const std::complex<float>* spectrum, int bin, int64_t spectrumIndex,
                 std::complex<float>* out);

private:
    void transformInput();

    FilterBankLayout m_layout;
    ComplexTransform m_forward;
    ComplexTransform m_backward;
    std::vector<std::complex<float>> m_input;
    int m_fill = 0;
    std::vector<std::complex<float>> m_response; // channelSize weights, transform order, 1/N
};

} // namespace dita
