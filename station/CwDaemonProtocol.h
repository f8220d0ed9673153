#pragma once
// The cwdaemon network protocol that contest loggers (tlf, cqrlog, ...) use to have CW keyed:
// one UDP datagram is either plain text to key, or an escape request, ESC (27) followed by a
// command character and, for most commands, a decimal value.
//
// Who calls it: CwDaemonListener's thread parses each datagram it receives. No Qt.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dita {

constexpr uint16_t kCwDaemonDefaultPort = 6789;
// Loggers send a call, an exchange or a macro: more than this in one datagram is not a
// message any logger sends, and is dropped whole.
constexpr std::size_t kCwDaemonMaxDatagramBytes = 256;
constexpr char kCwDaemonEscape = 27;
constexpr int32_t kCwDaemonMinToneHz = 100; // tone requests: 0 (tone off) or this range
constexpr int32_t kCwDaemonMaxToneHz = 2500;

enum class CwDaemonCommand {
    Text,     // plain text to key (Latin-1)
    Reset,    // ESC 0
    Speed,    // ESC 2 <wpm>
    Tone,     // ESC 3 <Hz>, 0 = tone off
    Abort,    // ESC 4: stop keying and drop what is queued
    Exit,     // ESC 5: the daemon would exit; DITA keeps running
    WordMode, // ESC 6
    PttOnOff, // ESC a <0|1>
    // Requests for a stand-alone daemon's own hardware and sound setup; DITA's own setup
    // decides these, so they are accepted and have no effect.
    Ignored, // ESC 7 weighting, 8 device, 9 port, b SSB way, c tune, d PTT delay,
             // e band switch, f sound system, g volume, h reply text
};

struct CwDaemonRequest {
    CwDaemonCommand command = CwDaemonCommand::Text;
    int32_t value = 0; // Speed, Tone, PttOnOff
    std::string text;  // Text
    char escape = 0;   // the command character of an escape request
};

struct CwDaemonParse {
    bool ok = false;
    CwDaemonRequest request;
    std::string error; // why the datagram was dropped, when !ok
};

// Parses one datagram. Text keeps printable ASCII and Latin-1 letters; trailing CR/LF (some
// loggers end their messages with one) are removed. A datagram with any other control byte,
// an unknown escape, a missing or malformed value, a value out of range or more than
// kCwDaemonMaxDatagramBytes bytes is refused with the reason.
CwDaemonParse parseCwDaemonDatagram(std::string_view datagram);

} // namespace dita
