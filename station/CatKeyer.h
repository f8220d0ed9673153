#pragma once
// The rig's own keyer as a keying output: text goes to the rig by CAT command (hamlib's
// send_morse) at the transmit speed, which the rig keyer is set to first. The rig keys from
// its own buffer; sendText hands the text over and then waits about as long as the rig takes
// to key it (PARIS: 10 units a character), so an abort of the send thread reaches the rig.
//
// Who calls it: the send threads, one at a time. No Qt.
#include "station/RigControl.h"
#include "transmit/Keyer.h"

#include <functional>
#include <string>

namespace dita {

class CatKeyer : public Keyer {
public:
    // wpm: the transmit speed now. notice: a message for the operator, given once per run of
    // refused text while no rig is connected (nothing is keyed silently).
    CatKeyer(RigControl& rig, std::function<int32_t()> wpm,
             std::function<void(const std::string&)> notice);
    bool sendText(std::string_view text, const std::atomic<bool>& stopRequest) override;
    bool sendTypedCode(int32_t code) override;
    // A logger's steps are timed by the listener, which the rig's keyer cannot follow: nothing
    // is keyed, and the operator is told once.
    bool keySteps(const std::vector<KeyingStep>& steps, const std::atomic<bool>& stop,
                  PttHang hang) override;

private:
    bool handOver(const std::string& text);

    RigControl& m_rig;
    std::function<int32_t()> m_wpm;
    std::function<void(const std::string&)> m_notice;
    std::atomic<bool> m_refusalTold{false};
    std::atomic<bool> m_stepsTold{false};
};

} // namespace dita
