#pragma once
// The captions of the transmit code's messages; they go out through a MessageSink.
#include "common/MessageSink.h"

namespace dita {

inline constexpr const char* kCommIoErrorCaption = "Communications I/O Error";
inline constexpr const char* kTransmitSpeedNoteCaption = "Transmit Speed Note";

} // namespace dita
