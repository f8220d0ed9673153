// The key queue, the typed buffer, the send buffers and the key character tables.
#include "transmit/control/KeyCharacters.h"
#include "transmit/control/TransmitState.h"

#include <gtest/gtest.h>

using namespace dita;

namespace {

QueuedKey key(int vk) {
    return QueuedKey{vk};
}

std::vector<int> drain(KeyQueue& q) {
    std::vector<int> out;
    QueuedKey k;
    while (q.take(k))
        out.push_back(k.virtualKey);
    return out;
}

} // namespace

TEST(KeyQueue, WrapAtTheEndLosesOnlyTheUnreadKeys) {
    KeyQueue q;
    for (int i = 0; i < 10; ++i)
        q.push(key(65 + i));
    QueuedKey k;
    ASSERT_TRUE(q.take(k));
    EXPECT_EQ(k.virtualKey, 65);
    // Fill to the end: the write index reaches 255 with 254 keys still unread.
    for (int i = 10; i < kKeyQueueSize; ++i)
        q.push(key(48 + i % 10));
    EXPECT_EQ(q.writeIndex(), kKeyQueueSize);
    EXPECT_EQ(q.unreadCount(), kKeyQueueSize - 1);
    // The next key starts over at the front: the unread keys are gone, the new one is there.
    q.push(key(90));
    EXPECT_EQ(q.writeIndex(), 1);
    EXPECT_EQ(q.readIndex(), 0);
    EXPECT_EQ(drain(q), std::vector<int>{90});
}

TEST(KeyQueue, BackspaceRemovesOnlyAnUnreadKey) {
    KeyQueue q;
    q.push(key(65));
    q.push(key(66));
    EXPECT_TRUE(q.removeLastUnread());
    QueuedKey k;
    ASSERT_TRUE(q.take(k));
    EXPECT_EQ(k.virtualKey, 65);
    EXPECT_FALSE(q.removeLastUnread()) << "a key already taken cannot be taken back";
    q.push(key(67));
    EXPECT_EQ(drain(q), std::vector<int>{67});
}

TEST(KeyQueue, EscapeDropsTheKeysUpToTheLastEscapeAndKeepsLaterOnes) {
    KeyQueue q;
    EXPECT_FALSE(q.takeEscape());
    for (int vk : {65, kVkEscape, 66, kVkEscape, 67, 68})
        q.push(key(vk));
    EXPECT_TRUE(q.hasUnreadEscape());
    EXPECT_TRUE(q.takeEscape());
    EXPECT_FALSE(q.hasUnreadEscape());
    EXPECT_EQ(drain(q), (std::vector<int>{67, 68}));
    q.rewindIfAllRead();
    EXPECT_EQ(q.writeIndex(), 0);
}

TEST(TypedBuffer, HoldsAsManyCodesAsTheWindowHoldsCharactersAndRewindsWhenSent) {
    TypedBuffer b;
    for (std::size_t i = 0; i < kTypedBufferSize; ++i)
        ASSERT_TRUE(b.push({65, false}));
    EXPECT_FALSE(b.push({66, false}));
    EXPECT_EQ(b.count(), static_cast<int>(kTypedBufferSize));
    b.rewindIfSent();
    EXPECT_EQ(b.count(), static_cast<int>(kTypedBufferSize)) << "nothing sent yet";
    TypedEntry e;
    for (std::size_t i = 0; i < kTypedBufferSize; ++i) {
        ASSERT_TRUE(b.peek(e));
        b.advance();
    }
    EXPECT_FALSE(b.pending());
    EXPECT_FALSE(b.peek(e));
    b.rewindIfSent();
    EXPECT_EQ(b.count(), 0);
    EXPECT_EQ(b.position(), 0);
}

TEST(SendBufferBank, KeepsAtMost4095CharactersUpToAZeroAndIgnoresBadIndices) {
    SendBufferBank bank;
    bank.set(3, std::string("CQ\0DE", 5));
    EXPECT_EQ(bank.get(3), "CQ");
    bank.set(14, std::string(5000, 'E'));
    EXPECT_EQ(bank.get(14).size(), kSendBufferBytes - 1);
    bank.set(kSendBufferCount, "X");
    bank.set(-1, "X");
    EXPECT_EQ(bank.get(kSendBufferCount), "");
    EXPECT_EQ(bank.get(0), "");
}

TEST(KeyCharacters, EchoShowsTheCharacterTypedAndEnterGivesANewLine) {
    EXPECT_EQ(echoCharacter(65, U'a'), "a");
    EXPECT_EQ(echoCharacter(65, U'A'), "A");
    EXPECT_EQ(echoCharacter(0, U'/'), "/");             // Shift+7 on a German layout
    EXPECT_EQ(echoCharacter(0, U'\u00e4'), "\xc3\xa4"); // a German letter, in UTF-8
    EXPECT_EQ(echoCharacter(0, U'\u20ac'), "\xe2\x82\xac");
    EXPECT_EQ(echoCharacter(kVkEnter, 0), "\n");
    EXPECT_EQ(echoCharacter(kVkF1, 0), "");
    EXPECT_EQ(echoCharacter(0, U'\x1b'), "");
    EXPECT_EQ(echoCharacter(0, char32_t(0xD800)), "");
    EXPECT_EQ(echoCharacter(0, char32_t(0x110000)), "");
}

TEST(KeyCharacters, TypedCodesShowTheirCharacterInLowerCase) {
    EXPECT_EQ(typedCodeCharacter(81), "q");
    EXPECT_EQ(typedCodeCharacter(188), ",");
    EXPECT_EQ(typedCodeCharacter(234), "!");
    EXPECT_EQ(typedCodeCharacter(32), " ");
    EXPECT_EQ(typedCodeCharacter(251), "");
    EXPECT_EQ(typedCodeCharacter(1000), "");
}
