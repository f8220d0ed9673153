#pragma once
// Stand-ins for the window and the keyers in transmit control tests: a view whose queued calls
// run when the test thread pumps them (the test thread plays the window thread), and a keyer
// that records what it was given and takes a set time per character.
#include "transmit/Keyer.h"
#include "transmit/control/TransmitController.h"

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dita::test {

class RecordingKeyer : public Keyer {
public:
    explicit RecordingKeyer(std::chrono::milliseconds perCharacter = std::chrono::milliseconds(2))
        : m_perCharacter(perCharacter) {}

    bool sendText(std::string_view text, const std::atomic<bool>& stopRequest) override {
        {
            std::lock_guard lock(m_mutex);
            ++m_textsStarted;
        }
        std::string sent;
        for (char c : text) {
            if (stopRequest.load()) {
                finishText(sent, true);
                return false;
            }
            std::this_thread::sleep_for(m_perCharacter);
            sent.push_back(c);
            std::lock_guard lock(m_mutex);
            ++m_characters;
        }
        finishText(sent, false);
        return true;
    }
    // Another program's steps, recorded as their codes with one space between characters.
    bool keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stopRequest,
                  PttHang) override {
        std::string codes;
        for (const auto& step : steps) {
            if (stopRequest.load()) {
                finishText(codes, true);
                return false;
            }
            std::this_thread::sleep_for(m_perCharacter);
            codes += (codes.empty() ? "" : " ") + step.elements;
        }
        finishText(codes, false);
        return true;
    }
    bool sendTypedCode(int32_t code) override {
        std::this_thread::sleep_for(m_perCharacter);
        std::lock_guard lock(m_mutex);
        m_codes.push_back(code);
        m_events.push_back("code " + std::to_string(code));
        return true;
    }

    std::vector<std::string> texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    std::vector<int32_t> codes() const {
        std::lock_guard lock(m_mutex);
        return m_codes;
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    int characters() const {
        std::lock_guard lock(m_mutex);
        return m_characters;
    }
    int textsStarted() const {
        std::lock_guard lock(m_mutex);
        return m_textsStarted;
    }
    int stoppedTexts() const {
        std::lock_guard lock(m_mutex);
        return m_stopped;
    }

private:
    void finishText(const std::string& sent, bool stopped) {
        std::lock_guard lock(m_mutex);
        m_texts.push_back(sent);
        m_events.push_back("text " + sent);
        if (stopped) ++m_stopped;
    }
    std::chrono::milliseconds m_perCharacter;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    std::vector<int32_t> m_codes;
    std::vector<std::string> m_events;
    int m_characters = 0;
    int m_textsStarted = 0;
    int m_stopped = 0;
};

// The window as transmit control sees it. Posted calls wait in a queue until pump().
class FakeTransmitView : public TransmitView {
public:
    void post(std::function<void()> call) override {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(call));
    }
    // Runs the queued calls on the calling thread; returns how many ran.
    int pump() {
        int ran = 0;
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(m_mutex);
                if (m_queue.empty()) return ran;
                call = std::move(m_queue.front());
                m_queue.pop_front();
            }
            call();
            ++ran;
        }
    }
    // Pumps until pred holds or the time runs out; returns pred().
    bool pumpUntil(const std::function<bool()>& pred,
                   std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end) return false;
            pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    void pumpFor(std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::string transmitText() const override { return transmit; }
    void setTransmitText(const std::string& utf8) override { transmit = utf8; }
    void appendTransmitText(const std::string& utf8) override { transmit += utf8; }
    void clearTransmitText() override {
        transmit.clear();
        ++clears;
    }
    void setTransmitReadOnly(bool on) override { readOnly = on; }
    void transmitCaretToEnd() override { ++caretMoves; }
    void focusTransmitMemo() override { ++focuses; }
    void appendReceiveText(const std::string& utf8) override { receive += utf8; }
    void setSpeedControlEnabled(SpeedControl control, bool on) override {
        (control == SpeedControl::ScreenSpin ? speedEnabled : typingSpeedEnabled) = on;
    }
    void clearMessageButtonMarks() override { ++markClears; }
    void showKeyingProblem(const std::string& text) override { keyingProblems.push_back(text); }
    void pressMessageButton(int n) override {
        pressed.push_back(n);
        if (onPress) onPress(n);
    }
    void selectDisplay(bool waterfall) override { displays.push_back(waterfall); }
    void showLeds(bool rcv, bool xmit) override {
        rcvLed = rcv;
        xmitLed = xmit;
    }
    void showMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(text + " | " + caption);
    }
    void transmitStateChanged() override { ++stateChanges; }

    std::string transmit;
    std::string receive;
    bool readOnly = false;
    bool speedEnabled = true;       // XmitSpdUpDn2
    bool typingSpeedEnabled = true; // XmitSpdUpDn
    bool rcvLed = true;
    bool xmitLed = false;
    int clears = 0;
    int caretMoves = 0;
    int focuses = 0;
    int markClears = 0;
    int stateChanges = 0;
    std::vector<int> pressed;
    std::vector<bool> displays;
    std::vector<std::string> messages;
    std::vector<std::string> keyingProblems; // each told text, "" when keying works again
    std::function<void(int)> onPress;

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
};

} // namespace dita::test
