#include "receive/band/BandDecoder.h"

#include "decode/CharacterDecoder.h"
#include "receive/CommandQueue.h"
#include "receive/band/ChannelScan.h"
#include "receive/band/ComplexBiquad.h"
#include "receive/chain/RealTransform.h"
#include "receive/enhanced/CwChannelDecoder.h"
#include "receive/enhanced/ToneTracking.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace dita {

namespace {

// Wideband path: the input decimated once by four (11,025 samples/s), which holds the whole
// 200..3,000 Hz band without folding.
constexpr int kDecimation = 4;
constexpr double kWideRateHz = static_cast<double>(kSampleRateHz) / kDecimation;
constexpr int kWidePassSamples = kPassFrames / kDecimation;
constexpr int kDecimatorTaps = 48;
// Passes 3,100 Hz, stops what would fold back below 3,300 Hz (above 7,725 Hz at 44,100 Hz).
constexpr double kDecimatorCutoffHz = 4400.0;
// Wideband samples kept (11.9 s): a newly opened channel is decoded from its signal's first
// element, which the scan confirms only after a few elements.
constexpr int kHistorySamples = 1 << 17;
constexpr int64_t kHistoryMask = kHistorySamples - 1;

// Scan: Hann-windowed spectra of 1,024 samples (10.77 Hz bins, 93 ms) every 256 samples.
constexpr int kFrameSize = 1024;
constexpr int kHop = 256;
constexpr int kScanBins = kFrameSize / 2;
constexpr double kScanBinHz = kWideRateHz / kFrameSize;
constexpr double kHopSeconds = kHop / kWideRateHz;
constexpr int kFramesPerPass = kWidePassSamples / kHop;
const int kLowBin = static_cast<int>(std::ceil(kBandMinHz / kScanBinHz));
const int kHighBin = static_cast<int>(std::floor(kBandMaxHz / kScanBinHz));
// Noise floor: this fraction of the band's bins lies below it in each spectrum (low, since in a
// crowded band most bins hold a signal). With noise alone a bin's power is exponentially
// distributed, so the quantile is -ln(1 - q) of the mean.
constexpr double kFloorQuantile = 0.1;
const float kFloorToMean = static_cast<float>(1.0 / -std::log(1.0 - kFloorQuantile));
constexpr float kFloorSmoothing = 0.1f;
// A bin keys on above this many times the mean noise power (12 dB: noise alone reaches it
// once in seven million spectra) and off below this (6 dB).
constexpr float kOnRatio = 15.85f;
constexpr float kOffRatio = 4.0f;
// Below this power nothing is a signal (digital silence has no noise to measure against).
constexpr float kMinPower = 1e-3f;
// Nor is anything this far (60 dB) below the strongest signal of the last seconds: in a
// recording without noise the floor is the file's own rounding, and the keying sidebands of a
// strong sender, 90 dB down a kilohertz away, would stand over it as signals of their own.
constexpr float kDynamicRange = 1e-6f;
constexpr double kStrongestDecaySeconds = 3.0;
// Near a strong sender its keying clicks stand this far (40 dB) below it: without noise to hide
// them they would key the bins beside it and, counted as the neighbour's own key-downs, have it
// taken for the stronger one's spread.
constexpr float kClickRange = 1e-4f;
// A channel's signal is heard when its bins key with at least this share (-10 dB) of the power
// of the strongest bin beside them: a neighbour's clicks stay 20 dB or more under it.
constexpr float kOwnKeyingShare = 0.1f;
// A signal: this many key-downs in a bin within this time.
constexpr int kMinOnsets = 3;
constexpr int kOnsetsKept = 4;
constexpr double kDetectSeconds = 4.0;
// A candidate's peak is the highest within this many bins each side (32 Hz).
constexpr int kPeakSpanBins = 3;
// Keying spread from a stronger neighbour this close (150 Hz) is not a signal of its own: its
// key-downs fall (nearly) only where the neighbour's do.
constexpr int kShadowSpanBins = 14;
constexpr float kShadowStronger = 2.0f;
constexpr double kShadowOverlap = 0.85;
// Peak levels: a max-hold that sinks in this time.
constexpr double kPeakDecaySeconds = 1.5;
// Key-down level average (for the signal-to-noise ratio).
constexpr float kOnLevelSmoothing = 0.1f;
// Hann window: noise bandwidth of one bin is 1.5 bins; the ratio is quoted in 2,500 Hz.
constexpr double kHannNoiseBins = 1.5;
constexpr double kSnrBandwidthHz = 2500.0;

// Channels.
constexpr double kMinSpacingHz = 35.0; // no new channel this close to an open one
constexpr double kMergeHz = 22.0;      // two channels this close hold one signal
// Drift is looked for this far from the channel's bin: one scan bin of 10.77 Hz, as wide as the
// tone capture's two bins of 5.38 Hz.
constexpr int kFollowBins = 1;
constexpr double kFollowGain = 0.3; // fraction of the measured offset taken per pass
constexpr double kMaxFollowHzPerPass = 3.0;
// The signal's own level: a max-hold of its channel's bin that sinks in kLevelDecaySeconds. A
// channel follows its signal only while the peak levels stand within this share (-6 dB) of it,
// and beside a stronger signal it is heard only when its bins key this close to it.
constexpr float kOwnLevelShare = 0.25f;
constexpr double kLevelDecaySeconds = 10.0;
constexpr double kCloseSeconds = 10.0; // silence that closes a channel
constexpr float kDisplaceRatio = 2.0f; // a new signal displaces the weakest this much weaker
// A new channel's decoder is fed from this long before the first key-down the scan counted, with
// its gate closed until that key-down: the noise only sets the detector's levels. Not to be
// confused with the channel decoder's own replay lead (1.5 s of its kept steps, for a tone that
// is already there when its levels start): a channel opens only on key-downs that rose from the
// noise, so a short lead gives the levels their noise and the decoder's replay does the rest.
constexpr double kChannelLeadSeconds = 0.3;
// The channel stream: the signal mixed to a quarter of the channel rate (1,378 Hz), where the
// oscillator is a sequence of 1, j, -1, -j.
constexpr int kChannelDecimation = 2;
constexpr double kChannelRateHz = kWideRateHz / kChannelDecimation;
constexpr double kChannelToneHz = kChannelRateHz / 4.0;
constexpr int kChannelBlock = 1024;
// Four summed mixer outputs: zeros at the channel rate's half and whole, where the images of
// other signals would fold onto the channel's tone.
constexpr int kChannelBoxcar = 4;
constexpr int kOscillatorRenormalise = 256;
// Channel low-pass on the mixed-down signal: sixth-order Butterworth. Neighbours 60 Hz away
// would otherwise beat through the decoder's short gathering detectors as fast keying.
constexpr double kChannelCutoffHz = 40.0;
constexpr int kTextReserve = 4096;
constexpr int kFlushBlocks = 12; // 2.2 s of silence at the end of the input
constexpr int kCommandReserve = 64;

int framesFor(double seconds) {
    return static_cast<int>(std::lround(seconds / kHopSeconds));
}
double hzOfBin(double bin) {
    return bin * kScanBinHz;
}
int binOfHz(double hz) {
    return static_cast<int>(std::lround(hz / kScanBinHz));
}

struct Channel {
    bool open = false;
    int id = 0;
    double pitchHz = 0.0;
    int64_t startSample = 0; // wideband sample where the first key-down began
    int64_t position = 0;    // next wideband sample to decode
    int64_t lastHeardFrame = 0;
    float level = 0.0f;          // the signal's own peak level, sinking slowly
    bool besideStronger = false; // a stronger signal keys within the shadow span
    ChannelOscillator oscillator;
    std::complex<float> previousPair{}; // sum of the two mixed samples before
    bool havePair = false;
    int quarter = 0; // phase of the 1, j, -1, -j tone oscillator
    int renormalise = 0;
    ComplexLowPass6 lowPass;
    CwChannelDecoder decoder;
    std::string text; // this pass's text
    int wpm = 0;
};

} // namespace

class BandDecoderImpl {
public:
    BandDecoderImpl();

    void post(BandCommand c) { m_commands.post(c); }
    const BandPassResult& processPass(const int32_t* samples);
    void skip(int passes);
    const BandPassResult& finish();

private:
    void applyCommands();
    void apply(const BandCommand::Reset&);
    void apply(const BandCommand::TextCase& c);
    void apply(const BandCommand::Prosigns& c);
    void apply(const BandCommand::SpacesMode& c);
    void decimate(const int32_t* samples);
    void scanFrame(int64_t frameEnd);
    void openCandidates();
    void followAndMerge();
    void closeSilent();
    void decodeChannels();
    void decodeChannel(Channel& ch, int64_t end);
    void openChannel(Channel& ch, int bin);
    void closeChannel(Channel& ch, int mergedInto);
    void fillResult();
    void report(const Channel& ch, BandChannel& out) const;
    double peakHz(int bin) const;
    int onsetsWithin(int bin, int64_t frames) const;
    bool shadowed(int bin) const;
    bool heard(const Channel& ch) const;
    double snrDb(int bin) const;
    Channel* weakest();

    CommandQueue<BandCommand> m_commands;
    DecoderSettings m_settings;

    // Wideband path.
    std::array<float, kDecimatorTaps> m_taps{};
    std::array<float, kDecimatorTaps - 1 + kPassFrames> m_input{};
    std::vector<float> m_history;
    int64_t m_total = 0; // wideband samples since the start (skipped ones counted)

    // Scan state, per bin.
    RealTransform m_transform;
    std::array<float, kFrameSize> m_window{};
    std::array<float, kFrameSize> m_frame{};
    std::array<float, kScanBins> m_re{};
    std::array<float, kScanBins> m_im{};
    std::array<float, kScanBins> m_power{};
    std::array<float, kScanBins> m_peak{};
    std::array<float, kScanBins> m_onLevel{};
    std::array<float, kScanBins> m_scratch{};
    std::array<bool, kScanBins> m_above{};
    std::array<int64_t, kScanBins> m_rise{}; // frame of a key-down not yet counted, or -1
    std::array<KeyBits, kScanBins> m_bits{};
    std::array<std::array<int64_t, kOnsetsKept>, kScanBins> m_onsets{}; // frame ends, newest first
    int64_t m_frameIndex = 0;
    float m_floor = 0.0f;
    bool m_floorKnown = false;
    float m_peakDecay = 1.0f;
    float m_strongest = 0.0f; // the band's strongest bin, held and sinking slowly
    float m_strongestDecay = 1.0f;
    float m_levelDecay = 1.0f; // per pass

    // Channels.
    std::array<Channel, kMaxBandChannels> m_channels;
    std::array<float, kChannelBlock> m_block{};
    std::array<int, kMaxBandChannels> m_order{};
    int m_nextId = 1;
    BandPassResult m_result;
};

BandDecoderImpl::BandDecoderImpl() : m_commands(kCommandReserve) {
    m_history.assign(kHistorySamples, 0.0f);
    // Blackman-windowed sinc, unity gain at direct current.
    const double fc = kDecimatorCutoffHz / kSampleRateHz;
    double sum = 0.0;
    for (int i = 0; i < kDecimatorTaps; ++i) {
        const double m = i - (kDecimatorTaps - 1) / 2.0;
        const double sinc = m == 0.0 ? 2.0 * fc : std::sin(2.0 * M_PI * fc * m) / (M_PI * m);
        const double x = 2.0 * M_PI * i / (kDecimatorTaps - 1);
        const double w = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
        m_taps[static_cast<size_t>(i)] = static_cast<float>(sinc * w);
        sum += sinc * w;
    }
    for (auto& t : m_taps)
        t = static_cast<float>(t / sum);
    m_transform.configure(kFrameSize);
    for (int i = 0; i < kFrameSize; ++i)
        m_window[static_cast<size_t>(i)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * i / kFrameSize));
    m_peakDecay = static_cast<float>(std::exp(-kHopSeconds / kPeakDecaySeconds));
    m_strongestDecay = static_cast<float>(std::exp(-kHopSeconds / kStrongestDecaySeconds));
    m_levelDecay = static_cast<float>(std::exp(-kFramesPerPass * kHopSeconds / kLevelDecaySeconds));
    for (auto& ch : m_channels) {
        ch.decoder.configure(kChannelRateHz);
        ch.decoder.setPitch(kChannelToneHz);
        designLowPass6(ch.lowPass, kChannelCutoffHz, kChannelRateHz);
        ch.text.reserve(kTextReserve);
    }
    for (auto& c : m_result.channels)
        c.text.reserve(kTextReserve);
    for (auto& c : m_result.closed)
        c.text.reserve(kTextReserve);
    for (auto& o : m_onsets)
        o.fill(INT64_MIN / 2);
    m_rise.fill(-1);
}

void BandDecoderImpl::applyCommands() {
    m_commands.applyPending([this](const BandCommand& c) {
        std::visit([this](const auto& v) { apply(v); }, c.value());
    });
}

void BandDecoderImpl::apply(const BandCommand::Reset&) {
    for (auto& ch : m_channels) {
        if (ch.open) closeChannel(ch, 0);
    }
    for (auto& o : m_onsets)
        o.fill(INT64_MIN / 2);
    m_bits.fill({});
    m_above.fill(false);
    m_rise.fill(-1);
}

void BandDecoderImpl::apply(const BandCommand::TextCase& c) {
    m_settings.upperCase = c.value == setting::TextCase::Upper;
}

void BandDecoderImpl::apply(const BandCommand::Prosigns& c) {
    m_settings.prosigns = c.value != setting::OnOff::Off;
}

void BandDecoderImpl::apply(const BandCommand::SpacesMode& c) {
    m_settings.wordSpaces = c.value == setting::Switch3::On;
}

void BandDecoderImpl::decimate(const int32_t* s) {
    constexpr int kKeep = kDecimatorTaps - 1;
    std::copy(m_input.end() - kKeep, m_input.end(), m_input.begin());
    for (int i = 0; i < kPassFrames; ++i)
        m_input[static_cast<size_t>(kKeep + i)] = static_cast<float>(s[i]);
    for (int m = 0; m < kWidePassSamples; ++m) {
        const float* x = &m_input[static_cast<size_t>(kDecimation * m + kDecimation - 1)];
        float acc = 0.0f;
        for (int t = 0; t < kDecimatorTaps; ++t)
            acc += m_taps[static_cast<size_t>(t)] * x[t];
        m_history[static_cast<size_t>((m_total + m) & kHistoryMask)] = acc;
    }
    m_total += kWidePassSamples;
}

void BandDecoderImpl::scanFrame(int64_t frameEnd) {
    for (int i = 0; i < kFrameSize; ++i)
        m_frame[static_cast<size_t>(i)] =
            m_history[static_cast<size_t>((frameEnd - kFrameSize + i) & kHistoryMask)];
    m_transform.forward(m_frame.data(), m_window.data(), m_re.data(), m_im.data());
    for (int k = 0; k < kScanBins; ++k)
        m_power[static_cast<size_t>(k)] =
            m_re[static_cast<size_t>(k)] * m_re[static_cast<size_t>(k)] +
            m_im[static_cast<size_t>(k)] * m_im[static_cast<size_t>(k)];

    // Noise floor from the quiet part of the band.
    const int count = kHighBin - kLowBin + 1;
    std::copy(m_power.begin() + kLowBin, m_power.begin() + kHighBin + 1, m_scratch.begin());
    auto nth = m_scratch.begin() + static_cast<long>(kFloorQuantile * count);
    std::nth_element(m_scratch.begin(), nth, m_scratch.begin() + count);
    const float floorNow = *nth * kFloorToMean;
    // Noise that sets in at once (the input was silent, a receiver unmutes) raises the whole band:
    // smoothed, the floor would lag it and every bin would key on the noise itself.
    const bool noiseRose = floorNow > kOffRatio * std::max(m_floor, kMinPower);
    m_floor =
        m_floorKnown && !noiseRose ? m_floor + kFloorSmoothing * (floorNow - m_floor) : floorNow;
    m_floorKnown = true;

    const float strongestNow =
        *std::max_element(m_power.begin() + kLowBin, m_power.begin() + kHighBin + 1);
    m_strongest = std::max(strongestNow, m_strongest * m_strongestDecay);
    const float lowest = std::max(kMinPower, m_strongest * kDynamicRange);
    const float onLevel = std::max(m_floor * kOnRatio, lowest);
    const float offLevel = std::max(m_floor * kOffRatio, lowest);
    ++m_frameIndex;
    for (int k = kLowBin - kPeakSpanBins; k <= kHighBin + kPeakSpanBins; ++k) {
        const size_t i = static_cast<size_t>(k);
        const float p = m_power[i];
        m_peak[i] = std::max(p, m_peak[i] * m_peakDecay);
    }
    for (int k = kLowBin - kPeakSpanBins; k <= kHighBin + kPeakSpanBins; ++k) {
        const size_t i = static_cast<size_t>(k);
        const float p = m_power[i];
        float nearby = 0.0f;
        float neighbour = 0.0f; // beyond the bins a signal of its own spreads over, now
        for (int j = std::max(kLowBin, k - kShadowSpanBins);
             j <= std::min(kHighBin, k + kShadowSpanBins); ++j) {
            nearby = std::max(nearby, m_peak[static_cast<size_t>(j)]);
            if (std::abs(j - k) > kFollowBins + 1)
                neighbour = std::max(neighbour, m_power[static_cast<size_t>(j)]);
        }
        const float on = std::max(onLevel, nearby * kClickRange);
        const float off = std::max(offLevel, nearby * kClickRange);
        if (!m_above[i] && p > on) {
            m_above[i] = true;
            m_rise[i] = m_frameIndex;
        } else if (m_above[i] && p < off) {
            m_above[i] = false;
        }
        // A key-down counts once the bin has keyed with its own power: a rise that stays far
        // under a neighbour keying at the same time is the neighbour's spread, and counted it
        // would have a sender beside it thought to begin where the neighbour began.
        if (m_above[i] && m_rise[i] >= 0 && p >= kOwnKeyingShare * neighbour) {
            auto& o = m_onsets[i];
            std::copy_backward(o.begin(), o.end() - 1, o.end());
            o[0] = m_rise[i];
            m_rise[i] = -1;
        }
        if (m_above[i]) m_onLevel[i] += kOnLevelSmoothing * (p - m_onLevel[i]);
        m_bits[i].push(m_above[i]);
    }
    for (auto& ch : m_channels) {
        if (!ch.open) continue;
        // The clicks of a stronger neighbour's keying reach the channel's bins too; they must not
        // hold its gate open through the sender's pauses, or the decoder writes them as text.
        // Beside a stronger neighbour they also rise with the neighbour's steady spread, which
        // stays far under the sender's own level.
        const int b = binOfHz(ch.pitchHz);
        float neighbour = 0.0f;
        float neighbourPeak = 0.0f;
        for (int j = std::max(kLowBin, b - kShadowSpanBins);
             j <= std::min(kHighBin, b + kShadowSpanBins); ++j) {
            if (std::abs(j - b) <= kFollowBins + 1) continue;
            neighbour = std::max(neighbour, m_power[static_cast<size_t>(j)]);
            neighbourPeak = std::max(neighbourPeak, m_peak[static_cast<size_t>(j)]);
        }
        ch.besideStronger = neighbourPeak > ch.level;
        const float own = ch.besideStronger ? kOwnLevelShare * ch.level : 0.0f;
        for (int k = b - kFollowBins; k <= b + kFollowBins; ++k) {
            const float p = m_power[static_cast<size_t>(k)];
            if (m_above[static_cast<size_t>(k)] && p >= kOwnKeyingShare * neighbour && p >= own)
                ch.lastHeardFrame = m_frameIndex;
        }
    }
}

int BandDecoderImpl::onsetsWithin(int bin, int64_t frames) const {
    int n = 0;
    for (int64_t f : m_onsets[static_cast<size_t>(bin)])
        n += m_frameIndex - f < frames ? 1 : 0;
    return n;
}

double BandDecoderImpl::peakHz(int bin) const {
    // On the peak levels.
    auto level = [&](int k) { return std::max(m_peak[static_cast<size_t>(k)], kMinPower); };
    return hzOfBin(bin + peakOffsetBins(level(bin - 1), level(bin), level(bin + 1)));
}

bool BandDecoderImpl::shadowed(int bin) const {
    const KeyBits& mine = m_bits[static_cast<size_t>(bin)];
    const int own = mine.count();
    if (own == 0) return true;
    for (int j = std::max(kLowBin, bin - kShadowSpanBins);
         j <= std::min(kHighBin, bin + kShadowSpanBins); ++j) {
        if (j == bin ||
            m_peak[static_cast<size_t>(j)] < kShadowStronger * m_peak[static_cast<size_t>(bin)])
            continue;
        if (mine.overlap(m_bits[static_cast<size_t>(j)]) >= kShadowOverlap * own) return true;
    }
    return false;
}

double BandDecoderImpl::snrDb(int bin) const {
    const double noise = std::max(static_cast<double>(m_floor), static_cast<double>(kMinPower)) *
                         kSnrBandwidthHz / (kHannNoiseBins * kScanBinHz);
    return 10.0 * std::log10(std::max(static_cast<double>(m_onLevel[static_cast<size_t>(bin)]),
                                      static_cast<double>(kMinPower)) /
                             noise);
}

bool BandDecoderImpl::heard(const Channel& ch) const {
    return static_cast<double>(m_frameIndex - ch.lastHeardFrame) * kHopSeconds <=
           quietHoldSeconds(ch.decoder.wordGapSeconds());
}

Channel* BandDecoderImpl::weakest() {
    Channel* w = nullptr;
    for (auto& ch : m_channels) {
        if (!ch.open) continue;
        if (!w || m_onLevel[static_cast<size_t>(binOfHz(ch.pitchHz))] <
                      m_onLevel[static_cast<size_t>(binOfHz(w->pitchHz))])
            w = &ch;
    }
    return w;
}

void BandDecoderImpl::openChannel(Channel& ch, int bin) {
    ch.open = true;
    ch.id = m_nextId++;
    ch.pitchHz = peakHz(bin);
    ch.level = m_peak[static_cast<size_t>(bin)];
    ch.besideStronger = false;
    ch.decoder.setStrongerNeighbour(false);
    ch.oscillator.tune(ch.pitchHz, kWideRateHz);
    ch.oscillator.resetPhase();
    ch.havePair = false;
    ch.quarter = 0;
    ch.renormalise = 0;
    for (auto& section : ch.lowPass)
        section.reset();
    ch.wpm = 0;
    ch.text.clear();
    ch.decoder.reset();
    ch.decoder.setGate(true);
    // The oldest key-down still counted began about half a spectrum before its frame ended.
    int64_t firstFrame = m_frameIndex;
    for (int64_t f : m_onsets[static_cast<size_t>(bin)]) {
        if (m_frameIndex - f < framesFor(kDetectSeconds)) firstFrame = std::min(firstFrame, f);
    }
    const int64_t frameEnd = m_total - static_cast<int64_t>(m_frameIndex - firstFrame) * kHop;
    ch.startSample = std::max<int64_t>(0, frameEnd - kFrameSize / 2);
    ch.startSample -= ch.startSample % kChannelDecimation;
    const int64_t lead = static_cast<int64_t>(kChannelLeadSeconds * kWideRateHz);
    ch.position = std::max(
        {int64_t{0}, m_total - kHistorySamples + kFrameSize, frameEnd - kFrameSize - lead});
    ch.position -= ch.position % kChannelDecimation;
    ch.lastHeardFrame = m_frameIndex;
}

void BandDecoderImpl::closeChannel(Channel& ch, int mergedInto) {
    if (m_result.closedCount < kMaxBandChannels) {
        BandChannel& out = m_result.closed[static_cast<size_t>(m_result.closedCount++)];
        report(ch, out);
        out.mergedInto = mergedInto;
    }
    ch.open = false;
    ch.text.clear();
}

void BandDecoderImpl::openCandidates() {
    const int64_t window = framesFor(kDetectSeconds);
    for (int k = kLowBin; k <= kHighBin; ++k) {
        const size_t i = static_cast<size_t>(k);
        if (onsetsWithin(k, window) < kMinOnsets) continue;
        bool isPeak = true;
        for (int j = k - kPeakSpanBins; j <= k + kPeakSpanBins && isPeak; ++j) {
            const float pj = m_peak[static_cast<size_t>(j)];
            isPeak = j == k || (j < k ? pj <= m_peak[i] : pj < m_peak[i]);
        }
        if (!isPeak) continue;
        const double hz = peakHz(k);
        bool near = false;
        for (const auto& ch : m_channels)
            near = near || (ch.open && std::abs(ch.pitchHz - hz) < kMinSpacingHz);
        if (near || shadowed(k)) continue;
        Channel* slot = nullptr;
        for (auto& ch : m_channels) {
            if (!ch.open) {
                slot = &ch;
                break;
            }
        }
        if (!slot) {
            // Full: the strongest win.
            Channel* w = weakest();
            if (!w ||
                m_onLevel[i] < kDisplaceRatio * m_onLevel[static_cast<size_t>(binOfHz(w->pitchHz))])
                continue;
            closeChannel(*w, 0);
            slot = w;
        }
        openChannel(*slot, k);
    }
}

void BandDecoderImpl::followAndMerge() {
    for (auto& ch : m_channels) {
        if (!ch.open) continue;
        const int b = binOfHz(ch.pitchHz);
        ch.level = std::max(ch.level * m_levelDecay, m_peak[static_cast<size_t>(b)]);
        if (m_frameIndex - ch.lastHeardFrame > kFramesPerPass) continue;
        int best = b;
        for (int k = b - kFollowBins; k <= b + kFollowBins; ++k) {
            if (m_peak[static_cast<size_t>(k)] > m_peak[static_cast<size_t>(best)]) best = k;
        }
        // While its sender pauses the channel's bins hold only the skirt of a stronger
        // neighbour's keying, which slopes towards the neighbour: followed, it would draw the
        // channel onto it. Only the signal's own level is followed.
        if (m_peak[static_cast<size_t>(best)] < kOwnLevelShare * ch.level) continue;
        const double step = std::clamp(kFollowGain * (peakHz(best) - ch.pitchHz),
                                       -kMaxFollowHzPerPass, kMaxFollowHzPerPass);
        ch.pitchHz = std::clamp(ch.pitchHz + step, kBandMinHz, kBandMaxHz);
        ch.oscillator.tune(ch.pitchHz, kWideRateHz);
    }
    for (auto& a : m_channels) {
        for (auto& b : m_channels) {
            if (&a == &b || !a.open || !b.open || std::abs(a.pitchHz - b.pitchHz) >= kMergeHz)
                continue;
            // The older channel keeps the signal and its learnt timing.
            Channel& younger = a.id > b.id ? a : b;
            closeChannel(younger, a.id > b.id ? b.id : a.id);
        }
    }
}

void BandDecoderImpl::closeSilent() {
    for (auto& ch : m_channels) {
        if (ch.open &&
            static_cast<double>(m_frameIndex - ch.lastHeardFrame) * kHopSeconds > kCloseSeconds)
            closeChannel(ch, 0);
    }
}

void BandDecoderImpl::decodeChannel(Channel& ch, int64_t end) {
    // The state is worked on in locals: the compiler cannot keep members in registers across
    // the stores into the block.
    ChannelOscillator oscillator = ch.oscillator;
    ComplexLowPass6 lowPass = ch.lowPass;
    std::complex<float> previousPair = ch.previousPair;
    bool havePair = ch.havePair;
    int quarter = ch.quarter;
    int renormalise = ch.renormalise;
    int filled = 0;
    // Positions are even: one channel sample per two mixed ones.
    for (int64_t n = ch.position; n + 1 < end; n += kChannelDecimation) {
        const std::complex<float> first =
            oscillator.mix(m_history[static_cast<size_t>(n & kHistoryMask)]);
        const std::complex<float> pair =
            first + oscillator.mix(m_history[static_cast<size_t>((n + 1) & kHistoryMask)]);
        renormalise += kChannelDecimation;
        if (renormalise >= kOscillatorRenormalise) {
            oscillator.renormalise();
            renormalise = 0;
        }
        const bool ready = havePair;
        havePair = true;
        // The last four mixed samples; twice the real part below keeps input amplitude.
        std::complex<float> z = (previousPair + pair) * (2.0f / kChannelBoxcar);
        previousPair = pair;
        if (!ready) continue;
        for (auto& section : lowPass)
            z = section.process(z);
        // The channel tone's oscillator turns a quarter each sample: 1, j, -1, -j.
        const float y = atQuarterRate(z, quarter);
        m_block[static_cast<size_t>(filled++)] = y;
        if (filled == kChannelBlock) {
            ch.decoder.process(m_block.data(), filled, m_settings, ch.text);
            filled = 0;
        }
    }
    if (filled > 0) ch.decoder.process(m_block.data(), filled, m_settings, ch.text);
    ch.oscillator = oscillator;
    ch.lowPass = lowPass;
    ch.previousPair = previousPair;
    ch.havePair = havePair;
    ch.quarter = quarter;
    ch.renormalise = renormalise;
    ch.position = std::max(ch.position, end);
    const int wpm = ch.decoder.wpm();
    if (wpm > 0) ch.wpm = wpm;
}

void BandDecoderImpl::decodeChannels() {
    // Decoded a spectrum behind the scan, so the gate knows whether the signal keyed there.
    const int64_t end = m_total - kFrameSize;
    for (auto& ch : m_channels) {
        if (!ch.open) continue;
        if (ch.position < end - kWidePassSamples) {
            // A new channel: the noise before its first key-down only sets the levels; from
            // there on the scan has confirmed the signal.
            ch.decoder.setGate(false);
            decodeChannel(ch, std::min(ch.startSample, end - kWidePassSamples));
            ch.decoder.setGate(true);
            decodeChannel(ch, end - kWidePassSamples);
        }
        ch.decoder.setGate(heard(ch));
        ch.decoder.setStrongerNeighbour(ch.besideStronger);
        decodeChannel(ch, end);
    }
}

void BandDecoderImpl::report(const Channel& ch, BandChannel& out) const {
    out.id = ch.id;
    out.startSeconds = static_cast<double>(ch.startSample) / kWideRateHz;
    out.pitchHz = ch.pitchHz;
    out.wpm = ch.wpm;
    out.snrDb = snrDb(binOfHz(ch.pitchHz));
    out.heard = heard(ch);
    out.text.assign(ch.text);
    out.mergedInto = 0;
}

void BandDecoderImpl::fillResult() {
    int n = 0;
    for (int i = 0; i < kMaxBandChannels; ++i) {
        if (m_channels[static_cast<size_t>(i)].open) m_order[static_cast<size_t>(n++)] = i;
    }
    std::sort(m_order.begin(), m_order.begin() + n, [this](int a, int b) {
        return m_channels[static_cast<size_t>(a)].pitchHz <
               m_channels[static_cast<size_t>(b)].pitchHz;
    });
    for (int i = 0; i < n; ++i)
        report(m_channels[static_cast<size_t>(m_order[static_cast<size_t>(i)])],
               m_result.channels[static_cast<size_t>(i)]);
    m_result.channelCount = n;
    m_result.timeSeconds = static_cast<double>(m_total) / kWideRateHz;
}

const BandPassResult& BandDecoderImpl::processPass(const int32_t* samples) {
    m_result.closedCount = 0;
    for (auto& ch : m_channels)
        ch.text.clear();
    applyCommands();
    decimate(samples);
    for (int f = 0; f < kFramesPerPass; ++f) {
        // Spectra over the start of the input would see the silence before it as quiet
        // followed by a rise in every bin.
        const int64_t frameEnd = m_total - kWidePassSamples + (f + 1) * kHop;
        if (frameEnd >= kFrameSize) scanFrame(frameEnd);
    }
    followAndMerge();
    openCandidates();
    decodeChannels();
    closeSilent();
    fillResult();
    return m_result;
}

void BandDecoderImpl::skip(int passes) {
    if (passes <= 0) return;
    const int64_t samples = static_cast<int64_t>(passes) * kWidePassSamples;
    const int64_t frames = static_cast<int64_t>(passes) * kFramesPerPass;
    // The history holds nothing of the skipped time: silence, so no channel decodes it.
    for (int64_t n = 0; n < std::min<int64_t>(samples, kHistorySamples); ++n)
        m_history[static_cast<size_t>((m_total + n) & kHistoryMask)] = 0.0f;
    m_total += samples;
    m_frameIndex += frames;
    for (auto& ch : m_channels) {
        if (ch.open) ch.position = std::max(ch.position, m_total - kFrameSize);
    }
}

const BandPassResult& BandDecoderImpl::finish() {
    m_result.closedCount = 0;
    for (auto& ch : m_channels) {
        if (!ch.open) continue;
        ch.text.clear();
        // Flush the decoder: what was held back a spectrum for the gate, then enough silence
        // for the last character to end.
        decodeChannel(ch, m_total);
        m_block.fill(0.0f);
        ch.decoder.setGate(true);
        for (int i = 0; i < kFlushBlocks; ++i)
            ch.decoder.process(m_block.data(), kChannelBlock, m_settings, ch.text);
        closeChannel(ch, 0);
    }
    m_result.channelCount = 0;
    m_result.timeSeconds = static_cast<double>(m_total) / kWideRateHz;
    return m_result;
}

void BandTranscript::add(const BandPassResult& result, std::vector<BandRecord>& closedNow) {
    for (int i = 0; i < result.channelCount; ++i) {
        const BandChannel& c = result.channels[static_cast<size_t>(i)];
        m_texts[c.id] += c.text;
    }
    for (int i = 0; i < result.closedCount; ++i) {
        const BandChannel& c = result.closed[static_cast<size_t>(i)];
        auto it = m_texts.find(c.id);
        std::string text = it == m_texts.end() ? std::string() : std::move(it->second);
        if (it != m_texts.end()) m_texts.erase(it);
        text += c.text;
        closedNow.push_back(
            {c.id, c.startSeconds, c.pitchHz, c.wpm, c.snrDb, std::move(text), c.mergedInto});
    }
}

BandDecoder::BandDecoder() : m_impl(std::make_unique<BandDecoderImpl>()) {}
BandDecoder::~BandDecoder() = default;
void BandDecoder::post(BandCommand command) {
    m_impl->post(command);
}
const BandPassResult& BandDecoder::processPass(const int32_t* samples) {
    return m_impl->processPass(samples);
}
void BandDecoder::skip(int passes) {
    m_impl->skip(passes);
}
const BandPassResult& BandDecoder::finish() {
    return m_impl->finish();
}

} // namespace dita
