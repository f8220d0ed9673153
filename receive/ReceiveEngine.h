#pragma once
// ReceiveEngine: the per-pass receive pipeline, from 8192 converted samples to decoded text.
//
// Who calls it: the receive run loop's worker thread (the main window) and dita-decode, one
// processPass() per 8192-frame input pass. Commands (decoder reset, tune, menu settings) may be
// posted from any thread; they are applied at the start of the next pass, in posting order,
// never in the middle of one. Everything else runs on the calling thread and allocates nothing
// per pass.
#include "receive/ReceiveRates.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace dita {

constexpr int kLineBins = 422;            // bins drawn by the line spectrum
constexpr int kWaterfallBins = 512;       // bins coloured in the waterfall row
constexpr int kMaxClickBin = 480;         // a click on the display tunes at most to this bin
constexpr int kDecoderResetSpeedWpm = 35; // both receive speeds right after a decoder reset

// What the window may change. Values and meanings are those of the operating settings.
enum class ReceiveCommandKind {
    DecoderReset,     // ClearButtonClick
    TuneToBin,        // a click on the spectrum; value = bin (clamped to 1..kMaxClickBin)
    ThresholdMode,    // 4 Quiet, 0 Normal, 1 Noisy (3 accepted, no menu item); then decoder reset
    NoiseFilter,      // 3 on, 0 off; then the filter's own (re)initialisation and decoder reset
    AfcMode,          // 0 off, 1 narrow, 2 medium, 3 wide
    AfcTimer,         // 0 off, 1 on
    ReceiveSpeedMode, // RxSpeedLock 1..11: sets the speeds, clears AFC hold, decoder reset
    TextCase,         // 1 upper, 0 lower
    Prosigns,         // 1 on, 0 off
    NonEnglish,       // 1 on, 0 off
    TextDisplay,      // 1 on, 0 off
    SpacesMode,       // 3 on, 0 off
    SpaceTime,        // 0 short, 1 medium, 2 long
    DisplayType,      // 0 line, 1 waterfall (the spectrum image is cleared to black)
    DisplayGain,      // slider position 1..20
    ScreenOpMode,     // 0 receive only (raw SNR text shown), 1 transmit/receive
    SetTunedBin,      // configuration load: sets TunedBin without the click's resets
    LoopEntry,        // the run loop is (re)entered: idle counter, pass counter, inputs reset
    Decoder,          // kDecoderEnhanced or kDecoderStandard: which decoder writes the text
};

// Decoder values: the enhanced decoder is 0, what an unset setting holds.
constexpr int kDecoderEnhanced = 0;
constexpr int kDecoderStandard = 1;

struct ReceiveCommand {
    ReceiveCommandKind kind;
    int value = 0;
};

// One pass's results, handed to the window thread by value.
struct PassResult {
    std::string text;          // UTF-8 text written at the receive caret, in order ("\r\n" kept)
    int tunedBin = 100;        // TunedBin after the AFC
    int markerHz = 0;          // MkrLabel: trunc((TunedBin - 1) * kBinHz)
    bool rawSnrShown = false;  // RawSnrMemo is set only in receive-only mode with TunedBin > 25
    int displayedSnr = 0;      // RawSnrMemo shows "RAW = " followed by this
    int receiveWpm = 0;        // RcvWPMPnl caption (the chosen decoder's speed)
    double signalBarValue = 0; // SignalBar value: 0.55 * sqrt(S)
    uint32_t signalBarColor = 0xFF0000; // BGR as the bar expects: blue
    int displayType = 0;                // 0 line, 1 waterfall, other: nothing drawn
    bool clearSpectrumBlack = false;    // the display mode changed: clear the spectrum image black
    // Line mode: trace height h for bins 1..kLineBins (index 0 unused); y = 110 - h.
    std::array<int16_t, kLineBins + 1> traceHeight{};
    // Waterfall mode: the new top row, 0xRRGGBB for bins 1..kWaterfallBins (index 0 unused).
    std::array<uint32_t, kWaterfallBins + 1> waterfallRow{};
    // Timeline arrays for steps 1..65 (index 0 unused): step level E, threshold L, noise N,
    // key state K. Entry 1 carries the previous pass's entry 65.
    std::array<int32_t, 66> timelineE{};
    std::array<float, 66> timelineL{};
    std::array<float, 66> timelineN{};
    std::array<float, 66> timelineK{};
};

// Detector levels for tracing and tests.
struct ReceiveLevels {
    float signal = 0;    // S
    float noise = 0;     // N
    float threshold = 0; // L
    float noisePeak = 0; // P
    int rawSnr = 0;
};

class ReceiveEngineImpl;

class ReceiveEngine {
public:
    ReceiveEngine();
    ~ReceiveEngine();
    ReceiveEngine(const ReceiveEngine&) = delete;
    ReceiveEngine& operator=(const ReceiveEngine&) = delete;

    // Any thread: queue a command for the start of the next pass.
    void post(ReceiveCommand command);

    // Worker thread: run one pass over kPassFrames converted samples (sign-extended 16-bit).
    // The returned reference stays valid until the next call.
    const PassResult& processPass(const int32_t* samples);

    // Worker thread, between passes: read-only views for tests and tools.
    int tunedBin() const;
    int receiveWpm() const;
    int decoder() const;
    // The enhanced decoder's tone in Hz (0 while it has not captured one).
    double enhancedPitchHz() const;
    // The enhanced decoder knows the sender's timing (false while it gathers after a reset or
    // between overs, when what it hears is held until the timing is known).
    bool enhancedTimingKnown() const;
    bool acquiring() const;
    ReceiveLevels levels() const;
    // The power spectrum of the last pass before display scaling, bins 1..2048 (index 0
    // unused); kept only after keepUnscaledSpectrum(true), otherwise null.
    const float* unscaledSpectrum() const;
    void keepUnscaledSpectrum(bool keep);
    // Worker thread, between passes: nothing shows this engine's display outputs (trace
    // heights, waterfall row, timeline, signal bar, raw SNR, levels()). While the enhanced
    // decoder writes the text they are left as they are and the standard chain rests, as none
    // of its work reaches the text; the text, tuned bin, marker and speed are unchanged. The
    // standard decoder works in full either way. Off by default.
    void setHeadless(bool headless);

private:
    std::unique_ptr<ReceiveEngineImpl> m_impl;
};

} // namespace dita
