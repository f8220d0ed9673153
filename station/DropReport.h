#pragma once
// Tells about dropped datagrams without flooding standard error: the first drop is told at
// once, later ones are counted and told together ("dropped 812 datagrams: queue full") once the
// interval since the last message is over, at the next drop, poll() or flush(). A flood of
// datagrams then costs one line a second, whatever its rate.
//
// Who calls it: the listener's and the keying queue's threads; thread-safe. No Qt.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace dita {

class DropReport {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kInterval{1000};

    // `summary` names the reason of a counted message ("queue full"); each drop's own
    // reason is told when it is the only one in its message. An empty clock is the steady
    // clock.
    DropReport(std::function<void(const std::string&)> report, std::string summary,
               Clock clock = {});

    void dropped(const std::string& reason);
    // Tells the drops counted so far when the interval is over.
    void poll();
    // Tells the drops counted so far now.
    void flush();
    bool pending() const;

private:
    void tellLocked(std::unique_lock<std::mutex>& lock);

    std::function<void(const std::string&)> m_report;
    std::string m_summary;
    Clock m_clock;
    mutable std::mutex m_mutex;
    uint64_t m_count = 0;                               // guarded by m_mutex: drops not yet told
    std::string m_lastReason;                           // guarded by m_mutex
    std::chrono::steady_clock::time_point m_nextTell{}; // guarded by m_mutex
};

} // namespace dita
