#pragma once
// A cwdaemon-compatible UDP listener: receives the datagrams loggers send, parses each and
// hands the accepted requests on; refused datagrams are reported and have no other effect.
//
// Refusals are told at most once a second, counted (station/DropReport.h), with every byte
// that came from the network made printable, so neither a flood nor an escape sequence in a
// datagram reaches the operator's terminal.
//
// Who calls it: the window thread starts and stops it. The handler and the reporter run on the
// listener's own thread, one datagram at a time, in the order they arrived. No Qt.
#include "station/CwDaemonProtocol.h"
#include "station/DropReport.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace dita {

// Loopback only, unless the operator chooses another address (for example 0.0.0.0).
inline constexpr const char* kCwDaemonDefaultAddress = "127.0.0.1";

class CwDaemonListener {
public:
    using Handler = std::function<void(const CwDaemonRequest&)>;
    using Reporter = std::function<void(const std::string& why)>;

    // `clock` spaces the refusal messages; the steady clock when empty (tests step it).
    CwDaemonListener(Handler handler, Reporter reporter, DropReport::Clock clock = {});
    ~CwDaemonListener();
    CwDaemonListener(const CwDaemonListener&) = delete;
    CwDaemonListener& operator=(const CwDaemonListener&) = delete;

    // Binds address:port (IPv4 dotted quad; port 0 picks a free one) and starts listening.
    // Returns the reason when it cannot, else empty. A running listener is stopped first.
    std::string start(const std::string& address, uint16_t port);
    void stop();
    bool running() const { return m_thread.joinable(); }
    uint16_t boundPort() const { return m_boundPort; }
    uint64_t refusedCount() const { return m_refused.load(); }
    // Sends datagram to a client (the reply to ESC h or '^'); from any thread.
    void reply(const CwDaemonPeer& to, const std::string& datagram);

private:
    void run();

    Handler m_handler;
    Reporter m_reporter;
    std::mutex m_socketMutex; // the socket's close against replies from other threads
    DropReport m_refusals;
    int m_socket = -1;
    int m_wake = -1; // eventfd that ends the thread's wait
    uint16_t m_boundPort = 0;
    std::atomic<uint64_t> m_refused{0};
    std::thread m_thread;
};

} // namespace dita
