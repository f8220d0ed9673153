#pragma once
// BandPassFilter: the windowed-sinc band-pass around the tuned tone, redesigned every pass, and
// its two-stage fast convolution over the 1024-sample narrowband block (5,512.5 samples/s).
//
// Used by ReceiveEngine on its worker thread: design() then process() once per pass. The
// response of the 2048-point kernel transform multiplies the bins of 1024-point block
// transforms, so the pass band the signal sees lies at twice the designed normalised
// frequencies; the centre formula (bin - 2.7) / 2024 accounts for that.
#include "receive/chain/RealTransform.h"

#include <array>
#include <complex>

namespace dita {

constexpr int kNarrowbandBlock = 1024;

// Half width (normalised to the narrowband rate) by receive speed in words per minute.
float speedWidth(int wpm);
// Half width of the per-pass design for a receive speed mode and speed.
float passHalfWidth(int speedMode, int wpm);
// Half width the decoder reset designs with for a receive speed mode.
float resetHalfWidth(int speedMode);
// Normalised filter centre of a tuned spectrum bin.
float filterCentreForBin(int tunedBin);

// Unit-sum windowed-sinc low-pass of m + 1 taps (Blackman-Harris window).
void designLowPass(int m, float cutoff, float* taps);

class BandPassFilter {
public:
    static constexpr int kDesignLength = 1024; // M: taps 0..M
    static constexpr int kResponseLength = 2 * kDesignLength;
    static constexpr int kHalfBlock = kNarrowbandBlock / 2;

    BandPassFilter();
    // Clears the overlap stores (the decoder reset does not call this: a tone ending at a pass
    // boundary rings out into the next pass).
    void reset();
    // Designs the band-pass between the two edges and takes its response.
    void design(float lowerEdge, float upperEdge);
    // Filters one narrowband block in place through both stages.
    void process(float* block);

    const std::array<float, kDesignLength + 1>& kernel() const { return m_kernel; }
    float responseRe(int bin) const { return m_response[bin - 1].real(); } // bins 1..1023

private:
    void stage(float* x, std::array<float, kHalfBlock>& overlap);
    void convolveHalf(const float* in, RealTransform& transform);

    RealTransform m_designTransform;
    // One transform per half block, so the first half's output stays in place while the
    // second half is filtered.
    std::array<RealTransform, 2> m_blockTransforms;
    std::array<float, kDesignLength + 1> m_window{};
    std::array<float, kDesignLength + 1> m_kernel{};
    std::array<float, kDesignLength + 1> m_scratch{};
    std::array<std::complex<float>, kDesignLength> m_response{};
    bool m_designed = false;
    float m_lowerEdge = 0.0f;
    float m_upperEdge = 0.0f;
    // Output tails (the second half's upper 512 samples) carried into the next pass.
    std::array<float, kHalfBlock> m_overlap1{};
    std::array<float, kHalfBlock> m_overlap2{};
};

// NoiseFilter: the optional adaptive predictor (21-weight normalised LMS) that cleans the
// narrowband block before the band-pass. Used by ReceiveEngine on its worker thread.
class NoiseFilter {
public:
    static constexpr int kTaps = 21;
    // Clears weights, delay line and the previous sample; sets the step size and the power.
    void reset();
    // Replaces every sample by the prediction made from the previous (unfiltered) sample.
    void process(float* block, int count);

private:
    float predict(float input, float desired);

    std::array<float, kTaps> m_weights{};
    std::array<float, kTaps> m_delay{};
    float m_power = 2.0f;
    float m_previous = 0.0f;
    float m_stepSize = 0.0f;
};

} // namespace dita
