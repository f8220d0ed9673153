#include "receive/audio/InputDevice.h"

#include <algorithm>
#include <cstring>

namespace dita {

bool BufferQueue::add(CaptureBuffer& buffer) {
    const uint32_t tail = m_tail.load(std::memory_order_relaxed);
    if (tail - m_head.load(std::memory_order_acquire) >= kSlots) return false;
    m_slots[tail % kSlots] = &buffer;
    m_tail.store(tail + 1, std::memory_order_release);
    return true;
}

void BufferQueue::write(const uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        const uint32_t head = m_head.load(std::memory_order_relaxed);
        if (head == m_tail.load(std::memory_order_acquire))
            return; // nothing queued: the device runs dry and the data is lost
        CaptureBuffer& b = *m_slots[head % kSlots];
        const uint32_t filled = b.bytesRecorded.load(std::memory_order_relaxed);
        const uint32_t n = std::min(count, b.lengthBytes - filled);
        std::memcpy(b.data.data() + filled, bytes, n);
        b.bytesRecorded.store(filled + n, std::memory_order_relaxed);
        bytes += n;
        count -= n;
        if (filled + n >= b.lengthBytes) {
            b.done.store(true, std::memory_order_release);
            m_head.store(head + 1, std::memory_order_release);
        }
    }
}

void BufferQueue::abortAll() {
    uint32_t head = m_head.load(std::memory_order_relaxed);
    const uint32_t tail = m_tail.load(std::memory_order_acquire);
    for (; head != tail; ++head)
        m_slots[head % kSlots]->done.store(true, std::memory_order_release);
    m_head.store(head, std::memory_order_release);
}

bool BufferQueue::empty() const {
    return m_head.load(std::memory_order_acquire) == m_tail.load(std::memory_order_acquire);
}

} // namespace dita
