#pragma once
// Tone output: the sound-card keying envelope and its playback as a gated sine or square tone.
//
// Who calls it: the receive run loop opens the output on the window thread (openIfInputExists);
// PlayEnvelope runs on one send thread at a time. The device behind it is PortAudio's default
// output (PortAudioToneDevice), a WAV file (WavToneDevice, dita-send) or a recorder in tests.
// No Qt.
#include "transmit/Messages.h"
#include "transmit/SendTiming.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace dita {

constexpr int kToneSampleRateHz = 44100;
constexpr int kToneBlockSamples = 4096;
constexpr int kToneBytesPerSample = 2;
constexpr int64_t kMaxBatchSamples = 1'048'576; // longest envelope of one text batch
constexpr int kToneWatchdogMs = 375;            // a block that does not finish is abandoned
constexpr int kToneRestartPauseMs = 10;
constexpr uint32_t kFullToneVolume = 65535;
constexpr float kTwoPi = 6.28318f; // as the oscillator has always used it
constexpr float kSidetoneFrequenciesHz[] = {600.0f, 750.0f, 1000.0f, 2500.0f};

enum SidetoneWaveformKind : int32_t { kSineWave = 0, kSquareWave = 1 };

// Each element's tone rises and falls over this time with a raised-cosine edge, inside the
// element, so the keying keeps its sample-exact timing while its spectrum stays narrow: a tone
// gated hard at full amplitude is heard as key clicks kilohertz away through an SSB
// transmitter. 0 keys the tone hard.
constexpr float kDefaultToneRampMs = 5.0f;
constexpr float kMaxToneRampMs = 50.0f;

struct ToneSettings {
    float SidetoneFreq = 750.0f;
    int32_t SidetoneWaveform = kSineWave;
    bool SidetoneOn = false;
    float ToneAmplitude = 15000.0f;
    float RampMs = kDefaultToneRampMs; // 0..kMaxToneRampMs
};

// Length of the beacon carrier (back-quote), set together by the "Beacon Carrier Time" items.
struct BeaconCarrier {
    int32_t BeaconCarrierTime = 1; // seconds, 1..5
    float BeaconCarrierMs = 1000.0f;
    float BeaconCarrierSamples = 44100.0f;
};
BeaconCarrier beaconCarrierFor(int32_t seconds); // clamps to 1..5

// Lays rows out as one byte per sample, 1 = tone, 0 = silence. With the sidetone off every run
// is silent but keeps its length, carrier included, so the timing is the same.
class EnvelopeBuilder {
public:
    EnvelopeBuilder(const SendTiming& timing, const BeaconCarrier& carrier, bool sidetoneOn);
    int64_t rowSamples(std::string_view row) const;
    void appendRow(std::string_view row, std::vector<uint8_t>& envelope) const;

private:
    SendTiming m_timing;
    int32_t m_carrierSamples;
    uint8_t m_on;
};

enum class ToneBlock { A = 0, B = 1 };

// The output device as PlayEnvelope drives it: two blocks, each prepared, written, played and
// reported done, then unprepared. Every call returns false on failure.
class ToneDevice {
public:
    virtual ~ToneDevice() = default;
    virtual bool formatSupported() = 0; // 44,100 Hz, 16-bit, mono
    virtual bool open() = 0;
    virtual bool prepare(ToneBlock block) = 0;
    virtual bool write(ToneBlock block, const int16_t* samples, int count) = 0;
    virtual bool isDone(ToneBlock block) = 0;
    virtual bool setVolume(uint32_t volume) = 0;
    virtual bool restart() = 0;
    virtual bool position(int64_t& bytes) = 0;
    virtual bool reset() = 0;
    virtual bool unprepare(ToneBlock block) = 0;
};

class ToneOutput {
public:
    // shutdown runs after any failure message (the program's stop sequence). stalled runs on
    // the send thread: with true when the watchdog abandons a block, with false once the
    // device has been reset and restarted (or that failed); the sound input pauses between
    // the two and restarts after.
    ToneOutput(ToneDevice& device, MessageSink messages, std::function<void()> shutdown,
               KeyingClock& clock, std::function<void(bool stalled)> stalled = {});

    // Run loop start: opens the device only when a sound input device exists.
    bool openIfInputExists(int inputDeviceCount);
    bool isOpen() const { return m_open; }

    bool SetupOutputFormat();
    bool OpenToneOutput();
    bool SetToneVolume(int64_t volume);
    bool RestartToneOutput();
    bool ResetToneOutput();

    // Plays envelope[0..count) on the device, after resetting it. Returns when the last block has
    // played, or false after a failure (the failure message has been shown). When `stop`
    // becomes true the block already queued plays out (at most about 93 ms) and the playback
    // ends there, a tone sounding then falling over one edge (never a step, which would click on
    // the air); the call returns false: a stop must release the key within a character, not
    // after the whole envelope. With characterEnds (ascending sample positions) a stop instead
    // plays on to the first character end not yet written, so no character is cut. playedTo,
    // when given, gets the sample position where the envelope's walk ended.
    bool PlayEnvelope(const uint8_t* envelope, int64_t count, const ToneSettings& settings,
                      const std::atomic<bool>* stop = nullptr,
                      const std::vector<int64_t>* characterEnds = nullptr,
                      int64_t* playedTo = nullptr);

    // The tune carrier: a steady tone from its rising edge until `release` becomes true, then
    // its falling edge (so tuning makes no click either). Resets the device first as
    // PlayEnvelope does.
    bool PlayCarrier(const ToneSettings& settings, const std::atomic<bool>& release);

private:
    // Fills gains[0..n) (0 = silence, 1 = full tone) for the next block and returns n (at most
    // kToneBlockSamples); sets last on the final block.
    using GainSource = std::function<int(float* gains, bool& last)>;
    bool playBlocks(const ToneSettings& settings, const GainSource& next);
    bool check(bool ok, const char* message);
    bool writeBlock(ToneBlock block, int count);
    bool waitBlockDone(ToneBlock block);
    bool finishBlock(ToneBlock block);

    ToneDevice& m_device;
    MessageSink m_messages;
    std::function<void()> m_shutdown;
    KeyingClock& m_clock;
    bool m_open = false;
    std::function<void(bool)> m_stalled;
    std::array<int16_t, kToneBlockSamples> m_blockA{};
    std::array<int16_t, kToneBlockSamples> m_blockB{};
    std::array<float, kToneBlockSamples> m_wave{};
    std::array<float, kToneBlockSamples> m_gain{};
    std::array<int32_t, kToneBlockSamples> m_gated{};
};

} // namespace dita
