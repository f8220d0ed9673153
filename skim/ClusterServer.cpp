#include "skim/ClusterServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

namespace dita {

namespace {
constexpr size_t kMaxBacklogBytes = 256 * 1024; // unread lines before a client is dropped
constexpr size_t kMaxLineBytes = 256;
constexpr size_t kMaxCallLength = 12;
constexpr int kListenQueue = 16;
constexpr unsigned char kIac = 255; // telnet: interpret as command
constexpr unsigned char kSb = 250;  // subnegotiation begins
constexpr unsigned char kSe = 240;  // subnegotiation ends
constexpr unsigned char kWill = 251;
constexpr unsigned char kDont = 254;
const char* const kPrompt = "Please enter your call: ";

bool validCall(const std::string& call) {
    if (call.empty() || call.size() > kMaxCallLength) return false;
    return std::all_of(call.begin(), call.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '-';
    });
}

void setNonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}
} // namespace

struct ClusterServer::Impl {
    struct Client {
        int fd = -1;
        std::string call; // empty until logged in
        std::string in;
        std::string out;
        int telnet = 0; // bytes of a telnet command still to skip; -1 inside a subnegotiation
        bool closing = false;
    };

    std::string node;
    int listenFd = -1;
    int boundPort = 0;
    std::vector<Client> clients;

    void accept() {
        for (;;) {
            const int fd = ::accept(listenFd, nullptr, nullptr);
            if (fd < 0) return;
            setNonBlocking(fd);
            Client c;
            c.fd = fd;
            c.out = "Welcome to " + node + ", a DITA CW skimmer.\r\n" + kPrompt;
            clients.push_back(std::move(c));
        }
    }

    void line(Client& c, std::string text) {
        text.erase(
            std::remove_if(text.begin(), text.end(),
                           [](char ch) { return !std::isprint(static_cast<unsigned char>(ch)); }),
            text.end());
        const auto first = text.find_first_not_of(' ');
        const auto last = text.find_last_not_of(' ');
        text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
        std::string upper = text;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
        if (c.call.empty()) {
            if (!validCall(upper)) {
                if (!upper.empty()) c.out += "Sorry, " + text + " is not a call.\r\n";
                c.out += kPrompt;
                return;
            }
            c.call = upper;
            c.out += "Hello " + c.call + ", this is " + node +
                     ". Spots of calling CW stations follow.\r\n" + c.call + " de " + node +
                     " >\r\n";
            return;
        }
        if (upper == "BYE" || upper == "QUIT" || upper == "B" || upper == "Q") {
            c.out += "73 " + c.call + "\r\n";
            c.closing = true;
        } else if (!upper.empty()) {
            c.out += c.call + " de " + node + " >\r\n";
        }
    }

    // Reads what the client sent; false when it has gone.
    bool read(Client& c) {
        char buffer[1024];
        for (;;) {
            const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (got == 0) return false;
            if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            for (ssize_t i = 0; i < got; ++i) {
                const auto b = static_cast<unsigned char>(buffer[i]);
                // Telnet commands are skipped: IAC WILL/WONT/DO/DONT x, IAC SB ... IAC SE.
                if (c.telnet == -1) {
                    if (b == kSe) c.telnet = 0;
                    continue;
                }
                if (c.telnet > 0) {
                    if (c.telnet == 2 && b == kSb) {
                        c.telnet = -1;
                        continue;
                    }
                    c.telnet = c.telnet == 2 && b >= kWill && b <= kDont ? 1 : 0;
                    continue;
                }
                if (b == kIac) {
                    c.telnet = 2;
                    continue;
                }
                if (b == '\n' || b == '\r') {
                    if (b == '\n' || !c.in.empty()) line(c, std::move(c.in));
                    c.in.clear();
                    if (c.closing) return true;
                } else if (c.in.size() < kMaxLineBytes) {
                    c.in += static_cast<char>(b);
                }
            }
        }
    }

    // Writes what is queued; false when the client has gone.
    bool write(Client& c) {
        while (!c.out.empty()) {
            const ssize_t put = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
            if (put < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            c.out.erase(0, static_cast<size_t>(put));
        }
        return true;
    }
};

ClusterServer::ClusterServer(std::string nodeCall) : m_impl(std::make_unique<Impl>()) {
    m_impl->node = std::move(nodeCall);
}

ClusterServer::~ClusterServer() {
    for (auto& c : m_impl->clients)
        ::close(c.fd);
    if (m_impl->listenFd >= 0) ::close(m_impl->listenFd);
}

bool ClusterServer::listen(const std::string& address, std::string& error) {
    const size_t colon = address.rfind(':');
    const std::string host = colon == std::string::npos ? "127.0.0.1" : address.substr(0, colon);
    const std::string portText = colon == std::string::npos ? address : address.substr(colon + 1);
    char* end = nullptr;
    const long port = std::strtol(portText.c_str(), &end, 10);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (portText.empty() || *end || port < 0 || port > 65535 ||
        inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        error = "the telnet address takes ADDR:PORT with an IPv4 address, not '" + address + "'";
        return false;
    }
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, kListenQueue) != 0) {
        error = "cannot serve telnet on " + address + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    setNonBlocking(fd);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_impl->listenFd = fd;
    m_impl->boundPort = ntohs(addr.sin_port);
    return true;
}

int ClusterServer::port() const {
    return m_impl->boundPort;
}

void ClusterServer::poll(int timeoutMs) {
    Impl& s = *m_impl;
    std::vector<pollfd> fds;
    fds.push_back({s.listenFd, POLLIN, 0});
    for (const auto& c : s.clients)
        fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
    if (::poll(fds.data(), fds.size(), std::max(0, timeoutMs)) <= 0) return;
    if (fds[0].revents & POLLIN) s.accept();
    for (size_t i = 0; i < s.clients.size(); ++i) {
        auto& c = s.clients[i];
        bool alive = c.fd >= 0;
        if (i + 1 < fds.size() && fds[i + 1].revents) alive = s.read(c);
        alive = alive && s.write(c) && !(c.closing && c.out.empty()) &&
                c.out.size() <= kMaxBacklogBytes;
        if (!alive) {
            ::close(c.fd);
            c.fd = -1;
        }
    }
    std::erase_if(s.clients, [](const Impl::Client& c) { return c.fd < 0; });
}

void ClusterServer::broadcast(const std::string& line) {
    for (auto& c : m_impl->clients) {
        if (!c.call.empty() && !c.closing) c.out += line + "\r\n";
    }
    // Written at once where the socket takes it; the rest at the next poll.
    for (auto& c : m_impl->clients) {
        if (!m_impl->write(c) || c.out.size() > kMaxBacklogBytes) {
            ::close(c.fd);
            c.fd = -1;
        }
    }
    std::erase_if(m_impl->clients, [](const Impl::Client& c) { return c.fd < 0; });
}

int ClusterServer::loggedInCount() const {
    return static_cast<int>(std::count_if(m_impl->clients.begin(), m_impl->clients.end(),
                                          [](const Impl::Client& c) { return !c.call.empty(); }));
}

} // namespace dita
