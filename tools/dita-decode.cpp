// dita-decode: decodes CW from sound files with DITA's receive chain, as fast as the CPU
// allows, and prints the text as UTF-8. Several files are decoded at once, one receive
// engine each, and printed in the order given.
#include "DecodeOptions.h"
#include "common/Latin1.h"

#include "receive/ReceiveEngine.h"
#include "receive/SoundFileReader.h"
#include "receive/band/BandDecoder.h"
#include "skim/IqFileReader.h"
#include "skim/Skimmer.h"

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace dita;

namespace {

constexpr double kAutoMinHz = 200.0;
constexpr double kAutoMaxHz = 2500.0;
constexpr double kAutoMinDb = 10.0;
// Silence appended after the file, as a live input stops when a played file ends: the last
// character (held back by the detector's delay and the character-end timing) is written, and the
// tone's gate, which holds 2.5 s after the tone was last heard, closes, so that a weak over whose
// timing was not found yet is searched for. 30 passes are 5.6 s.
constexpr int kFlushPasses = 30;
constexpr double kSecondsPerHour = 3600.0;

// One file's output, kept until it is the file's turn to be printed: the text (with its
// heading), the trace lines and the lines for standard error.
struct FileResult {
    std::string text;
    std::string trace;
    std::string messages;
    double audioSeconds = 0.0;
    bool ok = false; // opened and read to the end
};

// Called after each pass with what the pass added, when the output goes out as it is made.
using PassSink = std::function<void(FileResult&)>;

// Appends decoded text, turning the receive window's "\r" + line feed into one newline.
void appendText(const std::string& text, bool& pendingCr, std::string& out) {
    for (const char c : text) {
        if (c == '\r') {
            pendingCr = true;
            continue;
        }
        if (pendingCr && c != '\n') out += '\n';
        pendingCr = false;
        out += c;
    }
}

// A JSON string's contents: quotes, backslashes and control characters escaped, and a byte
// that is not part of well-formed UTF-8 (a Latin-1 file name, say) written as the character of
// that code, so that every line parses whatever the text or the file name holds.
std::string jsonEscape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    forEachCodePoint(s, [&out](bool ok, unsigned code, std::string_view bytes) {
        if (code == '"' || code == '\\') {
            out += '\\';
            out += static_cast<char>(code);
        } else if (!ok || isControlCode(code)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", code);
            out += escaped;
        } else {
            out += bytes;
        }
    });
    return out;
}

void appendTrace(int pass, const PassResult& r, const ReceiveLevels& lv, double pitchHz,
                 std::string& out) {
    char head[256];
    std::snprintf(head, sizeof head,
                  "{\"pass\":%d,\"bin\":%d,\"S\":%g,\"N\":%g,\"L\":%g,\"snr\":%d,\"wpm\":%d,"
                  "\"pitch\":%g,\"keys\":\"",
                  pass, r.tunedBin, static_cast<double>(lv.signal), static_cast<double>(lv.noise),
                  static_cast<double>(lv.threshold), lv.rawSnr, r.receiveWpm, pitchHz);
    out += head;
    for (int i = 2; i <= kStepsPerPass + 1; ++i)
        out += r.timelineK[i] == 1.0f ? '1' : '0';
    out += "\",\"text\":\"" + jsonEscape(r.text) + "\"}\n";
}

// A JSON Lines record starts with the file it comes from: several files' records can be told
// apart line by line.
std::string jsonRecordStart(const std::string& path) {
    return "{\"file\":\"" + jsonEscape(path) + "\",";
}

// A band record as a line of text, or as a JSON object naming its file.
void appendBandRecord(const BandRecord& r, bool jsonl, const std::string& path, std::string& out) {
    char head[160];
    if (jsonl) {
        out += jsonRecordStart(path);
        std::snprintf(head, sizeof head,
                      "\"id\":%d,\"start\":%.2f,\"hz\":%.1f,\"wpm\":%d,\"snr_db\":%.1f,", r.id,
                      r.startSeconds, r.pitchHz, r.wpm, r.snrDb);
        out += head;
        if (r.mergedInto) out += "\"merged_into\":" + std::to_string(r.mergedInto) + ",";
        out += "\"text\":\"" + jsonEscape(r.text) + "\"}\n";
        return;
    }
    std::snprintf(head, sizeof head, "%8.1f s %6.0f Hz %3d wpm  ", r.startSeconds, r.pitchHz,
                  r.wpm);
    out += head;
    for (const char c : r.text)
        out += c == '\r' || c == '\n' ? ' ' : c;
    out += '\n';
}

// A read error fails the file; a file that ended before its header's length is told, and
// what it held counts as decoded.
void noteReadOutcome(const SoundFileReader& reader, FileResult& result) {
    result.ok = reader.error().empty();
    if (!result.ok) result.messages += "dita-decode: " + reader.error() + "\n";
    if (!reader.warning().empty()) result.messages += "dita-decode: " + reader.warning() + "\n";
}

// Band decoding of one file: a line per channel as it closes, the rest at the end in order of
// their start.
void decodeBandFile(SoundFileReader& reader, const std::string& path, const DecodeOptions& options,
                    FileResult& result, const PassSink& afterPass) {
    BandDecoder band;
    for (const auto& c : options.commands) {
        if (const auto* textCase = c.get<ReceiveCommand::TextCase>())
            band.post(BandCommand::textCase(textCase->value));
        if (const auto* prosigns = c.get<ReceiveCommand::Prosigns>())
            band.post(BandCommand::prosigns(prosigns->value));
        if (const auto* spaces = c.get<ReceiveCommand::SpacesMode>())
            band.post(BandCommand::spacesMode(spaces->value));
    }
    BandTranscript transcript;
    std::vector<BandRecord> closed;
    std::array<int32_t, kPassFrames> samples{};
    const auto start = std::chrono::steady_clock::now();
    long long frames = 0;
    int channels = 0;
    for (int got = kPassFrames; got == kPassFrames;) {
        got = reader.read(samples.data(), kPassFrames);
        frames += got;
        if (got <= 0) break;
        std::fill(samples.begin() + got, samples.end(), 0);
        closed.clear();
        transcript.add(band.processPass(samples.data()), closed);
        for (const auto& r : closed)
            appendBandRecord(r, options.jsonl, path, result.text);
        channels += static_cast<int>(closed.size());
        if (afterPass) afterPass(result);
    }
    closed.clear();
    transcript.add(band.finish(), closed);
    std::sort(closed.begin(), closed.end(), [](const BandRecord& a, const BandRecord& b) {
        return a.startSeconds < b.startSeconds;
    });
    for (const auto& r : closed)
        appendBandRecord(r, options.jsonl, path, result.text);
    channels += static_cast<int>(closed.size());
    result.audioSeconds = static_cast<double>(frames) / kSampleRateHz;
    noteReadOutcome(reader, result);
    if (options.stats) {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        char line[512];
        std::snprintf(line, sizeof line,
                      "%s: audio %.2f s, wall %.4f s, speed factor %.0f x real time, %d channels\n",
                      path.c_str(), result.audioSeconds, wall,
                      wall > 0 ? result.audioSeconds / wall : 0.0, channels);
        result.messages += line;
    }
    if (afterPass) afterPass(result);
}

void appendIqRecord(const SkimRecord& r, bool jsonl, const std::string& path, std::string& out) {
    char head[200];
    if (jsonl) {
        out += jsonRecordStart(path);
        std::snprintf(head, sizeof head,
                      "\"id\":%d,\"freq_hz\":%.1f,\"wpm\":%d,\"snr_db\":%.1f,\"start_s\":%.2f,"
                      "\"end_s\":%.2f,",
                      r.id, r.freqHz, r.wpm, r.snrDb, r.startSeconds, r.endSeconds);
        out += head;
        out += "\"text\":\"" + jsonEscape(r.text) + "\"}\n";
        return;
    }
    std::snprintf(head, sizeof head, "%8.2f s %12.1f Hz %3d wpm %5.1f dB  ", r.startSeconds,
                  r.freqHz, r.wpm, r.snrDb);
    out += head;
    for (const char c : r.text)
        out += c == '\r' || c == '\n' ? ' ' : c;
    out += '\n';
}

// Wideband I/Q: every signal decoded by the skimmer; spot lines, or a record per signal as
// its channel closes (the rest at the end, in order of their start).
void decodeIqFile(const std::string& path, const DecodeOptions& options, FileResult& result,
                  const PassSink& afterPass) {
    IqFileReader reader;
    std::string error;
    if (!reader.open(path, options.swapIq, error)) {
        result.messages = "dita-decode: " + error + "\n";
        return;
    }
    SkimmerSettings settings;
    settings.centerHz = options.centerHz > 0 ? options.centerHz : centerHzFromName(path);
    Skimmer skimmer;
    try {
        skimmer.configure(reader.rateHz(), settings);
    } catch (const std::exception& e) {
        result.messages =
            "dita-decode: cannot decode I/Q recording " + path + ": " + e.what() + "\n";
        return;
    }
    // Spots carry the UTC time they were read: the recording is taken to end when the file
    // was last written.
    struct stat st {};
    const double duration = static_cast<double>(reader.frames()) / reader.rateHz();
    const std::time_t end = stat(path.c_str(), &st) == 0 ? st.st_mtime : std::time(nullptr);
    const std::time_t begin = end - static_cast<std::time_t>(duration);
    const int block = static_cast<int>(std::min(reader.rateHz() / 10.0, 65536.0));
    std::vector<std::complex<float>> samples(static_cast<size_t>(block));
    std::vector<SkimRecord> records;
    int signals = 0;
    int spots = 0;
    const auto start = std::chrono::steady_clock::now();
    long long frames = 0;
    auto take = [&](const SkimResult& r) {
        for (const auto& s : r.spots) {
            if (!options.spots) continue;
            ++spots;
            result.text +=
                formatClusterSpot(clusterSpotOf(s, options.spotter,
                                                begin + static_cast<std::time_t>(s.timeSeconds))) +
                "\n";
        }
        for (const auto& c : r.closed) {
            ++signals;
            if (!options.spots) records.push_back(c);
        }
    };
    for (int got = block; got == block;) {
        got = reader.read(samples.data(), block);
        if (got <= 0) break;
        frames += got;
        take(skimmer.process(samples.data(), got));
        std::sort(records.begin(), records.end(), [](const SkimRecord& a, const SkimRecord& b) {
            return a.startSeconds < b.startSeconds;
        });
        for (const auto& rec : records)
            appendIqRecord(rec, options.jsonl, path, result.text);
        records.clear();
        if (afterPass) afterPass(result);
    }
    take(skimmer.finish());
    std::sort(records.begin(), records.end(), [](const SkimRecord& a, const SkimRecord& b) {
        return a.startSeconds < b.startSeconds;
    });
    for (const auto& rec : records)
        appendIqRecord(rec, options.jsonl, path, result.text);
    result.audioSeconds = static_cast<double>(frames) / reader.rateHz();
    result.ok = reader.error().empty();
    if (!result.ok) result.messages += "dita-decode: " + reader.error() + "\n";
    if (options.stats) {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        char line[512];
        std::snprintf(line, sizeof line,
                      "%s: I/Q %.0f Hz, centre %.0f Hz, %.2f s, wall %.4f s, speed factor %.1f x "
                      "real time, %d signals, %d spots\n",
                      path.c_str(), reader.rateHz(), settings.centerHz, result.audioSeconds, wall,
                      wall > 0 ? result.audioSeconds / wall : 0.0, signals, spots);
        result.messages += line;
    }
    if (afterPass) afterPass(result);
}

// Decodes one file into `result`; `heading` starts the text once the file is open.
void decodeFile(const std::string& path, const std::string& heading, const DecodeOptions& options,
                bool trace, FileResult& result, const PassSink& afterPass) {
    if (options.iq) {
        result.text = heading;
        decodeIqFile(path, options, result, afterPass);
        return;
    }
    SoundFileReader reader;
    std::string error;
    if (!reader.open(path, options.channel, error)) {
        result.messages = "dita-decode: " + error + "\n";
        return;
    }
    result.text = heading;
    if (options.band) {
        decodeBandFile(reader, path, options, result, afterPass);
        return;
    }
    ReceiveEngine engine;
    // The default; options may change it.
    engine.post(ReceiveCommand::decoder(setting::Decoder::Enhanced));
    for (const auto& c : options.commands)
        engine.post(c);
    bool tuned = options.toneHz > 0;
    if (tuned) engine.post(ReceiveCommand::tuneToBin(binForHz(options.toneHz)));
    // The enhanced decoder captures the keyed tone itself.
    bool standard = false;
    for (const auto& c : options.commands) {
        if (const auto* decoder = c.get<ReceiveCommand::Decoder>())
            standard = decoder->value == setting::Decoder::Standard;
    }
    if (!standard) tuned = true;
    engine.keepUnscaledSpectrum(!tuned);
    // Only the trace reads the display outputs and the standard chain's levels.
    engine.setHeadless(!trace);

    std::array<int32_t, kPassFrames> samples{};
    const auto start = std::chrono::steady_clock::now();
    long long frames = 0;
    int pass = 0;
    int flush = 0;
    bool pendingCr = false;
    while (flush < kFlushPasses) {
        const int got = reader.read(samples.data(), kPassFrames);
        frames += got;
        if (got < kPassFrames) {
            std::fill(samples.begin() + got, samples.end(), 0);
            ++flush;
        }
        const PassResult& r = engine.processPass(samples.data());
        if (!tuned) {
            if (const int bin = strongestToneBin(engine.unscaledSpectrum(), kAutoMinHz, kAutoMaxHz,
                                                 kAutoMinDb)) {
                engine.post(ReceiveCommand::tuneToBin(bin));
                engine.keepUnscaledSpectrum(false);
                tuned = true;
            }
        }
        appendText(r.text, pendingCr, result.text);
        if (trace) appendTrace(pass, r, engine.levels(), engine.enhancedPitchHz(), result.trace);
        if (afterPass) afterPass(result);
        ++pass;
    }
    if (pendingCr) result.text += '\n';
    result.text += '\n';
    result.audioSeconds = static_cast<double>(frames) / kSampleRateHz;
    noteReadOutcome(reader, result);
    if (options.stats) {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        char line[512];
        std::snprintf(
            line, sizeof line,
            "%s: audio %.2f s, wall %.4f s, speed factor %.0f x real time, receive speed %d wpm, "
            "tuned %d Hz (bin %d)\n",
            path.c_str(), result.audioSeconds, wall, wall > 0 ? result.audioSeconds / wall : 0.0,
            engine.receiveWpm(), static_cast<int>((engine.tunedBin() - 1) * kBinHz),
            engine.tunedBin());
        result.messages += line;
    }
    if (afterPass) afterPass(result);
}

// Standard output, the trace file and standard error, written by the main thread only. A
// failed write is remembered and reported once; decoding then stops.
class Output {
public:
    Output(FILE* trace, const std::string& traceName, bool progress, size_t files)
        : m_trace(trace), m_traceName(traceName), m_progress(progress), m_files(files),
          m_start(std::chrono::steady_clock::now()) {}

    bool failed() const { return m_failed; }

    // Writes what the result holds so far and empties it.
    void write(FileResult& r) {
        put(stdout, r.text, "standard output");
        if (m_trace) put(m_trace, r.trace, "the trace file " + m_traceName);
        if (!r.messages.empty()) {
            clearProgress();
            std::fputs(r.messages.c_str(), stderr);
        }
        r.text.clear();
        r.trace.clear();
        r.messages.clear();
    }

    // Files done so far and their audio: updates the progress line.
    void progress(size_t done, double audioSeconds) {
        if (!m_progress) return;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::fprintf(stderr, "\r%zu/%zu files, %.2f audio hours, %.0f x real time ", done, m_files,
                     audioSeconds / kSecondsPerHour, wall > 0 ? audioSeconds / wall : 0.0);
        m_progressShown = true;
    }

    // Flushes and closes the outputs; false (with a message) when anything was lost.
    bool finish() {
        if (m_progressShown) std::fputc('\n', stderr);
        if (m_trace) {
            const bool ok = std::fflush(m_trace) == 0 && !std::ferror(m_trace);
            if (!ok) report("the trace file " + m_traceName);
            if (std::fclose(m_trace) != 0) report("the trace file " + m_traceName);
            m_trace = nullptr;
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) report("standard output");
        if (std::fclose(stdout) != 0) report("standard output");
        return !m_failed;
    }

private:
    void put(FILE* f, const std::string& s, const std::string& name) {
        if (s.empty() || m_failed) return;
        if (std::fwrite(s.data(), 1, s.size(), f) != s.size()) report(name);
    }
    void report(const std::string& name) {
        const int err = errno;
        if (m_failed) return;
        m_failed = true;
        clearProgress();
        std::fprintf(stderr, "dita-decode: cannot write %s: %s\n", name.c_str(),
                     err ? std::strerror(err) : "write error");
    }
    void clearProgress() {
        if (!m_progressShown) return;
        std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }

    FILE* m_trace;
    std::string m_traceName;
    bool m_progress;
    size_t m_files;
    std::chrono::steady_clock::time_point m_start;
    bool m_progressShown = false;
    bool m_failed = false;
};

// Text output names each of several files in a heading; JSON Lines name it in every record.
std::string headingFor(const DecodeOptions& options, size_t i) {
    if (options.files.size() < 2 || options.jsonl) return {};
    return (i == 0 ? "==> " : "\n==> ") + options.files[i] + " <==\n";
}

// One file after another on this thread, each pass's text printed as it is decoded.
bool decodeInTurn(const DecodeOptions& options, Output& out) {
    bool allOk = true;
    double audio = 0.0;
    const PassSink sink = [&out](FileResult& r) { out.write(r); };
    for (size_t i = 0; i < options.files.size() && !out.failed(); ++i) {
        FileResult r;
        decodeFile(options.files[i], headingFor(options, i), options, !options.traceFile.empty(), r,
                   sink);
        out.write(r);
        allOk = allOk && r.ok;
        audio += r.audioSeconds;
        out.progress(i + 1, audio);
    }
    return allOk;
}

// `jobs` worker threads take the files in turn; this thread prints each file's output as soon
// as it and every file before it are done.
bool decodeAtOnce(const DecodeOptions& options, int jobs, Output& out) {
    const size_t files = options.files.size();
    std::vector<FileResult> results(files);
    std::vector<bool> done(files, false);
    std::mutex mutex;
    std::condition_variable changed;
    size_t doneCount = 0;
    double audio = 0.0;
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};

    auto worker = [&] {
        for (size_t i = next++; i < files && !stop; i = next++) {
            FileResult r;
            decodeFile(options.files[i], headingFor(options, i), options,
                       !options.traceFile.empty(), r, nullptr);
            {
                std::lock_guard<std::mutex> lock(mutex);
                results[i] = std::move(r);
                done[i] = true;
                ++doneCount;
                audio += results[i].audioSeconds;
            }
            changed.notify_one();
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < jobs; ++t)
        pool.emplace_back(worker);

    bool allOk = true;
    size_t printed = 0;
    size_t shownDone = 0;
    while (printed < files && !out.failed()) {
        std::vector<FileResult> ready;
        double shownAudio = 0.0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return done[printed] || doneCount != shownDone; });
            for (; printed < files && done[printed]; ++printed)
                ready.push_back(std::move(results[printed]));
            shownDone = doneCount;
            shownAudio = audio;
        }
        for (auto& r : ready) {
            out.write(r);
            allOk = allOk && r.ok;
        }
        out.progress(shownDone, shownAudio);
    }
    stop = true;
    for (auto& t : pool)
        t.join();
    return allOk;
}

} // namespace

int main(int argc, char** argv) {
    DecodeOptions options;
    std::string error;
    if (!parseDecodeOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "dita-decode: %s\n", error.c_str());
        return 2;
    }
    if (options.help || options.version) {
        if (options.help)
            std::fputs(decodeUsage(), stdout);
        else
            std::printf("dita-decode %s\n", DITA_VERSION);
        Output out(nullptr, {}, false, 0);
        return out.finish() ? 0 : 1;
    }
    FILE* trace = nullptr;
    if (!options.traceFile.empty()) {
        trace = std::fopen(options.traceFile.c_str(), "w");
        if (!trace) {
            std::fprintf(stderr, "dita-decode: cannot write the trace file %s: %s\n",
                         options.traceFile.c_str(), std::strerror(errno));
            return 2;
        }
    }
    const size_t files = options.files.size();
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const int jobs =
        static_cast<int>(std::min<size_t>(options.jobs > 0 ? options.jobs : cores, files));
    Output out(trace, options.traceFile, files > 1 && isatty(STDERR_FILENO), files);
    const bool allOk = jobs > 1 ? decodeAtOnce(options, jobs, out) : decodeInTurn(options, out);
    const bool written = out.finish();
    return allOk && written ? 0 : 1;
}
