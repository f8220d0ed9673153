#pragma once
// The cwdaemon network protocol that contest loggers (tlf, cqrlog, ...) use to have CW keyed:
// one UDP datagram is either plain text to key, or an escape request, ESC (27) followed by a
// command character and, for most commands, a decimal value.
//
// Who calls it: CwDaemonListener's thread parses each datagram it receives. No Qt.
#include "transmit/Keyer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dita {

constexpr uint16_t kCwDaemonDefaultPort = 6789;
// Loggers send a call, an exchange or a macro: more than this in one datagram is not a
// message any logger sends, and is dropped whole.
constexpr std::size_t kCwDaemonMaxDatagramBytes = 256;
constexpr char kCwDaemonEscape = 27;
constexpr int32_t kCwDaemonMinToneHz = 100; // tone requests: 0 (tone off) or this range
constexpr int32_t kCwDaemonMaxToneHz = 2500;
// Speeds a client may ask for, and the speed of a reset, as cwdaemon has them.
constexpr int32_t kCwDaemonMinWpm = 4;
constexpr int32_t kCwDaemonMaxWpm = 60;
constexpr int32_t kCwDaemonResetWpm = 24;
// In-message '+' and '-' change the speed by this much each.
constexpr int32_t kCwDaemonSpeedStepWpm = 2;
constexpr int32_t kCwDaemonMaxTuneSeconds = 10;
// Where a datagram came from, so that a reply can go back to it (IPv4, network byte order).
struct CwDaemonPeer {
    uint32_t address = 0;
    uint16_t port = 0;
};

enum class CwDaemonCommand {
    Text,     // plain text to key (Latin-1)
    Reset,    // ESC 0
    Speed,    // ESC 2 <wpm>
    Tone,     // ESC 3 <Hz>, 0 = tone off
    Abort,    // ESC 4: stop keying and drop what is queued
    Exit,     // ESC 5: the daemon would exit; DITA keeps running
    WordMode, // ESC 6
    PttOnOff, // ESC a <0|1>
    Tune,     // ESC c <seconds>: key a carrier
    Reply,    // ESC h <text>: reply "h<text>" once the next text has been keyed
    // Requests for a stand-alone daemon's own hardware and sound setup; DITA's own setup
    // decides these, so they are accepted and have no effect.
    Ignored, // ESC 7 weighting, 8 device, 9 port, b SSB way, d PTT delay,
             // e band switch, f sound system, g volume
};

struct CwDaemonRequest {
    CwDaemonCommand command = CwDaemonCommand::Text;
    int32_t value = 0; // Speed, Tone, PttOnOff, Tune
    std::string text;  // Text, Reply
    char escape = 0;   // the command character of an escape request
    CwDaemonPeer from; // set by the listener
};

struct CwDaemonParse {
    bool ok = false;
    CwDaemonRequest request;
    std::string error; // why the datagram was dropped, when !ok
};

// Parses one datagram. Text keeps printable ASCII and Latin-1 letters; trailing CR/LF (some
// loggers end their messages with one) are removed. A datagram with any other control byte,
// an unknown escape, a missing or malformed value, a value out of range or more than
// kCwDaemonMaxDatagramBytes bytes is refused with the reason. Values may have leading spaces
// (tlf sends "ESC 2" then " 26").
CwDaemonParse parseCwDaemonDatagram(std::string_view datagram);

// What cwdaemon keys for one character of a message: its elements ('.' and '-'), or nothing
// (characters it has no code for, and the in-message controls + - ~ ^). The prosigns are
// * AR, = BT, < SK, ( KN, ! SN, & AS, > BK, as cwdaemon keys them.
std::string_view cwDaemonCode(unsigned char c);

// The keying steps of message text in cwdaemon's timing: a dot of 1,200/wpm ms (PARIS), three
// units after each character, seven more for each space, two more for each '~'. Each '+' or
// '-' changes wpm by kCwDaemonSpeedStepWpm within kCwDaemonMinWpm..kCwDaemonMaxWpm from there
// on; the change outlasts the message, as in cwdaemon.
std::vector<KeyingStep> cwDaemonSteps(std::string_view text, int32_t& wpm);

} // namespace dita
