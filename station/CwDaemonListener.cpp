#include "station/CwDaemonListener.h"

#include "common/Latin1.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dita {

CwDaemonListener::CwDaemonListener(Handler handler, Reporter reporter, DropReport::Clock clock)
    : m_handler(std::move(handler)), m_reporter(std::move(reporter)),
      m_refusals([this](const std::string& text) { m_reporter("keying listener " + text); },
                 "refused (malformed, too long or with control bytes)", std::move(clock)) {}

CwDaemonListener::~CwDaemonListener() {
    stop();
}

std::string CwDaemonListener::start(const std::string& address, uint16_t port) {
    stop();
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        return "The keying listener address '" + address + "' is not an IPv4 address";
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::string("Could not open a UDP socket: ") + std::strerror(errno);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        const int err = errno;
        close(fd);
        return "Could not listen on UDP " + address + ":" + std::to_string(port) + ": " +
               std::strerror(err);
    }
    socklen_t len = sizeof where;
    getsockname(fd, reinterpret_cast<sockaddr*>(&where), &len);
    m_boundPort = ntohs(where.sin_port);
    m_wake = eventfd(0, EFD_CLOEXEC);
    if (m_wake < 0) {
        close(fd);
        return std::string("Could not create the listener's wake-up: ") + std::strerror(errno);
    }
    m_socket = fd;
    m_thread = std::thread([this] { run(); });
    return {};
}

void CwDaemonListener::stop() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        if (write(m_wake, &one, sizeof one) < 0) {
            // The eventfd cannot be full after one write; the join below still ends the thread
            // once the socket closes.
        }
        m_thread.join();
        m_refusals.flush();
    }
    std::lock_guard lock(m_socketMutex);
    if (m_socket >= 0) close(m_socket);
    if (m_wake >= 0) close(m_wake);
    m_socket = -1;
    m_wake = -1;
}

void CwDaemonListener::reply(const CwDaemonPeer& to, const std::string& datagram) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = to.address;
    where.sin_port = to.port;
    // A reply that cannot go out (the client has gone, the listener stopped) is nothing to
    // report: UDP.
    std::lock_guard lock(m_socketMutex);
    if (m_socket >= 0) {
        sendto(m_socket, datagram.data(), datagram.size(), MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&where), sizeof where);
    }
}

void CwDaemonListener::run() {
    // One byte more than the largest datagram accepted, so a longer one shows as longer.
    char buffer[kCwDaemonMaxDatagramBytes + 1];
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
    for (;;) {
        // While refusals wait to be told, wake once their second is over.
        const int timeoutMs =
            m_refusals.pending() ? static_cast<int>(DropReport::kInterval.count()) : -1;
        const int ready = poll(fds, 2, timeoutMs);
        const int err = errno;
        m_refusals.poll();
        if (ready < 0) {
            if (err == EINTR) continue;
            m_reporter(std::string("keying listener stopped: ") + std::strerror(err));
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        // MSG_TRUNC returns the datagram's full length even when it did not fit.
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = recvfrom(m_socket, buffer, sizeof buffer, MSG_TRUNC | MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) continue;
        const std::size_t full = static_cast<std::size_t>(n);
        const std::string_view datagram(buffer, full < sizeof buffer ? full : sizeof buffer);
        CwDaemonParse parsed =
            full > kCwDaemonMaxDatagramBytes
                ? CwDaemonParse{false,
                                {},
                                "datagram of " + std::to_string(full) + " bytes is longer than " +
                                    std::to_string(kCwDaemonMaxDatagramBytes)}
                : parseCwDaemonDatagram(datagram);
        if (!parsed.ok) {
            ++m_refused;
            m_refusals.dropped(printableText(parsed.error));
            continue;
        }
        parsed.request.from = {from.sin_addr.s_addr, from.sin_port};
        m_handler(parsed.request);
    }
}

} // namespace dita
