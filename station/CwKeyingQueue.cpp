#include "station/CwKeyingQueue.h"

#include "common/Latin1.h"

#include <algorithm>

namespace dita {

namespace {

constexpr char kReplyEnd[] = "\r\n";
constexpr char kReplyMark = '^';
constexpr char kReplyPrefix = 'h';

} // namespace

CwKeyingQueue::CwKeyingQueue(CwKeyingHooks hooks)
    : m_hooks(std::move(hooks)), m_full(
                                     [this](const std::string& text) {
                                         if (m_hooks.report)
                                             m_hooks.report("keying listener " + text);
                                     },
                                     "queue full", m_hooks.clock) {
    m_wpm = std::clamp(m_hooks.startWpm, kCwDaemonMinWpm, kCwDaemonMaxWpm);
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

void CwKeyingQueue::queueText(const CwDaemonRequest& request) {
    std::string text = request.text;
    std::optional<std::string> reply;
    // "text^": key the text, then send it back; whatever follows the mark is not keyed.
    const std::size_t mark = text.find(kReplyMark);
    if (mark != std::string::npos) {
        text.resize(mark);
        reply = text + kReplyEnd;
    }
    std::unique_lock lock(m_mutex);
    if (m_pendingReply) {
        reply = kReplyPrefix + *m_pendingReply + kReplyEnd;
        m_pendingReply.reset();
    }
    if (m_queuedBytes + text.size() > kCwQueueMaxBytes) {
        lock.unlock();
        m_full.dropped("queue full");
        return;
    }
    // Words keep their following space, so the word gap is keyed where the logger put it.
    const std::size_t before = m_words.size();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end + 1;
        Item item;
        item.word = text.substr(start, end - start);
        // Timed as the text arrives, as cwdaemon does: a later speed request changes what
        // comes after it, not what was queued before.
        int32_t wpm = m_wpm.load();
        item.steps = cwDaemonSteps(item.word, wpm);
        m_wpm = wpm;
        m_words.push_back(std::move(item));
        start = end;
    }
    if (reply) {
        if (m_words.size() == before) m_words.push_back({});
        m_words.back().replies = true;
        m_words.back().reply = *reply;
        m_words.back().to = request.from;
    }
    m_queuedBytes += text.size();
    m_wake.notify_all();
}

void CwKeyingQueue::handle(const CwDaemonRequest& request) {
    switch (request.command) {
    case CwDaemonCommand::Text:
        queueText(request);
        return;
    case CwDaemonCommand::Reply: {
        std::lock_guard lock(m_mutex);
        m_pendingReply = request.text;
        return;
    }
    case CwDaemonCommand::Tune: {
        if (request.value <= 0) return;
        std::lock_guard lock(m_mutex);
        Item tune;
        tune.tuneSeconds = request.value;
        m_words.push_back(std::move(tune));
        m_wake.notify_all();
        return;
    }
    case CwDaemonCommand::Abort:
        abort();
        return;
    case CwDaemonCommand::Reset:
        abort();
        m_wordMode = false;
        m_wpm = std::clamp(m_hooks.startWpm, kCwDaemonMinWpm, kCwDaemonMaxWpm);
        if (m_hooks.setPtt) m_hooks.setPtt(false);
        return;
    case CwDaemonCommand::WordMode:
        m_wordMode = true;
        return;
    case CwDaemonCommand::Speed:
        m_wpm = request.value;
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
    m_pendingReply.reset();
    m_stop = true;
}

bool CwKeyingQueue::waitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, timeout, [this] { return m_words.empty() && !m_busy; });
}

void CwKeyingQueue::run() {
    bool keying = false;
    for (;;) {
        Item item;
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
            item = std::move(m_words.front());
            m_words.pop_front();
            m_queuedBytes -= std::min(m_queuedBytes, item.word.size());
            m_busy = true;
            m_stop = false;
        }
        if (!keying && m_hooks.active) m_hooks.active(true);
        keying = true;
        keyItem(item);
        m_full.poll();
    }
}

PttHang CwKeyingQueue::pttHangAfter(std::vector<KeyingStep>& steps) {
    {
        std::lock_guard lock(m_mutex);
        // More follows at once: the next word takes PTT over before the hang runs out.
        if (!m_words.empty()) return PttHang{m_hooks.pttHangMs, true};
    }
    // The end of the transmission: a trailing space keys no silence that would hold PTT (the
    // hang counts from the last element).
    KeyingStep& last = steps.back();
    if (!last.elements.empty()) last.gapAfter = std::min(last.gapAfter, 2 * last.unit);
    return PttHang{m_hooks.pttHangMs, false};
}

void CwKeyingQueue::keyItem(const Item& item) {
    std::vector<KeyingStep> steps;
    if (item.tuneSeconds > 0) {
        KeyingStep carrier;
        carrier.carrier = std::chrono::seconds(item.tuneSeconds);
        steps.push_back(carrier);
    } else {
        steps = item.steps;
    }
    if (m_hooks.transmitAllowed && !m_hooks.transmitAllowed()) return;
    bool keyed = true;
    if (!steps.empty()) {
        Keyer* keyer = m_hooks.keyer ? m_hooks.keyer() : nullptr;
        if (!keyer) {
            if (m_hooks.report) {
                m_hooks.report("keying listener: no keyer, dropped '" +
                               printableText(latin1ToUtf8(item.word)) + "'");
            }
            return;
        }
        if (m_hooks.keyed && !item.word.empty()) m_hooks.keyed(item.word);
        keyed = keyer->keySteps(steps, m_stop, pttHangAfter(steps));
    }
    if (keyed && item.replies && m_hooks.reply) m_hooks.reply(item.to, item.reply);
}

} // namespace dita
