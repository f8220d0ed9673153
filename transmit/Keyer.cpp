#include "transmit/Keyer.h"

#include "transmit/MorseCode.h"

#include <algorithm>
#include <functional>

namespace dita {

PttHoldTimer::PttHoldTimer(KeyingPort& port) : m_port(port), m_thread([this] { run(); }) {}

PttHoldTimer::~PttHoldTimer() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool PttHoldTimer::running() const {
    std::lock_guard lock(m_mutex);
    return m_armed;
}

void PttHoldTimer::start(int intervalMs) {
    {
        std::lock_guard lock(m_mutex);
        m_armed = true;
        m_expiry = std::chrono::steady_clock::now() + std::chrono::milliseconds(intervalMs);
    }
    m_wake.notify_all();
}

void PttHoldTimer::stop() {
    std::lock_guard lock(m_mutex);
    m_armed = false;
}

bool PttHoldTimer::cancel() {
    std::lock_guard lock(m_mutex);
    const bool held = m_armed;
    m_armed = false;
    return held;
}

void PttHoldTimer::run() {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_armed) {
            m_wake.wait(lock);
            continue;
        }
        if (m_wake.wait_until(lock, m_expiry) == std::cv_status::timeout && m_armed &&
            std::chrono::steady_clock::now() >= m_expiry) {
            // Released under the lock, so cancel() never sees the timer disarmed while PTT is
            // still about to fall.
            m_armed = false;
            m_port.KeyState = kKeyUp;
            m_port.updatePtt();
        }
    }
}

SerialKeyer::SerialKeyer(KeyingPort& port, const SendTimingStore& timing, KeyingClock& clock,
                         PttHoldTimer* pttHold)
    : m_port(port), m_timing(timing), m_clock(clock), m_pttHold(pttHold) {}

void SerialKeyer::beginCharacter() {
    const auto now = m_clock.now();
    if (now - m_deadline > std::chrono::milliseconds(kMaxKeyingLagMs)) m_deadline = now;
}

void SerialKeyer::waitFor(int32_t ms) {
    waitFor(std::chrono::milliseconds(std::max(ms, 0)));
}

void SerialKeyer::waitFor(std::chrono::microseconds length) {
    const auto now = m_clock.now();
    if (now - m_deadline > std::chrono::milliseconds(kMaxKeyingLagMs)) m_deadline = now;
    m_deadline += std::max(length, std::chrono::microseconds(0));
    m_clock.waitUntil(m_deadline);
}

void SerialKeyer::keyElement(std::chrono::microseconds down, std::chrono::microseconds up) {
    m_port.KeyState = kKeyDown;
    m_port.SetKeyLines(kKeyDown);
    waitFor(down);
    m_port.KeyState = kKeyUp;
    m_port.SetKeyLines(kKeyUp);
    waitFor(up);
}

void SerialKeyer::keyCarrier(std::chrono::microseconds length, const std::atomic<bool>& stop) {
    // A carrier is no character: a stop ends it at once, within one slice.
    constexpr std::chrono::microseconds kSlice{10'000};
    m_port.KeyState = kKeyDown;
    m_port.SetKeyLines(kKeyDown);
    for (auto left = length; left.count() > 0 && !stop.load(); left -= kSlice)
        waitFor(std::min(left, kSlice));
    m_port.KeyState = kKeyUp;
    m_port.SetKeyLines(kKeyUp);
}

void SerialKeyer::keyElement(int32_t downMs, int32_t upMs) {
    keyElement(std::chrono::milliseconds(downMs), std::chrono::milliseconds(upMs));
}

void SerialKeyer::keyRow(std::string_view row) {
    for (char symbol : row) {
        // Read afresh per element: a speed change applies from the next element on.
        const SendTiming t = m_timing.current();
        switch (symbol) {
        case kDotSymbol:
            keyElement(t.DotMs, t.ElementGapMs);
            break;
        case kDashSymbol:
            keyElement(t.DashMs, t.ElementGapMs);
            break;
        case kCarrierSymbol:
            keyElement(static_cast<int32_t>(m_carrierMs.load()), t.ElementGapMs);
            break;
        case kCharSpaceSymbol:
            waitFor(t.CharGapMs);
            break;
        case kWordSpaceSymbol:
            waitFor(t.WordGapMs);
            break;
        default:
            break;
        }
    }
}

bool SerialKeyer::sendText(std::string_view text, const std::atomic<bool>& stopRequest) {
    beginCharacter();
    for (unsigned char byte : foldLineBreaks(text)) {
        if (byte == 0) break;
        if (stopRequest.load()) return false;
        const std::string_view row = sendRow(serialTextCode(byte));
        if (row.empty()) continue; // codes without a row key nothing
        const bool ptt = m_port.ptt().PttEnable;
        if (ptt) {
            m_port.KeyState = kKeyDown;
            m_port.updatePtt(true);
            waitFor(kPttLeadMs);
        }
        keyRow(row);
        if (ptt) {
            waitFor(kPttTailMs);
            m_port.KeyState = kKeyUp;
            m_port.updatePtt(false);
        }
    }
    return true;
}

namespace {

// PTT around keySteps: raised with its lead unless the hold of an earlier transmission still
// has it, held by no timer while keying, and left to the hold timer for the hang after it.
class PttAroundSteps {
public:
    PttAroundSteps(KeyingPort* port, PttHoldTimer* hold, const std::function<void(int)>& wait)
        : m_port(port), m_hold(hold) {
        m_on = m_port && m_port->ptt().PttEnable;
        if (!m_on) return;
        const bool held = m_hold && m_hold->cancel();
        m_port->KeyState = kKeyDown;
        if (!held) {
            m_port->updatePtt(true);
            wait(kPttLeadMs);
        }
    }
    // The keying has ended `quiet` after its last element (the silence keyed since).
    void end(PttHang hang, std::chrono::microseconds quiet, const std::function<void(int)>& wait) {
        if (!m_on) return;
        int hangMs = std::clamp(hang.ms, 0, kPttHangMaxMs);
        if (!hang.moreFollows) {
            const auto quietMs = std::chrono::duration_cast<std::chrono::milliseconds>(quiet);
            hangMs = std::max(0, hangMs - static_cast<int>(quietMs.count()));
        }
        if (m_hold) {
            m_hold->start(hangMs);
            return;
        }
        wait(hangMs);
        m_port->KeyState = kKeyUp;
        m_port->updatePtt(false);
    }

private:
    KeyingPort* m_port;
    PttHoldTimer* m_hold;
    bool m_on = false;
};

} // namespace

bool SerialKeyer::keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                           PttHang hang) {
    const std::function<void(int)> wait = [this](int ms) { waitFor(ms); };
    beginCharacter();
    PttAroundSteps ptt(&m_port, m_pttHold, wait);
    bool done = true;
    std::chrono::microseconds quiet{0}; // keyed since the last element or carrier
    for (const KeyingStep& step : steps) {
        if (stop.load()) {
            done = false;
            break;
        }
        if (step.carrier.count() > 0) {
            keyCarrier(step.carrier, stop);
            quiet = {};
        }
        for (char symbol : step.elements) {
            const auto down = symbol == kDashSymbol ? 3 * step.unit : step.unit;
            keyElement(down, step.unit);
            quiet = step.unit;
        }
        // A stop keys no silence after the character it ended: PTT hangs from its last element.
        if (stop.load()) {
            done = false;
            break;
        }
        waitFor(step.gapAfter);
        quiet += step.gapAfter;
    }
    ptt.end(done ? hang : PttHang{hang.ms, false}, quiet, wait);
    return done;
}

bool SerialKeyer::sendTypedCode(int32_t code) {
    if (code < 0 || code > kHighestTypedCode) return false;
    const std::string_view row = sendRow(code);
    if (row.empty()) return true;
    const bool ptt = m_port.ptt().PttEnable && m_pttHold;
    beginCharacter();
    if (ptt) {
        if (!m_pttHold->running()) {
            m_port.KeyState = kKeyDown;
            m_port.updatePtt(true);
            waitFor(kPttLeadMs);
            m_port.KeyState = kKeyUp;
        }
        m_pttHold->start(kPttFirstHoldMs);
    }
    keyRow(row);
    if (ptt) m_pttHold->start(kPttAfterHoldMs);
    return true;
}

ToneKeyer::ToneKeyer(ToneOutput& output, const SendTimingStore& timing, KeyingPort* port,
                     PttHoldTimer* pttHold)
    : m_output(output), m_timing(timing), m_port(port), m_pttHold(pttHold) {}

void ToneKeyer::setTone(const ToneSettings& settings) {
    std::lock_guard lock(m_settingsMutex);
    m_tone = settings;
}

void ToneKeyer::setBeaconCarrier(const BeaconCarrier& carrier) {
    std::lock_guard lock(m_settingsMutex);
    m_carrier = carrier;
}

void ToneKeyer::setRampMs(float ms) {
    std::lock_guard lock(m_settingsMutex);
    m_rampMs = std::clamp(ms, 0.0f, kMaxToneRampMs);
}

ToneSettings ToneKeyer::toneSettings() const {
    std::lock_guard lock(m_settingsMutex);
    ToneSettings tone = m_tone;
    tone.RampMs = m_rampMs;
    return tone;
}

bool ToneKeyer::play(const std::vector<uint8_t>& envelope, const std::atomic<bool>* stop) {
    return m_output.PlayEnvelope(envelope.data(), static_cast<int64_t>(envelope.size()),
                                 toneSettings(), stop);
}

bool ToneKeyer::holdCarrier(const std::atomic<bool>& release) {
    ToneSettings tone = toneSettings();
    if (!tone.SidetoneOn) tone.ToneAmplitude = 0.0f; // silent, as the text path is
    return m_output.PlayCarrier(tone, release);
}

EnvelopeBuilder ToneKeyer::envelopeBuilder() const {
    std::lock_guard lock(m_settingsMutex);
    return EnvelopeBuilder(m_timing.current(), m_carrier, m_tone.SidetoneOn);
}

bool ToneKeyer::sendText(std::string_view text, const std::atomic<bool>& stopRequest) {
    // Timing is read once per batch: a speed change applies from the next batch.
    EnvelopeBuilder builder = envelopeBuilder();
    m_envelope.clear();
    for (unsigned char byte : foldLineBreaks(text)) {
        if (byte == 0) break;
        const std::string_view row = sendRow(soundCardTextCode(byte));
        if (row.empty()) continue;
        const int64_t n = builder.rowSamples(row);
        if (!m_envelope.empty() && static_cast<int64_t>(m_envelope.size()) + n > kMaxBatchSamples) {
            if (stopRequest.load() || !play(m_envelope, &stopRequest)) return false;
            m_envelope.clear();
            builder = envelopeBuilder();
        }
        builder.appendRow(row, m_envelope);
    }
    if (m_envelope.empty()) return true;
    if (stopRequest.load()) return false;
    return play(m_envelope, &stopRequest);
}

bool ToneKeyer::keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                         PttHang hang) {
    const ToneSettings tone = toneSettings();
    const uint8_t on = tone.SidetoneOn ? 1 : 0;
    constexpr std::chrono::microseconds kCarrierSlice{10'000};
    auto samples = [](std::chrono::microseconds length) {
        return static_cast<std::size_t>(length.count() * kToneSampleRateHz / 1'000'000);
    };
    // The whole run as one envelope, with the end of every character (right after its last
    // element) and of every gap, so that a stop plays on to the end of the character being
    // sounded instead of cutting it, and keys no silence after it.
    m_envelope.clear();
    std::vector<int64_t> stopEnds;
    std::vector<int64_t> elementEnds; // where each element's or carrier slice's tone ends
    auto markEnd = [&](std::vector<int64_t>& ends) {
        ends.push_back(static_cast<int64_t>(m_envelope.size()));
    };
    for (const KeyingStep& step : steps) {
        // A carrier is no character: a stop ends it at the next slice end, falling over one
        // edge, after the tone block already queued.
        for (auto left = step.carrier; left.count() > 0; left -= kCarrierSlice) {
            m_envelope.insert(m_envelope.end(), samples(std::min(left, kCarrierSlice)), on);
            markEnd(stopEnds);
            markEnd(elementEnds);
        }
        for (std::size_t i = 0; i < step.elements.size(); ++i) {
            if (i > 0) m_envelope.insert(m_envelope.end(), samples(step.unit), 0);
            const auto down = step.elements[i] == kDashSymbol ? 3 * step.unit : step.unit;
            m_envelope.insert(m_envelope.end(), samples(down), on);
            markEnd(elementEnds);
        }
        if (!step.elements.empty()) {
            markEnd(stopEnds);
            m_envelope.insert(m_envelope.end(), samples(step.unit), 0);
        }
        m_envelope.insert(m_envelope.end(), samples(step.gapAfter), 0);
        if (stopEnds.empty() || stopEnds.back() != static_cast<int64_t>(m_envelope.size()))
            markEnd(stopEnds);
    }
    const std::function<void(int)> wait = [](int ms) { PreciseWait(ms); };
    PttAroundSteps ptt(m_port, m_pttHold, wait);
    int64_t playedTo = 0;
    const bool done = !stop.load() && m_output.PlayEnvelope(m_envelope.data(),
                                                            static_cast<int64_t>(m_envelope.size()),
                                                            tone, &stop, &stopEnds, &playedTo);
    // The silence played after the last element, for PTT's hang.
    const auto last = std::upper_bound(elementEnds.begin(), elementEnds.end(), playedTo);
    const int64_t quietSamples = last == elementEnds.begin() ? 0 : playedTo - *std::prev(last);
    const std::chrono::microseconds quiet{quietSamples * 1'000'000 / kToneSampleRateHz};
    ptt.end(done ? hang : PttHang{hang.ms, false}, quiet, wait);
    return done;
}

bool Keyer::keySteps(const std::vector<KeyingStep>&, const std::atomic<bool>&, PttHang) {
    return false;
}

bool ToneKeyer::sendTypedCode(int32_t code) {
    if (code < 0 || code > kHighestTypedCode) return false;
    const std::string_view row = sendRow(code);
    if (row.empty()) return true;
    EnvelopeBuilder builder = envelopeBuilder();
    m_envelope.clear();
    builder.appendRow(row, m_envelope);
    return play(m_envelope);
}

} // namespace dita
