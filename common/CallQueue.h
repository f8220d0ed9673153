#pragma once
// Calls handed from worker threads to the thread of a QObject (the window thread): post() may
// be called from any thread; the calls run later on the owner's thread, in the order posted.
// Calls still pending when the owner is destroyed are dropped, as queued invokeMethod calls
// with a context object are.
//
// Why not QMetaObject::invokeMethod: the distribution's Qt is not built with ThreadSanitizer,
// so the lock of Qt's event queue is invisible to it and everything a queued call carries
// (the call object Qt allocates, the values it captured) looks like a race between the
// posting thread and the window thread. Here the call is built completely before it is
// posted, and in a ThreadSanitizer build the hand-over is declared (release when posted,
// acquire when run or dropped): the same ordering the event queue gives, made visible, so
// real races around the calls are still reported. Header only: include it from Qt targets.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <functional>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define DITA_CALL_QUEUE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define DITA_CALL_QUEUE_TSAN 1
#endif
#endif

#ifdef DITA_CALL_QUEUE_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace dita {

class CallQueue : public QObject {
public:
    // Lives on the owner's thread and goes with it.
    explicit CallQueue(QObject* owner) : QObject(owner) {}

    // Any thread.
    void post(std::function<void()> call) {
        auto* event = new CallEvent(std::move(call));
        handOver(event);
        QCoreApplication::postEvent(this, event);
    }

protected:
    bool event(QEvent* e) override {
        takeOver(e); // before the first look at it: even its type was written by the poster
        if (e->type() != callEventType()) return QObject::event(e);
        auto* call = static_cast<CallEvent*>(e);
        if (call->call) call->call();
        return true;
    }

private:
    static QEvent::Type callEventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    struct CallEvent : QEvent {
        explicit CallEvent(std::function<void()> c) : QEvent(callEventType()), call(std::move(c)) {}
        // Also reached without event() when the owner goes first: the captured values are
        // destroyed on the owner's thread either way.
        ~CallEvent() override { takeOver(this); }
        std::function<void()> call;
    };

    static void handOver([[maybe_unused]] QEvent* event) {
#ifdef DITA_CALL_QUEUE_TSAN
        __tsan_release(event);
#endif
    }
    static void takeOver([[maybe_unused]] QEvent* event) {
#ifdef DITA_CALL_QUEUE_TSAN
        __tsan_acquire(event);
#endif
    }
};

} // namespace dita
