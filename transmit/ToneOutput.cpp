#include "transmit/ToneOutput.h"

#include "transmit/KeyingPort.h"
#include "transmit/MorseCode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace dita {

namespace {

constexpr int32_t kMinCarrierSeconds = 1;
constexpr int32_t kMaxCarrierSeconds = 5;
constexpr float kMsPerSecond = 1000.0f;
// A float sample counter stops counting at 2^24; start it again before it gets there, so an
// overlong envelope keeps its tone instead of freezing into a constant level.
constexpr float kPhaseCounterLimit = 16777216.0f;

} // namespace

BeaconCarrier beaconCarrierFor(int32_t seconds) {
    BeaconCarrier c;
    c.BeaconCarrierTime = std::clamp(seconds, kMinCarrierSeconds, kMaxCarrierSeconds);
    c.BeaconCarrierMs = kMsPerSecond * static_cast<float>(c.BeaconCarrierTime);
    c.BeaconCarrierSamples = static_cast<float>(kToneSampleRateHz * c.BeaconCarrierTime);
    return c;
}

EnvelopeBuilder::EnvelopeBuilder(const SendTiming& timing, const BeaconCarrier& carrier,
                                 bool sidetoneOn)
    : m_timing(timing), m_carrierSamples(static_cast<int32_t>(carrier.BeaconCarrierSamples)),
      m_on(sidetoneOn ? 1 : 0) {}

int64_t EnvelopeBuilder::rowSamples(std::string_view row) const {
    int64_t n = 0;
    for (char s : row) {
        switch (s) {
        case kDotSymbol:
            n += m_timing.DotSamples + m_timing.ElementGapSamples;
            break;
        case kDashSymbol:
            n += m_timing.DashSamples + m_timing.ElementGapSamples;
            break;
        case kCarrierSymbol:
            n += m_carrierSamples + m_timing.ElementGapSamples;
            break;
        case kCharSpaceSymbol:
            n += m_timing.CharGapSamples;
            break;
        case kWordSpaceSymbol:
            n += m_timing.WordGapSamples;
            break;
        default:
            break;
        }
    }
    return n;
}

void EnvelopeBuilder::appendRow(std::string_view row, std::vector<uint8_t>& envelope) const {
    auto append = [&](int32_t count, uint8_t value) {
        envelope.insert(envelope.end(), static_cast<size_t>(std::max(count, 0)), value);
    };
    for (char s : row) {
        switch (s) {
        case kDotSymbol:
            append(m_timing.DotSamples, m_on);
            append(m_timing.ElementGapSamples, 0);
            break;
        case kDashSymbol:
            append(m_timing.DashSamples, m_on);
            append(m_timing.ElementGapSamples, 0);
            break;
        case kCarrierSymbol:
            append(m_carrierSamples, m_on);
            append(m_timing.ElementGapSamples, 0);
            break;
        case kCharSpaceSymbol:
            append(m_timing.CharGapSamples, 0);
            break;
        case kWordSpaceSymbol:
            append(m_timing.WordGapSamples, 0);
            break;
        default:
            break; // fillers and anything else add nothing
        }
    }
}

ToneOutput::ToneOutput(ToneDevice& device, MessageSink messages, std::function<void()> shutdown,
                       KeyingClock& clock, std::function<void(bool)> stalled)
    : m_device(device), m_messages(std::move(messages)), m_shutdown(std::move(shutdown)),
      m_clock(clock), m_stalled(std::move(stalled)) {}

bool ToneOutput::check(bool ok, const char* message) {
    if (ok) return true;
    if (m_messages) m_messages(message, kWaveDeviceCaption);
    if (m_shutdown) m_shutdown();
    return false;
}

bool ToneOutput::openIfInputExists(int inputDeviceCount) {
    if (inputDeviceCount <= 0) return false;
    return SetupOutputFormat() && OpenToneOutput() && SetToneVolume(kFullToneVolume);
}

bool ToneOutput::SetupOutputFormat() {
    m_blockA.fill(0);
    m_blockB.fill(0);
    return true;
}

bool ToneOutput::OpenToneOutput() {
    if (!check(m_device.formatSupported(), "Could not handle the output WAVE format")) return false;
    m_open = check(m_device.open(), "Error Opening Output wave device");
    return m_open;
}

bool ToneOutput::SetToneVolume(int64_t volume) {
    const auto v = static_cast<uint32_t>(std::min<int64_t>(std::llabs(volume), kFullToneVolume));
    return check(m_device.setVolume(v), "Error setting the output volume");
}

bool ToneOutput::RestartToneOutput() {
    return check(m_device.restart(), "Error starting the output wave device");
}

bool ToneOutput::ResetToneOutput() {
    return check(m_device.reset(), "Error Resetting the output wave device");
}

bool ToneOutput::writeBlock(ToneBlock block, int count) {
    const bool a = block == ToneBlock::A;
    auto& buffer = a ? m_blockA : m_blockB;
    for (int k = 0; k < count; ++k) {
        buffer[k] = static_cast<int16_t>(std::clamp<int32_t>(
            m_gated[k], std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
    }
    if (!check(m_device.prepare(block),
               a ? "Error preparing the output header_a" : "Error preparing the output header_b")) {
        return false;
    }
    return check(m_device.write(block, buffer.data(), count),
                 a ? "Error writing to the output device a"
                   : "Error writing to the output device b");
}

bool ToneOutput::waitBlockDone(ToneBlock block) {
    // The device reports the block done; a block that never finishes is abandoned after the
    // watchdog time with a reset and restart of the device, and playback goes on.
    const auto start = m_clock.now();
    const auto limit = start + std::chrono::milliseconds(kToneWatchdogMs);
    while (!m_device.isDone(block)) {
        const auto now = m_clock.now();
        if (now >= limit) {
            if (m_stalled) m_stalled(true);
            bool restarted = ResetToneOutput();
            if (restarted) {
                m_clock.waitUntil(m_clock.now() + std::chrono::milliseconds(kToneRestartPauseMs));
                restarted = RestartToneOutput();
            }
            if (m_stalled) m_stalled(false);
            return restarted;
        }
        m_clock.waitUntil(now + std::chrono::milliseconds(1));
    }
    return true;
}

bool ToneOutput::finishBlock(ToneBlock block) {
    const bool a = block == ToneBlock::A;
    int64_t bytes = 0;
    if (!check(m_device.position(bytes), "Error getting the output byte position")) return false;
    if (!waitBlockDone(block)) return false;
    return check(m_device.unprepare(block), a ? "Error unpreparing the Output Header a"
                                              : "Error unpreparing the Output Header b");
}

namespace {

int rampSamples(const ToneSettings& settings) {
    const float ms = std::clamp(settings.RampMs, 0.0f, kMaxToneRampMs);
    return static_cast<int>(std::lround(ms * static_cast<float>(kToneSampleRateHz) / kMsPerSecond));
}

// Gain of the sample `fromEdge` samples inside an edge `ramp` samples long: a raised cosine
// taken at the sample centres, so a rise and the matching fall sum to one.
float edgeGain(int64_t fromEdge, int64_t ramp) {
    if (fromEdge >= ramp) return 1.0f;
    constexpr double kPi = 3.14159265358979323846;
    const double x = (static_cast<double>(fromEdge) + 0.5) / static_cast<double>(ramp);
    return static_cast<float>(0.5 * (1.0 - std::cos(kPi * x)));
}

// Walks a keying envelope block by block. Each run of tone gets a rising edge at its start and
// a falling one at its end, both inside the run; a run shorter than two edges rises for half
// its length and falls for the other half. A walk ended by a stop inside a run of tone falls
// from the level it reached over one edge after the cut, so a stop never ends in a step.
class EnvelopeGains {
public:
    EnvelopeGains(const uint8_t* envelope, int64_t count, int ramp)
        : m_envelope(envelope), m_count(std::max<int64_t>(count, 0)), m_end(m_count), m_ramp(ramp) {
    }

    int next(float* gains, bool& last) {
        int n = 0;
        for (; n < kToneBlockSamples && m_position < m_end; ++n, ++m_position)
            gains[n] = m_level = gainAt(m_position);
        for (; n < kToneBlockSamples && m_fallen < m_fall; ++n, ++m_fallen)
            gains[n] = m_level * edgeGain(m_fall - 1 - m_fallen, m_fall);
        if (n == 0) { // ended by a stop in silence right where the last block ended
            gains[n++] = 0.0f;
        }
        last = m_position >= m_end && m_fallen >= m_fall;
        return n;
    }

    // Where the walk ends (before a fall after a cut): the envelope's length unless stopped.
    int64_t end() const { return m_end; }

    // Ends the walk at once, after what has been walked.
    void endNow() { endAt(m_position); }

    // Ends the walk at the first of `ends` (ascending sample positions) not yet walked.
    void endAtFirstOf(const std::vector<int64_t>& ends) {
        const auto end = std::lower_bound(ends.begin(), ends.end(), m_position);
        if (end != ends.end()) endAt(*end);
    }

private:
    void endAt(int64_t end) {
        m_end = std::clamp(end, m_position, m_end);
        const bool cutsTone =
            m_end > 0 && m_end < m_count && m_envelope[m_end - 1] != 0 && m_envelope[m_end] != 0;
        m_fall = cutsTone ? m_ramp : 0;
    }

    float gainAt(int64_t p) {
        if (m_envelope[p] == 0) return 0.0f;
        if (m_ramp == 0) return 1.0f;
        if (p >= m_runEnd) { // the first sample of a run: find where it ends
            m_runStart = p;
            m_runEnd = p;
            while (m_runEnd < m_count && m_envelope[m_runEnd] != 0)
                ++m_runEnd;
        }
        const int64_t edge = std::min<int64_t>(m_ramp, (m_runEnd - m_runStart) / 2);
        if (edge == 0) return 1.0f;
        return edgeGain(std::min(p - m_runStart, m_runEnd - 1 - p), edge);
    }

    const uint8_t* m_envelope;
    int64_t m_count; // the envelope's length: runs are found within it
    int64_t m_end;   // where the walk ends: the length, or a character end after a stop
    int64_t m_ramp;
    int64_t m_position = 0;
    int64_t m_runStart = 0;
    int64_t m_runEnd = 0;
    float m_level = 0.0f; // the gain of the last sample walked
    int64_t m_fall = 0;   // length of the fall after a cut, 0 when the cut was in silence
    int64_t m_fallen = 0;
};

} // namespace

bool ToneOutput::PlayEnvelope(const uint8_t* envelope, int64_t count, const ToneSettings& settings,
                              const std::atomic<bool>* stop,
                              const std::vector<int64_t>* characterEnds, int64_t* playedTo) {
    if (!SetupOutputFormat() || !ResetToneOutput()) return false;
    if (count <= 0) return true;
    EnvelopeGains gains(envelope, count, rampSamples(settings));
    // A stop lets the block already queued play and then ends the walk: at the first
    // character end not yet written when there are character ends, so no character is cut,
    // otherwise at once; a tone sounding there falls over one edge.
    bool stopped = false;
    const bool played = playBlocks(settings, [&](float* g, bool& last) {
        if (!stopped && stop && stop->load()) {
            stopped = true;
            if (characterEnds)
                gains.endAtFirstOf(*characterEnds);
            else
                gains.endNow();
        }
        return gains.next(g, last);
    });
    if (playedTo) *playedTo = gains.end();
    return played && !stopped;
}

bool ToneOutput::PlayCarrier(const ToneSettings& settings, const std::atomic<bool>& release) {
    if (!SetupOutputFormat() || !ResetToneOutput()) return false;
    const int64_t ramp = rampSamples(settings);
    int64_t risen = 0; // samples since the rise began
    return playBlocks(settings, [&](float* g, bool& last) {
        if (release.load() && risen == 0) { // released before it sounded
            g[0] = 0.0f;
            last = true;
            return 1;
        }
        if (release.load()) {
            // The fall, from full tone: the rise is at most one edge long and ends before
            // a block is written, so whatever has sounded by now stands at full level.
            const int n = static_cast<int>(std::max<int64_t>(ramp, 1));
            for (int k = 0; k < n; ++k)
                g[k] = ramp == 0 ? 0.0f : edgeGain(ramp - 1 - k, ramp);
            last = true;
            return n;
        }
        for (int k = 0; k < kToneBlockSamples; ++k, ++risen)
            g[k] = edgeGain(risen, ramp);
        last = false;
        return kToneBlockSamples;
    });
}

bool ToneOutput::playBlocks(const ToneSettings& settings, const GainSource& nextGains) {
    float phase = 0.0f;
    const float step = settings.SidetoneFreq * kTwoPi / static_cast<float>(kToneSampleRateHz);
    ToneBlock next = ToneBlock::A;
    bool first = true;
    bool last = false;
    while (!last) {
        const int blockSize = nextGains(m_gain.data(), last);
        for (int k = 0; k < blockSize; ++k) {
            const float s = std::sin(phase * step);
            m_wave[k] = settings.SidetoneWaveform == kSquareWave ? (s >= 0.0f ? 1.0f : -1.0f) : s;
            phase += 1.0f;
            if (phase >= kPhaseCounterLimit) phase = 0.0f;
        }
        for (int k = 0; k < blockSize; ++k)
            m_gated[k] = static_cast<int32_t>(settings.ToneAmplitude * m_gain[k] * m_wave[k]);
        const ToneBlock other = next == ToneBlock::A ? ToneBlock::B : ToneBlock::A;
        if (!writeBlock(next, blockSize)) return false;
        if (!first && !finishBlock(other)) return false;
        if (last && !finishBlock(next)) return false;
        first = false;
        next = other;
    }
    return true;
}

} // namespace dita
