#include "receive/SoundFileReader.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>

namespace dita {

namespace {
constexpr int kTargetRate = 44100;
constexpr int kChunkFrames = 4096;
constexpr float kFullScale = 32768.0f;
} // namespace

struct SoundFileReader::State {
    SNDFILE* file = nullptr;
    SF_INFO info{};
    InputChannel channel = InputChannel::Mic;
    SRC_STATE* resampler = nullptr;
    double ratio = 1.0;
    std::vector<float> raw;        // interleaved frames from the file
    std::vector<float> mono;       // chosen channel at the file's rate
    std::vector<float> resampled;  // at 44,100 Hz
    size_t monoStart = 0;
    size_t monoCount = 0;
    size_t outStart = 0;
    size_t outCount = 0;
    bool endOfFile = false;
    bool finished = false;

    ~State() {
        if (resampler) src_delete(resampler);
        if (file) sf_close(file);
    }
};

SoundFileReader::SoundFileReader() = default;
SoundFileReader::~SoundFileReader() = default;

bool SoundFileReader::open(const std::string& path, InputChannel channel, std::string& error) {
    auto st = std::make_unique<State>();
    st->file = sf_open(path.c_str(), SFM_READ, &st->info);
    if (!st->file) {
        error = path + ": cannot read as a sound file (" + sf_strerror(nullptr) + ")";
        return false;
    }
    if (st->info.frames <= 0 || st->info.channels <= 0 || st->info.samplerate <= 0) {
        error = path + ": the sound file holds no audio";
        return false;
    }
    st->channel = channel;
    st->ratio = static_cast<double>(kTargetRate) / st->info.samplerate;
    if (st->info.samplerate != kTargetRate) {
        int err = 0;
        st->resampler = src_new(SRC_SINC_MEDIUM_QUALITY, 1, &err);
        if (!st->resampler) {
            error = path + ": cannot resample (" + src_strerror(err) + ")";
            return false;
        }
    }
    st->raw.resize(static_cast<size_t>(kChunkFrames) * st->info.channels);
    st->mono.resize(kChunkFrames);
    st->resampled.resize(static_cast<size_t>(std::ceil(kChunkFrames * st->ratio)) + 64);
    m_state = std::move(st);
    return true;
}

bool SoundFileReader::rewind() {
    if (!m_state) return false;
    State& st = *m_state;
    if (sf_seek(st.file, 0, SEEK_SET) < 0) return false;
    if (st.resampler) src_reset(st.resampler);
    st.monoStart = st.monoCount = st.outStart = st.outCount = 0;
    st.endOfFile = false;
    st.finished = false;
    return true;
}

// Reads the next chunk, picks the channel and resamples what is buffered. Sets `finished`
// once the file and the resampler have nothing more to give.
void SoundFileReader::refill() {
    State& st = *m_state;
    if (st.monoCount == 0 && !st.endOfFile) {
        const sf_count_t got = sf_readf_float(st.file, st.raw.data(), kChunkFrames);
        if (got <= 0) st.endOfFile = true;
        const int ch = st.info.channels;
        for (sf_count_t i = 0; i < got; ++i) {
            const float* frame = &st.raw[static_cast<size_t>(i) * ch];
            float v = 0.0f;
            if (st.channel == InputChannel::Mic) {
                for (int c = 0; c < ch; ++c) v += frame[c];
                v /= static_cast<float>(ch);
            } else {
                v = frame[st.channel == InputChannel::Right && ch > 1 ? 1 : 0];
            }
            st.mono[static_cast<size_t>(i)] = v;
        }
        st.monoStart = 0;
        st.monoCount = got > 0 ? static_cast<size_t>(got) : 0;
    }
    st.outStart = 0;
    if (!st.resampler) {
        std::copy_n(st.mono.begin() + st.monoStart, st.monoCount, st.resampled.begin());
        st.outCount = st.monoCount;
        st.monoCount = 0;
        st.finished = st.endOfFile && st.outCount == 0;
        return;
    }
    SRC_DATA data{};
    data.data_in = st.mono.data() + st.monoStart;
    data.input_frames = static_cast<long>(st.monoCount);
    data.data_out = st.resampled.data();
    data.output_frames = static_cast<long>(st.resampled.size());
    data.src_ratio = st.ratio;
    data.end_of_input = st.endOfFile ? 1 : 0;
    if (src_process(st.resampler, &data) != 0) {
        st.outCount = 0;
        st.finished = true;
        return;
    }
    st.monoStart += static_cast<size_t>(data.input_frames_used);
    st.monoCount -= static_cast<size_t>(data.input_frames_used);
    st.outCount = static_cast<size_t>(data.output_frames_gen);
    st.finished = st.endOfFile && st.monoCount == 0 && st.outCount == 0;
}

int SoundFileReader::read(int32_t* out, int frames) {
    if (!m_state) return 0;
    State& st = *m_state;
    int written = 0;
    while (written < frames) {
        if (st.outCount == 0) {
            if (st.finished) break;
            refill();
            continue;
        }
        const int n = std::min<int>(frames - written, static_cast<int>(st.outCount));
        for (int i = 0; i < n; ++i) {
            const float v = std::clamp(st.resampled[st.outStart + i] * kFullScale, -32768.0f, 32767.0f);
            out[written + i] = static_cast<int32_t>(std::lrint(v));
        }
        written += n;
        st.outStart += static_cast<size_t>(n);
        st.outCount -= static_cast<size_t>(n);
    }
    return written;
}

double SoundFileReader::durationSeconds() const {
    return m_state ? static_cast<double>(m_state->info.frames) / m_state->info.samplerate : 0.0;
}
int SoundFileReader::fileRate() const { return m_state ? m_state->info.samplerate : 0; }
int SoundFileReader::fileChannels() const { return m_state ? m_state->info.channels : 0; }

} // namespace dita
