#pragma once
// BandDecoder: decodes every keyed CW signal in the receiver's passband at once.
//
// From a wideband copy of the input (decimated once to 11,025 samples/s) it takes short
// spectra, finds peaks between 200 and 3,000 Hz that key on and off above the noise, and opens
// one channel per signal: a mixer that brings the signal to a fixed tone in its own
// 5,512.5 samples/s stream, feeding a CwChannelDecoder with its own speed and text. Channels
// follow their signal's drift, merge when two of them converge on one signal, and close after
// a while of silence. At most kMaxBandChannels are open; a stronger signal displaces the
// weakest channel.
//
// Who calls it: the band decoder's worker thread in the window, and dita-decode --band, one
// processPass() per kPassFrames input pass. Commands may be posted from any thread; they are
// applied at the start of the next pass. Everything else runs on the calling thread and
// allocates nothing per pass.
#include "receive/ReceiveRates.h"
#include "receive/ReceiveSettings.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace dita {

constexpr int kMaxBandChannels = 40;
constexpr double kBandMinHz = 200.0;
constexpr double kBandMaxHz = 3000.0;

// What may change while the band decoder runs: one command per setting or action, made by the
// factory of its name and holding a value of its own type.
class BandCommand {
public:
    // Every channel closed (reported as closed), the scan starts afresh.
    struct Reset {};
    struct TextCase {
        setting::TextCase value;
    };
    struct Prosigns {
        setting::OnOff value;
    };
    struct SpacesMode {
        setting::Switch3 value;
    };

    using Value = std::variant<Reset, TextCase, Prosigns, SpacesMode>;

    static BandCommand reset() { return {Reset{}}; }
    static BandCommand textCase(setting::TextCase chosen) { return {TextCase{chosen}}; }
    static BandCommand prosigns(setting::OnOff on) { return {Prosigns{on}}; }
    static BandCommand spacesMode(setting::Switch3 spaces) { return {SpacesMode{spaces}}; }

    const Value& value() const { return m_value; }

private:
    BandCommand(Value value) : m_value(value) {}
    Value m_value;
};

// One channel as it stands after a pass.
struct BandChannel {
    int id = 0;                // unique over the decoder's life, counting from 1
    double startSeconds = 0.0; // when the signal's first element began (input time)
    double pitchHz = 0.0;      // the signal's frequency now
    int wpm = 0;               // 0 while the speed is not yet known
    double snrDb = 0.0;        // key-down power over the noise in 2,500 Hz
    bool heard = false;        // the signal keyed within its word gaps
    std::string text;          // text decoded in this pass only (the caller keeps the rest)
    int mergedInto = 0;        // closed entries: the id of the channel that took its signal
};

// One pass's results, handed to the window thread by value.
struct BandPassResult {
    double timeSeconds = 0.0; // input time at the end of the pass
    int channelCount = 0;     // open channels, sorted by frequency
    std::array<BandChannel, kMaxBandChannels> channels;
    int closedCount = 0; // channels closed in this pass, with their last text
    std::array<BandChannel, kMaxBandChannels> closed;
};

// A closed channel's whole record.
struct BandRecord {
    int id = 0;
    double startSeconds = 0.0;
    double pitchHz = 0.0;
    int wpm = 0;
    double snrDb = 0.0;
    std::string text;
    int mergedInto = 0;
};

// Gathers each channel's text over the passes and hands out whole records as channels close.
// Used by whoever keeps transcripts (dita-decode --band, tests); it allocates as texts grow.
class BandTranscript {
public:
    // Appends the records of channels closed in this pass to closedNow.
    void add(const BandPassResult& result, std::vector<BandRecord>& closedNow);

private:
    std::map<int, std::string> m_texts;
};

class BandDecoderImpl;

class BandDecoder {
public:
    BandDecoder();
    ~BandDecoder();
    BandDecoder(const BandDecoder&) = delete;
    BandDecoder& operator=(const BandDecoder&) = delete;

    // Any thread: queue a command for the start of the next pass.
    void post(BandCommand command);

    // Worker thread: one pass over kPassFrames samples (sign-extended 16-bit) at 44,100 Hz.
    // The returned reference stays valid until the next call.
    const BandPassResult& processPass(const int32_t* samples);

    // Worker thread: input time skipped (the caller dropped passes to keep up). Channels keep
    // their state; the time base moves on so start times stay true.
    void skip(int passes);

    // Worker thread, at the end of the input: closes every channel and reports them as
    // closed, with any text still held by the decoders.
    const BandPassResult& finish();

private:
    std::unique_ptr<BandDecoderImpl> m_impl;
};

} // namespace dita
