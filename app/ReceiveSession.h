#pragma once
// ReceiveSession: the receive side of the running program. It owns the capture cycle, the run
// loop, the worker thread each loop entry runs on, and the loop flags through which the window
// and its dialogs talk to the loop.
//
// Who calls it: the main window, on the window thread (enter, stop, flags, testOpen). The run
// loop's events are called on the worker thread; the caller turns them into queued calls.
// No Qt.
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/RunLoop.h"
#include "receive/audio/CaptureCycle.h"

namespace dita {

class ReceiveSession {
public:
    ReceiveSession(DeviceCatalog& catalog, PassProcessor& processor, RunLoopEvents events,
                   CaptureCycle::ErrorSink waveError, CaptureTimings captureTimings = {},
                   LoopTimings loopTimings = {});
    // Stops the loop and waits for its thread.
    ~ReceiveSession();
    ReceiveSession(const ReceiveSession&) = delete;
    ReceiveSession& operator=(const ReceiveSession&) = delete;

    LoopFlags& flags() { return m_flags; }
    // One entry of the run loop on a new worker thread, with the settings of this moment. The
    // thread of an earlier entry, which has returned, is joined first.
    void enter(int inputDeviceId, int inputChannel, int inputDeviceCount);
    // Quit: the loop stops within one poll of its wait; returns when its thread has ended.
    void stop();
    // Waits for a loop that is returning by itself (a stop request already made).
    void join();
    bool running() const { return m_running.load(); }
    int entries() const { return m_entries; }
    // Select SoundCard's test: can this device be opened with the channel's format?
    bool testOpen(int deviceId, int inputChannel);

private:
    DeviceCatalog& m_catalog;
    LoopFlags m_flags;
    CaptureCycle m_capture;
    RunLoop m_loop;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    int m_entries = 0;
};

} // namespace dita
