#pragma once
// Rig control through hamlib: follows the rig's frequency and keys PTT by CAT command. The rig
// is a hamlib model on a serial device, or a rigctld server (hamlib's network rig), which is
// how several programs share one rig.
//
// One worker thread of its own opens the rig, polls the frequency about once a second and
// reopens it after a lost connection, so nothing here ever blocks the window or the receive
// loop: every hamlib call runs on that thread (setPtt's, serialised with it, on the keying
// thread) with a bounded I/O timeout. The destructor waits at most kRigWorkerQuitWait for the
// worker; a worker still inside hamlib then is left to finish on its own (it owns what it uses
// and calls no hook any more), so a rig that never answers cannot hold up a quit. A failure is
// reported once, when the rig goes from reachable to unreachable (or cannot be reached at the
// first attempt); the attempts go on silently until it answers again. A model hamlib does not
// have is reported once and not tried again; a rig that refuses PTT is reported once per
// connection.
//
// Who calls it: the window thread configures it; the keying threads call setPtt; the hooks
// run on the worker thread (the window forwards them to its own thread). No Qt.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dita {

constexpr int32_t kRigModelDummy = 1;     // hamlib's dummy rig, needs no device
constexpr int32_t kRigModelNetRigctl = 2; // hamlib's client of a rigctld server
constexpr uint16_t kRigctldDefaultPort = 4532;
constexpr int32_t kRigDefaultModel = kRigModelDummy;
// How long one hamlib exchange may wait for the rig, and how long a quit waits for the worker.
constexpr std::chrono::milliseconds kRigIoTimeout{1000};
constexpr std::chrono::milliseconds kRigWorkerQuitWait{800};

enum class RigConnection : int32_t { None = 0, SerialRig = 1, Rigctld = 2 };

// What the "Rig Control" setup keeps in the settings file.
struct RigEndpoint {
    RigConnection connection = RigConnection::None;
    int32_t model = kRigDefaultModel;    // SerialRig: hamlib model number
    std::string device;                  // SerialRig: device file (empty for the dummy rig)
    int32_t baud = 0;                    // SerialRig: 0 keeps the model's own rate
    std::string host = "localhost";      // Rigctld
    uint16_t port = kRigctldDefaultPort; // Rigctld
    bool catPtt = false;                 // PTT by CAT command instead of DTR/RTS

    // "rigctld localhost:4532", "model 1 on /dev/ttyUSB0", "none": for messages.
    std::string describe() const;
};

struct RigTiming {
    std::chrono::milliseconds poll{1000};  // frequency refresh
    std::chrono::milliseconds retry{2000}; // between attempts to reach a lost rig
    // setPtt waits at most this long for a poll in progress; later it gives up (PTT unchanged).
    std::chrono::milliseconds pttWait{250};
};

// A rig model hamlib knows, for the model list of the setup dialog.
struct RigModelInfo {
    int32_t model = 0;
    std::string maker;
    std::string name;
};
// Every model of every hamlib backend, by maker and name. Read once; never waits for a rig.
std::vector<RigModelInfo> hamlibRigModels();

struct RigWorker; // the worker's state, shared with the worker thread

class RigControl {
public:
    struct Hooks {
        std::function<void(double hz)> frequency; // on every change, and after (re)connecting
        std::function<void(const std::string& why)> lost; // once per loss (or failed first contact)
        std::function<void(const std::string& rig)> connected;
    };

    explicit RigControl(Hooks hooks, RigTiming timing = {});
    ~RigControl();
    RigControl(const RigControl&) = delete;
    RigControl& operator=(const RigControl&) = delete;

    // Stops following the current rig and starts following endpoint (RigConnection::None:
    // nothing). Returns at once; the worker changes over after its current hamlib call.
    void configure(const RigEndpoint& endpoint);
    bool connected() const;

    // CAT PTT; false (and nothing sent) when no rig is connected or it did not answer in time.
    bool setPtt(bool on);

private:
    std::shared_ptr<RigWorker> m_worker;
};

} // namespace dita
