#pragma once
// How every subsystem reports to the operator: a function that shows a text with a caption
// (the window passes one that shows a modal box, OK button; tests and command-line tools pass
// a recorder or a printer). Called on whichever thread hit the condition; the window's
// implementation forwards to the window thread.
#include <functional>
#include <string>

namespace dita {

using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;

// Captions that several subsystems share: refusals and errors, and sound device failures
// (input and output alike).
inline constexpr const char* kErrorMessageCaption = "Error Message";
inline constexpr const char* kWaveDeviceCaption = "Wave Device Message";

} // namespace dita
