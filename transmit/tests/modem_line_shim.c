/* LD_PRELOAD shim for tests: records the modem-line ioctls (TIOCMBIS, TIOCMBIC, TIOCMSET) of
 * a program with CLOCK_MONOTONIC time stamps, so the real serial code can be exercised without
 * serial hardware. Each call appends "<ns> <BIS|BIC|SET> <bits>" to the file named by
 * DITA_MODEM_LOG and succeeds; TIOCMGET reports the recorded levels. Without DITA_MODEM_LOG
 * every call goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static int g_logFd = -2; /* -2: not opened yet, -1: no log wanted */
static int g_lines;

static void record(const char* op, int bits) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[96];
    const int n = snprintf(line, sizeof line, "%lld %s %d\n",
                           (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec, op, bits);
    if (n > 0 && write(g_logFd, line, (size_t)n) < 0) {
        /* nothing sensible to do inside a shim */
    }
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    pthread_mutex_lock(&g_lock);
    if (g_logFd == -2) {
        const char* path = getenv("DITA_MODEM_LOG");
        g_logFd = path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    }
    const int intercept = g_logFd >= 0 && (request == TIOCMBIS || request == TIOCMBIC ||
                                           request == TIOCMSET || request == TIOCMGET);
    if (intercept) {
        int* bits = (int*)arg;
        if (request == TIOCMGET) {
            *bits = g_lines;
        } else if (request == TIOCMBIS) {
            g_lines |= *bits;
            record("BIS", *bits);
        } else if (request == TIOCMBIC) {
            g_lines &= ~*bits;
            record("BIC", *bits);
        } else {
            g_lines = *bits;
            record("SET", *bits);
        }
        pthread_mutex_unlock(&g_lock);
        return 0;
    }
    pthread_mutex_unlock(&g_lock);
    typedef int (*IoctlFn)(int, unsigned long, ...);
    static IoctlFn real;
    if (!real) real = (IoctlFn)dlsym(RTLD_NEXT, "ioctl");
    return real(fd, request, arg);
}
