#pragma once
// CommandQueue: commands posted from any thread and applied by the worker thread at the start of
// its next pass, in posting order, never in the middle of one. Used by the receive engine and
// the band decoder. Both lists are reserved at construction, so posting allocates nothing until
// more commands than that wait between two passes.
#include <cstddef>
#include <mutex>
#include <vector>

namespace dita {

template <typename Command> class CommandQueue {
public:
    explicit CommandQueue(std::size_t reserve) {
        m_pending.reserve(reserve);
        m_applying.reserve(reserve);
    }

    // Any thread.
    void post(const Command& command) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(command);
    }

    // Worker thread: hands each command posted so far to apply, in posting order. Commands
    // posted meanwhile wait for the next call.
    template <typename Apply> void applyPending(Apply&& apply) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_applying.swap(m_pending);
        }
        for (const auto& command : m_applying)
            apply(command);
        m_applying.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<Command> m_pending;
    std::vector<Command> m_applying;
};

} // namespace dita
