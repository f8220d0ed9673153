#pragma once
// How the transmit code reports to the operator. The window passes a function that shows a
// modal box (text, caption, OK); tests and command-line tools pass a recorder or a printer.
// Called on whichever thread hit the condition; the window's implementation must forward to
// the window thread.
#include <functional>
#include <string>

namespace dita {

using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;

inline constexpr const char* kCommIoErrorCaption = "Communications I/O Error";
inline constexpr const char* kWaveDeviceCaption = "Wave Device Message";
inline constexpr const char* kErrorMessageCaption = "Error Message";
inline constexpr const char* kTransmitSpeedNoteCaption = "Transmit Speed Note";

} // namespace dita
