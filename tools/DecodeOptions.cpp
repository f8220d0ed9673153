#include "DecodeOptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace dita {

namespace {

constexpr long kMaxJobs = 256;

// Each option's values and the command each stands for.
using Choices = std::map<std::string, ReceiveCommand>;

const std::map<std::string, Choices>& choices() {
    using C = ReceiveCommand;
    namespace st = setting;
    static const std::map<std::string, Choices> table = {
        {"--threshold",
         {{"quiet", C::thresholdMode(st::ThresholdMode::Quiet)},
          {"normal", C::thresholdMode(st::ThresholdMode::Normal)},
          {"noisy", C::thresholdMode(st::ThresholdMode::Noisy)}}},
        {"--noise-filter",
         {{"on", C::noiseFilter(st::Switch3::On)}, {"off", C::noiseFilter(st::Switch3::Off)}}},
        {"--afc",
         {{"off", C::afcMode(st::AfcWidth::Off)},
          {"narrow", C::afcMode(st::AfcWidth::Narrow)},
          {"medium", C::afcMode(st::AfcWidth::Medium)},
          {"wide", C::afcMode(st::AfcWidth::Wide)}}},
        {"--afc-timer", {{"on", C::afcTimer(st::OnOff::On)}, {"off", C::afcTimer(st::OnOff::Off)}}},
        {"--speed",
         {{"auto", C::receiveSpeedMode(st::RxSpeedLock::Auto)},
          {"50+", C::receiveSpeedMode(st::RxSpeedLock::FiftyPlus)},
          {"50", C::receiveSpeedMode(st::RxSpeedLock::Locked50)},
          {"45", C::receiveSpeedMode(st::RxSpeedLock{4})},
          {"40", C::receiveSpeedMode(st::RxSpeedLock{5})},
          {"35", C::receiveSpeedMode(st::RxSpeedLock{6})},
          {"30", C::receiveSpeedMode(st::RxSpeedLock{7})},
          {"25", C::receiveSpeedMode(st::RxSpeedLock{8})},
          {"20", C::receiveSpeedMode(st::RxSpeedLock{9})},
          {"15", C::receiveSpeedMode(st::RxSpeedLock{10})},
          {"10", C::receiveSpeedMode(st::RxSpeedLock::Locked10)}}},
        {"--case",
         {{"upper", C::textCase(st::TextCase::Upper)},
          {"lower", C::textCase(st::TextCase::Lower)}}},
        {"--prosigns", {{"on", C::prosigns(st::OnOff::On)}, {"off", C::prosigns(st::OnOff::Off)}}},
        {"--non-english",
         {{"on", C::nonEnglish(st::OnOff::On)}, {"off", C::nonEnglish(st::OnOff::Off)}}},
        {"--word-spaces",
         {{"on", C::spacesMode(st::Switch3::On)}, {"off", C::spacesMode(st::Switch3::Off)}}},
        {"--space-time",
         {{"short", C::spaceTime(st::SpaceTime::Short)},
          {"medium", C::spaceTime(st::SpaceTime::Medium)},
          {"long", C::spaceTime(st::SpaceTime::Long)}}},
        {"--decoder",
         {{"enhanced", C::decoder(st::Decoder::Enhanced)},
          {"standard", C::decoder(st::Decoder::Standard)}}},
    };
    return table;
}

// A count or a frequency: decimal digits only (no sign, no spaces), inside [min, max].
bool wholeNumber(const std::string& v, long min, long max, long& n) {
    if (v.empty() || v.size() > 9 ||
        !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    n = std::stol(v);
    return n >= min && n <= max;
}

} // namespace

const char* decodeUsage() {
    return "usage: dita-decode [options] FILE...\n"
           "Decodes CW from sound files (WAV, FLAC, OGG; any rate) and prints the text.\n"
           "  --decoder enhanced|standard          (default enhanced)\n"
           "  --tone HZ|auto            tone to decode (default auto: the strongest keyed tone "
           "200-2500 Hz)\n"
           "  --channel mic|left|right  mic mixes all channels (default)\n"
           "  --threshold quiet|normal|noisy       (default noisy)\n"
           "  --noise-filter on|off                (default off)\n"
           "  --afc off|narrow|medium|wide         (default off)\n"
           "  --afc-timer on|off                   (default off)\n"
           "  --speed auto|50+|50|45|40|35|30|25|20|15|10  (default auto)\n"
           "  --case upper|lower                   (default lower)\n"
           "  --prosigns on|off                    (default on)\n"
           "  --non-english on|off                 (default off)\n"
           "  --word-spaces on|off                 (default on)\n"
           "  --space-time short|medium|long       (default medium)\n"
           "  --band         decode every signal 200-3000 Hz; one line per signal when it ends:\n"
           "                 start time, frequency, speed, text\n"
           "  --format text|jsonl  with --band: lines of text (default) or one JSON object each\n"
           "  --iq           the files are wideband I/Q recordings (stereo WAV: left I, right Q;\n"
           "                 16/24-bit or float, e.g. 48/96/192 kHz); every CW signal in them is\n"
           "                 decoded. With --band: one line (or JSON object) per signal\n"
           "  --center-hz HZ with --iq: the radio frequency of the recording's centre (default:\n"
           "                 from the file name, e.g. name_7025000Hz_IQ.wav or name_7025kHz.wav)\n"
           "  --swap-iq      with --iq: I is on the right channel, Q on the left\n"
           "  --spots        with --iq: print DX-cluster spot lines of calling stations\n"
           "  --spotter CALL with --spots: the spotter named in the lines (default DITA-#)\n"
           "  --stats        print duration, wall time, speed factor, speed and tone to stderr\n"
           "  --trace FILE   write one JSON line per pass\n"
           "  -j, --jobs N   decode N files at once (default: one per processor core); the\n"
           "                 texts are printed in the order the files are given\n"
           "  --help, --version\n";
}

bool parseDecodeOptions(int argc, char** argv, DecodeOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--band") {
            o.band = true;
        } else if (arg == "--iq") {
            o.iq = true;
        } else if (arg == "--swap-iq") {
            o.swapIq = true;
        } else if (arg == "--spots") {
            o.spots = true;
        } else if (arg == "--spotter") {
            if (!value(o.spotter)) return false;
            if (o.spotter.empty() || o.spotter.size() > 12 ||
                o.spotter.find_first_of(" :\t") != std::string::npos) {
                error = "--spotter takes a call of at most 12 characters, not '" + o.spotter + "'";
                return false;
            }
        } else if (arg == "--center-hz") {
            if (!value(v)) return false;
            char* end = nullptr;
            const double hz = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !std::isfinite(hz) || hz <= 0 || hz > 1e11) {
                error = "--center-hz takes a frequency in Hz, not '" + v + "'";
                return false;
            }
            o.centerHz = hz;
        } else if (arg == "--format") {
            if (!value(v)) return false;
            if (v != "text" && v != "jsonl") {
                error = "--format takes text or jsonl, not '" + v + "'";
                return false;
            }
            o.jsonl = v == "jsonl";
        } else if (arg == "--trace") {
            if (!value(o.traceFile)) return false;
        } else if (arg == "-j" || arg == "--jobs" || arg.rfind("-j", 0) == 0) {
            if (arg == "-j" || arg == "--jobs") {
                if (!value(v)) return false;
            } else {
                v = arg.substr(2); // -j4
            }
            long jobs = 0;
            if (!wholeNumber(v, 1, kMaxJobs, jobs)) {
                error = "-j takes a number of files to decode at once, 1 to " +
                        std::to_string(kMaxJobs) + ", not '" + v + "'";
                return false;
            }
            o.jobs = static_cast<int>(jobs);
        } else if (arg == "--channel") {
            if (!value(v)) return false;
            if (v == "mic")
                o.channel = InputChannel::Mic;
            else if (v == "left")
                o.channel = InputChannel::Left;
            else if (v == "right")
                o.channel = InputChannel::Right;
            else {
                error = "--channel takes mic, left or right, not '" + v + "'";
                return false;
            }
        } else if (arg == "--tone") {
            if (!value(v)) return false;
            if (v == "auto") {
                o.toneHz = 0;
            } else {
                long hz = 0;
                if (!wholeNumber(v, 100, 2500, hz)) {
                    error = "--tone takes auto or a frequency from 100 to 2500 Hz, not '" + v + "'";
                    return false;
                }
                o.toneHz = static_cast<int>(hz);
            }
        } else if (auto it = choices().find(arg); it != choices().end()) {
            if (!value(v)) return false;
            auto found = it->second.find(v);
            if (found == it->second.end()) {
                error = arg + " does not take '" + v + "' (see --help)";
                return false;
            }
            o.commands.push_back(found->second);
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see --help)";
            return false;
        } else {
            o.files.push_back(arg);
        }
    }
    if ((o.spots || o.swapIq || o.centerHz > 0) && !o.iq) {
        error = "--spots, --swap-iq and --center-hz go with --iq";
        return false;
    }
    if (o.iq && (o.toneHz > 0 || !o.traceFile.empty() || !o.commands.empty())) {
        error = "--iq decodes every signal of the recording: it takes none of --tone, --trace "
                "and the decoder settings";
        return false;
    }
    if (o.iq && o.spots && o.band) {
        error = "--iq prints either --spots or --band, not both";
        return false;
    }
    if (o.jsonl && !o.band) {
        error = "--format jsonl needs --band";
        return false;
    }
    if (o.band && (o.toneHz > 0 || !o.traceFile.empty())) {
        error = "--band decodes every signal: it takes neither --tone nor --trace";
        return false;
    }
    if (o.files.empty() && !o.help && !o.version) {
        error = "no sound file given (see --help)";
        return false;
    }
    return true;
}

int binForHz(double hz) {
    return static_cast<int>(std::lround(hz / kBinHz)) + 1;
}

int strongestToneBin(const float* power, double minHz, double maxHz, double minDb) {
    // A windowed tone spreads over neighbouring bins; summing three bins also keeps single
    // noise bins, whose power scatters widely, from standing 10 dB over the median by chance.
    const int first = binForHz(minHz);
    const int last = binForHz(maxHz);
    std::vector<float> sums;
    sums.reserve(static_cast<size_t>(last - first + 1));
    int best = first;
    float bestSum = -1.0f;
    for (int k = first; k <= last; ++k) {
        const float sum = power[k - 1] + power[k] + power[k + 1];
        sums.push_back(sum);
        if (sum > bestSum) {
            bestSum = sum;
            best = k;
        }
    }
    std::nth_element(sums.begin(), sums.begin() + sums.size() / 2, sums.end());
    const float median = sums[sums.size() / 2];
    const float ratio = static_cast<float>(std::pow(10.0, minDb / 10.0));
    if (!(bestSum > 0.0f) || bestSum < ratio * median) return 0;
    // Centre on the strongest bin of the three.
    if (power[best - 1] > power[best] && power[best - 1] >= power[best + 1]) return best - 1;
    if (power[best + 1] > power[best]) return best + 1;
    return best;
}

} // namespace dita
