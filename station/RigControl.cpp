#include "station/RigControl.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>

namespace dita {

namespace {

// hamlib's own chatter would fill the terminal on every failed attempt; DITA reports instead.
void quietHamlib() {
    static std::once_flag once;
    std::call_once(once, [] { rig_set_debug(RIG_DEBUG_NONE); });
}

// rigerror() appends hamlib's recent debug lines; rigerror2() is the message alone.
// hamlib's rig_init, rig_open, rig_close and its backend list share global state: whoever
// calls them (the worker of any RigControl, the dialog's model list) holds this.
std::mutex& hamlibGlobalsMutex() {
    static std::mutex m;
    return m;
}

// rigerror2() ends some messages with a line feed; a report puts it inside a sentence.
std::string hamlibError(int code) {
    std::string text = rigerror2(code);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

void setPortPath(RIG* rig, const std::string& path) {
    std::strncpy(rig->state.rigport.pathname, path.c_str(), HAMLIB_FILPATHLEN - 1);
    rig->state.rigport.pathname[HAMLIB_FILPATHLEN - 1] = '\0';
}

} // namespace

namespace {

// Loads every backend once, under the globals lock. Before this, a rig_init of a model whose
// backend is not loaded yet loads it itself, and a model number hamlib does not have can make
// a backend register twice, which hamlib ends the process for.
void loadBackends() {
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        std::lock_guard lock(hamlibGlobalsMutex());
        rig_load_all_backends();
    });
}

} // namespace

std::vector<RigModelInfo> hamlibRigModels() {
    quietHamlib();
    loadBackends();
    // The list is read once: the globals lock is held only for rig_init and rig_cleanup, never
    // while a rig is being opened, so this does not wait for a rig either way.
    static const std::vector<RigModelInfo> models = [] {
        std::vector<RigModelInfo> list;
        std::lock_guard lock(hamlibGlobalsMutex());
        rig_list_foreach(
            [](const rig_caps* caps, rig_ptr_t data) {
                static_cast<std::vector<RigModelInfo>*>(data)->push_back(
                    {static_cast<int32_t>(caps->rig_model), caps->mfg_name ? caps->mfg_name : "",
                     caps->model_name ? caps->model_name : ""});
                return 1; // go on
            },
            &list);
        std::sort(list.begin(), list.end(), [](const RigModelInfo& a, const RigModelInfo& b) {
            return a.maker != b.maker ? a.maker < b.maker : a.name < b.name;
        });
        return list;
    }();
    return models;
}

std::string RigEndpoint::describe() const {
    switch (connection) {
    case RigConnection::None:
        return "none";
    case RigConnection::SerialRig:
        return "hamlib model " + std::to_string(model) + (device.empty() ? "" : " on " + device);
    case RigConnection::Rigctld:
        return "rigctld " + host + ":" + std::to_string(port);
    }
    return "none";
}

struct RigWorker {
    RigControl::Hooks hooks;
    RigTiming timing;
    // Every hamlib call on a published rig: the worker's polls and the keyers' PTT commands.
    std::mutex rigMutex;
    RIG* rig = nullptr; // guarded by rigMutex
    std::atomic<bool> connected{false};
    std::atomic<bool> pttRefusalTold{false};
    std::mutex wakeMutex;
    std::condition_variable wake;
    RigEndpoint wanted;      // guarded by wakeMutex
    uint64_t generation = 0; // guarded by wakeMutex; counts configure calls
    bool quit = false;       // guarded by wakeMutex
    bool finished = false;   // guarded by wakeMutex: the worker has left run()
    // Hooks run under this, and the owner sets `quit` under it too: once the owner has gone,
    // no hook can still be running or start.
    std::mutex hookMutex;
    bool hooksOff = false; // guarded by hookMutex

    bool stopping(uint64_t g) {
        std::lock_guard lock(wakeMutex);
        return quit || g != generation;
    }
    void waitFor(std::chrono::milliseconds interval, uint64_t g) {
        std::unique_lock lock(wakeMutex);
        wake.wait_for(lock, interval, [&] { return quit || g != generation; });
    }
    template <typename F> void callHook(F call) {
        std::lock_guard lock(hookMutex);
        if (!hooksOff) call();
    }
    bool publish(RIG* opened, uint64_t g) {
        std::lock_guard lock(rigMutex);
        if (stopping(g)) return false;
        rig = opened;
        connected = true;
        pttRefusalTold = false;
        return true;
    }
    void withdraw() {
        std::lock_guard lock(rigMutex);
        rig = nullptr;
        connected = false;
    }
    void run();
    void follow(const RigEndpoint& endpoint, uint64_t g);
};

RigControl::RigControl(Hooks hooks, RigTiming timing) : m_worker(std::make_shared<RigWorker>()) {
    m_worker->hooks = std::move(hooks);
    m_worker->timing = timing;
    quietHamlib();
    // hamlib switches LC_NUMERIC to "C" around rig_open and restores it through the pointer it
    // read before the switch; unless the category is "C" already, the switch frees that name
    // and the restore reads freed memory. Numbers in DITA's own C calls want "C" anyway (Qt
    // formats through QLocale), so the category is set once here, before the worker starts.
    std::setlocale(LC_NUMERIC, "C");
    std::thread([worker = m_worker] {
        worker->run();
        std::lock_guard lock(worker->wakeMutex);
        worker->finished = true;
        worker->wake.notify_all();
    }).detach();
}

RigControl::~RigControl() {
    {
        std::lock_guard hooks(m_worker->hookMutex);
        m_worker->hooksOff = true;
    }
    std::unique_lock lock(m_worker->wakeMutex);
    m_worker->quit = true;
    m_worker->wake.notify_all();
    // A worker inside a hamlib call that waits for a silent rig finishes on its own later; it
    // holds the state it needs, and hooksOff keeps it from reaching the owner.
    m_worker->wake.wait_for(lock, kRigWorkerQuitWait, [this] { return m_worker->finished; });
}

bool RigControl::connected() const {
    return m_worker->connected.load();
}

void RigControl::configure(const RigEndpoint& endpoint) {
    {
        std::lock_guard lock(m_worker->wakeMutex);
        m_worker->wanted = endpoint;
        ++m_worker->generation;
    }
    // PTT stops going to the old rig at once; the worker closes it after its current call.
    m_worker->connected = false;
    m_worker->wake.notify_all();
}

namespace {

// Opens the rig with a bounded wait for each exchange. The globals lock covers rig_init only:
// rig_open talks to the rig, and nothing else may wait for that.
RIG* openRig(const RigEndpoint& endpoint, std::string& why, bool& unknownModel) {
    const bool network = endpoint.connection == RigConnection::Rigctld;
    const int32_t model = network ? kRigModelNetRigctl : endpoint.model;
    loadBackends();
    RIG* rig = nullptr;
    {
        std::lock_guard lock(hamlibGlobalsMutex());
        if (!rig_get_caps(model)) {
            unknownModel = true;
            why = "hamlib has no rig model " + std::to_string(model);
            return nullptr;
        }
        rig = rig_init(model);
    }
    if (!rig) {
        why = "hamlib could not set up rig model " + std::to_string(model);
        return nullptr;
    }
    if (network) {
        setPortPath(rig, endpoint.host + ":" + std::to_string(endpoint.port));
    } else {
        if (!endpoint.device.empty()) setPortPath(rig, endpoint.device);
        if (endpoint.baud > 0) rig->state.rigport.parm.serial.rate = endpoint.baud;
        // PTT by the rig's own command, for models (the dummy rig) that name no PTT method.
        if (rig->state.pttport.type.ptt == RIG_PTT_NONE) rig->state.pttport.type.ptt = RIG_PTT_RIG;
    }
    rig->state.rigport.timeout = static_cast<int>(kRigIoTimeout.count());
    rig->state.rigport.retry = 0;
    const int rc = rig_open(rig);
    if (rc != RIG_OK) {
        why = hamlibError(rc);
        std::lock_guard lock(hamlibGlobalsMutex());
        rig_cleanup(rig);
        return nullptr;
    }
    return rig;
}

void closeRig(RIG* rig) {
    rig_close(rig);
    std::lock_guard lock(hamlibGlobalsMutex());
    rig_cleanup(rig);
}

} // namespace

void RigWorker::run() {
    for (;;) {
        RigEndpoint endpoint;
        uint64_t g = 0;
        {
            std::unique_lock lock(wakeMutex);
            if (quit) return;
            endpoint = wanted;
            g = generation;
        }
        if (endpoint.connection != RigConnection::None) follow(endpoint, g);
        // Idle until the next configure (after None, or a model hamlib does not have).
        std::unique_lock lock(wakeMutex);
        wake.wait(lock, [&] { return quit || g != generation; });
    }
}

void RigWorker::follow(const RigEndpoint& endpoint, uint64_t g) {
    bool reported = false; // the current loss has been reported
    auto report = [&](const std::string& what, const std::string& why, const char* after) {
        if (!reported && hooks.lost && !stopping(g)) {
            callHook([&] {
                hooks.lost("Rig control: " + what + " " + endpoint.describe() + " (" + why + ")" +
                           after);
            });
        }
        reported = true;
    };
    while (!stopping(g)) {
        std::string why;
        bool unknownModel = false;
        RIG* opened = openRig(endpoint, why, unknownModel);
        if (unknownModel) {
            report("cannot use", why, "; going on without rig control");
            return;
        }
        if (!opened) {
            report("cannot reach", why, "; trying again");
            waitFor(timing.retry, g);
            continue;
        }
        if (!publish(opened, g)) {
            closeRig(opened);
            return;
        }
        reported = false;
        if (hooks.connected) callHook([&] { hooks.connected(endpoint.describe()); });
        double last = -1.0;
        while (!stopping(g)) {
            freq_t hz = 0;
            int rc = RIG_OK;
            {
                std::lock_guard lock(rigMutex);
                rc = rig_get_freq(opened, RIG_VFO_CURR, &hz);
            }
            if (rc != RIG_OK) {
                why = hamlibError(rc);
                break;
            }
            if (hz != last && hooks.frequency && !stopping(g)) {
                callHook([&] { hooks.frequency(hz); });
            }
            last = hz;
            waitFor(timing.poll, g);
        }
        withdraw();
        closeRig(opened);
        if (stopping(g)) return;
        report("lost", why, "; trying again");
        waitFor(timing.retry, g);
    }
}

bool RigControl::setPtt(bool on) {
    RigWorker& w = *m_worker;
    if (!w.connected.load()) return false;
    // A poll in progress holds the rig for one round trip; a rig that stopped answering holds
    // it until hamlib's timeout, which the keying must not wait for.
    constexpr auto kRetryStep = std::chrono::milliseconds(1);
    const auto deadline = std::chrono::steady_clock::now() + w.timing.pttWait;
    std::unique_lock lock(w.rigMutex, std::try_to_lock);
    while (!lock.owns_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kRetryStep);
        lock.try_lock();
    }
    if (!w.rig) return false;
    const int rc = rig_set_ptt(w.rig, RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF);
    if (rc == RIG_OK) return true;
    // A rig (or rigctld) set up without a PTT method refuses every PTT command: said once.
    if (!w.pttRefusalTold.exchange(true) && w.hooks.lost) {
        const std::string why = hamlibError(rc);
        lock.unlock();
        w.callHook([&] {
            w.hooks.lost("Rig control: the rig refused PTT (" + why +
                         "); CAT PTT does not key the transmitter");
        });
    }
    return false;
}

} // namespace dita
