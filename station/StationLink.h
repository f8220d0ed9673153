#pragma once
// What ties rig control and the keying listener to the main window: owns RigControl, the
// cwdaemon listener and its keying queue, keeps their settings in DITA.conf, and shows the
// "Rig Control" and "Keying Listener" dialogs. Everything reaches the window through hooks,
// always on the window thread (the workers' calls are posted there).
//
// Who calls it: the main window creates it after its transmit side and station panel, on the
// window thread, and calls shutdown() in its quit sequence before the keyers go away.
#include "common/CallQueue.h"
#include "common/SettingsFile.h"
#include "station/CatKeyer.h"
#include "station/CwDaemonListener.h"
#include "station/CwKeyingQueue.h"
#include "station/RigControl.h"
#include "station/StationSettings.h"
#include "transmit/KeyingPort.h"
#include "transmit/Messages.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace dita {

struct StationHooks {
    // The rig's frequency changed (Hz): the station panel fills its fields.
    std::function<void(double hz)> rigFrequency;
    std::function<void(int32_t wpm)> setSpeed; // the transmit speed controls
    std::function<void(int32_t hz)> setTone;   // the sidetone; 0 switches it off
    // A word the listener starts keying (UTF-8): shown in the transmit window.
    std::function<void(const std::string& utf8)> showKeyed;
    // Keys a logger's steps through the current keyer, exclusive of the window's own senders.
    // Runs on the listener's keying thread.
    std::function<bool(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                       PttHang hang)>
        keySteps;
    // The transmit speed (wpm) the rig's keyer is set to; read on a send thread.
    std::function<int32_t()> transmitWpm;
    // Whether Xmit Enable is on; read on the listener's keying thread.
    std::function<bool()> transmitEnabled;
    // Answers to what the operator just did (a dialog's OK): a box that waits for OK.
    MessageSink messages;
    // What happens without the operator acting (a damaged DITA.conf at start, a rig that cannot
    // be reached or is lost, a listener that cannot bind at start): told without waiting for
    // OK, so an unattended run goes on.
    std::function<void(const std::string& text)> notice;
};

class StationLink : public QObject {
    Q_OBJECT
public:
    // port: CAT PTT is attached to it while chosen and the rig answers; PTT requests of a
    // logger drive it. settingsPath: DITA.conf.
    StationLink(StationHooks hooks, KeyingPort& port, SettingsFile settings,
                QObject* parent = nullptr, RigTiming rigTiming = {});
    ~StationLink() override;

    // Reads DITA.conf (a damaged file is reported and the defaults are used) and starts what
    // the settings ask for.
    void start();
    // Takes new settings from a dialog: saves them and restarts what changed. A listener that
    // cannot bind is reported and switched off.
    void apply(const StationSettings& settings);

    void showRigControlDialog(QWidget* parent);
    void showKeyingListenerDialog(QWidget* parent);

    // Stops the listener (dropping its queue) and the rig; PTT is no longer sent to the rig.
    void shutdown();

    // The rig's last frequency once more (after the window's stored configuration has been
    // applied, which may have replaced what the rig reported first).
    void repeatRigFrequency();

    bool rigConnected() const { return m_rig && m_rig->connected(); }

    // The rig's own keyer while "Rig (CAT)" is the chosen output (DITA.conf rig.catKeying),
    // else null; any thread. setCatKeying chooses it or not and saves the choice.
    Keyer* catKeyer() const { return m_catKeying.load() ? m_catKeyer.get() : nullptr; }
    bool catKeying() const { return m_catKeying.load(); }
    void setCatKeying(bool on);

private:
    // byOperator: a failure is answered with a message box, else told as a notice.
    void startListener(bool byOperator);
    void tell(bool byOperator, const std::string& text, const char* caption);
    void stopListener();
    void attachCatPtt();

    StationHooks m_hooks;
    KeyingPort& m_port;
    SettingsFile m_file;
    StationSettings m_settings;
    CallQueue* m_calls;
    // "Xmit Enable is OFF" has been told for the current stretch of refused text.
    std::atomic<bool> m_toldTransmitOff{false};
    std::unique_ptr<RigControl> m_rig;
    std::unique_ptr<CatKeyer> m_catKeyer; // keys through m_rig
    std::atomic<bool> m_catKeying{false};
    double m_rigHz = 0.0; // the rig's last report; 0: none yet
    std::unique_ptr<CwKeyingQueue> m_queue;
    std::unique_ptr<CwDaemonListener> m_listener;
};

} // namespace dita
