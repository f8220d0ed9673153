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

// What the window and the run loop tell each other; any thread.
class LoopFlags {
public:
    // ---- asked of the loop
    // Ends the loop at its next look (a stop asked before an entry is forgotten by it).
    void stop() { m_stopLoop = true; }
    // Ends the loop at its next look, also one that has just been entered.
    void quit() { m_quitRequested = true; }
    // The loop returns after the current buffer, so that the next entry reopens the device; a
    // quit asked for earlier is withdrawn.
    void restartAfterBuffer() {
        m_quitRequested = false;
        m_restartLoop = true;
    }
    // The loop has ended (or is to be entered again): the window's next tick enters it.
    void markStopped() { m_loopStopped = true; }
    // The window enters the loop afresh: no stop mark, quit or restart is left over.
    void entering() {
        m_loopStopped = false;
        m_quitRequested = false;
        m_restartLoop = false;
    }
    // Without an input device the loop only follows the transmit state.
    void setNoInputDevice(bool none) { m_noInputDevice = none; }

    bool loopStopped() const { return m_loopStopped.load(); }
    bool restartRequested() const { return m_restartLoop.load(); }
    bool noInputDevice() const { return m_noInputDevice.load(); }

    // ---- the loop's side
    bool quitRequested() const { return m_quitRequested.load(); }
    // A quit is honoured wherever a stop is, so a stop request that raced with the loop's own
    // clearing of the stop can never leave the loop running after the window has gone.
    bool stopRequested() const { return m_stopLoop.load() || m_quitRequested.load(); }
    void clearStop() { m_stopLoop = false; }
    // The capture's wait for a full buffer, ended early by a stop or a quit.
    CaptureCycle::Wait waitPass(CaptureCycle& capture) const {
        return capture.waitPass(m_stopLoop, &m_quitRequested);
    }

    // Transmission, the sound card selection and an output stall each pause capture.
    CapturePause capturePause;

private:
    std::atomic<bool> m_stopLoop{false};
    std::atomic<bool> m_restartLoop{false};
    std::atomic<bool> m_loopStopped{false};
    std::atomic<bool> m_quitRequested{false};
    std::atomic<bool> m_noInputDevice{true};
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
