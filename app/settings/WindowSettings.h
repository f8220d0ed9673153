#pragma once
// The stored values of the window and the station that are not operating options: the signal
// bar's reading, the macro texts, the window placements, the gain bar, the contact counter, the
// station texts and the band. One instance is owned by the main window beside its
// OperatingSettings; the configuration files read and write it, never a control. The controls
// and dialogs that show a value report each change to it, and a configuration load writes it
// first and then tells them (ConfigWindow's ...Changed() calls). Window thread only.
#include <array>
#include <cstdint>
#include <string>

#include "macros/MacroExpansion.h"

namespace dita {

struct WindowSettings {
    double SignalBar = 0.0; // the signal bar's reading, as it shows now
    MacroSources Macros{};  // M1..M15, 8-bit
    // The timeline window: top, left, height, width (the window's while it is shown).
    std::array<int32_t, 4> Timeline{};
    int32_t MainTop = 0;
    int32_t MainLeft = 0;
    int32_t CoarseGainBar = 0; // the lower gain bar's position
    int32_t ContactCounter = 1;
    // The station texts of the macro editor (MyName, MyQTH, QTH) and the station panel (MyCall),
    // 8-bit.
    std::string MyName;
    std::string MyQth;
    std::string MyCall;
    std::string Qth;
    int32_t Band = 1; // 1..11
};

} // namespace dita
