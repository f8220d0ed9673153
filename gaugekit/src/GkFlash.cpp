#include "gaugekit/GkFlash.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

GkMessageHandler& messageHandler() {
    static GkMessageHandler handler;
    return handler;
}

TGkFlashTimer* s_activeTimer = nullptr;

constexpr std::int64_t kMsPerSecond = 1000;

std::int64_t systemMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The first whole-second mark strictly after `nowMs`.
std::int64_t nextWholeSecond(std::int64_t nowMs) {
    std::int64_t s = nowMs / kMsPerSecond;
    if (nowMs < 0 && nowMs % kMsPerSecond != 0) --s;
    return (s + 1) * kMsPerSecond;
}

void shutdownAtExit() {
    TGkFlashList::Instance().Shutdown();
}

} // namespace

void gkSetMessageHandler(GkMessageHandler handler) {
    messageHandler() = std::move(handler);
}

void gkShowMessage(const QString& text, const QString& caption) {
    if (messageHandler()) {
        messageHandler()(text, caption);
        return;
    }
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::NoIcon, caption, shown, QMessageBox::Ok);
    box.exec();
}

// ---- TGkFlashTimer ----

TGkFlashTimer::TGkFlashTimer(QObject* parent) : QObject(parent) {
    if (s_activeTimer) {
        gkShowMessage(QStringLiteral("Only one TGkFlashTimer per Application!\rRemove it..."),
                      QStringLiteral("Error Message"));
        return;
    }
    m_eventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_eventFd < 0) {
        gkShowMessage(QStringLiteral("The flash timer could not be created: ") +
                          QString::fromLocal8Bit(std::strerror(errno)),
                      QStringLiteral("Error Message"));
        return;
    }
    m_active = true;
    s_activeTimer = this;
}

TGkFlashTimer::~TGkFlashTimer() {
    Stop();
    if (m_eventFd >= 0) close(m_eventFd);
    if (s_activeTimer == this) s_activeTimer = nullptr;
}

TGkFlashTimer* TGkFlashTimer::Active() {
    return s_activeTimer;
}

void TGkFlashTimer::Start() {
    if (!m_active || m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = false;
    }
    m_notifier = new QSocketNotifier(m_eventFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TGkFlashTimer::takeTicks);
    m_thread = std::thread([this] { run(); });
}

void TGkFlashTimer::Stop() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    m_notifier->setEnabled(false);
    if (m_inTake)
        m_notifier->deleteLater(); // stopped from within its own signal
    else
        delete m_notifier;
    m_notifier = nullptr;
    // Ticks still counted belong to the stopped run.
    std::uint64_t dropped = 0;
    while (read(m_eventFd, &dropped, sizeof dropped) > 0) {
    }
}

void TGkFlashTimer::run() {
    const std::uint64_t one = 1;
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(kTickMs), [this] { return m_stop; })) {
        // Only fails when the counter is near overflow, i.e. ticks are pending anyway.
        [[maybe_unused]] const ssize_t written = write(m_eventFd, &one, sizeof one);
    }
}

void TGkFlashTimer::takeTicks() {
    std::uint64_t count = 0;
    if (read(m_eventFd, &count, sizeof count) != ssize_t(sizeof count) || count == 0) return;
    m_inTake = true;
    emit Tick();
    m_inTake = false;
}

// ---- TGkFlashList ----

TGkFlashList& TGkFlashList::Instance() {
    static TGkFlashList list(true);
    static const bool postRoutineAdded = [] {
        if (QCoreApplication::instance()) qAddPostRoutine(shutdownAtExit);
        return true;
    }();
    (void)postRoutineAdded;
    return list;
}

TGkFlashList::TGkFlashList(bool ownTimer)
    : m_ownTimer(ownTimer), m_wallMs(systemMs), m_steadyMs(steadyMs) {}

TGkFlashList::~TGkFlashList() {
    Shutdown();
}

void TGkFlashList::Shutdown() {
    m_entries.clear();
    releaseTimer();
}

bool TGkFlashList::TimerRunning() const {
    return m_timer && m_timer->Running();
}

bool TGkFlashList::Contains(const QObject* control) const {
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [control](const Entry& e) { return e.control == control; });
}

int TGkFlashList::add(Entry e) {
    e.id = m_nextId++;
    e.lastState = -1;
    e.lastDueMs = m_steadyMs();
    m_entries.push_back(std::move(e));
    ensureTimer();
    return m_entries.back().id;
}

void TGkFlashList::AddControl(QObject* control, int code, int intervalMs) {
    if (!control) return;
    DelControl(control);
    add(Entry{0, control, {}, code, intervalMs, -1, 0});
}

void TGkFlashList::DelControl(QObject* control) {
    for (std::size_t i = m_entries.size(); i-- > 0;)
        if (m_entries[i].control == control) removeAt(i);
}

int TGkFlashList::AddProc(FlashProc proc, int code, int intervalMs) {
    if (!proc) return 0;
    return add(Entry{0, nullptr, std::move(proc), code, intervalMs, -1, 0});
}

void TGkFlashList::DelProc(int id) {
    for (std::size_t i = m_entries.size(); i-- > 0;)
        if (m_entries[i].id == id && !m_entries[i].control) removeAt(i);
}

void TGkFlashList::removeAt(std::size_t i) {
    m_entries.erase(m_entries.begin() + std::ptrdiff_t(i));
    if (m_entries.empty()) releaseTimer();
}

void TGkFlashList::ensureTimer() {
    if (!m_ownTimer || m_timer) return;
    m_timer = TGkFlashTimer::Active();
    m_timerIsOurs = m_timer == nullptr;
    if (m_timerIsOurs) m_timer = new TGkFlashTimer();
    QObject::connect(m_timer, &TGkFlashTimer::Tick, m_timer, [this] { Tick(); });
    m_timer->Start();
}

void TGkFlashList::releaseTimer() {
    if (!m_timer) return;
    m_timer->Stop();
    if (m_timerIsOurs && m_inTick)
        m_timer->deleteLater(); // we are inside its Tick signal
    else if (m_timerIsOurs)
        delete m_timer;
    else
        QObject::disconnect(m_timer, &TGkFlashTimer::Tick, m_timer, nullptr);
    m_timer = nullptr;
}

void TGkFlashList::deliver(Entry& e, bool state) {
    e.lastState = state ? 1 : 0;
    if (e.control) {
        TGkFlashEvent ev(m_tick, state);
        QCoreApplication::sendEvent(e.control, &ev);
    } else if (e.proc) {
        // A copy: the callback may remove its own registration.
        FlashProc proc = e.proc;
        proc(m_tick, state);
    }
}

void TGkFlashList::Tick() {
    m_inTick = true;
    ++m_tick;
    const bool anySecond = std::any_of(m_entries.begin(), m_entries.end(),
                                       [](const Entry& e) { return e.code == kCodeSecond; });
    bool secondDue = false;
    if (anySecond) {
        const std::int64_t now = m_wallMs();
        if (m_nextSecondMs < 0) {
            m_nextSecondMs = nextWholeSecond(now);
        } else if (now >= m_nextSecondMs || now < m_nextSecondMs - kMsPerSecond) {
            // Due once, however late the tick; a clock set back is followed at once.
            secondDue = true;
            m_nextSecondMs = nextWholeSecond(now);
        }
    } else {
        m_nextSecondMs = -1;
    }
    const std::int64_t steadyNow = m_steadyMs();

    std::vector<int> ids;
    ids.reserve(m_entries.size());
    for (const Entry& e : m_entries)
        ids.push_back(e.id);
    for (int id : ids) {
        auto it = std::find_if(m_entries.begin(), m_entries.end(),
                               [id](const Entry& e) { return e.id == id; });
        if (it == m_entries.end()) continue; // removed by an earlier delivery
        Entry& e = *it;
        if (e.code >= kFirstBitCode && e.code <= kLastBitCode) {
            const bool state = ((m_tick >> unsigned(e.code)) & 1u) != 0;
            if (int(state) != e.lastState) deliver(e, state);
        } else if (e.code == kCodeSecond) {
            if (secondDue) deliver(e, true);
        } else {
            const std::int64_t interval =
                std::max<std::int64_t>(e.intervalMs, TGkFlashTimer::kTickMs);
            if (steadyNow - e.lastDueMs >= interval) {
                e.lastDueMs = steadyNow;
                deliver(e, e.lastState != 1);
            }
        }
    }
    m_inTick = false;
}
