#pragma once
// PolyphaseResampler: converts a stream of samples between two rates whose ratio is a fraction
// up/down with a small numerator (44,100 Hz from 8,000, 11,025, 12,000, 16,000, 22,050, 32,000,
// 48,000 or 96,000 Hz). Every output sample is one dot product of the input around it with the
// taps of its phase, read from a table made once by configure(); a converter for any ratio
// instead works its taps out again for every sample, which cost sound-file decoding most of
// its time.
//
// The filter is a Kaiser-windowed sinc, linear in phase: flat to 80 % of the lower of the two
// Nyquist frequencies and at least kStopbandDb down from that frequency on, so nothing above
// it is mirrored into the output. Output sample n stands for input time n * down / up, as the
// input would be sampled at the output rate.
//
// Who calls it: SoundFileReader, on one thread. Plain class, no allocation after configure().
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dita {

class PolyphaseResampler {
public:
    // Whether configure() takes this pair of rates: false for a ratio whose table would be
    // too large (e.g. 44,056 to 44,100 Hz) or a filter too long (e.g. from 1 MHz).
    static bool handles(int inRateHz, int outRateHz);

    // Designs the filter and its table, and resets; the rates must be ones handles() takes.
    void configure(int inRateHz, int outRateHz);
    // Back to the start of a stream.
    void reset();

    struct Result {
        size_t inputUsed = 0;
        size_t outputWritten = 0;
    };
    // Takes what input there is room for and writes the output samples it completes. With
    // endOfInput set, once the last input is taken the filter's tail is flushed: N inputs give
    // ceil(N * up / down) outputs in all.
    Result process(const float* in, size_t inCount, float* out, size_t outCapacity,
                   bool endOfInput);
    // Every output of the stream has been written (after endOfInput).
    bool finished() const;

private:
    // Writes outputs while the buffered input covers their windows.
    size_t produce(float* out, size_t capacity);

    int m_up = 1;
    int m_down = 1;
    int m_taps = 0;              // taps per phase, a multiple of kTapGroup
    std::vector<float> m_table;  // m_up phases of m_taps taps each
    std::vector<float> m_buffer; // input samples; m_buffer[m_windowStart] begins the next window
    size_t m_buffered = 0;
    size_t m_windowStart = 0;
    int m_phase = 0; // (n * down) mod up for the next output n
    int64_t m_inputTotal = 0;
    int64_t m_outputTotal = 0;
    int64_t m_outputLimit = 0; // set when the input has ended and its tail is buffered
    bool m_flushed = false;
};

} // namespace dita
