#pragma once
// Keys what a logger sends through DITA's current keyer, as cwdaemon keys it: text is queued and
// keyed word by word on a thread of its own in cwdaemon's timing and codes (cwDaemonSteps), at
// the speed the client asked for; in-message '+'/'-' change it. The escape requests also pass
// speed, tone and PTT to the window's own settings (hooks), abort the keying, tune, or ask for
// a reply once the next text has been keyed ("h" + text); a '^' in a message ends what is keyed
// and has the text before it sent back.
//
// An abort, and DITA's own stop, end the keying at the end of the character being keyed, on
// the serial lines and on the sound card, in character and in word mode alike: a "word" is
// whatever a datagram holds between spaces, up to 256 letters, so letting it finish could hold
// the transmitter for minutes. Word mode is accepted and reported by wordMode().
//
// Text that does not fit the queue is dropped and told at most once a second, counted
// (station/DropReport.h); what is told is made printable first.
//
// Who calls it: CwDaemonListener's thread calls handle(); the keying thread calls the hooks
// keyer, keyed and active; handle() calls setSpeed, setTone and setPtt on the listener's
// thread. The hooks that change window settings must forward to the window thread. No Qt.
#include "station/CwDaemonProtocol.h"
#include "station/DropReport.h"
#include "transmit/Keyer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace dita {

// Text waiting to be keyed is limited like one send buffer; more is dropped and reported.
constexpr std::size_t kCwQueueMaxBytes = 4096;

struct CwKeyingHooks {
    // The keyer of the current output device; nullptr when nothing can key (text is dropped).
    std::function<Keyer*()> keyer;
    std::function<void(int32_t wpm)> setSpeed;
    std::function<void(int32_t hz)> setTone; // 0: tone off
    std::function<void(bool on)> setPtt;
    // Each word as its keying starts (Latin-1), for the transmit window.
    std::function<void(const std::string& latin1)> keyed;
    // True while queued text is being keyed, false once the queue is empty or aborted.
    std::function<void(bool keying)> active;
    std::function<void(const std::string& why)> report;
    // Whether text may be keyed now (Xmit Enable); text refused is dropped, neither shown nor
    // keyed nor replied to. Empty: always.
    std::function<bool()> transmitAllowed;
    // Sends a reply datagram back to a client.
    std::function<void(const CwDaemonPeer& to, const std::string& datagram)> reply;
    int32_t pttHangMs = kPttHangDefaultMs;
    // The speed before the first speed request, and after a reset (cwdaemon's -s).
    int32_t startWpm = kCwDaemonResetWpm;
    // The time the drop messages are spaced by; the steady clock when empty (tests step it).
    DropReport::Clock clock;
};

class CwKeyingQueue {
public:
    explicit CwKeyingQueue(CwKeyingHooks hooks);
    ~CwKeyingQueue();
    CwKeyingQueue(const CwKeyingQueue&) = delete;
    CwKeyingQueue& operator=(const CwKeyingQueue&) = delete;

    void handle(const CwDaemonRequest& request);
    // Stops the keying and drops the queue (ESC 4, and DITA's own stop).
    void abort();
    bool wordMode() const { return m_wordMode.load(); }
    int32_t wpm() const { return m_wpm.load(); }
    // Waits until the queue is empty and nothing is keyed; false on timeout (tests, shutdown).
    bool waitIdle(std::chrono::milliseconds timeout);

private:
    // A word with its following space, or a tune; a reply goes out once it has been keyed.
    struct Item {
        std::string word;
        std::vector<KeyingStep> steps; // the word in the timing it arrived with
        int32_t tuneSeconds = 0;
        bool replies = false;
        std::string reply;
        CwDaemonPeer to;
    };
    void queueText(const CwDaemonRequest& request);
    void run();
    void keyItem(const Item& item);
    // The hang to ask of the keyer for steps about to be keyed; at the end of the queued text
    // their trailing silence is cut to the character gap.
    PttHang pttHangAfter(std::vector<KeyingStep>& steps);

    CwKeyingHooks m_hooks;
    DropReport m_full; // text dropped because the queue was full
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Item> m_words;                  // guarded by m_mutex
    std::optional<std::string> m_pendingReply; // guarded by m_mutex: ESC h for the next text
    std::size_t m_queuedBytes = 0;             // guarded by m_mutex
    bool m_busy = false;                       // guarded by m_mutex: a word is being keyed
    bool m_quit = false;                       // guarded by m_mutex
    std::atomic<bool> m_stop{false};           // the keyer's stop request for the word being keyed
    std::atomic<bool> m_wordMode{false};
    std::atomic<int32_t> m_wpm{kCwDaemonResetWpm};
    std::thread m_thread;
};

} // namespace dita
