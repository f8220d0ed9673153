#include "common/StderrMute.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
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

std::atomic<int> g_recoveries{0};
constexpr int kRecoveriesBetweenReports = 100;

// ALSA's error handler type: file, line, function, error code, printf format and arguments.
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
using AlsaSetHandler = int (*)(AlsaErrorHandler);

extern "C" void alsaMessage(const char* file, int line, const char* function, int err,
                            const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // snd_pcm_recover's "underrun occurred" / "overrun occurred".
    if (std::strstr(text, "underrun") || std::strstr(text, "overrun")) {
        const int n = ++g_recoveries;
        if (n == 1 || n % kRecoveriesBetweenReports == 0)
            std::fprintf(stderr,
                         "dita: the sound card's buffer ran empty or over %d time%s; the sound "
                         "restarts by itself\n",
                         n, n == 1 ? "" : "s");
        return;
    }
    std::fprintf(stderr, "ALSA lib %s:%i:(%s) %s%s%s\n", file, line, function, text,
                 err ? ": " : "", err ? std::strerror(err < 0 ? -err : err) : "");
}

} // namespace

void tellAlsaRecoveriesOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!mutingWanted()) return;
        auto set =
            reinterpret_cast<AlsaSetHandler>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"));
        if (set) set(&alsaMessage);
    });
}

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
