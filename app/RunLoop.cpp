#include "app/RunLoop.h"

#include <thread>

namespace dita {

static_assert(kCaptureFrames == kPassFrames, "a capture buffer is one receive pass");

RunLoop::RunLoop(LoopFlags& flags, CaptureCycle& capture, PassProcessor& processor,
                 RunLoopEvents events, LoopTimings timings)
    : m_flags(flags), m_capture(capture), m_processor(processor), m_events(std::move(events)),
      m_timings(timings) {}

void RunLoop::showLeds(bool rcvOn, bool xmitOn) {
    const int state = (rcvOn ? 1 : 0) | (xmitOn ? 2 : 0);
    if (state == m_lampState) return;
    m_lampState = state;
    if (m_events.leds) m_events.leds(rcvOn, xmitOn);
}

void RunLoop::run(int inputDeviceId, int inputChannel, int inputDeviceCount) {
    m_lampState = -1;
    m_processor.post(ReceiveCommand::loopEntry());
    for (;;) {
        if (m_flags.quitRequested()) return;
        if (!m_flags.noInputDevice()) {
            const int requested = inputDeviceId;
            const bool started = m_capture.start(inputDeviceId, inputChannel);
            if (inputDeviceId != requested && m_events.inputDeviceFallback)
                m_events.inputDeviceFallback(inputDeviceId);
            if (!started) {
                m_capture.close();
                if (m_events.fatalError) m_events.fatalError();
                return;
            }
        }
        m_flags.clearStop();
        const CapturePause& pause = m_flags.capturePause;
        m_pausesSeen = pause.pausesBegun();

        // No input device: keep the lamps following the transmit state until stopped.
        while (inputDeviceCount == 0 && !m_flags.stopRequested()) {
            const bool tx = pause.has(PauseReason::Transmit);
            showLeds(!tx, tx);
            std::this_thread::sleep_for(m_timings.idleSleep);
        }

        for (;;) {
            if (m_flags.stopRequested() || m_flags.noInputDevice()) {
                m_capture.close();
                m_flags.markStopped();
                return;
            }
            // No audio is handled while any reason pauses capture. After a pause, also one
            // that began and ended unseen, the input restarts, so nothing recorded meanwhile
            // is decoded.
            bool paused = false;
            while (pause.paused() && !m_flags.stopRequested()) {
                showLeds(false, pause.has(PauseReason::Transmit));
                std::this_thread::sleep_for(m_timings.transmitSleep);
                paused = true;
            }
            if (m_flags.stopRequested()) continue;
            const uint64_t begun = pause.pausesBegun();
            if (paused || begun != m_pausesSeen) {
                m_pausesSeen = begun;
                ++m_captureRestarts;
                if (!m_capture.restartAfterTransmit()) {
                    m_capture.close();
                    if (m_events.fatalError) m_events.fatalError();
                    return;
                }
            }
            showLeds(true, false);

            const CaptureCycle::Wait w = m_flags.waitPass(m_capture);
            if (w == CaptureCycle::Wait::Failed) {
                m_capture.close();
                if (m_events.fatalError) m_events.fatalError();
                return;
            }
            if (w == CaptureCycle::Wait::Completed && m_flags.restartRequested()) {
                m_capture.close();
                return;
            }
            if (w == CaptureCycle::Wait::Stopped || m_flags.stopRequested()) {
                m_capture.close();
                m_flags.markStopped();
                return;
            }
            // A pause began during the wait: the buffer holds its audio and is dropped.
            if (pause.pausesBegun() != m_pausesSeen) continue;
            m_capture.extract(m_samples.data());
            const uint64_t stalls = pause.stallsBegun();
            const PassResult& result = m_processor.processPass(m_samples.data());
            if (m_events.passDone) m_events.passDone(result, pause.stallsBegun() != stalls);
            if (m_events.samplesDone) m_events.samplesDone(m_samples.data());
        }
    }
}

} // namespace dita
