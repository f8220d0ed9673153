#include "station/DropReport.h"

namespace dita {

DropReport::DropReport(std::function<void(const std::string&)> report, std::string summary,
                       Clock clock)
    : m_report(std::move(report)), m_summary(std::move(summary)), m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return std::chrono::steady_clock::now(); };
}

void DropReport::dropped(const std::string& reason) {
    std::unique_lock lock(m_mutex);
    ++m_count;
    m_lastReason = reason;
    if (m_clock() >= m_nextTell) tellLocked(lock);
}

void DropReport::poll() {
    std::unique_lock lock(m_mutex);
    if (m_count > 0 && m_clock() >= m_nextTell) tellLocked(lock);
}

void DropReport::flush() {
    std::unique_lock lock(m_mutex);
    if (m_count > 0) tellLocked(lock);
}

bool DropReport::pending() const {
    std::lock_guard lock(m_mutex);
    return m_count > 0;
}

void DropReport::tellLocked(std::unique_lock<std::mutex>& lock) {
    const std::string text =
        m_count == 1 ? "dropped a datagram: " + m_lastReason
                     : "dropped " + std::to_string(m_count) + " datagrams: " + m_summary;
    m_count = 0;
    m_nextTell = m_clock() + kInterval;
    // Told outside the lock: the reporter may take locks of its own.
    lock.unlock();
    if (m_report) m_report(text);
}

} // namespace dita
