#pragma once
// Recorders that stand in for the serial lines, the clock and the sound device in tests.
#include "transmit/KeyingPort.h"
#include "transmit/SendTiming.h"
#include "transmit/ToneOutput.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace dita::test {

// Virtual time: waits return at once and move the clock to their deadline.
class FakeClock : public KeyingClock {
public:
    TimePoint now() override { return m_now; }
    void waitUntil(TimePoint deadline) override {
        if (deadline > m_now) m_now = deadline;
    }
    void advance(std::chrono::milliseconds ms) { m_now += ms; }
    double ms() const {
        return std::chrono::duration<double, std::milli>(m_now - TimePoint{}).count();
    }

private:
    TimePoint m_now{};
};

struct LineChange {
    ModemLine line;
    bool raised;
    double atMs;
};

// Shared log of the lines of every device the opener has made.
struct LineLog {
    std::vector<LineChange> changes;
    std::vector<std::string> opened;
    int closed = 0;
    FakeClock* clock = nullptr;
    bool level(ModemLine line) const {
        for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
            if (it->line == line) return it->raised;
        }
        return false;
    }
};

class RecordingLines : public ModemLines {
public:
    explicit RecordingLines(LineLog& log) : m_log(log) {}
    ~RecordingLines() override { ++m_log.closed; }
    void setLine(ModemLine line, bool raised) override {
        m_log.changes.push_back({line, raised, m_log.clock ? m_log.clock->ms() : 0.0});
    }

private:
    LineLog& m_log;
};

// An opener that succeeds for every path except those starting with "/missing".
inline KeyingPort::Opener recordingOpener(LineLog& log) {
    return [&log](const std::string& path) -> std::unique_ptr<ModemLines> {
        if (path.rfind("/missing", 0) == 0) return nullptr;
        log.opened.push_back(path);
        return std::make_unique<RecordingLines>(log);
    };
}

// Sound device that keeps every written block; a chosen operation can be made to fail and a
// block can be made never to finish.
class RecordingToneDevice : public ToneDevice {
public:
    struct Block {
        ToneBlock which;
        std::vector<int16_t> samples;
    };
    std::vector<Block> blocks;
    std::vector<std::string> calls;
    std::string failOn;       // name of the operation that fails
    int stallBlockIndex = -1; // this written block never reports done
    int resets = 0;
    int restarts = 0;
    std::function<void()> onWrite; // runs after each written block

    std::vector<int16_t> allSamples() const {
        std::vector<int16_t> out;
        for (const auto& b : blocks)
            out.insert(out.end(), b.samples.begin(), b.samples.end());
        return out;
    }

    bool formatSupported() override { return op("formatSupported"); }
    bool open() override { return op("open"); }
    bool prepare(ToneBlock b) override { return op(b == ToneBlock::A ? "prepareA" : "prepareB"); }
    bool write(ToneBlock b, const int16_t* s, int n) override {
        if (!op(b == ToneBlock::A ? "writeA" : "writeB")) return false;
        blocks.push_back({b, std::vector<int16_t>(s, s + n)});
        m_pending[b] = static_cast<int>(blocks.size()) - 1;
        if (onWrite) onWrite();
        return true;
    }
    bool isDone(ToneBlock b) override {
        auto it = m_pending.find(b);
        return it == m_pending.end() || it->second != stallBlockIndex;
    }
    bool setVolume(uint32_t) override { return op("setVolume"); }
    bool restart() override {
        ++restarts;
        return op("restart");
    }
    bool position(int64_t& bytes) override {
        bytes = 0;
        return op("position");
    }
    bool reset() override {
        ++resets;
        if (!op("reset")) return false;
        m_pending.clear();
        return true;
    }
    bool unprepare(ToneBlock b) override {
        return op(b == ToneBlock::A ? "unprepareA" : "unprepareB");
    }

private:
    bool op(const std::string& name) {
        calls.push_back(name);
        return name != failOn;
    }
    std::map<ToneBlock, int> m_pending;
};

struct Message {
    std::string text;
    std::string caption;
};

inline MessageSink recordMessages(std::vector<Message>& out) {
    return [&out](const std::string& text, const std::string& caption) {
        out.push_back({text, caption});
    };
}

} // namespace dita::test
