// bench_latency: how long after a character ends the window shows it, from a start and around
// the events that reset the decoder.
//
// Keyed audio of known timing goes through the receive engine as the window drives it: the
// enhanced decoder, the display outputs worked out (not headless), the loop entered with the
// tuned bin at the configuration's AFC start, one pass per 8192 frames, and the window's receive
// commands posted before the pass they are applied in. Each decoded character is matched to the
// sent one; its latency is the audio time at the end of the pass that first writes it minus the
// end of its last element. The window runs a pass as soon as its audio has arrived, so audio time
// is the window's clock and the figures do not depend on the machine. Not part of the test suite.
//
// Scenarios (--scenario), each with its event:
//   start  the station starts after 2 s of noise; the event is its first element.
//   clear  a decoder reset (the Clear button) in the middle of the transmission; the event is the
//          end of the pass before the one that applies it (the audio the window had then). Each
//          seed places it elsewhere, between 30 % and 70 % of the text.
//   click  a click on the spectrum (TuneToBin) within a bin of the keyed tone, placed as Clear.
//   second a first station at another speed (1.6 times, or over 30 wpm a 1.6th) and --offset Hz
//          below sends a short over and falls silent for 1.2 s (or two of its word gaps if that is
//          longer, as a pause shorter than a word gap is no end); then the measured station
//          starts, its first element being the event.
// Characters written in a pass at whose start the decoder did not know the sender's timing (it
// gathers after a reset and between overs) are the start recovery's hold; the rest are "after
// the timing is known".
//
// Usage: bench_latency [--scenario start|clear|click|second] [--wpm 5,12,20,35,60] [--snr 20,-3]
//        [--seeds 5] [--tone 650] [--offset 80] [--verbose]
//        plus the keying: [--spacing WPM] (Farnsworth) [--dash DOTS] [--weight W] [--fade DB]
#include "receive/ReceiveEngine.h"
#include "receive/tests/CwSynth.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
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
constexpr double kDefaultOffsetHz = 80.0;
constexpr double kMedian = 0.5;
constexpr double kHighPercentile = 0.95;
// Letters, figures and a stroke only: no code that the decoder may write as a prosign name.
const char* const kText =
    "CQ CQ DE DL1ABC DL1ABC K R TNX FER CALL UR RST 599 5NN NAME JOE QTH MUNICH "
    "HW CPY K DE W1AW/3 73";
// The first station's over in the second-sender scenario.
const char* const kFirstOver = "DL1ABC DE W1AW K";
// Clear and click fall between these shares of the keyed text, one place per seed.
constexpr double kFirstEventShare = 0.3;
constexpr double kEventShareStep = 0.1;
constexpr int kEventPlaces = 5;
// The second sender's speed against the first's.
constexpr double kSpeedRatio = 1.6;
constexpr double kMaxSlowerWpm = 30;
constexpr double kMinSilenceSeconds = 1.2;
constexpr double kSilenceWordGaps = 2;
constexpr double kWordGapUnits = 7;
constexpr double kParisUnitSeconds = 1.2;
// Gathering needs this many marks of the sender before it may settle.
constexpr int kMarksToSettle = 6;
// A character with its letter gap lasts about this many units (PARIS: 50 units, 5 characters).
constexpr double kUnitsPerCharacter = 10;
// Characters that ended this long before the event and are not written count as cut by it.
constexpr double kCutSeconds = 2.0;

enum class Scenario { Start, Clear, Click, Second };

struct SentCharacter {
    char c = 0;
    double startSeconds = 0; // start of its first element
    double endSeconds = 0;   // end of its last element
    bool wordEnd = false;    // a word space follows it
    int marksBefore = 0;     // marks of the run keyed before this character
};

struct WrittenCharacter {
    char c;
    int pass;
    bool held;          // written while the timing was being learnt
    int spacePass = -1; // pass that wrote a space after it (before the next character)
};

double passEndSeconds(int pass) {
    return (pass + 1) * kPassSeconds;
}

// The characters of the text as keying() keys them, upper case, with the times of their elements.
std::vector<SentCharacter> sentCharacters(const std::string& text, const test::CwSignal& s) {
    std::vector<SentCharacter> out;
    long sample = 0;
    int last = -1;
    int marks = 0;
    for (const auto& run : test::keying(text, s)) {
        const double start = static_cast<double>(sample) / test::kSynthRateHz;
        sample += test::runSamples(run);
        if (!run.down) continue;
        if (run.character != last) {
            const auto index = static_cast<size_t>(run.character);
            SentCharacter c;
            c.c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[index])));
            c.startSeconds = start;
            c.wordEnd = index + 1 < text.size() && text[index + 1] == ' ';
            c.marksBefore = marks;
            out.push_back(c);
            last = run.character;
        }
        ++marks;
        out.back().endSeconds = static_cast<double>(sample) / test::kSynthRateHz;
    }
    return out;
}

// A written character can stand for a sent one only if the pass that wrote it ended after the
// character did.
bool matches(const SentCharacter& s, const WrittenCharacter& w) {
    return s.c == w.c && passEndSeconds(w.pass) >= s.endSeconds;
}

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

// One synthesised run: its audio, what was sent, the commands the window posts (before the pass
// of the given index) and the event's audio time.
struct Setup {
    std::vector<int32_t> audio;
    std::vector<SentCharacter> sent;
    std::vector<std::pair<int, ReceiveCommand>> commands;
    double eventSeconds = 0;
};

double runsSeconds(const std::vector<test::KeyRun>& runs) {
    double total = 0;
    for (const auto& r : runs)
        total += r.seconds;
    return total;
}

Setup makeSetup(Scenario scenario, const test::CwSignal& s, double offsetHz) {
    Setup setup;
    if (scenario == Scenario::Second) {
        test::CwSignal first = s;
        first.wpm = s.wpm > kMaxSlowerWpm ? s.wpm / kSpeedRatio : s.wpm * kSpeedRatio;
        first.toneHz = s.toneHz - offsetHz;
        const auto firstRuns = test::keying(kFirstOver, first);
        const double firstEnd = runsSeconds(firstRuns) - first.tailSeconds;
        const double wordGap = kWordGapUnits * kParisUnitSeconds / first.wpm;
        test::CwSignal second = s;
        second.snrDb = 1000; // the noise comes with the first station's audio
        second.leadSeconds = firstEnd + std::max(kMinSilenceSeconds, kSilenceWordGaps * wordGap);
        const auto secondAudio = test::synthesize(kText, second);
        first.tailSeconds = static_cast<double>(secondAudio.size()) / test::kSynthRateHz -
                            firstEnd + first.tailSeconds;
        setup.audio = test::synthesize(kFirstOver, first);
        setup.audio.resize(std::max(setup.audio.size(), secondAudio.size()), 0);
        for (size_t i = 0; i < secondAudio.size(); ++i)
            setup.audio[i] = std::clamp(setup.audio[i] + secondAudio[i], -32768, 32767);
        setup.sent = sentCharacters(kFirstOver, first);
        setup.sent.back().wordEnd = true; // the over's end writes a word space
        const auto secondSent = sentCharacters(kText, second);
        const int firstMarks = secondSent.empty() ? 0 : setup.sent.back().marksBefore;
        for (auto c : secondSent) {
            c.marksBefore += firstMarks;
            setup.sent.push_back(c);
        }
        setup.eventSeconds = second.leadSeconds;
        return setup;
    }
    setup.audio = test::synthesize(kText, s);
    setup.sent = sentCharacters(kText, s);
    setup.eventSeconds = s.leadSeconds;
    if (scenario == Scenario::Start) return setup;
    const double keyed = setup.sent.back().endSeconds - s.leadSeconds;
    const double share =
        kFirstEventShare + kEventShareStep * static_cast<double>((s.seed - 1) % kEventPlaces);
    const int pass = static_cast<int>((s.leadSeconds + share * keyed) / kPassSeconds);
    setup.eventSeconds = pass * kPassSeconds;
    if (scenario == Scenario::Clear) {
        setup.commands.push_back({pass, ReceiveCommand::decoderReset()});
    } else {
        // A click lands within a bin of the peak.
        const int bin =
            static_cast<int>(std::lround(s.toneHz / kBinHz)) + 1 + static_cast<int>(s.seed % 3) - 1;
        setup.commands.push_back({pass, ReceiveCommand::tuneToBin(bin)});
    }
    return setup;
}

struct RunResult {
    std::vector<double> start; // latencies of characters held until the timing was known
    std::vector<double> after; // latencies once it was known, of characters from the event on
    std::vector<double> words; // word space latencies
    int sent = 0;
    int edits = 0;
    double settleSeconds = -1;   // from the event to the end of the pass that knows the timing
    double holdSeconds = -1;     // from the event to the first character from the event written
    double excessCharacters = 0; // the hold beyond what gathering needs, in characters
    int lost = 0;  // characters keyed from the event until the timing was known, not written
    int extra = 0; // characters written from the event until then that stand for nothing sent
    int cut = 0;   // characters ended shortly before the event and never written
    int missingSpaces = 0; // word ends without a space after them
    int strayed = 0;       // spaces written inside words
};

RunResult measure(Scenario scenario, const test::CwSignal& s, double offsetHz, bool verbose) {
    Setup setup = makeSetup(scenario, s, offsetHz);
    const std::vector<SentCharacter>& sent = setup.sent;
    std::vector<int32_t>& audio = setup.audio;
    audio.resize((audio.size() / kPassFrames + kFlushPasses) * kPassFrames, 0);

    ReceiveEngine engine;
    engine.post(ReceiveCommand::decoder(setting::Decoder::Enhanced));
    engine.post(ReceiveCommand::setTunedBin(kAfcStartBin));
    engine.post(ReceiveCommand::loopEntry());
    std::vector<WrittenCharacter> written;
    std::string text;
    // The pass whose audio holds the event; the first pass from it after which the timing is
    // known having been unknown since (or the event's pass, if the decoder never lost it).
    const int eventPass = static_cast<int>(setup.eventSeconds / kPassSeconds);
    int settlePass = -1;
    bool unknownSinceEvent = false;
    for (size_t i = 0; i + kPassFrames <= audio.size(); i += kPassFrames) {
        const int pass = static_cast<int>(i / kPassFrames);
        bool resetNow = false;
        for (const auto& [at, command] : setup.commands) {
            if (at != pass) continue;
            engine.post(command);
            resetNow = true;
        }
        const bool knownBefore = engine.enhancedTimingKnown() && !resetNow;
        const PassResult& r = engine.processPass(&audio[i]);
        if (pass >= eventPass) {
            unknownSinceEvent = unknownSinceEvent || !knownBefore || !engine.enhancedTimingKnown();
            if (settlePass < 0 && unknownSinceEvent && engine.enhancedTimingKnown())
                settlePass = pass;
        }
        if (verbose) text += r.text;
        for (const char c : r.text) {
            if (!std::isspace(static_cast<unsigned char>(c))) {
                written.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(c))),
                                   pass, !knownBefore});
            } else if (c == ' ' && !written.empty() && written.back().spacePass < 0) {
                written.back().spacePass = pass;
            }
        }
    }
    if (settlePass < 0 && !unknownSinceEvent) settlePass = eventPass;

    RunResult result;
    result.sent = static_cast<int>(sent.size());
    const double settleAt = settlePass < 0 ? HUGE_VAL : passEndSeconds(settlePass);
    result.settleSeconds = settleAt - setup.eventSeconds;
    if (verbose) {
        std::printf("%.0f wpm, %.0f dB, seed %u: event at %.2f s, timing known from pass %d, read "
                    "as %d wpm, text \"%s\"\n",
                    s.wpm, s.snrDb, s.seed, setup.eventSeconds, settlePass, engine.receiveWpm(),
                    text.c_str());
    }
    std::vector<bool> sentMatched(sent.size(), false);
    std::vector<bool> writtenMatched(written.size(), false);
    double firstWrite = HUGE_VAL;
    for (const auto& [si, wi] : align(sent, written, result.edits)) {
        sentMatched[si] = writtenMatched[wi] = true;
        const SentCharacter& c = sent[si];
        const WrittenCharacter& w = written[wi];
        const double latency = passEndSeconds(w.pass) - c.endSeconds;
        const bool fromEvent = c.startSeconds >= setup.eventSeconds;
        if (fromEvent) firstWrite = std::min(firstWrite, passEndSeconds(w.pass));
        if (w.held) {
            result.start.push_back(latency);
        } else if (fromEvent) {
            result.after.push_back(latency);
        }
        if (si + 1 < sent.size()) {
            if (c.wordEnd && w.spacePass >= 0) {
                result.words.push_back(passEndSeconds(w.spacePass) - c.endSeconds);
            } else if (c.wordEnd) {
                ++result.missingSpaces;
            } else if (w.spacePass >= 0) {
                ++result.strayed;
            }
        }
        if (verbose) {
            std::printf("  %c ends %7.2f s, written in pass %4d: %5.2f s%s", c.c, c.endSeconds,
                        w.pass, latency, w.held ? " (held)" : "");
            if (c.wordEnd && w.spacePass >= 0)
                std::printf(", space %5.2f s", passEndSeconds(w.spacePass) - c.endSeconds);
            std::printf("\n");
        }
    }
    result.holdSeconds = firstWrite - setup.eventSeconds;
    // What gathering needs at least: the character that holds the sender's sixth mark from the
    // event on has ended.
    int marksAtEvent = -1;
    int straddling = 0; // characters keyed across the event
    double needSeconds = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        const SentCharacter& c = sent[i];
        if (c.startSeconds >= setup.eventSeconds) {
            if (marksAtEvent < 0) marksAtEvent = c.marksBefore;
            const int next = i + 1 < sent.size() ? sent[i + 1].marksBefore : c.marksBefore + 1;
            if (next - marksAtEvent >= kMarksToSettle && needSeconds == 0)
                needSeconds = c.endSeconds - setup.eventSeconds;
            if (c.endSeconds <= settleAt && !sentMatched[i]) ++result.lost;
        } else if (c.endSeconds > setup.eventSeconds) {
            ++straddling;
        } else if (c.endSeconds > setup.eventSeconds - kCutSeconds && !sentMatched[i]) {
            ++result.cut;
        }
    }
    const double characterSeconds = kUnitsPerCharacter * kParisUnitSeconds / s.wpm;
    result.excessCharacters = (result.holdSeconds - needSeconds) / characterSeconds;
    for (size_t j = 0; j < written.size(); ++j) {
        const int pass = written[j].pass;
        if (!writtenMatched[j] && pass >= eventPass && (settlePass < 0 || pass <= settlePass))
            ++result.extra;
    }
    // A character keyed across the event may come out as what was keyed of it after the event.
    result.extra = std::max(0, result.extra - straddling);
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

bool parseScenario(const std::string& name, Scenario& out) {
    const std::pair<const char*, Scenario> names[] = {{"start", Scenario::Start},
                                                      {"clear", Scenario::Clear},
                                                      {"click", Scenario::Click},
                                                      {"second", Scenario::Second}};
    for (const auto& [n, s] : names) {
        if (name == n) {
            out = s;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<double> speeds = {5, 12, 20, 35, 60};
    std::vector<double> snrs = {20, -3};
    int seeds = 5;
    Scenario scenario = Scenario::Start;
    double offsetHz = kDefaultOffsetHz;
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
        } else if (option == "--scenario" && value && parseScenario(value, scenario)) {
            ++i;
        } else if (option == "--wpm" && value) {
            speeds = parseList(argv[++i]);
        } else if (option == "--snr" && value) {
            snrs = parseList(argv[++i]);
        } else if (option == "--seeds" && value) {
            seeds = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--tone" && value) {
            signal.toneHz = std::atof(argv[++i]);
        } else if (option == "--offset" && value) {
            offsetHz = std::atof(argv[++i]);
        } else if (option == "--spacing" && value) {
            signal.spacingWpm = std::atof(argv[++i]);
        } else if (option == "--dash" && value) {
            signal.dashUnits = std::atof(argv[++i]);
        } else if (option == "--weight" && value) {
            signal.weight = std::atof(argv[++i]);
        } else if (option == "--fade" && value) {
            signal.fadeDb = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: bench_latency [--scenario start|clear|click|second] [--wpm LIST] "
                         "[--snr LIST] [--seeds N]\n"
                         "                     [--tone HZ] [--offset HZ] [--spacing WPM] [--dash "
                         "DOTS] [--weight W] [--fade DB]\n"
                         "                     [--verbose]\n");
            return 2;
        }
    }
    std::printf(
        "Latency: end of the pass that writes a character minus the end of its last element (one "
        "pass = %.3f s).\n"
        "settle: slowest run's time from the event to the end of the pass that knows the timing.\n"
        "held: characters written by a pass that began without the timing known, and the longest "
        "of their\n"
        "latencies; after: the latencies of the others from the event on. Characters are matched "
        "to the sent ones\n"
        "on a least-edit alignment; CER: its edits over the characters sent (word spaces not "
        "counted).\n"
        "hold: from the event to the end of the pass that writes the first character keyed after "
        "it (median, max);\n"
        "xs: the longest hold beyond the end of the character with the sixth mark from the event, "
        "in characters;\n"
        "lost: characters keyed from the event until the timing was known and not written; extra: "
        "characters\n"
        "written from the event until then that stand for nothing sent (one for each character "
        "keyed across the\n"
        "event, which may come out as the part keyed after it, is not counted); cut: characters "
        "ended in the %.0f s\n"
        "before the event and never written. space: from the end of a word to the end of the pass "
        "that "
        "writes its word\n"
        "space (median, max); miss: word ends without a space, and spaces written inside "
        "words.\n\n",
        kPassSeconds, kCutSeconds);
    std::printf("%4s %5s %5s %6s %6s | %6s %5s %6s | %5s %6s %6s %6s | %5s %5s %5s %4s %5s %4s | "
                "%5s %5s %5s\n",
                "wpm", "snr", "runs", "chars", "CER", "settle", "held", "max", "after", "median",
                "p95", "max", "hold", "max", "xs", "lost", "extra", "cut", "space", "max", "miss");
    for (const double snr : snrs) {
        for (const double wpm : speeds) {
            std::vector<double> start;
            std::vector<double> after;
            std::vector<double> words;
            std::vector<double> holds;
            int sent = 0;
            int edits = 0;
            int lost = 0;
            int extra = 0;
            int cut = 0;
            int missing = 0;
            int strayed = 0;
            double settle = 0;
            double excess = -HUGE_VAL;
            for (int seed = 1; seed <= seeds; ++seed) {
                test::CwSignal s = signal;
                s.wpm = wpm;
                s.snrDb = snr;
                s.seed = static_cast<unsigned>(seed);
                const RunResult r = measure(scenario, s, offsetHz, verbose);
                start.insert(start.end(), r.start.begin(), r.start.end());
                after.insert(after.end(), r.after.begin(), r.after.end());
                words.insert(words.end(), r.words.begin(), r.words.end());
                holds.push_back(r.holdSeconds);
                sent += r.sent;
                edits += r.edits;
                lost += r.lost;
                extra += r.extra;
                cut += r.cut;
                missing += r.missingSpaces;
                strayed += r.strayed;
                // A run that never learnt the timing shows as infinite.
                settle = std::max(settle, r.settleSeconds);
                excess = std::max(excess, r.excessCharacters);
            }
            std::printf("%4.0f %5.0f %5d %6d %6.3f | %6.2f %5zu %6.2f | %5zu %6.2f %6.2f %6.2f | "
                        "%5.2f %5.2f %5.1f %4d %5d %4d | %5.2f %5.2f %2d/%-2d\n",
                        wpm, snr, seeds, sent, static_cast<double>(edits) / sent, settle,
                        start.size(), percentile(start, 1.0), after.size(),
                        percentile(after, kMedian), percentile(after, kHighPercentile),
                        percentile(after, 1.0), percentile(holds, kMedian), percentile(holds, 1.0),
                        excess, lost, extra, cut, percentile(words, kMedian),
                        percentile(words, 1.0), missing, strayed);
        }
    }
    return 0;
}
