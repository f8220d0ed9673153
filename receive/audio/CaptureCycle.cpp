#include "receive/audio/CaptureCycle.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace dita {

const char* waveMessage(WaveOp op) {
    switch (op) {
    case WaveOp::StatusOpen:
        return "Could not status the input wave device";
    case WaveOp::Open:
        return "Error Opening Input wave device";
    case WaveOp::PrepareA:
        return "Error preparing the input header_a";
    case WaveOp::AddA:
        return "Error in sending to input buffer_a";
    case WaveOp::PrepareB:
        return "Error preparing the input header_b";
    case WaveOp::AddB:
        return "Error in sending to input buffer_b";
    case WaveOp::Start:
        return "Error starting the input wave device";
    case WaveOp::GetPosition:
        return "Error getting the input byte position";
    case WaveOp::Reset:
        return "Error Resetting the input wave device";
    case WaveOp::UnprepareA:
        return "Error unpreparing the Input Header a";
    case WaveOp::UnprepareB:
        return "Error unpreparing the Input Header b";
    }
    return "";
}

bool waveFailureStops(WaveOp op) {
    return op != WaveOp::StatusOpen && op != WaveOp::Open;
}

CaptureCycle::CaptureCycle(DeviceCatalog& catalog, ErrorSink onError, CaptureTimings timings)
    : m_catalog(catalog), m_onError(std::move(onError)), m_timings(timings),
      m_bufferA(std::make_unique<CaptureBuffer>()), m_bufferB(std::make_unique<CaptureBuffer>()) {}

CaptureCycle::~CaptureCycle() {
    close();
}

bool CaptureCycle::fail(WaveOp op) {
    if (m_onError) m_onError(op);
    return false;
}

void CaptureCycle::close() {
    if (m_device) {
        m_device->reset();
        m_device->close();
        m_device.reset();
    }
}

bool CaptureCycle::start(int& inputDeviceId, int inputChannel) {
    // The previous handle is closed before each re-open so a device is never opened twice.
    close();
    m_inputChannel = normalisedInputChannel(inputChannel);
    m_format = makeCaptureFormat(m_inputChannel);
    m_captureState = 0;
    m_delivered = false;
    m_bufferA->reinit(m_format.CaptureBufferBytes);
    m_bufferB->reinit(m_format.CaptureBufferBytes);

    m_device = m_catalog.create(inputDeviceId);
    if (!m_device || !m_device->formatSupported(m_format)) {
        fail(WaveOp::StatusOpen);
        inputDeviceId = 0;
        m_device = m_catalog.create(0);
    }
    if (!m_device || !m_device->open(m_format)) {
        fail(WaveOp::Open);
        inputDeviceId = 0;
        m_device.reset();
    }
    // Without a usable device the first buffer cannot be prepared: that failure stops.
    if (!m_device) return fail(WaveOp::PrepareA);
    if (!m_device->addBuffer(*m_bufferA)) return fail(WaveOp::AddA);
    if (!m_device->start()) return fail(WaveOp::Start);
    return true;
}

bool CaptureCycle::restartAfterTransmit() {
    if (!m_device) return fail(WaveOp::PrepareA);
    m_captureState = 0;
    if (!m_device->reset()) return fail(WaveOp::Reset);
    m_bufferA->reinit(m_format.CaptureBufferBytes);
    m_bufferB->reinit(m_format.CaptureBufferBytes);
    if (!m_device->addBuffer(*m_bufferA)) return fail(WaveOp::AddA);
    if (!m_device->start()) return fail(WaveOp::Start);
    return true;
}

bool CaptureCycle::resetDeviceAndRestart(std::chrono::milliseconds pause) {
    if (!m_device->reset()) return fail(WaveOp::Reset);
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
    if (!m_device->start()) return fail(WaveOp::Start);
    return true;
}

CaptureCycle::Wait CaptureCycle::waitPass(const std::atomic<bool>& stopLoop,
                                          const std::atomic<bool>* quitRequested) {
    if (!m_device) {
        fail(WaveOp::PrepareA);
        return Wait::Failed;
    }
    const int current = m_captureState;
    CaptureBuffer& waited = buffer(current);
    CaptureBuffer& other = buffer(1 - current);
    // Queue the other buffer now so the device never runs dry while this one is processed.
    other.reinit(m_format.CaptureBufferBytes);
    if (!m_device->addBuffer(other)) {
        fail(current == 0 ? WaveOp::AddB : WaveOp::AddA);
        return Wait::Failed;
    }

    bool watchdogArmed = true;
    const auto deadline =
        std::chrono::steady_clock::now() +
        (m_delivered ? m_timings.watchdog : std::max(m_timings.watchdog, m_timings.startupGrace));
    while (!waited.done.load(std::memory_order_acquire)) {
        if (stopLoop.load() || (quitRequested && quitRequested->load())) return Wait::Stopped;
        std::this_thread::sleep_for(m_timings.poll);
        if (watchdogArmed && std::chrono::steady_clock::now() >= deadline) {
            // Input watchdog: a device that stopped delivering is reset, which releases the
            // queued buffers, and started again after a short pause.
            watchdogArmed = false;
            ++m_watchdogResets;
            if (!resetDeviceAndRestart(m_timings.restartPause)) return Wait::Failed;
        }
    }
    m_completed = current;
    m_delivered = true;
    m_lastRecorded = std::min<uint32_t>(waited.bytesRecorded.load(), waited.lengthBytes);
    if (m_lastRecorded < waited.lengthBytes)
        std::memset(waited.data.data() + m_lastRecorded, 0, waited.lengthBytes - m_lastRecorded);
    m_captureState = 1 - current;
    return Wait::Completed;
}

void CaptureCycle::extract(int32_t* samples) const {
    const CaptureBuffer& b = m_completed == 0 ? *m_bufferA : *m_bufferB;
    extractSamples(b.data.data(), m_inputChannel, samples);
}

} // namespace dita
