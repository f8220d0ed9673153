#pragma once
// A scripted input device for capture tests: the test pushes audio in by hand, can make any
// operation fail and counts resets and starts. It queues buffers exactly as the real devices
// do, through BufferQueue.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "receive/audio/InputDevice.h"

namespace dita::test {

struct FakeDeviceScript {
    bool formatSupported = true;
    bool openOk = true;
    bool addOk = true;
    bool startOk = true;
    bool resetOk = true;
    // Read by tests while the device runs on a loop thread, hence atomic.
    std::atomic<int> resets{0};
    std::atomic<int> starts{0};
    std::atomic<int> opens{0};
    std::atomic<bool> running{false};
    std::atomic<uint16_t> openedChannels{0};
    BufferQueue queue;
    // A real device stops its producer before releasing buffers; the lock does that here.
    std::mutex producer;

    // Pushes interleaved 16-bit frames as the device would while running.
    void deliver(const std::vector<int16_t>& frames) {
        std::lock_guard lock(producer);
        if (running)
            queue.write(reinterpret_cast<const uint8_t*>(frames.data()),
                        static_cast<uint32_t>(frames.size() * sizeof(int16_t)));
    }
};

class FakeInputDevice : public InputDevice {
public:
    explicit FakeInputDevice(FakeDeviceScript& s) : m_s(s) {}
    bool formatSupported(const CaptureFormat&) override { return m_s.formatSupported; }
    bool open(const CaptureFormat& f) override {
        ++m_s.opens;
        m_s.openedChannels = f.channels;
        return m_s.openOk;
    }
    bool addBuffer(CaptureBuffer& b) override { return m_s.addOk && m_s.queue.add(b); }
    bool start() override {
        ++m_s.starts;
        m_s.running = m_s.startOk;
        return m_s.startOk;
    }
    bool reset() override {
        ++m_s.resets;
        if (!m_s.resetOk) return false;
        std::lock_guard lock(m_s.producer);
        m_s.running = false;
        m_s.queue.abortAll();
        return true;
    }
    void close() override {
        std::lock_guard lock(m_s.producer);
        m_s.running = false;
        m_s.queue.abortAll();
    }

private:
    FakeDeviceScript& m_s;
};

class FakeCatalog : public DeviceCatalog {
public:
    explicit FakeCatalog(int devices) : m_scripts(static_cast<size_t>(devices)) {}
    int count() const override { return static_cast<int>(m_scripts.size()); }
    std::string name(int id) const override {
        return id >= 0 && id < count() ? "Fake input " + std::to_string(id) : std::string();
    }
    std::unique_ptr<InputDevice> create(int id) override {
        if (id < 0 || id >= count()) return nullptr;
        ++created[id];
        return std::make_unique<FakeInputDevice>(m_scripts[static_cast<size_t>(id)]);
    }
    FakeDeviceScript& script(int id) { return m_scripts[static_cast<size_t>(id)]; }
    std::map<int, int> created;

private:
    std::vector<FakeDeviceScript> m_scripts;
};

} // namespace dita::test
