#pragma once
// The capture cycle of the receive loop: opens the chosen input device with the format of the
// input channel, keeps two capture buffers in alternation and waits for each one, with the
// 375 ms input watchdog that resets and restarts a device that stopped delivering.
//
// Who calls it: the receive run loop, on its worker thread only. Failures are reported through
// the error sink (on the same thread) with the operation and its message text.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "receive/audio/CaptureFormat.h"
#include "receive/audio/InputDevice.h"

namespace dita {

// Device operations that can fail, each with its "Wave Device Message" text.
enum class WaveOp {
    StatusOpen,
    Open,
    PrepareA,
    AddA,
    PrepareB,
    AddB,
    Start,
    GetPosition,
    Reset,
    UnprepareA,
    UnprepareB,
};
const char* waveMessage(WaveOp op);
// Open failures fall back to device 0 and carry on; every other failure stops the program.
bool waveFailureStops(WaveOp op);

struct CaptureTimings {
    std::chrono::milliseconds watchdog{375};     // a buffer that takes longer is released
    std::chrono::milliseconds restartPause{100}; // pause between watchdog reset and restart
    std::chrono::milliseconds poll{1};           // sleep between looks at the done flag
    // A freshly opened device may take longer for its first samples (PulseAudio through ALSA
    // needs about 1.7 s); resetting it every 375 ms meanwhile would keep it from ever starting.
    std::chrono::milliseconds startupGrace{3000};
};

class CaptureCycle {
public:
    using ErrorSink = std::function<void(WaveOp op)>;
    enum class Wait { Completed, Stopped, Failed };

    CaptureCycle(DeviceCatalog& catalog, ErrorSink onError, CaptureTimings timings = {});
    ~CaptureCycle();
    CaptureCycle(const CaptureCycle&) = delete;
    CaptureCycle& operator=(const CaptureCycle&) = delete;

    // Capture start: opens inputDeviceId (falling back to device 0 on open failures, which
    // updates inputDeviceId), queues buffer A and starts. False when a stopping failure
    // occurred; its message has been reported.
    bool start(int& inputDeviceId, int inputChannel);

    // After a transmission: reset, requeue buffer A and start again, without re-opening.
    bool restartAfterTransmit();

    // One capture cycle: queue the other buffer, wait for the current one, flip. Stopped when
    // stopLoop (or quitRequested, when given) is seen during the wait. (Pauses, an output
    // stall among them, are the run loop's: it drops the buffer and restarts the device.)
    Wait waitPass(const std::atomic<bool>& stopLoop,
                  const std::atomic<bool>* quitRequested = nullptr);

    // The samples of the buffer that the last waitPass completed. A buffer released early
    // (watchdog, reset) is padded with silence, never with audio left from an earlier pass.
    void extract(int32_t* samples) const;

    void close();

    int captureState() const { return m_captureState; }
    const CaptureFormat& format() const { return m_format; }
    int inputChannel() const { return m_inputChannel; }
    uint32_t lastBytesRecorded() const { return m_lastRecorded; }
    int watchdogResets() const { return m_watchdogResets; }

private:
    bool fail(WaveOp op);
    bool resetDeviceAndRestart(std::chrono::milliseconds pause);
    CaptureBuffer& buffer(int index) { return index == 0 ? *m_bufferA : *m_bufferB; }

    DeviceCatalog& m_catalog;
    ErrorSink m_onError;
    CaptureTimings m_timings;
    std::unique_ptr<InputDevice> m_device;
    // Allocated once; each is larger than any buffer length so both layouts fit.
    std::unique_ptr<CaptureBuffer> m_bufferA;
    std::unique_ptr<CaptureBuffer> m_bufferB;
    CaptureFormat m_format;
    int m_inputChannel = kInputMic;
    int m_captureState = 0; // 0: waiting for A next, 1: for B
    int m_completed = 0;    // the buffer the last wait completed
    uint32_t m_lastRecorded = 0;
    int m_watchdogResets = 0;
    bool m_delivered = false; // the device has completed a buffer since it was opened
};

} // namespace dita
