#pragma once
// Real peers for the station tests: a rigctld with hamlib's dummy rig on a loopback port, run
// by the test and stopped with it, hamlib's rigctl as another program sharing that rig, and a
// free loopback port for them; and what rigctld's trace shows it was told.
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace dita::test {

// A port nothing listens on right now (SOCK_STREAM for rigctld, SOCK_DGRAM for the listener).
inline uint16_t freeLoopbackPort(int type = SOCK_STREAM) {
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// rigctld -m 1 on 127.0.0.1:port, stopped when this goes out of scope. With a trace file,
// rigctld writes its trace there: each command it is given, with its arguments, as
// "rigctl(d): b 'currVFO' ' CQ TEST' '' ''".
class Rigctld {
public:
    explicit Rigctld(uint16_t port, const std::string& traceFile = {}) {
        m_pid = fork();
        if (m_pid == 0) {
            // Ends with the test even when the test is killed.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            const std::string p = std::to_string(port);
            if (!traceFile.empty() && !freopen(traceFile.c_str(), "w", stderr)) _exit(126);
            // -P RIG: the dummy rig takes PTT commands, as a real rig with CAT PTT does.
            execlp("rigctld", "rigctld", "-m", "1", "-P", "RIG", "-T", "127.0.0.1", "-t", p.c_str(),
                   traceFile.empty() ? static_cast<char*>(nullptr) : const_cast<char*>("-vvvvv"),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Rigctld() { stop(); }
    Rigctld(const Rigctld&) = delete;
    Rigctld& operator=(const Rigctld&) = delete;
    void stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

// hamlib's rigctl through rigctld: one command, its output.
inline std::string rigctl(uint16_t port, const std::string& command) {
    const std::string line =
        "rigctl -m 2 -r 127.0.0.1:" + std::to_string(port) + " " + command + " 2>&1";
    std::string out;
    if (FILE* p = popen(line.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, p))
            out += buffer;
        pclose(p);
    }
    return out;
}

// The commands of one kind ("b", "L", "T") a rigctld trace shows so far, as it wrote them.
inline std::vector<std::string> tracedCommands(const std::string& traceFile,
                                               const std::string& command) {
    std::ifstream in(traceFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("rigctl(d): " + command + " ", 0) == 0) lines.push_back(line);
    }
    return lines;
}

} // namespace dita::test
