#include "common/StderrMute.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace dita {

namespace {

std::mutex g_mutex;
int g_depth = 0;
int g_savedFd = -1; // the real standard error while muted

bool mutingWanted() {
    const char* debug = std::getenv("DITA_AUDIO_DEBUG");
    return !debug || !*debug || !std::strcmp(debug, "0");
}

} // namespace

StderrMute::StderrMute() {
    if (!mutingWanted()) return;
    std::lock_guard lock(g_mutex);
    if (g_depth == 0) {
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved < 0 || null < 0 || ::dup2(null, STDERR_FILENO) < 0) {
            // Cannot mute: leave standard error as it was rather than lose it.
            if (saved >= 0) ::close(saved);
            if (null >= 0) ::close(null);
            return;
        }
        ::close(null);
        g_savedFd = saved;
    }
    ++g_depth;
    m_active = true;
}

StderrMute::~StderrMute() {
    if (!m_active) return;
    std::lock_guard lock(g_mutex);
    if (--g_depth == 0) {
        std::fflush(stderr);
        ::dup2(g_savedFd, STDERR_FILENO);
        ::close(g_savedFd);
        g_savedFd = -1;
    }
}

} // namespace dita
