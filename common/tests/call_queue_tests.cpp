// CallQueue: calls posted from worker threads run on the owner's thread, in order, and calls
// still pending when the owner goes are dropped with what they captured. Run under
// ThreadSanitizer too: the values the workers capture are read on the owner's thread, so a
// hand-over ThreadSanitizer cannot see is reported as a race here.
#include "common/CallQueue.h"
#include "common/testing/QtAppEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <array>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

const auto* const kApp =
    ::testing::AddGlobalTestEnvironment(new dita::testing::QtAppEnvironment<QCoreApplication>);

// Runs the owner thread's events until done() or two seconds have passed.
template <typename Done> void processUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < limit)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

TEST(CallQueue, CallsFromWorkerThreadsRunOnTheOwnersThreadInEachThreadsOrder) {
    QObject owner;
    auto* calls = new dita::CallQueue(&owner);
    constexpr int kThreads = 4;
    constexpr int kCallsEach = 200;
    struct Ran {
        int thread;
        int index;
        std::vector<int> payload; // built by the worker, read here
        bool onOwnerThread;
    };
    std::vector<Ran> ran; // touched on this thread only
    QThread* const ownerThread = QThread::currentThread();

    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kCallsEach; ++i) {
                std::vector<int> payload(8, t * kCallsEach + i);
                calls->post([&, t, i, payload = std::move(payload)] {
                    ran.push_back({t, i, payload, QThread::currentThread() == ownerThread});
                });
            }
        });
    }
    // Taken while the workers still post: only the queue orders their writes before our reads.
    processUntil([&] { return ran.size() == size_t(kThreads * kCallsEach); });
    for (auto& w : workers)
        w.join();

    ASSERT_EQ(ran.size(), size_t(kThreads * kCallsEach));
    std::array<int, kThreads> next{};
    for (const Ran& r : ran) {
        EXPECT_TRUE(r.onOwnerThread);
        EXPECT_EQ(r.index, next[r.thread]) << "thread " << r.thread << " out of order";
        next[r.thread] = r.index + 1;
        EXPECT_EQ(r.payload, std::vector<int>(8, r.thread * kCallsEach + r.index));
    }
}

TEST(CallQueue, CallsPendingWhenTheOwnerGoesAreDroppedWithWhatTheyCaptured) {
    auto owner = std::make_unique<QObject>();
    auto* calls = new dita::CallQueue(owner.get());
    auto captured = std::make_shared<int>(7);
    bool ran = false;
    std::thread worker([&, copy = captured] { calls->post([&ran, copy] { ran = *copy == 7; }); });
    worker.join();
    EXPECT_EQ(captured.use_count(), 2); // the pending call holds a copy

    owner.reset(); // deletes the queue with the call still pending
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_EQ(captured.use_count(), 1);
}

TEST(CallQueue, ACallPostedWhileCallsRunRunsAfterThem) {
    QObject owner;
    auto* calls = new dita::CallQueue(&owner);
    std::vector<int> order;
    std::thread worker([&] {
        calls->post([&] {
            order.push_back(1);
            calls->post([&] { order.push_back(3); }); // from the owner's thread, inside a call
        });
        calls->post([&] { order.push_back(2); });
    });
    worker.join();
    // Nothing runs inside post(): the calls wait for the owner's event loop.
    EXPECT_TRUE(order.empty());
    processUntil([&] { return order.size() == 3; });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}
