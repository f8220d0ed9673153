#pragma once
// Why the receive loop handles no audio at the moment: one bit per reason, each reason with
// one writer. Capture pauses while any reason is set and resumes, with a reset and restart of
// the input device, once every reason has cleared. A reason that came and went between two
// looks of the loop is still seen through the count of pauses begun, so the audio of that
// moment is never decoded.
//
// Who calls it: transmit control sets Transmit while anything is keyed (its senders and the
// keying listener, under its own lock); the window's sound-card selection sets SoundCardDialog
// while that dialog is up; the tone output's watchdog sets OutputStall from a stall until the
// output has been restarted. The receive loop only reads. No Qt.
#include <atomic>
#include <cstdint>

namespace dita {

enum class PauseReason : uint32_t {
    Transmit = 1u << 0,
    SoundCardDialog = 1u << 1,
    OutputStall = 1u << 2,
};

class CapturePause {
public:
    // Only the one writer of the reason calls this.
    void set(PauseReason reason, bool on) {
        const uint32_t bit = static_cast<uint32_t>(reason);
        if (!on) {
            m_reasons.fetch_and(~bit);
            return;
        }
        // Counted before the bit is set: a reader that sees the bit also sees the count.
        m_begun.fetch_add(1);
        if (reason == PauseReason::OutputStall) m_stallsBegun.fetch_add(1);
        m_reasons.fetch_or(bit);
    }
    bool paused() const { return m_reasons.load() != 0; }
    bool has(PauseReason reason) const {
        return (m_reasons.load() & static_cast<uint32_t>(reason)) != 0;
    }
    // Times any reason was set so far.
    uint64_t pausesBegun() const { return m_begun.load(); }
    // Output stalls begun so far: the pass they land in skips its timeline.
    uint64_t stallsBegun() const { return m_stallsBegun.load(); }

private:
    std::atomic<uint32_t> m_reasons{0};
    std::atomic<uint64_t> m_begun{0};
    std::atomic<uint64_t> m_stallsBegun{0};
};

} // namespace dita
