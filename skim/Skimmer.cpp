#include "skim/Skimmer.h"

#include "decode/CharacterDecoder.h"
#include "receive/band/ChannelScan.h"
#include "receive/band/ComplexBiquad.h"
#include "receive/enhanced/CwChannelDecoder.h"
#include "receive/enhanced/ToneTracking.h"
#include "skim/IqCorrector.h"
#include "skim/Spots.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace dita {

namespace {

// Spectra kept for channels opened late: the scan confirms a signal only after a few of its
// elements, and the channel is decoded from the first.
constexpr double kHistorySeconds = 6.0;

// Scan. Hann-windowed power of each bin, taken from the filter bank's unwindowed spectrum by
// the window's three-bin kernel.
// Noise floor: per section of bins, this fraction of them lies below it (low, since in a busy
// band many bins hold a signal); for noise alone a bin's power is exponential, so the quantile
// is -ln(1 - q) of the mean.
constexpr int kSectionBins = 128;
constexpr double kFloorQuantile = 0.2;
const float kFloorToMean = static_cast<float>(1.0 / -std::log(1.0 - kFloorQuantile));
constexpr float kFloorSmoothing = 0.1f; // per spectrum: a change of floor followed within 0.3 s
// The floor never sinks below the noise a 16-bit recording's own steps make (variance 1/12 in
// each of I and Q, times the window's 3N/8 power gain): digital silence is no reference.
constexpr double kQuantisationPowerPerBin = (2.0 / 12.0) * 3.0 / 8.0;
// A bin keys on 12 dB over the mean noise (noise alone reaches it once in seven million
// spectra) and off below 6 dB.
constexpr float kOnRatio = 15.85f;
constexpr float kOffRatio = 4.0f;
// A keyed signal falls back to the noise between elements; a carrier that only wavers around
// the threshold does not.
constexpr float kQuietRatio = 2.5f;
constexpr float kLevelSmoothing = 0.1f;
// A signal: this many key-downs in a bin within this time.
constexpr int kMinOnsets = 3;
constexpr int kOnsetsKept = 4;
constexpr double kDetectSeconds = 4.0;
constexpr double kPeakDecaySeconds = 1.5;
// A signal's frequency is measured on the mean power of its bins: a max-hold would also hold
// the keying clicks of a strong neighbour and pull the estimate towards it.
constexpr float kMeanSmoothing = 0.05f;
// A candidate's peak is the highest within this many bins each side (about 47 Hz).
constexpr int kPeakSpanBins = 2;
// Keying spread of a stronger neighbour this close (about 140 Hz) is not a signal of its own:
// its key-downs fall (nearly) only where the neighbour's do.
constexpr int kShadowSpanBins = 6;
constexpr float kShadowStronger = 2.0f;
constexpr double kShadowOverlap = 0.85;
// The mirror image of a strong signal keys with it and is far weaker (20 dB or more).
constexpr float kImageWeaker = 100.0f;
// No signal is looked for this close to the centre (where the DC notch is) or the edges.
constexpr int kCentreBins = 3;
constexpr int kEdgeBins = kShadowSpanBins + 2;
// Hann window: one bin's noise bandwidth is 1.5 bins; the ratio is quoted in 500 Hz.
constexpr double kHannNoiseBins = 1.5;
constexpr double kSnrBandwidthHz = 500.0;

// Channels.
constexpr int kManageEvery = 2;         // spectra between looks for new and moved signals
constexpr int kDecodeLag = 2;           // channels decode this many spectra behind the scan
constexpr double kMinSpacingHz = 40.0;  // no new channel this close to an open one
constexpr double kMergeHz = 20.0;       // two channels this close hold one signal
constexpr double kFollowGain = 0.3;     // fraction of a measured offset taken per look
constexpr double kMaxFollowHz = 0.5;    // per look (12 Hz a second)
constexpr double kRebinFraction = 0.75; // a channel moves to the next bin this far off centre
// A new channel's decoder is fed from this long before its first key-down (as in the band
// decoder; the channel decoder's own replay lead of its kept steps is another, longer one).
constexpr double kChannelLeadSeconds = 0.3;
constexpr float kDisplaceRatio = 2.0f;
constexpr double kChannelCutoffHz = 40.0;
constexpr int kChannelBlock = 1024;
constexpr double kFlushSeconds = 2.5; // silence fed at the end so the last characters are written
constexpr double kRespotHz = 1000.0;
constexpr int kTextReserve = 4096;

struct BinState {
    float peak = 0.0f;
    float mean = 0.0f; // power averaged over about half a second
    float onLevel = 0.0f;
    float offLevel = 0.0f;
    bool above = false;
    KeyBits bits;
    std::array<int64_t, kOnsetsKept> onsets{}; // spectrum indices, newest first
};

struct Channel {
    bool open = false;
    int id = 0;
    double offsetHz = 0.0; // from the centre
    int bin = 0;           // signed bin the stream is cut around
    int64_t next = 0;      // next spectrum to decode
    int64_t gateFrom = 0;  // spectra before the first key-down only set the levels
    int64_t liveFrom = 0;  // from here on the gate follows the scan
    int64_t firstSpectrum = 0;
    int64_t lastHeard = 0;
    ChannelOscillator oscillator;
    ComplexLowPass6 lowPass;
    int quarter = 0;
    bool gate = false;
    CwChannelDecoder decoder;
    CallReader calls;
    int wpm = 0;
    std::string fresh;      // text of this block
    std::string transcript; // all text
};

} // namespace

class SkimmerImpl {
public:
    void configure(double rateHz, const SkimmerSettings& settings);
    const FilterBankLayout& layout() const { return m_bank.layout(); }
    const SkimResult& process(const std::complex<float>* iq, int count);
    const SkimResult& finish();

private:
    void onSpectrum(const std::complex<float>* spectrum);
    void scan(const std::complex<float>* spectrum);
    void manage();
    void openCandidates();
    void followAndMerge();
    void closeSilent();
    void openChannel(Channel& ch, int index);
    void closeChannel(Channel& ch);
    void decodeChannel(Channel& ch, int64_t upTo);
    void feedDecoder(Channel& ch, const float* samples, int count);
    void takeSpots(Channel& ch, size_t from);
    void fillResult();

    bool usable(int index) const;
    int signedBin(int index) const { return index < m_n / 2 ? index : index - m_n; }
    int indexOf(int bin) const { return (bin % m_n + m_n) % m_n; }
    float floorAt(int index) const { return m_floor[static_cast<size_t>(index / kSectionBins)]; }
    double peakOffsetHz(int index) const;
    int onsetsWithin(int index, int64_t spectra) const;
    bool shadowed(int index) const;
    bool isImage(int index) const;
    bool heard(const Channel& ch) const;
    double snrDb(int index) const;
    double secondsOf(int64_t spectrum) const {
        return static_cast<double>(spectrum) * m_hopSeconds;
    }
    double freqOf(double offsetHz) const { return m_settings.centerHz + offsetHz; }
    void setTuning(Channel& ch);

    SkimmerSettings m_settings;
    DecoderSettings m_decoderSettings;
    IqCorrector m_corrector;
    FilterBank m_bank;
    int m_n = 0;
    double m_binHz = 0.0;
    double m_hopSeconds = 0.0;
    int64_t m_samples = 0;
    std::vector<std::complex<float>> m_work;

    // Spectra kept, and how many were made.
    int m_historyCount = 0;
    std::vector<std::complex<float>> m_history;
    int64_t m_spectra = 0;

    // Scan.
    std::vector<float> m_power;
    std::vector<float> m_scratch;
    std::vector<float> m_floor;
    std::vector<BinState> m_bins;
    bool m_floorKnown = false;
    float m_minFloor = 0.0f;
    float m_peakDecay = 1.0f;

    // Channels.
    std::vector<std::unique_ptr<Channel>> m_channels;
    std::vector<std::complex<float>> m_stream;
    std::array<float, kChannelBlock> m_block{};
    int m_nextId = 1;
    struct Spotted {
        std::string call;
        double freqHz = 0.0;
        double timeSeconds = 0.0;
    };
    std::vector<Spotted> m_spotted;
    std::vector<CallRead> m_reads;
    SkimResult m_result;
};

void SkimmerImpl::configure(double rateHz, const SkimmerSettings& settings) {
    m_settings = settings;
    m_decoderSettings = {};
    m_decoderSettings.upperCase = true;
    m_bank.configure(rateHz);
    const FilterBankLayout& l = m_bank.layout();
    m_corrector.configure(rateHz);
    m_n = l.fftSize;
    m_binHz = l.binHz;
    m_hopSeconds = l.hop / rateHz;
    m_samples = 0;
    m_historyCount = static_cast<int>(std::ceil(kHistorySeconds / m_hopSeconds));
    m_history.assign(static_cast<size_t>(m_historyCount) * static_cast<size_t>(m_n), {});
    m_spectra = 0;
    m_power.assign(static_cast<size_t>(m_n), 0.0f);
    m_scratch.assign(kSectionBins, 0.0f);
    m_floor.assign(static_cast<size_t>((m_n + kSectionBins - 1) / kSectionBins), 0.0f);
    m_bins.assign(static_cast<size_t>(m_n), {});
    for (auto& b : m_bins)
        b.onsets.fill(INT64_MIN / 2);
    m_floorKnown = false;
    m_minFloor = static_cast<float>(kQuantisationPowerPerBin * m_n);
    m_peakDecay = static_cast<float>(std::exp(-m_hopSeconds / kPeakDecaySeconds));
    m_channels.clear();
    for (int i = 0; i < std::max(1, settings.maxChannels); ++i) {
        auto ch = std::make_unique<Channel>();
        ch->decoder.configure(l.channelRateHz);
        ch->decoder.setPitch(l.channelRateHz / 4.0);
        designLowPass6(ch->lowPass, kChannelCutoffHz, l.channelRateHz);
        ch->fresh.reserve(kTextReserve);
        ch->transcript.reserve(kTextReserve);
        m_channels.push_back(std::move(ch));
    }
    m_stream.assign(static_cast<size_t>(l.channelSize / 2), {});
    m_nextId = 1;
    m_spotted.clear();
    m_result = {};
}

const SkimResult& SkimmerImpl::process(const std::complex<float>* iq, int count) {
    m_result.closed.clear();
    m_result.spots.clear();
    for (auto& ch : m_channels)
        ch->fresh.clear();
    if (m_work.size() < static_cast<size_t>(count)) m_work.resize(static_cast<size_t>(count));
    std::copy(iq, iq + count, m_work.begin());
    m_corrector.process(m_work.data(), count);
    m_bank.push(m_work.data(), count,
                [this](const std::complex<float>* spectrum) { onSpectrum(spectrum); });
    m_samples += count;
    fillResult();
    return m_result;
}

void SkimmerImpl::onSpectrum(const std::complex<float>* spectrum) {
    std::copy(spectrum, spectrum + m_n,
              m_history.begin() + (m_spectra % m_historyCount) * static_cast<int64_t>(m_n));
    scan(spectrum);
    ++m_spectra;
    if (m_spectra % kManageEvery == 0) manage();
    const int64_t upTo = m_spectra - kDecodeLag;
    for (auto& ch : m_channels) {
        if (ch->open) decodeChannel(*ch, upTo);
    }
}

bool SkimmerImpl::usable(int index) const {
    const int b = std::abs(signedBin(index));
    return b >= kCentreBins && b <= m_n / 2 - kEdgeBins;
}

void SkimmerImpl::scan(const std::complex<float>* x) {
    const int mask = m_n - 1;
    for (int i = 0; i < m_n; ++i) {
        const std::complex<float> h = 0.5f * x[i] - 0.25f * (x[(i - 1) & mask] + x[(i + 1) & mask]);
        m_power[static_cast<size_t>(i)] = std::norm(h);
    }
    // Noise floor of each section.
    const int count = std::min(kSectionBins, m_n);
    for (size_t s = 0; s < m_floor.size(); ++s) {
        std::copy(m_power.begin() + static_cast<long>(s) * kSectionBins,
                  m_power.begin() + static_cast<long>(s) * kSectionBins + count, m_scratch.begin());
        auto nth = m_scratch.begin() + static_cast<long>(kFloorQuantile * count);
        std::nth_element(m_scratch.begin(), nth, m_scratch.begin() + count);
        const float now = std::max(*nth * kFloorToMean, m_minFloor);
        m_floor[s] = m_floorKnown ? m_floor[s] + kFloorSmoothing * (now - m_floor[s]) : now;
    }
    m_floorKnown = true;
    const int64_t index = m_spectra;
    for (int i = 0; i < m_n; ++i) {
        BinState& b = m_bins[static_cast<size_t>(i)];
        const float p = m_power[static_cast<size_t>(i)];
        const float floor = floorAt(i);
        b.peak = std::max(p, b.peak * m_peakDecay);
        b.mean += kMeanSmoothing * (p - b.mean);
        if (!b.above && p > kOnRatio * floor) {
            b.above = true;
            std::copy_backward(b.onsets.begin(), b.onsets.end() - 1, b.onsets.end());
            b.onsets[0] = index;
        } else if (b.above && p < kOffRatio * floor) {
            b.above = false;
        }
        if (b.above)
            b.onLevel += kLevelSmoothing * (p - b.onLevel);
        else
            b.offLevel += kLevelSmoothing * (p - b.offLevel);
        b.bits.push(b.above);
    }
    for (auto& ch : m_channels) {
        if (!ch->open) continue;
        const int k = indexOf(static_cast<int>(std::lround(ch->offsetHz / m_binHz)));
        for (int d = -1; d <= 1; ++d) {
            if (m_bins[static_cast<size_t>(indexOf(k + d))].above) ch->lastHeard = index;
        }
    }
}

int SkimmerImpl::onsetsWithin(int index, int64_t spectra) const {
    int n = 0;
    for (const int64_t f : m_bins[static_cast<size_t>(index)].onsets)
        n += m_spectra - 1 - f < spectra ? 1 : 0;
    return n;
}

double SkimmerImpl::peakOffsetHz(int index) const {
    // On the mean levels.
    auto level = [&](int i) {
        return std::max(m_bins[static_cast<size_t>(indexOf(i))].mean, m_minFloor);
    };
    const double offset = peakOffsetBins(level(index - 1), level(index), level(index + 1));
    return (signedBin(index) + offset) * m_binHz;
}

bool SkimmerImpl::shadowed(int index) const {
    const BinState& mine = m_bins[static_cast<size_t>(index)];
    const int own = mine.bits.count();
    if (own == 0) return true;
    for (int d = -kShadowSpanBins; d <= kShadowSpanBins; ++d) {
        const BinState& other = m_bins[static_cast<size_t>(indexOf(index + d))];
        if (d == 0 || other.peak < kShadowStronger * mine.peak) continue;
        if (mine.bits.overlap(other.bits) >= kShadowOverlap * own) return true;
    }
    return false;
}

bool SkimmerImpl::isImage(int index) const {
    const BinState& mine = m_bins[static_cast<size_t>(index)];
    const int own = mine.bits.count();
    const int mirror = indexOf(-signedBin(index));
    for (int d = -1; d <= 1; ++d) {
        const BinState& other = m_bins[static_cast<size_t>(indexOf(mirror + d))];
        if (other.peak >= kImageWeaker * mine.peak &&
            mine.bits.overlap(other.bits) >= kShadowOverlap * own)
            return true;
    }
    return false;
}

double SkimmerImpl::snrDb(int index) const {
    const BinState& b = m_bins[static_cast<size_t>(index)];
    const double floor = floorAt(index);
    const double ratio = std::max(b.onLevel / floor - 1.0, 1e-3);
    return 10.0 * std::log10(ratio * kHannNoiseBins * m_binHz / kSnrBandwidthHz);
}

bool SkimmerImpl::heard(const Channel& ch) const {
    return secondsOf(m_spectra - ch.lastHeard) <= quietHoldSeconds(ch.decoder.wordGapSeconds());
}

void SkimmerImpl::manage() {
    followAndMerge();
    openCandidates();
    closeSilent();
}

void SkimmerImpl::openCandidates() {
    const int64_t window = static_cast<int64_t>(kDetectSeconds / m_hopSeconds);
    for (int i = 0; i < m_n; ++i) {
        if (onsetsWithin(i, window) < kMinOnsets || !usable(i)) continue;
        const BinState& b = m_bins[static_cast<size_t>(i)];
        bool isPeak = true;
        for (int d = -kPeakSpanBins; d <= kPeakSpanBins && isPeak; ++d) {
            const float pj = m_bins[static_cast<size_t>(indexOf(i + d))].peak;
            isPeak = d == 0 || (d < 0 ? pj <= b.peak : pj < b.peak);
        }
        if (!isPeak || b.offLevel > kQuietRatio * floorAt(i)) continue;
        const double offset = peakOffsetHz(i);
        bool near = false;
        for (const auto& ch : m_channels)
            near = near || (ch->open && std::abs(ch->offsetHz - offset) < kMinSpacingHz);
        if (near || shadowed(i) || isImage(i)) continue;
        Channel* slot = nullptr;
        Channel* weakest = nullptr;
        float weakestLevel = 0.0f;
        for (auto& ch : m_channels) {
            if (!ch->open) {
                slot = ch.get();
                break;
            }
            const float level = m_bins[static_cast<size_t>(indexOf(
                                           static_cast<int>(std::lround(ch->offsetHz / m_binHz))))]
                                    .onLevel;
            if (!weakest || level < weakestLevel) {
                weakest = ch.get();
                weakestLevel = level;
            }
        }
        if (!slot) {
            // Full: the strongest win.
            if (!weakest || b.onLevel < kDisplaceRatio * weakestLevel) continue;
            closeChannel(*weakest);
            slot = weakest;
        }
        openChannel(*slot, i);
    }
}

void SkimmerImpl::setTuning(Channel& ch) {
    const double residualHz = ch.offsetHz - ch.bin * m_binHz;
    ch.oscillator.tune(residualHz, m_bank.layout().channelRateHz);
}

void SkimmerImpl::openChannel(Channel& ch, int index) {
    ch.open = true;
    ch.id = m_nextId++;
    ch.offsetHz = peakOffsetHz(index);
    ch.bin = static_cast<int>(std::lround(ch.offsetHz / m_binHz));
    ch.oscillator.resetPhase();
    setTuning(ch);
    for (auto& s : ch.lowPass)
        s.reset();
    ch.quarter = 0;
    ch.decoder.reset();
    ch.gate = false;
    ch.decoder.setGate(false);
    ch.calls.reset();
    ch.wpm = 0;
    ch.fresh.clear();
    ch.transcript.clear();
    // Decoded from a little before the oldest key-down the scan counted.
    const int64_t window = static_cast<int64_t>(kDetectSeconds / m_hopSeconds);
    int64_t first = m_spectra - 1;
    for (const int64_t f : m_bins[static_cast<size_t>(index)].onsets) {
        if (m_spectra - 1 - f < window) first = std::min(first, f);
    }
    const int64_t oldest = std::max<int64_t>(0, m_spectra - m_historyCount + 1);
    ch.firstSpectrum = std::max(first, oldest);
    ch.gateFrom = ch.firstSpectrum;
    ch.next = std::max(oldest, first - static_cast<int64_t>(kChannelLeadSeconds / m_hopSeconds));
    ch.liveFrom = m_spectra - kDecodeLag;
    ch.lastHeard = m_spectra;
}

void SkimmerImpl::closeChannel(Channel& ch) {
    SkimRecord r;
    r.id = ch.id;
    r.freqHz = freqOf(ch.offsetHz);
    r.wpm = ch.wpm;
    r.snrDb = snrDb(indexOf(ch.bin));
    r.startSeconds = secondsOf(ch.firstSpectrum);
    r.endSeconds = secondsOf(ch.lastHeard);
    r.text = ch.transcript;
    m_result.closed.push_back(std::move(r));
    ch.open = false;
}

void SkimmerImpl::followAndMerge() {
    for (auto& ch : m_channels) {
        if (!ch->open || m_spectra - ch->lastHeard > kManageEvery) continue;
        // Only a bin that stands over both its neighbours is the signal's own: on the slope of a
        // stronger neighbour the channel stays where it is.
        const int k = indexOf(static_cast<int>(std::lround(ch->offsetHz / m_binHz)));
        const float here = m_bins[static_cast<size_t>(k)].mean;
        if (m_bins[static_cast<size_t>(indexOf(k - 1))].mean >= here ||
            m_bins[static_cast<size_t>(indexOf(k + 1))].mean >= here)
            continue;
        const double step =
            std::clamp(kFollowGain * (peakOffsetHz(k) - ch->offsetHz), -kMaxFollowHz, kMaxFollowHz);
        ch->offsetHz += step;
        if (std::abs(ch->offsetHz - ch->bin * m_binHz) > kRebinFraction * m_binHz)
            ch->bin = static_cast<int>(std::lround(ch->offsetHz / m_binHz));
        setTuning(*ch);
    }
    for (auto& a : m_channels) {
        for (auto& b : m_channels) {
            if (a == b || !a->open || !b->open || std::abs(a->offsetHz - b->offsetHz) >= kMergeHz)
                continue;
            // The older channel keeps the signal and its learnt timing.
            closeChannel(a->id > b->id ? *a : *b);
        }
    }
}

void SkimmerImpl::closeSilent() {
    for (auto& ch : m_channels) {
        if (ch->open && secondsOf(m_spectra - ch->lastHeard) > m_settings.closeSeconds)
            closeChannel(*ch);
    }
}

void SkimmerImpl::feedDecoder(Channel& ch, const float* samples, int count) {
    const size_t before = ch.fresh.size();
    ch.decoder.process(samples, count, m_decoderSettings, ch.fresh);
    if (ch.fresh.size() == before) return;
    ch.transcript.append(ch.fresh, before, std::string::npos);
    takeSpots(ch, before);
}

void SkimmerImpl::decodeChannel(Channel& ch, int64_t upTo) {
    const int perSpectrum = m_bank.layout().channelSize / 2;
    int filled = 0;
    ChannelOscillator oscillator = ch.oscillator;
    for (int64_t s = std::max(ch.next, m_spectra - m_historyCount + 1); s < upTo; ++s) {
        const bool gate = s >= ch.gateFrom && (s < ch.liveFrom || heard(ch));
        if (gate != ch.gate) {
            if (filled > 0) feedDecoder(ch, m_block.data(), filled);
            filled = 0;
            ch.gate = gate;
            ch.decoder.setGate(gate);
        }
        const std::complex<float>* spectrum =
            &m_history[static_cast<size_t>((s % m_historyCount) * m_n)];
        m_bank.extract(spectrum, ch.bin, s, m_stream.data());
        for (int i = 0; i < perSpectrum; ++i) {
            // Mixed onto the signal, narrowed, then carried at a quarter of the channel rate
            // (where the oscillator is 1, j, -1, -j) as the real stream the decoder reads.
            std::complex<float> z = oscillator.mix(m_stream[static_cast<size_t>(i)]);
            for (auto& section : ch.lowPass)
                z = section.process(z);
            const float y = atQuarterRate(z, ch.quarter);
            m_block[static_cast<size_t>(filled++)] = 2.0f * y;
            if (filled == kChannelBlock) {
                feedDecoder(ch, m_block.data(), filled);
                filled = 0;
            }
        }
        ch.next = s + 1;
    }
    oscillator.renormalise();
    ch.oscillator = oscillator;
    if (filled > 0) feedDecoder(ch, m_block.data(), filled);
    const int wpm = ch.decoder.wpm();
    if (wpm > 0) ch.wpm = wpm;
}

void SkimmerImpl::takeSpots(Channel& ch, size_t from) {
    m_reads.clear();
    ch.calls.feed(std::string_view(ch.fresh).substr(from), m_reads);
    const double now = static_cast<double>(m_samples) / m_bank.layout().rateHz;
    for (auto& read : m_reads) {
        const double freq = freqOf(ch.offsetHz);
        bool recent = false;
        for (const auto& s : m_spotted) {
            recent = recent || (s.call == read.call && std::abs(s.freqHz - freq) < kRespotHz &&
                                now - s.timeSeconds < m_settings.respotSeconds);
        }
        if (recent) continue;
        std::erase_if(m_spotted, [&](const Spotted& s) {
            return now - s.timeSeconds >= m_settings.respotSeconds;
        });
        m_spotted.push_back({read.call, freq, now});
        const int wpm = ch.decoder.wpm();
        m_result.spots.push_back(
            {read.call, freq, snrDb(indexOf(ch.bin)), wpm > 0 ? wpm : ch.wpm, now, read.calling});
    }
}

void SkimmerImpl::fillResult() {
    m_result.timeSeconds = static_cast<double>(m_samples) / m_bank.layout().rateHz;
    m_result.channels.clear();
    for (const auto& ch : m_channels) {
        if (!ch->open) continue;
        m_result.channels.push_back({ch->id, freqOf(ch->offsetHz), ch->wpm, snrDb(indexOf(ch->bin)),
                                     secondsOf(ch->firstSpectrum), ch->fresh});
    }
    std::sort(m_result.channels.begin(), m_result.channels.end(),
              [](const SkimChannel& a, const SkimChannel& b) { return a.freqHz < b.freqHz; });
}

const SkimResult& SkimmerImpl::finish() {
    m_result.closed.clear();
    m_result.spots.clear();
    const int flushBlocks =
        static_cast<int>(std::ceil(kFlushSeconds * m_bank.layout().channelRateHz / kChannelBlock));
    for (auto& ch : m_channels) {
        if (!ch->open) continue;
        ch->fresh.clear();
        ch->liveFrom = m_spectra;
        decodeChannel(*ch, m_spectra);
        m_block.fill(0.0f);
        ch->gate = true;
        ch->decoder.setGate(true);
        for (int i = 0; i < flushBlocks; ++i)
            feedDecoder(*ch, m_block.data(), kChannelBlock);
        closeChannel(*ch);
    }
    fillResult();
    return m_result;
}

ClusterSpot clusterSpotOf(const SkimSpot& spot, const std::string& spotter, std::time_t when) {
    std::tm utc{};
    gmtime_r(&when, &utc);
    ClusterSpot c;
    c.spotter = spotter;
    c.freqHz = spot.freqHz;
    c.call = spot.call;
    c.snrDb = static_cast<int>(std::lround(spot.snrDb));
    c.wpm = spot.wpm;
    c.kind = spot.calling ? "CQ" : "DX";
    c.utcHour = utc.tm_hour;
    c.utcMinute = utc.tm_min;
    return c;
}

Skimmer::Skimmer() : m_impl(std::make_unique<SkimmerImpl>()) {}
Skimmer::~Skimmer() = default;
void Skimmer::configure(double rateHz, const SkimmerSettings& settings) {
    m_impl->configure(rateHz, settings);
}
const FilterBankLayout& Skimmer::layout() const {
    return m_impl->layout();
}
const SkimResult& Skimmer::process(const std::complex<float>* iq, int count) {
    return m_impl->process(iq, count);
}
const SkimResult& Skimmer::finish() {
    return m_impl->finish();
}

} // namespace dita
