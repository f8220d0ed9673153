#pragma once
// Test helper: keyed CW audio at 44,100 Hz with shaped edges and optional white noise.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace dita::test {

inline const std::map<char, const char*>& morseTable() {
    static const std::map<char, const char*> t = {
        {'A', ".-"},    {'B', "-..."},  {'C', "-.-."},   {'D', "-.."},    {'E', "."},
        {'F', "..-."},  {'G', "--."},   {'H', "...."},   {'I', ".."},     {'J', ".---"},
        {'K', "-.-"},   {'L', ".-.."},  {'M', "--"},     {'N', "-."},     {'O', "---"},
        {'P', ".--."},  {'Q', "--.-"},  {'R', ".-."},    {'S', "..."},    {'T', "-"},
        {'U', "..-"},   {'V', "...-"},  {'W', ".--"},    {'X', "-..-"},   {'Y', "-.--"},
        {'Z', "--.."},  {'0', "-----"}, {'1', ".----"},  {'2', "..---"},  {'3', "...--"},
        {'4', "....-"}, {'5', "....."}, {'6', "-...."},  {'7', "--..."},  {'8', "---.."},
        {'9', "----."}, {'/', "-..-."}, {'?', "..--.."}, {'.', ".-.-.-"}, {',', "--..--"},
        {'=', "-...-"}};
    return t;
}

struct CwSignal {
    double wpm = 20;
    double toneHz = 600;
    double amplitude = 12000;
    double snrDb = 1000; // noise measured in 2,500 Hz of bandwidth; 1000 = no noise
    double leadSeconds = 0.5;
    double tailSeconds = 1.0;
    unsigned seed = 1;
    double spacingWpm = 0;   // Farnsworth: letter and word gaps at this slower speed; 0 = wpm
    double dashUnits = 3;    // dash length in dots
    double weight = 1;       // keyer weighting: marks stretched by this, gaps shortened to match
    double wordGapUnits = 7; // some keyers space words wider
    bool weightedLetterGaps = true; // false: only element gaps give way to the weighting
    double fadeDb = 0;              // depth of a slow sinusoidal fade (QSB)
    double fadePeriodSeconds = 4;
    double driftHz = 0; // the tone moves by this much, linearly over the whole signal
};

// One run of the key: down (a mark) or up, its length, and for a mark the index in the text of
// the character it belongs to (-1 for gaps).
struct KeyRun {
    bool down = false;
    double seconds = 0;
    int character = -1;
};

constexpr double kSynthRateHz = 44100.0;

// Samples a run takes in the synthesised audio.
inline long runSamples(const KeyRun& run) {
    return std::lround(run.seconds * kSynthRateHz);
}

// The key runs of the text at PARIS timing (dot = 1.2 / wpm seconds), lead and tail included.
inline std::vector<KeyRun> keying(const std::string& text, const CwSignal& s) {
    const double dot = 1.2 / s.wpm;
    // Farnsworth spacing unit: a PARIS word keeps 31 units of elements at the character speed
    // and spreads the rest of its time over its 19 units of letter and word spacing.
    const double space = s.spacingWpm > 0 ? (60.0 / s.spacingWpm - 31.0 * dot) / 19.0 : dot;
    const double stretch = (s.weight - 1.0) * dot;
    std::vector<KeyRun> runs;
    runs.push_back({false, s.leadSeconds});
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') {
            runs.back().seconds += (s.wordGapUnits - 3) * space; // a letter gap of 3 is there
            continue;
        }
        auto it =
            morseTable().find(static_cast<char>(std::toupper(static_cast<unsigned char>(text[i]))));
        if (it == morseTable().end()) continue;
        for (const char* e = it->second; *e; ++e) {
            runs.push_back(
                {true, (*e == '.' ? dot : s.dashUnits * dot) * s.weight, static_cast<int>(i)});
            runs.push_back(
                {false, e[1] ? dot - stretch : 3 * space - (s.weightedLetterGaps ? stretch : 0.0)});
        }
    }
    runs.push_back({false, s.tailSeconds});
    return runs;
}

// A keyed character of the text (upper case) and the end of its last mark in the audio that
// synthesize() makes of the same text and signal.
struct KeyedCharacter {
    char c = 0;
    double endSeconds = 0;
};

inline std::vector<KeyedCharacter> keyedCharacters(const std::string& text, const CwSignal& s) {
    std::vector<KeyedCharacter> out;
    long sample = 0;
    int last = -1;
    for (const auto& run : keying(text, s)) {
        sample += runSamples(run);
        if (!run.down) continue;
        if (run.character != last) {
            out.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(
                               text[static_cast<size_t>(run.character)]))),
                           0});
            last = run.character;
        }
        out.back().endSeconds = static_cast<double>(sample) / kSynthRateHz;
    }
    return out;
}

// Samples of the text keyed as keying() gives it.
inline std::vector<int32_t> synthesize(const std::string& text, const CwSignal& s) {
    constexpr double rate = kSynthRateHz;
    const std::vector<KeyRun> runs = keying(text, s);
    std::vector<int32_t> out;
    std::mt19937 rng(s.seed);
    // White noise power in 2,500 Hz is noiseRms^2 * 2500 / 22050.
    const double signalPower = s.amplitude * s.amplitude / 2.0;
    const double noiseRms =
        s.snrDb >= 1000
            ? 0.0
            : std::sqrt(signalPower / std::pow(10.0, s.snrDb / 10.0) * 22050.0 / 2500.0);
    std::normal_distribution<double> noise(0.0, noiseRms > 0 ? noiseRms : 1.0);
    const double rise = 0.005 * rate;
    double total = 0;
    for (const auto& k : runs)
        total += k.seconds;
    long n = 0;
    double phase = 0;
    for (const auto& run : runs) {
        const long count = runSamples(run);
        for (long i = 0; i < count; ++i, ++n) {
            double env = 0.0;
            if (run.down) {
                const double edge = std::min(
                    {1.0, static_cast<double>(i) / rise, static_cast<double>(count - i) / rise});
                env = 0.5 - 0.5 * std::cos(M_PI * edge);
            }
            if (s.fadeDb > 0) {
                // Between 0 and -fadeDb, in decibels, along a sine.
                const double db =
                    -0.5 * s.fadeDb * (1.0 - std::cos(2.0 * M_PI * n / rate / s.fadePeriodSeconds));
                env *= std::pow(10.0, db / 20.0);
            }
            double v = env * s.amplitude *
                       std::sin(s.driftHz == 0 ? 2.0 * M_PI * s.toneHz * n / rate : phase);
            phase += 2.0 * M_PI * (s.toneHz + s.driftHz * n / (total * rate)) / rate;
            if (noiseRms > 0) v += noise(rng);
            out.push_back(static_cast<int32_t>(std::clamp(std::lround(v), -32768L, 32767L)));
        }
    }
    return out;
}

// Several keyed signals in one recording over one white noise. Each signal's snrDb is its
// power over that noise in 2,500 Hz; leadSeconds is its start. The recording lasts
// totalSeconds (longer if a signal runs past it).
struct BandSignal {
    std::string text;
    CwSignal signal;
};

inline std::vector<int32_t> synthesizeBand(const std::vector<BandSignal>& band, double noiseRms,
                                           double totalSeconds, unsigned seed) {
    constexpr double rate = 44100.0;
    std::vector<double> mix(static_cast<size_t>(totalSeconds * rate), 0.0);
    for (const auto& b : band) {
        CwSignal s = b.signal;
        const double noisePower = noiseRms * noiseRms * 2500.0 / 22050.0;
        s.amplitude = std::sqrt(2.0 * noisePower * std::pow(10.0, s.snrDb / 10.0));
        s.snrDb = 1000;
        s.tailSeconds = 0.0;
        const auto one = synthesize(b.text, s);
        if (one.size() > mix.size()) mix.resize(one.size(), 0.0);
        for (size_t i = 0; i < one.size(); ++i)
            mix[i] += one[i];
    }
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, noiseRms);
    std::vector<int32_t> out(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        out[i] =
            static_cast<int32_t>(std::clamp(std::lround(mix[i] + noise(rng)), -32768L, 32767L));
    return out;
}

// Character error rate: Levenshtein distance / reference length, case and runs of white
// space folded.
inline double characterErrorRate(const std::string& reference, const std::string& decoded) {
    auto fold = [](const std::string& in) {
        std::string out;
        for (char c : in) {
            const bool space = std::isspace(static_cast<unsigned char>(c));
            if (space) {
                if (!out.empty() && out.back() != ' ') out += ' ';
            } else {
                out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        return out;
    };
    const std::string a = fold(reference);
    const std::string b = fold(decoded);
    std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        prev[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            cur[j] = std::min(
                {prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        }
        std::swap(prev, cur);
    }
    return a.empty() ? 0.0 : static_cast<double>(prev[b.size()]) / a.size();
}

} // namespace dita::test
