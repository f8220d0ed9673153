// bench_latency: how long after a character ends the window shows it.
//
// Keyed audio of known timing goes through the receive engine as the window drives it: the
// enhanced decoder, the display outputs worked out (not headless), the loop entered with the
// tuned bin at the configuration's AFC start, and one pass per 8192 frames. Each decoded
// character is matched to the sent one; its latency is the audio time at the end of the pass
// that first writes it minus the end of its last element. The window runs a pass as soon as its
// audio has arrived, so audio time is the window's clock and the figures do not depend on the
// machine. Not part of the test suite.
//
// Characters written in a pass at whose start the decoder did not know the sender's timing (it
// gathers after a reset and between overs) are the start recovery's hold; the rest are "after
// the timing is known".
//
// Usage: bench_latency [--wpm 5,12,20,35,60] [--snr 20,-3] [--seeds 5] [--tone 650] [--verbose]
//        plus the keying: [--spacing WPM] (Farnsworth) [--dash DOTS] [--weight W] [--fade DB]
#include "app/settings/OperatingSettings.h"
#include "receive/ReceiveEngine.h"
#include "receive/tests/CwSynth.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace dita;

namespace {

constexpr double kPassSeconds = kPassFrames / static_cast<double>(kSampleRateHz);
// Passes of silence after the text, so that the last character comes out.
constexpr int kFlushPasses = 12;
// Noise before the first element, as a receiver gives it before a station starts.
constexpr double kLeadSeconds = 2.0;
constexpr double kDefaultToneHz = 650.0;
constexpr double kMedian = 0.5;
constexpr double kHighPercentile = 0.95;
// Letters, figures and a stroke only: no code that the decoder may write as a prosign name.
const char* const kText =
    "CQ CQ DE DL1ABC DL1ABC K R TNX FER CALL UR RST 599 5NN NAME JOE QTH MUNICH "
    "HW CPY K DE W1AW/3 73";

using SentCharacter = test::KeyedCharacter;

struct WrittenCharacter {
    char c;
    int pass;
    bool held; // written while the timing was being learnt
};

double passEndSeconds(int pass) {
    return (pass + 1) * kPassSeconds;
}

// A written character can stand for a sent one only if the pass that wrote it ended after the
// character did.
bool matches(const SentCharacter& s, const WrittenCharacter& w) {
    return s.c == w.c && passEndSeconds(w.pass) >= s.endSeconds;
}

struct RunResult {
    std::vector<double> start; // latencies of characters held until the timing was known
    std::vector<double> after; // latencies once it was known
    int sent = 0;
    int edits = 0;
    double settleSeconds = -1; // audio time at the end of the pass that first knew the timing
};

// Pairs of (sent, written) indices of matching characters on a least-edit alignment; edits
// counts the edits.
std::vector<std::pair<size_t, size_t>> align(const std::vector<SentCharacter>& sent,
                                             const std::vector<WrittenCharacter>& written,
                                             int& edits) {
    const size_t n = sent.size();
    const size_t m = written.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = 0; i <= n; ++i)
        d[i][0] = static_cast<int>(i);
    for (size_t j = 0; j <= m; ++j)
        d[0][j] = static_cast<int>(j);
    for (size_t i = 1; i <= n; ++i) {
        for (size_t j = 1; j <= m; ++j) {
            const int same = matches(sent[i - 1], written[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + same});
        }
    }
    edits = d[n][m];
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t i = n, j = m; i > 0 && j > 0;) {
        // Among alignments of least edits, the one that matches each sent character to the
        // earliest written one: a stray character written later (noise read in a long gap) is
        // left out rather than the true one.
        const int same = matches(sent[i - 1], written[j - 1]) ? 0 : 1;
        if (d[i][j] == d[i][j - 1] + 1) {
            --j;
        } else if (d[i][j] == d[i - 1][j - 1] + same) {
            if (same == 0) pairs.emplace_back(i - 1, j - 1);
            --i;
            --j;
        } else {
            --i;
        }
    }
    std::reverse(pairs.begin(), pairs.end());
    return pairs;
}

RunResult measure(const test::CwSignal& s, bool verbose) {
    const std::vector<SentCharacter> sent = test::keyedCharacters(kText, s);
    std::vector<int32_t> audio = test::synthesize(kText, s);
    audio.resize((audio.size() / kPassFrames + kFlushPasses) * kPassFrames, 0);

    ReceiveEngine engine;
    engine.post({ReceiveCommandKind::Decoder, kDecoderEnhanced});
    engine.post({ReceiveCommandKind::SetTunedBin, kAfcStartBin});
    engine.post({ReceiveCommandKind::LoopEntry, 0});
    std::vector<WrittenCharacter> written;
    std::string text;
    int settlePass = -1;
    for (size_t i = 0; i + kPassFrames <= audio.size(); i += kPassFrames) {
        const int pass = static_cast<int>(i / kPassFrames);
        const bool knownBefore = engine.enhancedTimingKnown();
        const PassResult& r = engine.processPass(&audio[i]);
        if (settlePass < 0 && engine.enhancedTimingKnown()) settlePass = pass;
        if (verbose) text += r.text;
        for (const char c : r.text) {
            if (!std::isspace(static_cast<unsigned char>(c))) {
                written.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(c))),
                                   pass, !knownBefore});
            }
        }
    }

    RunResult result;
    result.sent = static_cast<int>(sent.size());
    result.settleSeconds = settlePass < 0 ? -1 : (settlePass + 1) * kPassSeconds;
    if (verbose) {
        std::printf(
            "%.0f wpm, %.0f dB, seed %u: timing known from pass %d, read as %d wpm, text \"%s\"\n",
            s.wpm, s.snrDb, s.seed, settlePass, engine.receiveWpm(), text.c_str());
    }
    for (const auto& [si, wi] : align(sent, written, result.edits)) {
        const int pass = written[wi].pass;
        const double latency = passEndSeconds(pass) - sent[si].endSeconds;
        (written[wi].held ? result.start : result.after).push_back(latency);
        if (verbose) {
            std::printf("  %c ends %7.2f s, written in pass %4d: %5.2f s%s\n", sent[si].c,
                        sent[si].endSeconds, pass, latency, written[wi].held ? " (held)" : "");
        }
    }
    return result;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    // Nearest rank.
    const auto rank =
        static_cast<size_t>(std::max(1.0, std::ceil(p * static_cast<double>(v.size()))));
    return v[std::min(rank, v.size()) - 1];
}

std::vector<double> parseList(const std::string& s) {
    std::vector<double> out;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, ','))
        out.push_back(std::atof(item.c_str()));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<double> speeds = {5, 12, 20, 35, 60};
    std::vector<double> snrs = {20, -3};
    int seeds = 5;
    // Keying and impairments, as the synthesiser takes them.
    test::CwSignal signal;
    signal.toneHz = kDefaultToneHz;
    signal.leadSeconds = kLeadSeconds;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (option == "--verbose") {
            verbose = true;
        } else if (option == "--wpm" && value) {
            speeds = parseList(argv[++i]);
        } else if (option == "--snr" && value) {
            snrs = parseList(argv[++i]);
        } else if (option == "--seeds" && value) {
            seeds = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--tone" && value) {
            signal.toneHz = std::atof(argv[++i]);
        } else if (option == "--spacing" && value) {
            signal.spacingWpm = std::atof(argv[++i]);
        } else if (option == "--dash" && value) {
            signal.dashUnits = std::atof(argv[++i]);
        } else if (option == "--weight" && value) {
            signal.weight = std::atof(argv[++i]);
        } else if (option == "--fade" && value) {
            signal.fadeDb = std::atof(argv[++i]);
        } else {
            std::fprintf(
                stderr,
                "usage: bench_latency [--wpm LIST] [--snr LIST] [--seeds N] [--tone HZ] [--spacing "
                "WPM]\n"
                "                     [--dash DOTS] [--weight W] [--fade DB] [--verbose]\n");
            return 2;
        }
    }
    std::printf("Latency: end of the pass that writes a character minus the end of its last "
                "element (one pass = %.3f s).\n"
                "settle: slowest run's time from the first element to the end of the pass that "
                "knows the timing.\n"
                "held: characters written by a pass that began without the timing known, and the "
                "longest of their\n"
                "latencies; after: the latencies of all others. Characters are matched to the sent "
                "ones on a\n"
                "least-edit alignment; CER: its edits over the characters sent (word spaces not "
                "counted).\n\n",
                kPassSeconds);
    std::printf("%4s %5s %5s %6s %6s | %6s %5s %6s | %5s %6s %6s %6s\n", "wpm", "snr", "runs",
                "chars", "CER", "settle", "held", "max", "after", "median", "p95", "max");
    for (const double snr : snrs) {
        for (const double wpm : speeds) {
            std::vector<double> start;
            std::vector<double> after;
            int sent = 0;
            int edits = 0;
            double settle = 0;
            for (int seed = 1; seed <= seeds; ++seed) {
                test::CwSignal s = signal;
                s.wpm = wpm;
                s.snrDb = snr;
                s.seed = static_cast<unsigned>(seed);
                const RunResult r = measure(s, verbose);
                start.insert(start.end(), r.start.begin(), r.start.end());
                after.insert(after.end(), r.after.begin(), r.after.end());
                sent += r.sent;
                edits += r.edits;
                // A run that never learnt the timing shows as infinite.
                settle = std::max(settle,
                                  r.settleSeconds < 0 ? HUGE_VAL : r.settleSeconds - s.leadSeconds);
            }
            std::printf("%4.0f %5.0f %5d %6d %6.3f | %6.2f %5zu %6.2f | %5zu %6.2f %6.2f %6.2f\n",
                        wpm, snr, seeds, sent, static_cast<double>(edits) / sent, settle,
                        start.size(), percentile(start, 1.0), after.size(),
                        percentile(after, kMedian), percentile(after, kHighPercentile),
                        percentile(after, 1.0));
        }
    }
    return 0;
}
