#pragma once
// The transmit state shared by the window thread, the typed-character sender (TCharThread) and
// the screen sender (TSendThread): on/off flags as atomics, the key queue, the typed buffer and
// the send buffers.
//
// Who calls it: TransmitController owns one TransmitState. The window thread writes the flags
// in its handlers and feeds the key queue; TCharThread reads the key queue and owns the typed
// buffer's send position; a TSendThread reads the send buffers. The queue, the typed buffer and
// the send buffers lock internally, so any of these threads may call them. No Qt.
#include "common/KeyCodes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace dita {

constexpr int32_t kStateOn = 3; // the "3 = on" convention of the on/off states
constexpr int32_t kStateOff = 0;

enum SendModeKind : int32_t { kSendModeImm = 0, kSendModeScn = 1 };
enum TransmitScreenKind : int32_t { kSingleScreen = 0, kDoubleScreen = 1 };

constexpr int kSendBufferCount = 16;
constexpr std::size_t kSendBufferBytes = 4096;
constexpr int32_t kImmBufferIndex = 13; // MsgButton13 "IMM"
constexpr int32_t kScnBufferIndex = 14; // MsgButton14 "SCN": the screen text goes here
constexpr int kKeyQueueSize = 255;
constexpr std::size_t kTypedBufferSize = 16384; // TransmitMemo's MaxLength

// A key as it went down, with the modifiers held at that moment. Keeping them with the key
// means a modifier released before the sender gets to the key no longer changes it. A key that
// produced a printable character carries it, and is sent as that character whatever key code
// it has.
struct QueuedKey {
    int32_t virtualKey = 0;
    char32_t character = 0;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
};

// Up to 255 unread keys. Reaching the end of the array starts it again from the front, losing
// the keys that had not been read yet; keys already taken are not affected.
class KeyQueue {
public:
    void push(const QueuedKey& key);
    // Backspace: removes the last queued key if it has not been read yet.
    bool removeLastUnread();
    bool take(QueuedKey& key);
    // Esc among the unread keys: drops every unread key up to and including the last Esc.
    bool takeEscape();
    bool hasUnreadEscape() const;
    bool hasUnread() const;
    int unreadCount() const;
    int writeIndex() const;
    int readIndex() const;
    void clear();
    // When every key has been read, both indices go back to 0.
    void rewindIfAllRead();

private:
    mutable std::mutex m_mutex;
    std::array<QueuedKey, kKeyQueueSize> m_keys{};
    int m_write = 0;
    int m_read = 0;
};

// A translated code waiting to be keyed by TCharThread.
struct TypedEntry {
    int32_t code = 0;
    bool ctrl = false;
};

// Codes taken from the key queue, with a count and a send position.
class TypedBuffer {
public:
    // False when the buffer is full (the code is dropped).
    bool push(const TypedEntry& entry);
    bool pending() const;
    // The entry at the send position; false when nothing is pending.
    bool peek(TypedEntry& entry) const;
    void advance();
    int count() const;
    int position() const;
    void clear();
    // Count and position back to 0 once everything has been sent.
    void rewindIfSent();

private:
    mutable std::mutex m_mutex;
    std::vector<TypedEntry> m_entries;
    std::size_t m_position = 0;
};

// SendBuffers: 16 zero-terminated 8-bit texts of at most 4096 bytes (terminator included).
class SendBufferBank {
public:
    // Stores latin1 cut at its first zero byte and to 4095 characters.
    void set(int index, const std::string& latin1);
    std::string get(int index) const;

private:
    mutable std::mutex m_mutex;
    std::array<std::string, kSendBufferCount> m_buffers;
};

// The transmit settings and texts. Every field is written lock-free; the rules of who writes
// what are in TransmitController, which also holds what is being sent (TransmitPhase).
struct TransmitState {
    std::atomic<int32_t> XmitEnableState{kStateOff};
    std::atomic<int32_t> SendMode{kSendModeImm};
    SendBufferBank SendBuffers;
    std::atomic<int32_t> SendBufferIndex{0};
    std::atomic<int32_t> LoopMode{kStateOff};
    std::atomic<bool> TextLoaded{false};
    std::atomic<bool> MacroPrepared{false};
    std::atomic<int32_t> TransmitScreen{kSingleScreen};
    std::atomic<bool> TypedEchoDone{true};
    std::atomic<bool> KeysShownFlag{false};
    KeyQueue keyQueue;
    TypedBuffer typedBuffer;
};

} // namespace dita
