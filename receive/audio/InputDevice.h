#pragma once
// The sound input seen by the capture cycle: a device that fills queued capture buffers in
// order and marks each one done, and a catalogue of the numbered input devices.
//
// Who calls it: CaptureCycle, on the receive loop's worker thread, for every operation. The
// device's own producer (a PortAudio callback or a file player thread) writes the buffers.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "receive/audio/CaptureFormat.h"

namespace dita {

// One capture buffer with the fields of its header. The producer writes data and
// bytesRecorded, then sets done (release); the consumer reads after seeing done (acquire).
struct CaptureBuffer {
    std::array<uint8_t, kCaptureBufferAllocBytes> data{};
    uint32_t lengthBytes = 0;
    std::atomic<uint32_t> bytesRecorded{0};
    std::atomic<bool> done{false};

    // Re-initialises the header before the buffer is queued again.
    void reinit(uint32_t length) {
        lengthBytes = length;
        bytesRecorded.store(0, std::memory_order_relaxed);
        done.store(false, std::memory_order_release);
    }
};

// The buffers queued on a device, filled front first. add() runs on the consumer thread and
// write() on the producer thread (single producer, single consumer, no locks); abortAll() and
// clear() only while the producer is stopped.
class BufferQueue {
public:
    bool add(CaptureBuffer& buffer);
    // Copies interleaved bytes into the queued buffers; bytes with no buffer queued are dropped.
    void write(const uint8_t* bytes, uint32_t count);
    // Marks every queued buffer done with what it holds so far and empties the queue.
    void abortAll();
    bool empty() const;

private:
    static constexpr uint32_t kSlots = 4;
    std::array<CaptureBuffer*, kSlots> m_slots{};
    std::atomic<uint32_t> m_head{0}; // next buffer to fill (producer)
    std::atomic<uint32_t> m_tail{0}; // next free slot (consumer)
};

class InputDevice {
public:
    virtual ~InputDevice() = default;
    // The query open: can the device deliver this format?
    virtual bool formatSupported(const CaptureFormat& format) = 0;
    virtual bool open(const CaptureFormat& format) = 0;
    // Queues a buffer; false when the device is not open or the queue is full.
    virtual bool addBuffer(CaptureBuffer& buffer) = 0;
    virtual bool start() = 0;
    // Stops recording and marks every queued buffer done; start() records again.
    virtual bool reset() = 0;
    virtual void close() = 0;
};

// The numbered input devices. Who calls it: the window thread (dialogs, start-up count) and
// the worker thread (create); count and names are fixed when the catalogue is made.
class DeviceCatalog {
public:
    virtual ~DeviceCatalog() = default;
    virtual int count() const = 0;
    virtual std::string name(int deviceId) const = 0;
    // A closed device for the number, or nullptr when there is no such device.
    virtual std::unique_ptr<InputDevice> create(int deviceId) = 0;
};

} // namespace dita
