#pragma once
// The main window on the offscreen platform with fake devices, a recording pass processor and
// a recording message service; the window tests share it.
#include <QApplication>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/DecoderForm.h"
#include "app/tests/LoopFakes.h"
#include "transmit/control/TransmitPanel.h"

namespace dita::test {

using namespace std::chrono_literals;

inline void ensureApp() {
    static int argc = 1;
    static char name[] = "dita_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

template <typename Pred> bool pumpUntil(Pred pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A control of the window found by the name it carries on the form, as the operator sees it;
// a name that is not there once (or not a control of that kind) ends the test loudly.
template <typename T = QWidget> T& control(const QObject& window, const char* name) {
    const auto found = window.findChildren<T*>(QString::fromLatin1(name));
    if (found.size() != 1)
        throw std::logic_error("the window has " + std::to_string(found.size()) +
                               " controls named " + name + " of the kind asked for, not one");
    return *found.front();
}

// The one part of this kind in the window: the spectrum panel, the transmit panel, the station
// panel, a setup window.
template <typename T> T& part(const QObject& window) {
    const auto all = window.findChildren<T*>();
    if (all.size() != 1)
        throw std::logic_error("the window holds " + std::to_string(all.size()) +
                               " parts of the kind asked for, not one");
    return *all.front();
}

// What the rig's keying parts key through: a tone device (none: no tone keyer) and the
// keying port's modem lines (empty: the real serial device).
struct KeyingSetup {
    ToneDevice* toneDevice = nullptr;
    KeyingPort::Opener opener;
};

// The tune carrier on or off through the window's transmit control, which pauses the receive
// loop while it keys, as any transmission does.
inline void holdCarrier(TDecoderForm& f, bool on) {
    TransmitController& c = part<TransmitPanel>(f).controller();
    if (c.state().XmitEnableState != kStateOn) c.XmitButtonClick();
    if (c.tuning() != on) c.TuneBtnClick();
}

// The Transmit button's run: typed characters are being sent as far as the window is concerned.
inline void startTransmitRun(TDecoderForm& f) {
    TransmitController& c = part<TransmitPanel>(f).controller();
    if (c.state().XmitEnableState != kStateOn) c.XmitButtonClick();
    if (c.phase() != TransmitPhase::Transmitting) c.XmitBtnClick();
}

struct FormRig {
    // adjust: changes to the services before the window is made.
    explicit FormRig(int devices = 1, bool start = true,
                     const std::function<void(DecoderFormServices&)>& adjust = {},
                     KeyingSetup keyingSetup = {})
        : catalog(devices), keying(keyingSetup.toneDevice, std::move(keyingSetup.opener)) {
        ensureApp();
        DecoderFormServices s;
        s.keying = &keying;
        s.catalog = &catalog;
        s.processor = &processor;
        s.messages = &messages;
        s.openUrl = [this](const QUrl& url) {
            opened.push_back(url);
            return openResult;
        };
        s.loadConfiguration = [this] {
            ++loads;
            firstStartDuringLoad = form->FirstStart();
        };
        s.saveConfiguration = [this] { ++saves; };
        s.terminate = [this] { ++terminates; };
        s.systemTimerMs = 10;
        s.loopTimings = LoopTimings{20ms, 5ms};
        s.startSystemTimer = start;
        if (adjust) adjust(s);
        form = std::make_unique<TDecoderForm>(s);
    }
    ~FormRig() { form.reset(); }

    std::vector<std::string> captions() const {
        std::vector<std::string> c;
        for (const auto& m : messages.messages)
            c.push_back(m.caption);
        return c;
    }
    bool hasMessage(const std::string& text, const std::string& caption) const {
        for (const auto& m : messages.messages)
            if (m.text == text && m.caption == caption) return true;
        return false;
    }

    FakeCatalog catalog;
    KeyingParts keying;
    RecordingProcessor processor;
    RecordingMessageService messages;
    std::vector<QUrl> opened;
    bool openResult = true;
    int loads = 0;
    int saves = 0;
    int terminates = 0;
    bool firstStartDuringLoad = false;
    std::unique_ptr<TDecoderForm> form;
};

} // namespace dita::test
