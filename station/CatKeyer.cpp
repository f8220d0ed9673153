#include "station/CatKeyer.h"

#include "transmit/MorseCode.h"

#include <algorithm>
#include <thread>

namespace dita {

namespace {

constexpr int32_t kUnitsPerCharacter = 10; // PARIS: 50 units for five characters and a gap
constexpr int32_t kMinRigWpm = 5;
constexpr int32_t kMaxRigWpm = 60;
constexpr auto kStopPoll = std::chrono::milliseconds(10);

} // namespace

CatKeyer::CatKeyer(RigControl& rig, std::function<int32_t()> wpm,
                   std::function<void(const std::string&)> notice)
    : m_rig(rig), m_wpm(std::move(wpm)), m_notice(std::move(notice)) {}

bool CatKeyer::handOver(const std::string& text) {
    if (text.empty()) return true;
    const int32_t wpm = std::clamp(m_wpm ? m_wpm() : 20, kMinRigWpm, kMaxRigWpm);
    if (m_rig.sendMorse(text, wpm)) {
        m_refusalTold = false;
        return true;
    }
    if (!m_refusalTold.exchange(true) && m_notice)
        m_notice("Nothing is keyed: the output device is the rig's keyer (CAT) and rig control "
                 "is not connected. Set up Rig Control, or choose another output device.");
    return false;
}

bool CatKeyer::sendText(std::string_view text, const std::atomic<bool>& stopRequest) {
    // The rig keys a line break as a word space.
    std::string folded(text);
    std::replace_if(
        folded.begin(), folded.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    if (stopRequest.load()) return false;
    if (!handOver(folded)) return false;
    const int32_t wpm = std::clamp(m_wpm ? m_wpm() : 20, kMinRigWpm, kMaxRigWpm);
    const auto keying = std::chrono::milliseconds(static_cast<int64_t>(folded.size()) *
                                                  kUnitsPerCharacter * 1200 / wpm);
    const auto end = std::chrono::steady_clock::now() + keying;
    while (std::chrono::steady_clock::now() < end) {
        if (stopRequest.load()) {
            m_rig.stopMorse();
            return false;
        }
        std::this_thread::sleep_for(kStopPoll);
    }
    return true;
}

bool CatKeyer::keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                        PttHang hang) {
    (void)steps;
    (void)stop;
    (void)hang;
    if (!m_stepsTold.exchange(true) && m_notice)
        m_notice("Nothing is keyed for the keying listener: the rig's keyer (CAT) keys only the "
                 "window's own text. Choose Transmit > Output Device > Serial Port or Sound Card "
                 "for loggers.");
    return false;
}

bool CatKeyer::sendTypedCode(int32_t code) {
    // The character whose screen text keys this code.
    const auto& map = TextCodeMap();
    for (int byte = ' '; byte < 127; ++byte) {
        if (map[static_cast<size_t>(byte)] == code)
            return handOver(std::string(1, static_cast<char>(byte)));
    }
    return false;
}

} // namespace dita
