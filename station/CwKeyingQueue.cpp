#include "station/CwKeyingQueue.h"

#include "common/Latin1.h"

namespace dita {

CwKeyingQueue::CwKeyingQueue(CwKeyingHooks hooks)
    : m_hooks(std::move(hooks)), m_full(
                                     [this](const std::string& text) {
                                         if (m_hooks.report)
                                             m_hooks.report("keying listener " + text);
                                     },
                                     "queue full", m_hooks.clock) {
    m_thread = std::thread([this] { run(); });
}

CwKeyingQueue::~CwKeyingQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_words.clear();
    }
    m_stop = true;
    m_wake.notify_all();
    m_thread.join();
    m_full.flush();
}

void CwKeyingQueue::handle(const CwDaemonRequest& request) {
    switch (request.command) {
    case CwDaemonCommand::Text: {
        std::unique_lock lock(m_mutex);
        if (m_queuedBytes + request.text.size() > kCwQueueMaxBytes) {
            lock.unlock();
            m_full.dropped("queue full");
            return;
        }
        // Words keep their following space, so the word gap is keyed where the logger put it.
        std::size_t start = 0;
        while (start < request.text.size()) {
            std::size_t end = request.text.find(' ', start);
            end = end == std::string::npos ? request.text.size() : end + 1;
            m_words.push_back(request.text.substr(start, end - start));
            start = end;
        }
        m_queuedBytes += request.text.size();
        m_wake.notify_all();
        return;
    }
    case CwDaemonCommand::Abort:
        abort();
        return;
    case CwDaemonCommand::Reset:
        abort();
        m_wordMode = false;
        if (m_hooks.setPtt) m_hooks.setPtt(false);
        return;
    case CwDaemonCommand::WordMode:
        m_wordMode = true;
        return;
    case CwDaemonCommand::Speed:
        if (m_hooks.setSpeed) m_hooks.setSpeed(request.value);
        return;
    case CwDaemonCommand::Tone:
        if (m_hooks.setTone) m_hooks.setTone(request.value);
        return;
    case CwDaemonCommand::PttOnOff:
        if (m_hooks.setPtt) m_hooks.setPtt(request.value != 0);
        return;
    case CwDaemonCommand::Exit:
    case CwDaemonCommand::Ignored:
        return;
    }
}

void CwKeyingQueue::abort() {
    std::lock_guard lock(m_mutex);
    m_words.clear();
    m_queuedBytes = 0;
    m_stop = true;
}

bool CwKeyingQueue::waitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_words.empty() && !m_busy; });
}

void CwKeyingQueue::run() {
    bool keying = false;
    for (;;) {
        std::string word;
        {
            std::unique_lock lock(m_mutex);
            m_busy = false;
            if (m_words.empty()) {
                m_idle.notify_all();
                if (keying && m_hooks.active) {
                    lock.unlock();
                    m_hooks.active(false);
                    lock.lock();
                }
                keying = false;
            }
            // Drops waiting to be told are told when their second is over.
            while (!m_quit && m_words.empty()) {
                if (m_full.pending())
                    m_wake.wait_for(lock, DropReport::kInterval);
                else
                    m_wake.wait(lock);
                lock.unlock();
                m_full.poll();
                lock.lock();
            }
            if (m_quit) return;
            word = std::move(m_words.front());
            m_words.pop_front();
            m_queuedBytes -= std::min(m_queuedBytes, word.size());
            m_busy = true;
            m_stop = false;
        }
        if (!keying && m_hooks.active) m_hooks.active(true);
        keying = true;
        keyWord(word);
        m_full.poll();
    }
}

void CwKeyingQueue::keyWord(const std::string& word) {
    Keyer* keyer = m_hooks.keyer ? m_hooks.keyer() : nullptr;
    if (!keyer) {
        if (m_hooks.report)
            m_hooks.report("keying listener: no keyer, dropped '" +
                           printableText(latin1ToUtf8(word)) + "'");
        return;
    }
    if (m_hooks.keyed) m_hooks.keyed(word);
    keyer->sendText(word, m_stop);
}

} // namespace dita
