#pragma once
// The keyers: one interface, a serial-line keyer and a sound-card tone keyer.
//
// Who calls it: the send threads (screen/macro text and typed characters) and dita-send; one
// thread keys at a time. Tests put a recorder behind the same interface. No Qt.
#include "transmit/KeyingPort.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dita {

constexpr int kPttLeadMs = 20;        // PTT rises this long before a screen character
constexpr int kPttTailMs = 20;        // and falls this long after it
constexpr int kPttFirstHoldMs = 5000; // typed characters: PTT hold armed before a character
constexpr int kPttAfterHoldMs = 100;  // and after it
// A wait that wakes later than this behind its deadline starts a fresh chain of deadlines
// instead of shortening the following elements to catch up.
constexpr int kMaxKeyingLagMs = 5;

// PTT of keying for another program (a logger) drops this long after the last element, so a
// transmission keeps PTT across its characters, words and datagrams (semi break-in).
constexpr int kPttHangDefaultMs = 200;
constexpr int kPttHangMaxMs = 5000;

// One character of a logger's text in the logger's own timing: each element ('.' one unit,
// '-' three units) is followed by a one-unit gap, then gapAfter of silence. A carrier step
// (tune) holds the key down for `carrier` instead.
struct KeyingStep {
    std::string elements;
    std::chrono::microseconds unit{0};
    std::chrono::microseconds carrier{0};
    std::chrono::microseconds gapAfter{0};
};

// PTT after a run of steps. When the transmission ends with them (the last word, or a stop),
// PTT drops `ms` after the last element keyed, whatever silence the steps keyed after it. When
// more follows at once, the hang runs from the end of the steps' own silence, so that the next
// word takes PTT over in the gap before it.
struct PttHang {
    int ms = kPttHangDefaultMs;
    bool moreFollows = false;
};

class Keyer {
public:
    virtual ~Keyer() = default;
    // Keys steps in their own timing. A stop takes effect at the end of the character being
    // keyed, on the serial lines as on the sound card, without the silence after it. PTT (lines
    // or CAT) rises the lead time before the first element unless it is still held, and falls
    // as `hang` says.
    // Returns false when stopped or failed before the end; a keyer that cannot key steps keys
    // nothing and returns false.
    virtual bool keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                          PttHang hang);
    // Screen or macro text (Latin-1 bytes). Stops between characters (serial) or after the
    // 93 ms tone block already queued, with a falling edge (sound card), once stopRequest is set.
    // Returns false when stopped or failed before the end.
    virtual bool sendText(std::string_view text, const std::atomic<bool>& stopRequest) = 0;
    // One typed character, already translated to its code (see translateTypedKey).
    virtual bool sendTypedCode(int32_t code) = 0;
    // The tune carrier as a tone: true when this keyer keys it (holdCarrier), false when the
    // carrier is the serial key lines held down.
    virtual bool carrierIsTone() const { return false; }
    // Keys a steady carrier until release is set; only when carrierIsTone().
    virtual bool holdCarrier(const std::atomic<bool>& release) {
        (void)release;
        return false;
    }
};

// Holds PTT on across a run of typed characters and drops it when its timer runs out; the
// timer is a thread of its own, as the window's PTTTimer was.
class PttHoldTimer {
public:
    explicit PttHoldTimer(KeyingPort& port);
    ~PttHoldTimer();
    PttHoldTimer(const PttHoldTimer&) = delete;
    PttHoldTimer& operator=(const PttHoldTimer&) = delete;
    bool running() const;
    void start(int intervalMs); // (re)start; on expiry KeyState := 0 and PTT is released
    void stop();
    // Disarms the timer and says whether it was armed, that is whether PTT is still held: an
    // expiry releases PTT before anyone sees the timer disarmed.
    bool cancel();

private:
    void run();
    KeyingPort& m_port;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_armed = false;
    bool m_quit = false;
    std::chrono::steady_clock::time_point m_expiry;
    std::thread m_thread;
};

class SerialKeyer : public Keyer {
public:
    SerialKeyer(KeyingPort& port, const SendTimingStore& timing, KeyingClock& clock,
                PttHoldTimer* pttHold = nullptr);
    bool sendText(std::string_view text, const std::atomic<bool>& stopRequest) override;
    bool sendTypedCode(int32_t code) override;
    bool keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                  PttHang hang) override;
    void setBeaconCarrier(const BeaconCarrier& carrier) { m_carrierMs = carrier.BeaconCarrierMs; }

    // Row walk of one code: key lines and waits only, no PTT.
    void keyRow(std::string_view row);

private:
    void beginCharacter();
    void waitFor(int32_t ms);
    void waitFor(std::chrono::microseconds length);
    void keyElement(int32_t downMs, int32_t upMs);
    void keyElement(std::chrono::microseconds down, std::chrono::microseconds up);
    void keyCarrier(std::chrono::microseconds length, const std::atomic<bool>& stop);

    KeyingPort& m_port;
    const SendTimingStore& m_timing;
    KeyingClock& m_clock;
    PttHoldTimer* m_pttHold;
    std::atomic<float> m_carrierMs{1000.0f};
    KeyingClock::TimePoint m_deadline{};
};

class ToneKeyer : public Keyer {
public:
    // port and pttHold, when given, carry PTT (a CAT PTT above all) for keySteps.
    ToneKeyer(ToneOutput& output, const SendTimingStore& timing, KeyingPort* port = nullptr,
              PttHoldTimer* pttHold = nullptr);
    bool sendText(std::string_view text, const std::atomic<bool>& stopRequest) override;
    bool sendTypedCode(int32_t code) override;
    bool carrierIsTone() const override { return true; }
    bool holdCarrier(const std::atomic<bool>& release) override;
    bool keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                  PttHang hang) override;

    void setTone(const ToneSettings& settings);
    // The rise and fall of each element, ms (0: hard keying); kept apart from the tone menu's
    // settings, which setTone replaces.
    void setRampMs(float ms);
    void setBeaconCarrier(const BeaconCarrier& carrier);

private:
    bool play(const std::vector<uint8_t>& envelope, const std::atomic<bool>* stop = nullptr);
    ToneSettings toneSettings() const; // the menu's tone with the ramp
    // A builder with the current timing, beacon carrier and sidetone setting.
    EnvelopeBuilder envelopeBuilder() const;

    ToneOutput& m_output;
    const SendTimingStore& m_timing;
    KeyingPort* m_port;
    PttHoldTimer* m_pttHold;
    mutable std::mutex m_settingsMutex;
    ToneSettings m_tone;
    float m_rampMs = kDefaultToneRampMs;
    BeaconCarrier m_carrier;
    std::vector<uint8_t> m_envelope;
};

} // namespace dita
