#include "station/CwDaemonProtocol.h"

#include "transmit/SendTiming.h"

#include <charconv>

namespace dita {

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr unsigned char kFirstLatin1Letter = 0xA0;

CwDaemonParse refuse(std::string why) {
    CwDaemonParse p;
    p.error = std::move(why);
    return p;
}

CwDaemonParse accept(CwDaemonCommand command, char escape, int32_t value = 0) {
    CwDaemonParse p;
    p.ok = true;
    p.request.command = command;
    p.request.escape = escape;
    p.request.value = value;
    return p;
}

bool printable(unsigned char c) {
    return (c >= kFirstPrintable && c < kDelete) || c >= kFirstLatin1Letter;
}

// The decimal value after an escape command: digits only (a leading '-' for the signed
// requests), nothing after it except a line end.
bool parseValue(std::string_view s, int32_t& value) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size();
}

CwDaemonParse ranged(CwDaemonCommand command, char escape, std::string_view arg, int32_t min,
                     int32_t max, const char* what) {
    int32_t v = 0;
    if (!parseValue(arg, v)) {
        return refuse(std::string(what) + " request without a number: '" + std::string(arg) + "'");
    }
    if (v < min || v > max) {
        return refuse(std::string(what) + " " + std::to_string(v) + " is outside " +
                      std::to_string(min) + ".." + std::to_string(max));
    }
    return accept(command, escape, v);
}

} // namespace

CwDaemonParse parseCwDaemonDatagram(std::string_view datagram) {
    if (datagram.size() > kCwDaemonMaxDatagramBytes) {
        return refuse("datagram of " + std::to_string(datagram.size()) + " bytes is longer than " +
                      std::to_string(kCwDaemonMaxDatagramBytes));
    }
    if (datagram.empty()) return refuse("empty datagram");

    if (datagram.front() != kCwDaemonEscape) {
        while (!datagram.empty() && (datagram.back() == '\r' || datagram.back() == '\n')) {
            datagram.remove_suffix(1);
        }
        if (datagram.empty()) return refuse("empty text");
        for (unsigned char c : datagram) {
            if (!printable(c)) {
                return refuse("text holds the control byte " + std::to_string(c));
            }
        }
        CwDaemonParse p = accept(CwDaemonCommand::Text, 0);
        p.request.text = std::string(datagram);
        return p;
    }

    if (datagram.size() < 2) return refuse("escape without a command");
    const char escape = datagram[1];
    const std::string_view arg = datagram.substr(2);
    switch (escape) {
    case '0':
        return accept(CwDaemonCommand::Reset, escape);
    case '2':
        return ranged(CwDaemonCommand::Speed, escape, arg, kMinXmitWpm, kMaxXmitWpm, "speed");
    case '3': {
        CwDaemonParse p = ranged(CwDaemonCommand::Tone, escape, arg, 0, kCwDaemonMaxToneHz, "tone");
        if (p.ok && p.request.value != 0 && p.request.value < kCwDaemonMinToneHz) {
            return refuse("tone " + std::to_string(p.request.value) + " is neither 0 nor inside " +
                          std::to_string(kCwDaemonMinToneHz) + ".." +
                          std::to_string(kCwDaemonMaxToneHz));
        }
        return p;
    }
    case '4':
        return accept(CwDaemonCommand::Abort, escape);
    case '5':
        return accept(CwDaemonCommand::Exit, escape);
    case '6':
        return accept(CwDaemonCommand::WordMode, escape);
    case 'a':
        return ranged(CwDaemonCommand::PttOnOff, escape, arg, 0, 1, "PTT");
    case '7':
    case '8':
    case '9':
    case 'b':
    case 'c':
    case 'd':
    case 'e':
    case 'f':
    case 'g':
    case 'h':
        return accept(CwDaemonCommand::Ignored, escape);
    default:
        return refuse(std::string("unknown escape request '") + escape + "'");
    }
}

} // namespace dita
