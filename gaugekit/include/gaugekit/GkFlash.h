#pragma once
// The flash list: one process-wide list of controls and callbacks that blink or tick, driven by
// a single flash timer whose background thread only sleeps 16 ms per tick and hands each tick
// to the GUI thread. Registrations, deliveries and drawing all happen on the GUI thread.
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "gaugekit/gaugekit_export.h"

// Message number of a flash delivery (the first user message number, 1024, plus 100).
constexpr int kGkFlashMessage = 1124;

// Delivered synchronously by the flash list to a registered control, on the GUI thread:
// tick count and state.
class GAUGEKIT_EXPORT TGkFlashEvent : public QEvent {
public:
    TGkFlashEvent(std::uint32_t tick, bool state)
        : QEvent(QEvent::Type(kGkFlashMessage)), m_tick(tick), m_state(state) {}
    std::uint32_t Tick() const { return m_tick; }
    bool State() const { return m_state; }

private:
    std::uint32_t m_tick;
    bool m_state;
};

// Shows a message to the operator (caption, text). The default is a modal box with OK; tests
// install a recorder. Called on the GUI thread.
using GkMessageHandler = std::function<void(const QString& text, const QString& caption)>;
GAUGEKIT_EXPORT void gkSetMessageHandler(GkMessageHandler handler);
GAUGEKIT_EXPORT void gkShowMessage(const QString& text, const QString& caption);

// The flash timer component. Only one may exist per application: a second one shows
// "Only one TGkFlashTimer per Application!" and stays inert. The flash list creates one on
// its first registration (or uses the one that exists). Created and destroyed on the GUI
// thread; its own thread only sleeps and signals an event counter (eventfd) that the GUI
// thread's event loop watches. Ticks the GUI thread could not take in time add up in the
// counter and are delivered as one, so a busy GUI thread is never flooded.
class GAUGEKIT_EXPORT TGkFlashTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 16;

    explicit TGkFlashTimer(QObject* parent = nullptr);
    ~TGkFlashTimer() override;
    // The active (first) flash timer, or null.
    static TGkFlashTimer* Active();
    bool IsActive() const { return m_active; }
    void Start();
    // Ends the thread and waits for it; no tick is delivered afterwards.
    void Stop();
    bool Running() const { return m_thread.joinable(); }

signals:
    // Emitted on the GUI thread once per tick.
    void Tick();

private:
    void run();
    void takeTicks();
    bool m_active = false;
    int m_eventFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    bool m_inTake = false;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

// Process-wide flash list (see above). GUI thread only.
class GAUGEKIT_EXPORT TGkFlashList {
public:
    // Codes: 2..6 blink at bit `code` of the tick counter (8, 4, 2, 1, 0.5 Hz nominal);
    // kCodeSecond delivers once per wall-clock second; any other code at its own interval in ms.
    static constexpr int kFirstBitCode = 2;
    static constexpr int kLastBitCode = 6;
    static constexpr int kCodeSecond = 32;
    using FlashProc = std::function<void(std::uint32_t tick, bool state)>;
    using ClockMs = std::function<std::int64_t()>;

    // The list the components use; it runs a real flash timer.
    static TGkFlashList& Instance();
    // A list that runs a flash timer only when `ownTimer` is true (tests drive Tick() by hand).
    explicit TGkFlashList(bool ownTimer);
    ~TGkFlashList();
    TGkFlashList(const TGkFlashList&) = delete;
    TGkFlashList& operator=(const TGkFlashList&) = delete;

    void AddControl(QObject* control, int code, int intervalMs = 0);
    void DelControl(QObject* control);
    // Returns an id for DelProc.
    int AddProc(FlashProc proc, int code, int intervalMs = 0);
    void DelProc(int id);
    bool Contains(const QObject* control) const;
    int Count() const { return int(m_entries.size()); }
    bool TimerRunning() const;
    std::uint32_t TickCount() const { return m_tick; }

    // One tick of the timer: advances the counter and delivers what is due.
    void Tick();
    // Clocks used by Tick(): wall clock (ms since the epoch) and a steady clock (ms).
    void SetWallClock(ClockMs clock) { m_wallMs = std::move(clock); }
    void SetSteadyClock(ClockMs clock) { m_steadyMs = std::move(clock); }
    // Stops the timer thread (at application end).
    void Shutdown();

private:
    struct Entry {
        int id;
        QObject* control;
        FlashProc proc;
        int code;
        int intervalMs;
        int lastState;
        std::int64_t lastDueMs;
    };
    int add(Entry e);
    void removeAt(std::size_t i);
    void ensureTimer();
    void releaseTimer();
    void deliver(Entry& e, bool state);

    bool m_ownTimer;
    std::vector<Entry> m_entries;
    int m_nextId = 1;
    std::uint32_t m_tick = 0;
    std::int64_t m_nextSecondMs = -1;
    TGkFlashTimer* m_timer = nullptr;
    bool m_timerIsOurs = false;
    bool m_inTick = false;
    ClockMs m_wallMs;
    ClockMs m_steadyMs;
};
