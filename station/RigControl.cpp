#include "station/RigControl.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>

namespace dita {

namespace {

RIG* asRig(void* p) {
    return static_cast<RIG*>(p);
}

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

std::vector<RigModelInfo> hamlibRigModels() {
    quietHamlib();
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        std::lock_guard lock(hamlibGlobalsMutex());
        rig_load_all_backends();
    });
    std::vector<RigModelInfo> models;
    std::lock_guard lock(hamlibGlobalsMutex());
    rig_list_foreach(
        [](const rig_caps* caps, rig_ptr_t data) {
            static_cast<std::vector<RigModelInfo>*>(data)->push_back(
                {static_cast<int32_t>(caps->rig_model), caps->mfg_name ? caps->mfg_name : "",
                 caps->model_name ? caps->model_name : ""});
            return 1; // go on
        },
        &models);
    std::sort(models.begin(), models.end(), [](const RigModelInfo& a, const RigModelInfo& b) {
        return a.maker != b.maker ? a.maker < b.maker : a.name < b.name;
    });
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

RigControl::RigControl(Hooks hooks, RigTiming timing)
    : m_hooks(std::move(hooks)), m_timing(timing) {
    quietHamlib();
    // hamlib switches LC_NUMERIC to "C" around rig_open and restores it through the pointer it
    // read before the switch; unless the category is "C" already, the switch frees that name
    // and the restore reads freed memory. Numbers in DITA's own C calls want "C" anyway (Qt
    // formats through QLocale), so the category is set once here, before the worker starts.
    std::setlocale(LC_NUMERIC, "C");
    m_worker = std::thread([this] { run(); });
}

RigControl::~RigControl() {
    {
        std::lock_guard lock(m_wakeMutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_worker.join();
}

void RigControl::configure(const RigEndpoint& endpoint) {
    {
        std::lock_guard lock(m_wakeMutex);
        m_wanted = endpoint;
        ++m_generation;
    }
    // PTT stops going to the old rig at once; the worker closes it after its current call.
    m_connected = false;
    m_wake.notify_all();
}

bool RigControl::stopping(uint64_t generation) {
    std::lock_guard lock(m_wakeMutex);
    return m_quit || generation != m_generation;
}

void RigControl::waitFor(std::chrono::milliseconds interval, uint64_t generation) {
    std::unique_lock lock(m_wakeMutex);
    m_wake.wait_for(lock, interval, [&] { return m_quit || generation != m_generation; });
}

namespace {

RIG* openRig(const RigEndpoint& endpoint, std::string& why) {
    std::lock_guard lock(hamlibGlobalsMutex());
    const bool network = endpoint.connection == RigConnection::Rigctld;
    RIG* rig = rig_init(network ? kRigModelNetRigctl : endpoint.model);
    if (!rig) {
        why = "hamlib has no rig model " + std::to_string(endpoint.model);
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
    const int rc = rig_open(rig);
    if (rc != RIG_OK) {
        why = hamlibError(rc);
        rig_cleanup(rig);
        return nullptr;
    }
    return rig;
}

void closeRig(RIG* rig) {
    std::lock_guard lock(hamlibGlobalsMutex());
    rig_close(rig);
    rig_cleanup(rig);
}

} // namespace

bool RigControl::publish(void* rig, uint64_t generation) {
    std::lock_guard lock(m_rigMutex);
    if (stopping(generation)) return false;
    m_rig = rig;
    m_connected = true;
    return true;
}

void RigControl::withdraw() {
    std::lock_guard lock(m_rigMutex);
    m_rig = nullptr;
    m_connected = false;
}

void RigControl::run() {
    for (;;) {
        RigEndpoint endpoint;
        uint64_t generation = 0;
        {
            std::unique_lock lock(m_wakeMutex);
            if (m_quit) return;
            endpoint = m_wanted;
            generation = m_generation;
        }
        if (endpoint.connection == RigConnection::None) {
            std::unique_lock lock(m_wakeMutex);
            m_wake.wait(lock, [&] { return m_quit || generation != m_generation; });
            continue;
        }
        follow(endpoint, generation);
    }
}

void RigControl::follow(const RigEndpoint& endpoint, uint64_t generation) {
    bool reported = false; // the current loss has been reported
    auto report = [&](const std::string& what, const std::string& why) {
        if (!reported && m_hooks.lost && !stopping(generation)) {
            m_hooks.lost("Rig control: " + what + " " + endpoint.describe() + " (" + why +
                         "); trying again");
        }
        reported = true;
    };
    while (!stopping(generation)) {
        std::string why;
        RIG* rig = openRig(endpoint, why);
        if (!rig) {
            report("cannot reach", why);
            waitFor(m_timing.retry, generation);
            continue;
        }
        if (!publish(rig, generation)) {
            closeRig(rig);
            return;
        }
        reported = false;
        if (m_hooks.connected) m_hooks.connected(endpoint.describe());
        double last = -1.0;
        while (!stopping(generation)) {
            freq_t hz = 0;
            int rc = RIG_OK;
            {
                std::lock_guard lock(m_rigMutex);
                rc = rig_get_freq(rig, RIG_VFO_CURR, &hz);
            }
            if (rc != RIG_OK) {
                why = hamlibError(rc);
                break;
            }
            if (hz != last && m_hooks.frequency && !stopping(generation)) m_hooks.frequency(hz);
            last = hz;
            waitFor(m_timing.poll, generation);
        }
        withdraw();
        closeRig(rig);
        if (stopping(generation)) return;
        report("lost", why);
        waitFor(m_timing.retry, generation);
    }
}

bool RigControl::setPtt(bool on) {
    if (!m_connected.load()) return false;
    // A poll in progress holds the rig for one round trip; a rig that stopped answering holds
    // it until hamlib's timeout, which the keying must not wait for.
    constexpr auto kRetryStep = std::chrono::milliseconds(1);
    const auto deadline = std::chrono::steady_clock::now() + m_timing.pttWait;
    std::unique_lock lock(m_rigMutex, std::try_to_lock);
    while (!lock.owns_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kRetryStep);
        lock.try_lock();
    }
    if (!m_rig) return false;
    return rig_set_ptt(asRig(m_rig), RIG_VFO_CURR, on ? RIG_PTT_ON : RIG_PTT_OFF) == RIG_OK;
}

} // namespace dita
