#pragma once
// Spectrum stage of the receive chain: the 4096-point windowed power spectrum of each pass,
// the automatic frequency control (AFC) that moves the tuned bin to the strongest nearby tone,
// and the display scaling of the power spectrum into line-trace heights or waterfall colours.
//
// Used by ReceiveEngine on its worker thread, once per pass, in that order. Power spectrum
// arrays are indexed by bin number: bin 1 is direct current, bin k stands for
// (k - 1) * 5.38330078125 Hz.
#include "receive/chain/RealTransform.h"

#include <array>
#include <cstdint>

namespace dita {

constexpr int kSpectrumInput = 4096;
constexpr int kSpectrumBins = 2048;
using PowerSpectrum = std::array<float, kSpectrumBins + 1>; // index 0 unused

class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();
    // input: 4096 samples at 22,050 per second; fills power[1..2048].
    void process(const float* input, PowerSpectrum& power);

private:
    RealTransform m_transform;
    std::array<float, kSpectrumInput + 1> m_window{};
};

// AFC modes (AfcWidth) and their search half-widths (AfcSpan).
struct AfcSettings {
    bool on = false;
    int width = 0; // 0 off, 1 narrow, 2 medium, 3 wide
    int span = 20;
    bool holdTimer = false;
};
AfcSettings afcSettingsForMode(int width);

class Afc {
public:
    static constexpr int kHoldPasses = 300;

    void setSettings(const AfcSettings& settings) { m_settings = settings; }
    const AfcSettings& settings() const { return m_settings; }
    // A spectrum click or a receive speed choice: the AFC follows again, also when the hold
    // was already due for the next pass.
    void clearHold() {
        m_holdCounter = 0;
        m_held = false;
        m_holdNextPass = false;
    }
    void setCandidate(int bin) { m_candidate = bin; }
    bool held() const { return m_held; }
    int candidate() const { return m_candidate; }

    // One pass: may move tunedBin. Returns true when it moved by more than 2 bins, in which
    // case the detector's signal level restarts from its noise level.
    bool update(const PowerSpectrum& power, int& tunedBin, int rawSnr, bool longSilence);

private:
    AfcSettings m_settings;
    int m_holdCounter = 0;
    bool m_held = false;
    bool m_holdNextPass = false;
    float m_peakAverage = 0.0f;
    int m_candidate = 100;
};

// Display gain factor of a gain-bar position 1..20.
double displayGainFactor(int position);
// Colour (0xRRGGBB) of a waterfall level.
uint32_t waterfallColour(int level);

// Scales the power spectrum in place for the display and computes the trace or the colour
// row. The raw SNR reading that follows in the same pass reads the scaled values.
class DisplayScaler {
public:
    static constexpr int kLineBins = 422;
    static constexpr int kWaterfallBins = 512;
    static constexpr int kBaseline = 110;  // image height 130 less 20
    static constexpr int kFlatHeight = 14; // trace height with no signal (96 px from the top)

    void setGainPosition(int position) { m_gain = 2.0 * displayGainFactor(position) * 100.0; }
    double gain() const { return m_gain; }

    // Line mode: bins 1..422 scaled by gain * 0.05, smoothed, heights into heights[1..422].
    // sideAmplitude is the raw SNR reading's side amplitude of the previous pass.
    void line(PowerSpectrum& power, float sideAmplitude, int16_t* heights);
    // Waterfall mode: bins 1..512 scaled by gain * 0.03, colours into row[1..512].
    void waterfall(PowerSpectrum& power, uint32_t* row);

private:
    double m_gain = 2.0 * 1e-11; // until a gain-bar position is first applied
    std::array<float, kSpectrumBins + 1> m_smoothed{};
};

} // namespace dita
