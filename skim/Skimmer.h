#pragma once
// Skimmer: decodes every keyed CW signal in a wideband I/Q stream at once and picks out the
// calls of calling stations as spots.
//
// Stages: IqCorrector (DC spike, I/Q imbalance) -> FilterBank (a spectrum every ~21 ms) ->
// a scan of every bin for signals that key on and off above the noise (a steady carrier never
// does; the keying spread of a stronger neighbour and the mirror image of a strong signal
// are told apart by when they key) -> one channel per signal: its stream cut from the
// spectra, mixed onto the signal, narrowed by a 40 Hz low-pass and decoded by its own
// CwChannelDecoder -> a CallReader per channel for the spots. The spectra of the last seconds
// are kept, so a channel opened once the scan has seen a signal key is decoded from the
// signal's first element.
//
// Who calls it: dita-decode --iq and dita-skimmer, on their decoding thread: configure(),
// then process() with blocks of any length as they arrive, finish() at the end of the input.
// Not thread-safe; no Qt.
#include "skim/FilterBank.h"
#include "skim/Spots.h"

#include <complex>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace dita {

struct SkimmerSettings {
    double centerHz = 0.0;        // radio frequency of the input's centre; 0: frequencies are
                                  // offsets from the centre
    int maxChannels = 96;         // signals decoded at once; a stronger one displaces the weakest
    double closeSeconds = 10.0;   // silence after which a signal's channel closes
    double respotSeconds = 600.0; // a call is spotted again near the same frequency after this
};

// An open channel after a block.
struct SkimChannel {
    int id = 0;
    double freqHz = 0.0; // radio frequency (or offset, without a centre)
    int wpm = 0;         // 0 while not yet known
    double snrDb = 0.0;  // key-down power over the noise in 500 Hz
    double startSeconds = 0.0;
    std::string text; // decoded in this block
};

// A closed channel's whole record.
struct SkimRecord {
    int id = 0;
    double freqHz = 0.0;
    int wpm = 0;
    double snrDb = 0.0;
    double startSeconds = 0.0;
    double endSeconds = 0.0;
    std::string text;
};

struct SkimSpot {
    std::string call;
    double freqHz = 0.0;
    double snrDb = 0.0;
    int wpm = 0;
    double timeSeconds = 0.0; // input time when the call was read the second time
    bool calling = false;     // after CQ or TEST (else after DE)
};

// The cluster line's fields for a spot read at the UTC time `when`.
ClusterSpot clusterSpotOf(const SkimSpot& spot, const std::string& spotter, std::time_t when);

struct SkimResult {
    double timeSeconds = 0.0; // input time at the end of the block
    std::vector<SkimChannel> channels;
    std::vector<SkimRecord> closed;
    std::vector<SkimSpot> spots;
};

class SkimmerImpl;

class Skimmer {
public:
    Skimmer();
    ~Skimmer();
    Skimmer(const Skimmer&) = delete;
    Skimmer& operator=(const Skimmer&) = delete;

    // Throws std::invalid_argument for a rate the filter bank cannot split.
    void configure(double rateHz, const SkimmerSettings& settings);
    const FilterBankLayout& layout() const;

    // Decodes count samples (scaled to 16-bit units). The result stays valid until the next call.
    const SkimResult& process(const std::complex<float>* iq, int count);
    // End of the input: every channel is flushed and closed.
    const SkimResult& finish();

private:
    std::unique_ptr<SkimmerImpl> m_impl;
};

} // namespace dita
