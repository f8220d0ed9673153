#include "app/ReceiveSession.h"

namespace dita {

ReceiveSession::ReceiveSession(DeviceCatalog& catalog, PassProcessor& processor,
                               RunLoopEvents events, CaptureCycle::ErrorSink waveError,
                               CaptureTimings captureTimings, LoopTimings loopTimings)
    : m_catalog(catalog), m_capture(catalog, std::move(waveError), captureTimings),
      m_loop(m_flags, m_capture, processor, std::move(events), loopTimings) {}

ReceiveSession::~ReceiveSession() {
    stop();
}

void ReceiveSession::enter(int inputDeviceId, int inputChannel, int inputDeviceCount) {
    join();
    ++m_entries;
    m_running = true;
    m_thread = std::thread([this, inputDeviceId, inputChannel, inputDeviceCount] {
        m_loop.run(inputDeviceId, inputChannel, inputDeviceCount);
        m_running = false;
    });
}

void ReceiveSession::stop() {
    m_flags.stop();
    m_flags.quit();
    join();
}

void ReceiveSession::join() {
    if (m_thread.joinable()) m_thread.join();
}

bool ReceiveSession::testOpen(int deviceId, int inputChannel) {
    auto device = m_catalog.create(deviceId);
    if (!device) return false;
    const CaptureFormat format = makeCaptureFormat(inputChannel);
    const bool ok = device->formatSupported(format) && device->open(format);
    device->close();
    return ok;
}

} // namespace dita
