#include "station/StationLink.h"

#include "common/Latin1.h"
#include "station/StationDialogs.h"

#include <iostream>

namespace dita {

namespace {

inline constexpr const char* kSettingsCaption = "Settings";

bool sameRig(const RigEndpoint& a, const RigEndpoint& b) {
    return a.connection == b.connection && a.model == b.model && a.device == b.device &&
           a.baud == b.baud && a.host == b.host && a.port == b.port;
}

bool sameListener(const KeyingListenerSettings& a, const KeyingListenerSettings& b) {
    return a.enabled == b.enabled && a.address == b.address && a.port == b.port;
}

// The keying queue's keyer: the window's keying, exclusive of its own senders.
class HookKeyer : public Keyer {
public:
    explicit HookKeyer(const StationHooks& hooks) : m_hooks(hooks) {}
    bool sendText(std::string_view, const std::atomic<bool>&) override { return false; }
    bool sendTypedCode(int32_t) override { return false; }
    bool keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                  PttHang hang) override {
        return m_hooks.keySteps && m_hooks.keySteps(steps, stop, hang);
    }

private:
    const StationHooks& m_hooks;
};

} // namespace

StationLink::StationLink(StationHooks hooks, KeyingPort& port, SettingsFile settings,
                         QObject* parent, RigTiming rigTiming)
    : QObject(parent), m_hooks(std::move(hooks)), m_port(port), m_file(std::move(settings)),
      m_calls(new CallQueue(this)) {
    RigControl::Hooks rigHooks;
    rigHooks.frequency = [this](double hz) {
        m_calls->post([this, hz] {
            m_rigHz = hz;
            if (m_hooks.rigFrequency) m_hooks.rigFrequency(hz);
        });
    };
    rigHooks.lost = [this](const std::string& why) {
        m_calls->post([this, why] { tell(false, why, kRigControlCaption); });
    };
    m_rig = std::make_unique<RigControl>(rigHooks, rigTiming);
    m_catKeyer = std::make_unique<CatKeyer>(
        *m_rig, [this] { return m_hooks.transmitWpm ? m_hooks.transmitWpm() : 0; },
        [this](const std::string& text) {
            m_calls->post([this, text] { tell(false, text, kRigControlCaption); });
        });
}

StationLink::~StationLink() {
    shutdown();
}

void StationLink::start() {
    m_file.setUnusableValueReporter(
        [this](const std::string& text) { tell(false, text, kSettingsCaption); });
    const std::string damaged = m_file.load();
    if (!damaged.empty()) tell(false, damaged, kSettingsCaption);
    m_settings = StationSettings::read(m_file);
    m_rig->configure(m_settings.rig);
    m_catKeying = m_settings.rig.catKeying;
    attachCatPtt();
    if (m_settings.listener.enabled) startListener(false);
}

void StationLink::repeatRigFrequency() {
    if (m_rigHz > 0.0 && rigConnected() && m_hooks.rigFrequency) m_hooks.rigFrequency(m_rigHz);
}

void StationLink::tell(bool byOperator, const std::string& text, const char* caption) {
    if (byOperator) {
        if (m_hooks.messages) m_hooks.messages(text, caption);
    } else if (m_hooks.notice) {
        m_hooks.notice(text);
    }
}

void StationLink::apply(const StationSettings& settings) {
    const StationSettings old = m_settings;
    m_settings = settings;
    if (!m_rig) return; // after shutdown nothing restarts
    m_catKeying = settings.rig.catKeying;
    if (!sameRig(old.rig, settings.rig)) {
        m_rigHz = 0.0;
        m_rig->configure(settings.rig);
    }
    attachCatPtt();
    if (!sameListener(old.listener, settings.listener)) {
        stopListener();
        if (settings.listener.enabled) startListener(true);
    }
    if (m_file.path().empty()) return; // kept for this run only
    m_settings.write(m_file);
    const std::string failed = m_file.save();
    if (!failed.empty()) tell(true, failed, kSettingsCaption);
}

void StationLink::setCatKeying(bool on) {
    StationSettings settings = m_settings;
    settings.rig.catKeying = on;
    apply(settings);
}

void StationLink::attachCatPtt() {
    if (m_rig && m_settings.rig.catPtt && m_settings.rig.connection != RigConnection::None) {
        RigControl* rig = m_rig.get();
        m_port.setCatPtt([rig](bool on) { rig->setPtt(on); });
    } else {
        m_port.setCatPtt({});
    }
}

void StationLink::startListener(bool byOperator) {
    CwKeyingHooks hooks;
    m_toldTransmitOff = false;
    auto keyer = std::make_shared<HookKeyer>(m_hooks);
    // While Xmit Enable is off nothing is keyed or shown; the first refusal of a stretch is told.
    hooks.transmitAllowed = [this] {
        if (!m_hooks.transmitEnabled || m_hooks.transmitEnabled()) {
            m_toldTransmitOff = false;
            return true;
        }
        if (!m_toldTransmitOff.exchange(true)) {
            m_calls->post(
                [this] { tell(false, kListenerTransmitOffText, kKeyingListenerCaption); });
        }
        return false;
    };
    hooks.keyer = [keyer] { return keyer.get(); };
    hooks.setSpeed = [this](int32_t wpm) {
        m_calls->post([this, wpm] {
            if (m_hooks.setSpeed) m_hooks.setSpeed(wpm);
        });
    };
    hooks.setTone = [this](int32_t hz) {
        m_calls->post([this, hz] {
            if (m_hooks.setTone) m_hooks.setTone(hz);
        });
    };
    hooks.setPtt = [this](bool on) {
        m_calls->post([this, on] {
            m_port.KeyState = on ? kKeyDown : kKeyUp;
            m_port.updatePtt(on);
        });
    };
    hooks.pttHangMs = m_settings.listener.pttHangMs;
    hooks.keyed = [this](const std::string& latin1) {
        const std::string utf8 = latin1ToUtf8(latin1);
        m_calls->post([this, utf8] {
            if (m_hooks.showKeyed) m_hooks.showKeyed(utf8);
        });
    };
    // A misbehaving client could send many bad datagrams: they go to the terminal, not into
    // message boxes.
    hooks.report = [](const std::string& why) { std::cerr << "dita: " << why << "\n"; };
    // The listener outlives the queue's thread (stopListener), so a reply always finds it.
    hooks.reply = [this](const CwDaemonPeer& to, const std::string& datagram) {
        if (m_listener) m_listener->reply(to, datagram);
    };
    m_queue = std::make_unique<CwKeyingQueue>(hooks);
    CwKeyingQueue* queue = m_queue.get();
    m_listener = std::make_unique<CwDaemonListener>(
        [queue](const CwDaemonRequest& request) { queue->handle(request); }, hooks.report);
    const std::string failed =
        m_listener->start(m_settings.listener.address, m_settings.listener.port);
    if (!failed.empty()) {
        stopListener();
        tell(byOperator, failed, kKeyingListenerCaption);
    }
}

void StationLink::stopListener() {
    if (m_listener) m_listener->stop();
    if (m_queue) m_queue->abort();
    m_queue.reset(); // waits for the character being keyed, which the abort cut short
    m_listener.reset();
}

void StationLink::showRigControlDialog(QWidget* parent) {
    auto* dialog = new RigControlDialog(m_hooks.messages, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->load(m_settings);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        StationSettings s = m_settings;
        s.rig = dialog->settings().rig;
        apply(s);
    });
    dialog->open();
}

void StationLink::showKeyingListenerDialog(QWidget* parent) {
    auto* dialog = new KeyingListenerDialog(m_hooks.messages, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->load(m_settings);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        StationSettings s = m_settings;
        s.listener = dialog->settings().listener;
        apply(s);
    });
    dialog->open();
}

void StationLink::shutdown() {
    stopListener();
    m_port.setCatPtt({});
    // The rig's keyer is no longer handed out; it and the rig control it keys through go with
    // the station object, after the transmit panel whose send threads may have read the pointer.
    m_catKeying = false;
}

} // namespace dita
