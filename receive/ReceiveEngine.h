#pragma once
// ReceiveEngine: the per-pass receive pipeline, from 8192 converted samples to decoded text.
//
// Who calls it: the receive run loop's worker thread (the main window) and dita-decode, one
// processPass() per 8192-frame input pass. Commands (decoder reset, tune, menu settings) may be
// posted from any thread; they are applied at the start of the next pass, in posting order,
// never in the middle of one. Everything else runs on the calling thread and allocates nothing
// per pass.
#include "receive/ReceiveRates.h"
#include "receive/ReceiveSettings.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>

namespace dita {

constexpr int kLineBins = 422;            // bins drawn by the line spectrum
constexpr int kWaterfallBins = 512;       // bins coloured in the waterfall row
constexpr int kMaxClickBin = 480;         // a click on the display tunes at most to this bin
constexpr int kDecoderResetSpeedWpm = 35; // both receive speeds right after a decoder reset

// What the window may change: one command per setting or action, made by the factory of its
// name and holding a value of its own type, so that a command carries only what its kind takes.
// The settings' values and meanings are those of the operating settings.
class ReceiveCommand {
public:
    // ClearButtonClick.
    struct DecoderReset {};
    // A click on the spectrum; the bin is clamped to 1..kMaxClickBin.
    struct TuneToBin {
        int value;
    };
    // Quiet, Normal, Noisy (3 accepted from a file, no menu item); then a decoder reset.
    struct ThresholdMode {
        setting::ThresholdMode value;
    };
    // On: the filter's own (re)initialisation; either way a decoder reset.
    struct NoiseFilter {
        setting::Switch3 value;
    };
    struct AfcMode {
        setting::AfcWidth value;
    };
    struct AfcTimer {
        setting::OnOff value;
    };
    // RxSpeedLock 1..11: sets the speeds, clears the AFC hold, decoder reset.
    struct ReceiveSpeedMode {
        setting::RxSpeedLock value;
    };
    struct TextCase {
        setting::TextCase value;
    };
    struct Prosigns {
        setting::OnOff value;
    };
    struct NonEnglish {
        setting::OnOff value;
    };
    struct TextDisplay {
        setting::OnOff value;
    };
    struct SpacesMode {
        setting::Switch3 value;
    };
    struct SpaceTime {
        setting::SpaceTime value;
    };
    // Line or waterfall (the spectrum image is cleared to black); another value draws nothing.
    struct DisplayType {
        setting::DisplayType value;
    };
    // The gain slider's position 1..20.
    struct DisplayGain {
        int value;
    };
    // Receive only shows the raw SNR text.
    struct ScreenOpMode {
        setting::ScreenOpMode value;
    };
    // The configuration load: sets TunedBin without the click's resets.
    struct SetTunedBin {
        int value;
    };
    // The run loop is (re)entered: idle counter, pass counter, inputs reset.
    struct LoopEntry {};
    // Which decoder writes the text.
    struct Decoder {
        setting::Decoder value;
    };

    using Value = std::variant<DecoderReset, TuneToBin, ThresholdMode, NoiseFilter, AfcMode,
                               AfcTimer, ReceiveSpeedMode, TextCase, Prosigns, NonEnglish,
                               TextDisplay, SpacesMode, SpaceTime, DisplayType, DisplayGain,
                               ScreenOpMode, SetTunedBin, LoopEntry, Decoder>;

    static ReceiveCommand decoderReset() { return {DecoderReset{}}; }
    static ReceiveCommand tuneToBin(int bin) { return {TuneToBin{bin}}; }
    static ReceiveCommand thresholdMode(setting::ThresholdMode mode) {
        return {ThresholdMode{mode}};
    }
    static ReceiveCommand noiseFilter(setting::Switch3 filter) { return {NoiseFilter{filter}}; }
    static ReceiveCommand afcMode(setting::AfcWidth width) { return {AfcMode{width}}; }
    static ReceiveCommand afcTimer(setting::OnOff timer) { return {AfcTimer{timer}}; }
    static ReceiveCommand receiveSpeedMode(setting::RxSpeedLock lock) {
        return {ReceiveSpeedMode{lock}};
    }
    static ReceiveCommand textCase(setting::TextCase chosen) { return {TextCase{chosen}}; }
    static ReceiveCommand prosigns(setting::OnOff on) { return {Prosigns{on}}; }
    static ReceiveCommand nonEnglish(setting::OnOff on) { return {NonEnglish{on}}; }
    static ReceiveCommand textDisplay(setting::OnOff on) { return {TextDisplay{on}}; }
    static ReceiveCommand spacesMode(setting::Switch3 spaces) { return {SpacesMode{spaces}}; }
    static ReceiveCommand spaceTime(setting::SpaceTime time) { return {SpaceTime{time}}; }
    static ReceiveCommand displayType(setting::DisplayType type) { return {DisplayType{type}}; }
    static ReceiveCommand displayGain(int position) { return {DisplayGain{position}}; }
    static ReceiveCommand screenOpMode(setting::ScreenOpMode mode) { return {ScreenOpMode{mode}}; }
    static ReceiveCommand setTunedBin(int bin) { return {SetTunedBin{bin}}; }
    static ReceiveCommand loopEntry() { return {LoopEntry{}}; }
    static ReceiveCommand decoder(setting::Decoder chosen) { return {Decoder{chosen}}; }

    const Value& value() const { return m_value; }
    // The command's value when it is of kind T, else null.
    template <typename T> const T* get() const { return std::get_if<T>(&m_value); }
    bool sameKind(const ReceiveCommand& other) const {
        return m_value.index() == other.m_value.index();
    }
    // Same kind and same value.
    friend bool operator==(const ReceiveCommand& a, const ReceiveCommand& b) {
        return a.sameKind(b) && std::visit(
                                    [&b](const auto& x) {
                                        using T = std::decay_t<decltype(x)>;
                                        if constexpr (std::is_empty_v<T>)
                                            return true;
                                        else
                                            return x.value == std::get<T>(b.m_value).value;
                                    },
                                    a.m_value);
    }
    friend bool operator!=(const ReceiveCommand& a, const ReceiveCommand& b) { return !(a == b); }

private:
    ReceiveCommand(Value value) : m_value(value) {}
    Value m_value;
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
    setting::Decoder decoder() const;
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
