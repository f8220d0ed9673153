#include "receive/SoundFileReader.h"

#include "receive/PolyphaseResampler.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

namespace dita {

namespace {
constexpr int kTargetRate = 44100;
constexpr float kFullScale = 32768.0f;
constexpr int32_t kMinSample = -32768;
constexpr int32_t kMaxSample = 32767;
// Samples (frames times channels) read from the file at a time: large enough that reading
// costs a few system calls a second of audio, small enough that a file with many channels
// stays within a few megabytes.
constexpr int kBlockSamples = 1 << 17;
// Frames the resampler may write at a time, whatever the ratio.
constexpr int kResampledFrames = 1 << 16;
// libsamplerate's limits on the conversion ratio.
constexpr double kMinRatio = 1.0 / 256.0;
constexpr double kMaxRatio = 256.0;

// A float sample (full scale 1.0) as the 16-bit input would give it: scaled, clamped and
// rounded to nearest; a value that is not a number becomes silence.
int32_t toSample(float v) {
    const float s = v * kFullScale;
    if (!(s > static_cast<float>(kMinSample)))
        return s <= static_cast<float>(kMinSample) ? kMinSample : 0;
    if (!(s < static_cast<float>(kMaxSample))) return kMaxSample;
    return static_cast<int32_t>(std::lrint(s));
}

// Mixes one frame of `channels` values (each taken as a fraction of full scale) into one.
template <typename T> float mixFrame(const T* frame, int channels, float unit) {
    float v = 0.0f;
    for (int c = 0; c < channels; ++c)
        v += static_cast<float>(frame[c]) * unit;
    return v / static_cast<float>(channels);
}

// Whether libsndfile's 16-bit reading gives the file's samples exactly (8- and 16-bit PCM in
// any container); such files skip the float conversion and its rounding.
bool readsExactlyAsShort(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
        return true;
    default:
        return false;
    }
}
// The audio data length a WAV or AIFF header gives, when libsndfile found the file shorter:
// its header log then holds "data : <header's bytes> (should be <bytes there>)" (SSND in
// AIFF). libsndfile reads what is there; the caller is told the file was cut.
std::string headerLongerThanData(SNDFILE* file) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned long long said = 0, there = 0;
        if ((std::sscanf(line.c_str(), " data : %llu (should be %llu)", &said, &there) == 2 ||
             std::sscanf(line.c_str(), " SSND : %llu (should be %llu)", &said, &there) == 2) &&
            said > there) {
            return std::to_string(said) + " bytes of audio, " + std::to_string(there) + " there";
        }
    }
    return {};
}

} // namespace

struct SoundFileReader::State {
    SNDFILE* file = nullptr;
    SF_INFO info{};
    std::string path;
    std::string error;
    std::string warning;
    std::string headerShortfall; // from headerLongerThanData, empty when the header is right
    sf_count_t framesRead = 0;   // file frames read so far
    int pick = -1;               // channel taken from each frame; -1 mixes them all
    bool shortSamples = false;
    // The rate conversion: a table-driven filter for the usual rates, libsamplerate for the
    // rest; resampling is on when either is set.
    std::unique_ptr<PolyphaseResampler> polyphase;
    SRC_STATE* resampler = nullptr;
    double ratio = 1.0;
    int blockFrames = 0;

    // Interleaved frames as read from the file; exactly one of the two is in use. When
    // resampling, the float block is turned into the chosen channel in place.
    std::vector<int16_t> shortBlock;
    std::vector<float> floatBlock;
    size_t blockStart = 0; // first frame not yet used
    size_t blockCount = 0; // frames left from blockStart
    std::vector<float> resampled;
    size_t outStart = 0;
    size_t outCount = 0;
    bool endOfFile = false;
    bool finished = false;

    ~State() {
        if (resampler) src_delete(resampler);
        if (file) sf_close(file);
    }

    void fail(const std::string& what) {
        if (error.empty()) error = path + ": " + what;
    }
    // Reads the next block of interleaved frames; notes the end of the file or an error.
    void readBlock();
    // Converts `frames` buffered frames into output samples.
    void convert(int32_t* out, size_t frames);
    // Resamples what is buffered into `resampled`.
    void resample();
};

void SoundFileReader::State::readBlock() {
    const sf_count_t got = shortSamples ? sf_readf_short(file, shortBlock.data(), blockFrames)
                                        : sf_readf_float(file, floatBlock.data(), blockFrames);
    blockStart = 0;
    blockCount = got > 0 ? static_cast<size_t>(got) : 0;
    framesRead += got > 0 ? got : 0;
    if (got >= blockFrames) return;
    endOfFile = true;
    // Audio before a cut is worth having: a file that ends early, or whose stream breaks off,
    // is a warning once something was read, a failure when nothing was.
    const double seconds = static_cast<double>(framesRead) / info.samplerate;
    char after[64];
    std::snprintf(after, sizeof after, "%.2f s", seconds);
    std::string shortfall;
    if (sf_error(file) != SF_ERR_NO_ERROR)
        shortfall = sf_strerror(file);
    else if (!headerShortfall.empty())
        shortfall = headerShortfall;
    else if (info.frames == SF_COUNT_MAX)
        shortfall = "the stream has no end"; // libsndfile found no last Ogg page
    else if (framesRead < info.frames)
        shortfall = std::to_string(framesRead) + " of " + std::to_string(info.frames) + " frames";
    if (shortfall.empty()) return;
    if (framesRead == 0)
        fail("read error (" + shortfall + ")");
    else if (warning.empty())
        warning = path + ": the file ends after " + after + ", before the length its header " +
                  "gives (" + shortfall + "); decoded what is there";
}

void SoundFileReader::State::convert(int32_t* out, size_t frames) {
    const int ch = info.channels;
    if (shortSamples) {
        const int16_t* in = shortBlock.data() + blockStart * ch;
        if (ch == 1) {
            std::copy_n(in, frames, out);
        } else if (pick >= 0) {
            for (size_t i = 0; i < frames; ++i)
                out[i] = in[i * ch + pick];
        } else {
            for (size_t i = 0; i < frames; ++i)
                out[i] = toSample(mixFrame(in + i * ch, ch, 1.0f / kFullScale));
        }
    } else {
        const float* in = floatBlock.data() + blockStart * ch;
        if (pick >= 0) {
            for (size_t i = 0; i < frames; ++i)
                out[i] = toSample(in[i * ch + pick]);
        } else {
            for (size_t i = 0; i < frames; ++i)
                out[i] = toSample(mixFrame(in + i * ch, ch, 1.0f));
        }
    }
    blockStart += frames;
    blockCount -= frames;
}

void SoundFileReader::State::resample() {
    if (blockCount == 0 && !endOfFile) {
        readBlock();
        // The chosen channel, compacted in place to the front of the block.
        const int ch = info.channels;
        if (ch > 1) {
            float* data = floatBlock.data();
            for (size_t i = 0; i < blockCount; ++i) {
                data[i] = pick >= 0 ? data[i * ch + pick] : mixFrame(data + i * ch, ch, 1.0f);
            }
        }
    }
    outStart = 0;
    outCount = 0;
    size_t used = 0;
    if (polyphase) {
        const PolyphaseResampler::Result r =
            polyphase->process(floatBlock.data() + blockStart, blockCount, resampled.data(),
                               resampled.size(), endOfFile);
        used = r.inputUsed;
        outCount = r.outputWritten;
    } else {
        SRC_DATA data{};
        data.data_in = floatBlock.data() + blockStart;
        data.input_frames = static_cast<long>(blockCount);
        data.data_out = resampled.data();
        data.output_frames = static_cast<long>(resampled.size());
        data.src_ratio = ratio;
        data.end_of_input = endOfFile ? 1 : 0;
        if (const int err = src_process(resampler, &data)) {
            fail(std::string("cannot resample (") + src_strerror(err) + ")");
            finished = true;
            return;
        }
        used = static_cast<size_t>(data.input_frames_used);
        outCount = static_cast<size_t>(data.output_frames_gen);
    }
    blockStart += used;
    blockCount -= used;
    if (endOfFile && blockCount == 0 && outCount == 0) finished = true;
}

SoundFileReader::SoundFileReader() = default;
SoundFileReader::~SoundFileReader() = default;

bool SoundFileReader::open(const std::string& path, InputChannel channel, std::string& error) {
    m_state.reset();
    auto st = std::make_unique<State>();
    st->path = path;
    st->file = sf_open(path.c_str(), SFM_READ, &st->info);
    if (!st->file) {
        error = path + ": cannot read as a sound file (" + sf_strerror(nullptr) + ")";
        return false;
    }
    const SF_INFO& info = st->info;
    st->headerShortfall = headerLongerThanData(st->file);
    if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0) {
        error = path + ": the sound file holds no audio";
        return false;
    }
    st->ratio = static_cast<double>(kTargetRate) / info.samplerate;
    if (st->ratio < kMinRatio || st->ratio > kMaxRatio) {
        error = path + ": cannot resample " + std::to_string(info.samplerate) + " Hz to " +
                std::to_string(kTargetRate) + " Hz: ratio outside [1/256, 256]";
        return false;
    }
    if (channel == InputChannel::Left || info.channels == 1)
        st->pick = 0;
    else if (channel == InputChannel::Right)
        st->pick = 1;
    st->blockFrames = std::max(1, kBlockSamples / info.channels);
    const size_t blockSamples = static_cast<size_t>(st->blockFrames) * info.channels;
    if (info.samplerate != kTargetRate &&
        PolyphaseResampler::handles(info.samplerate, kTargetRate)) {
        st->polyphase = std::make_unique<PolyphaseResampler>();
        st->polyphase->configure(info.samplerate, kTargetRate);
        st->floatBlock.resize(blockSamples);
        st->resampled.resize(kResampledFrames);
    } else if (info.samplerate != kTargetRate) {
        int err = 0;
        st->resampler = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &err);
        if (!st->resampler) {
            error = path + ": cannot resample (" + src_strerror(err) + ")";
            return false;
        }
        st->floatBlock.resize(blockSamples);
        st->resampled.resize(kResampledFrames);
    } else if (readsExactlyAsShort(info.format)) {
        st->shortSamples = true;
        st->shortBlock.resize(blockSamples);
    } else {
        st->floatBlock.resize(blockSamples);
    }
    m_state = std::move(st);
    return true;
}

int SoundFileReader::read(int32_t* out, int frames) {
    if (!m_state) return 0;
    State& st = *m_state;
    int written = 0;
    while (written < frames && !st.finished) {
        if (!st.resampler && !st.polyphase) {
            if (st.blockCount == 0) {
                if (st.endOfFile) {
                    st.finished = true;
                    break;
                }
                st.readBlock();
                continue;
            }
            const size_t n = std::min(static_cast<size_t>(frames - written), st.blockCount);
            st.convert(out + written, n);
            written += static_cast<int>(n);
            continue;
        }
        if (st.outCount == 0) {
            st.resample();
            continue;
        }
        const size_t n = std::min(static_cast<size_t>(frames - written), st.outCount);
        const float* in = st.resampled.data() + st.outStart;
        for (size_t i = 0; i < n; ++i)
            out[written + i] = toSample(in[i]);
        written += static_cast<int>(n);
        st.outStart += n;
        st.outCount -= n;
    }
    return written;
}

const std::string& SoundFileReader::error() const {
    static const std::string kNone;
    return m_state ? m_state->error : kNone;
}

const std::string& SoundFileReader::warning() const {
    static const std::string kNone;
    return m_state ? m_state->warning : kNone;
}

} // namespace dita
