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

bool ToneOutput::PlayEnvelope(const uint8_t* envelope, int64_t count, const ToneSettings& settings,
                              int32_t outputDevice, const std::atomic<bool>* stop,
                              const std::vector<int64_t>* characterEnds) {
    float phase = 0.0f;
    const float step = settings.SidetoneFreq * kTwoPi / static_cast<float>(kToneSampleRateHz);
    int64_t readPosition = 0;
    if (!SetupOutputFormat() || !ResetToneOutput()) return false;
    if (outputDevice != kOutputSoundCard) return true;

    ToneBlock next = ToneBlock::A;
    bool first = true;
    int64_t remaining = std::max<int64_t>(count, 0);
    bool finished = remaining == 0;
    bool stopped = false;
    while (!finished) {
        if (stop && stop->load()) {
            if (!characterEnds) {
                ResetToneOutput();
                return false;
            }
            // The character being written ends the playback.
            const auto end =
                std::lower_bound(characterEnds->begin(), characterEnds->end(), readPosition);
            count = std::min(count, end == characterEnds->end() ? count : *end);
            remaining = count - readPosition;
            stopped = true;
            stop = nullptr;
            if (remaining <= 0) {
                const ToneBlock written = next == ToneBlock::A ? ToneBlock::B : ToneBlock::A;
                if (!first && !finishBlock(written)) return false;
                return false;
            }
        }
        int blockSize = kToneBlockSamples;
        bool last = false;
        if (remaining <= kToneBlockSamples) {
            blockSize = static_cast<int>(remaining);
            finished = true;
            last = true;
        }
        for (int k = 0; k < blockSize; ++k) {
            const float s = std::sin(phase * step);
            m_wave[k] = settings.SidetoneWaveform == kSquareWave ? (s >= 0.0f ? 1.0f : -1.0f) : s;
            phase += 1.0f;
            if (phase >= kPhaseCounterLimit) phase = 0.0f;
        }
        for (int k = 0; k < blockSize; ++k, ++readPosition) {
            const int32_t gate = readPosition < count ? envelope[readPosition] : 0;
            m_gated[k] = static_cast<int32_t>(settings.ToneAmplitude * m_wave[k]) * gate;
        }
        const ToneBlock other = next == ToneBlock::A ? ToneBlock::B : ToneBlock::A;
        if (!writeBlock(next, blockSize)) return false;
        if (!first && !finishBlock(other)) return false;
        if (last && !finishBlock(next)) return false;
        first = false;
        next = other;
        if (remaining > kToneBlockSamples) remaining -= kToneBlockSamples;
    }
    return !stopped;
}

} // namespace dita
