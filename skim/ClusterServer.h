#pragma once
// ClusterServer: hands spots out over telnet the way a DX-cluster node does. A client is
// asked for its call ("Please enter your call: "), greeted, and from then on receives every
// spot line; "bye" or "quit" ends its session. Loggers (tlf, CQRLOG, ...) and cluster clients
// (xdx, telnet) connect to it as to any node.
//
// One thread: whoever runs the skimmer calls poll() between blocks (it also serves as that
// thread's wait) and broadcast() for each spot. Sockets are non-blocking; a client that does
// not read its lines is dropped once a backlog builds up, so it never stalls decoding.
#include <memory>
#include <string>

namespace dita {

class ClusterServer {
public:
    explicit ClusterServer(std::string nodeCall);
    ~ClusterServer();
    ClusterServer(const ClusterServer&) = delete;
    ClusterServer& operator=(const ClusterServer&) = delete;

    // "ADDR:PORT" (IPv4, port 0 for any free one); false with a message when it cannot listen.
    bool listen(const std::string& address, std::string& error);
    int port() const;

    // Accepts, reads logins and commands, writes what is queued; waits at most timeoutMs for
    // something to happen.
    void poll(int timeoutMs);
    // Queues a line (without its line end) for every logged-in client.
    void broadcast(const std::string& line);

    int loggedInCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace dita
