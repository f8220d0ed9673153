#include "transmit/control/TransmitState.h"

namespace dita {

void KeyQueue::push(const QueuedKey& key) {
    std::lock_guard lock(m_mutex);
    if (m_write == kKeyQueueSize) {
        m_write = 0;
        m_read = 0;
    }
    m_keys[m_write++] = key;
}

bool KeyQueue::removeLastUnread() {
    std::lock_guard lock(m_mutex);
    if (m_write <= m_read) return false;
    --m_write;
    return true;
}

bool KeyQueue::take(QueuedKey& key) {
    std::lock_guard lock(m_mutex);
    if (m_read >= m_write) return false;
    key = m_keys[m_read++];
    return true;
}

bool KeyQueue::takeEscape() {
    std::lock_guard lock(m_mutex);
    for (int i = m_write - 1; i >= m_read; --i) {
        if (m_keys[i].virtualKey == kVkEscape) {
            m_read = i + 1;
            return true;
        }
    }
    return false;
}

bool KeyQueue::hasUnreadEscape() const {
    std::lock_guard lock(m_mutex);
    for (int i = m_read; i < m_write; ++i) {
        if (m_keys[i].virtualKey == kVkEscape) return true;
    }
    return false;
}

bool KeyQueue::hasUnread() const {
    std::lock_guard lock(m_mutex);
    return m_read < m_write;
}

int KeyQueue::unreadCount() const {
    std::lock_guard lock(m_mutex);
    return m_write - m_read;
}

int KeyQueue::writeIndex() const {
    std::lock_guard lock(m_mutex);
    return m_write;
}

int KeyQueue::readIndex() const {
    std::lock_guard lock(m_mutex);
    return m_read;
}

void KeyQueue::clear() {
    std::lock_guard lock(m_mutex);
    m_write = 0;
    m_read = 0;
}

void KeyQueue::rewindIfAllRead() {
    std::lock_guard lock(m_mutex);
    if (m_read == m_write) {
        m_write = 0;
        m_read = 0;
    }
}

bool TypedBuffer::push(const TypedEntry& entry) {
    std::lock_guard lock(m_mutex);
    if (m_entries.size() >= kTypedBufferSize) return false;
    m_entries.push_back(entry);
    return true;
}

bool TypedBuffer::pending() const {
    std::lock_guard lock(m_mutex);
    return m_position < m_entries.size();
}

bool TypedBuffer::peek(TypedEntry& entry) const {
    std::lock_guard lock(m_mutex);
    if (m_position >= m_entries.size()) return false;
    entry = m_entries[m_position];
    return true;
}

void TypedBuffer::advance() {
    std::lock_guard lock(m_mutex);
    if (m_position < m_entries.size()) ++m_position;
}

int TypedBuffer::count() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

int TypedBuffer::position() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_position);
}

void TypedBuffer::clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_position = 0;
}

void TypedBuffer::rewindIfSent() {
    std::lock_guard lock(m_mutex);
    if (m_position >= m_entries.size()) {
        m_entries.clear();
        m_position = 0;
    }
}

void SendBufferBank::set(int index, const std::string& latin1) {
    if (index < 0 || index >= kSendBufferCount) return;
    std::string text = latin1.substr(0, latin1.find('\0'));
    if (text.size() > kSendBufferBytes - 1) text.resize(kSendBufferBytes - 1);
    std::lock_guard lock(m_mutex);
    m_buffers[index] = std::move(text);
}

std::string SendBufferBank::get(int index) const {
    if (index < 0 || index >= kSendBufferCount) return {};
    std::lock_guard lock(m_mutex);
    return m_buffers[index];
}

} // namespace dita
