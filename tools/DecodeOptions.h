#pragma once
// Command-line options of dita-decode, parsed into receive commands. GUI-free.
#include "receive/ReceiveEngine.h"
#include "receive/SoundFileReader.h"

#include <string>
#include <vector>

namespace dita {

struct DecodeOptions {
    std::vector<ReceiveCommand> commands; // posted before the first pass, in order
    InputChannel channel = InputChannel::Mic;
    int toneHz = 0; // 0: find the tone automatically
    bool stats = false;
    bool band = false;  // every signal in the passband, one line per channel
    bool jsonl = false; // --format jsonl (band decoding only)
    std::string traceFile;
    // Wideband I/Q recordings (stereo: left I, right Q) decoded by the skimmer.
    bool iq = false;
    bool swapIq = false;
    double centerHz = 0.0; // 0: from the file name, else offsets from the centre
    bool spots = false;    // print cluster spot lines instead of the signals' texts
    std::string spotter = "DITA-#";
    int jobs = 0; // files decoded at once; 0: one per processor core
    std::vector<std::string> files;
    bool help = false;
    bool version = false;
};

// Parses argv; on a bad option returns false and sets error.
bool parseDecodeOptions(int argc, char** argv, DecodeOptions& options, std::string& error);
const char* decodeUsage();

// The tuned bin nearest a tone frequency.
int binForHz(double hz);

// Finds the strongest tone between minHz and maxHz that stands at least minDb above the
// median of that range (both measured over three neighbouring bins); 0 when none does.
// power is indexed by bin (1-based).
int strongestToneBin(const float* power, double minHz, double maxHz, double minDb);

} // namespace dita
