#pragma once
// The main window on the offscreen platform with fake devices, a recording pass processor and
// a recording message service; the window tests share it.
#include <QApplication>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
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

// The tune carrier on or off through the window's transmit control, which pauses the receive
// loop while it keys, as any transmission does.
inline void holdCarrier(TDecoderForm& f, bool on) {
    TransmitController& c = f.transmitPanel().controller();
    if (c.state().XmitEnableState != kStateOn) c.XmitButtonClick();
    if (c.tuning() != on) c.TuneBtnClick();
}

// The Transmit button's run: typed characters are being sent as far as the window is concerned.
inline void startTransmitRun(TDecoderForm& f) {
    TransmitController& c = f.transmitPanel().controller();
    if (c.state().XmitEnableState != kStateOn) c.XmitButtonClick();
    if (c.phase() != TransmitPhase::Transmitting) c.XmitBtnClick();
}

struct FormRig {
    // adjust: changes to the services before the window is made.
    explicit FormRig(int devices = 1, bool start = true,
                     const std::function<void(DecoderFormServices&)>& adjust = {})
        : catalog(devices) {
        ensureApp();
        DecoderFormServices s;
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
        if (adjust) adjust(s);
        form = std::make_unique<TDecoderForm>(s);
        if (!start) form->SystemTimer->stop();
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
