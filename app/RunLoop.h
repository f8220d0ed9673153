#pragma once
// The receive run loop: capture a buffer, hand it to the receive pipeline, report the pass.
//
// Who calls it: the main window starts run() on a worker thread each time the loop is entered
// (start-up and every re-entry after a stop or a restart request); run() returns on quit, on
// a stop, or after the current buffer when a restart is requested. Every other thread talks to
// it only through LoopFlags. Events are called on the worker thread; the window turns each into
// one queued call.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "common/CapturePause.h"
#include "receive/ReceiveEngine.h"
#include "receive/audio/CaptureCycle.h"

namespace dita {

struct LoopFlags {
    std::atomic<bool> StopLoop{false};
    std::atomic<bool> RestartLoop{false};
    std::atomic<bool> LoopStopped{false};
    std::atomic<bool> QuitRequested{false};
    std::atomic<bool> NoInputDevice{true};
    // Transmission, the sound card selection and an output stall each pause capture.
    CapturePause capturePause;
};

// The per-pass receive pipeline as the loop sees it; ReceiveEngine is the real one.
class PassProcessor {
public:
    virtual ~PassProcessor() = default;
    virtual void post(ReceiveCommand command) = 0;
    virtual const PassResult& processPass(const int32_t* samples) = 0;
};

struct RunLoopEvents {
    // outputStalled: the tone output stalled while the pass was processed (its timeline is
    // skipped).
    std::function<void(const PassResult&, bool outputStalled)> passDone;
    std::function<void(const int32_t* samples)> samplesDone; // the pass's block, after the pass
    std::function<void(bool rcvOn, bool xmitOn)> leds;       // called only when the lamps change
    std::function<void(WaveOp op)> waveError;                // every device failure, in order
    std::function<void()> fatalError;                      // a stopping failure: run the error exit
    std::function<void(int deviceId)> inputDeviceFallback; // open failed: InputDeviceId := 0
};

struct LoopTimings {
    std::chrono::milliseconds idleSleep{100};    // no input device
    std::chrono::milliseconds transmitSleep{25}; // waiting for every pause reason to clear
};

class RunLoop {
public:
    RunLoop(LoopFlags& flags, CaptureCycle& capture, PassProcessor& processor, RunLoopEvents events,
            LoopTimings timings = {});

    // One entry of the loop with the settings of that moment.
    void run(int inputDeviceId, int inputChannel, int inputDeviceCount);

    int captureRestarts() const { return m_captureRestarts; }

private:
    bool stopSeen() const;
    void showLeds(bool rcvOn, bool xmitOn);

    LoopFlags& m_flags;
    CaptureCycle& m_capture;
    PassProcessor& m_processor;
    RunLoopEvents m_events;
    LoopTimings m_timings;
    std::array<int32_t, kCaptureFrames> m_samples{};
    std::atomic<int> m_captureRestarts{0}; // read by other threads while the loop runs
    int m_lampState = -1;                  // last lamps shown: bit 0 receive, bit 1 transmit
    uint64_t m_pausesSeen = 0; // CapturePause::pausesBegun() when capture last (re)started
};

} // namespace dita
