// The engine must not allocate while it processes passes: the window's run loop calls it every
// 185.76 ms for hours. Counts every operator new made during a run of passes.
#include "receive/ReceiveEngine.h"
#include "receive/band/BandDecoder.h"
#include "receive/tests/CwSynth.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
} // namespace

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The replaced operators pair malloc with free on purpose; GCC cannot see that operator new
// here is malloc and warns about the free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// Both decoders: the enhanced one captures the tone, gathers, settles (running the kept steps
// again) and decodes within the counted passes.
TEST(ReceiveEngineAllocation, PassesAllocateNothingAfterTheFirst) {
    using namespace dita;
    test::CwSignal s;
    s.snrDb = 10;
    const auto audio = test::synthesize("VVV CQ CQ DE W1AW W1AW K", s);
    for (const auto decoder : {setting::Decoder::Standard, setting::Decoder::Enhanced}) {
        ReceiveEngine engine;
        engine.post(ReceiveCommand::decoder(decoder));
        if (decoder == setting::Decoder::Standard) engine.post(ReceiveCommand::tuneToBin(112));
        engine.post(ReceiveCommand::noiseFilter(setting::Switch3::On));
        engine.processPass(audio.data());
        std::string text;
        text.reserve(4096);
        g_allocations = 0;
        g_counting = true;
        for (size_t i = kPassFrames; i + kPassFrames <= audio.size(); i += kPassFrames) {
            text += engine.processPass(&audio[i]).text;
        }
        g_counting = false;
        EXPECT_GT(text.size(), 10u) << "decoder " << raw(decoder);
        EXPECT_EQ(g_allocations.load(), 0) << "decoder " << raw(decoder);
        if (decoder == setting::Decoder::Enhanced) {
            EXPECT_NE(text.find("cq cq de w1aw w1aw k"), std::string::npos) << text;
        }
    }
}

TEST(BandDecoderAllocation, PassesAllocateNothingWhileChannelsOpenAndDecode) {
    using namespace dita;
    test::CwSignal s;
    s.snrDb = 10;
    s.toneHz = 900;
    const auto audio = test::synthesize("CQ CQ DE W1AW W1AW K", s);
    BandDecoder band;
    band.processPass(audio.data());
    size_t text = 0;
    int channels = 0;
    g_counting = true;
    for (size_t i = kPassFrames; i + kPassFrames <= audio.size(); i += kPassFrames) {
        const BandPassResult& r = band.processPass(&audio[i]);
        channels = std::max(channels, r.channelCount);
        for (int c = 0; c < r.channelCount; ++c)
            text += r.channels[static_cast<size_t>(c)].text.size();
    }
    g_counting = false;
    EXPECT_EQ(channels, 1);
    EXPECT_GT(text, 10u);
    EXPECT_EQ(g_allocations.load(), 0);
}
