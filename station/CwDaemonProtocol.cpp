#include "station/CwDaemonProtocol.h"

#include "transmit/SendTiming.h"

#include <algorithm>
#include <array>
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
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
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

struct CodeEntry {
    char character;
    const char* elements;
};

// Punctuation and prosigns as cwdaemon keys them (recorded from cwdaemon 0.10.2 on the modem
// lines); letters and digits are the ITU codes.
constexpr CodeEntry kCwDaemonCodes[] = {
    {'!', "...-."},   {'"', ".-..-."}, {'$', "...-..-"}, {'&', ".-..."},  {'\'', ".----."},
    {'(', "-.--."},   {')', "-.--.-"}, {'*', ".-.-."},   {',', "--..--"}, {'.', ".-.-.-"},
    {'/', "-..-."},   {':', "---..."}, {';', "-.-.-."},  {'<', "...-.-"}, {'=', "-...-"},
    {'>', "-...-.-"}, {'?', "..--.."}, {'@', ".--.-."},  {'_', "..--.-"},
};

constexpr const char* kLetterCodes[26] = {
    ".-",   "-...", "-.-.", "-..",  ".",   "..-.", "--.",  "....", "..",
    ".---", "-.-",  ".-..", "--",   "-.",  "---",  ".--.", "--.-", ".-.",
    "...",  "-",    "..-",  "...-", ".--", "-..-", "-.--", "--..",
};

constexpr const char* kDigitCodes[10] = {"-----", ".----", "..---", "...--", "....-",
                                         ".....", "-....", "--...", "---..", "----."};

constexpr int64_t kMicrosecondsPerParisMinute = 1'200'000; // dot length times wpm
constexpr int32_t kUnitsAfterCharacter = 3;                // the element gap included
constexpr int32_t kUnitsPerSpace = 7;
constexpr int32_t kUnitsPerHalfSpace = 2;

} // namespace

std::string_view cwDaemonCode(unsigned char c) {
    if (c >= 'a' && c <= 'z') return kLetterCodes[c - 'a'];
    if (c >= 'A' && c <= 'Z') return kLetterCodes[c - 'A'];
    if (c >= '0' && c <= '9') return kDigitCodes[c - '0'];
    for (const CodeEntry& e : kCwDaemonCodes) {
        if (static_cast<unsigned char>(e.character) == c) return e.elements;
    }
    return {};
}

std::vector<KeyingStep> cwDaemonSteps(std::string_view text, int32_t& wpm) {
    std::vector<KeyingStep> steps;
    auto unit = [&] {
        return std::chrono::microseconds(kMicrosecondsPerParisMinute /
                                         std::clamp(wpm, kCwDaemonMinWpm, kCwDaemonMaxWpm));
    };
    auto pause = [&](int32_t units) {
        if (steps.empty()) steps.push_back({});
        steps.back().gapAfter += units * unit();
    };
    for (unsigned char c : text) {
        switch (c) {
        case '+':
        case '-': {
            const int32_t step = c == '+' ? kCwDaemonSpeedStepWpm : -kCwDaemonSpeedStepWpm;
            wpm = std::clamp(wpm + step, kCwDaemonMinWpm, kCwDaemonMaxWpm);
            continue;
        }
        case ' ':
            pause(kUnitsPerSpace);
            continue;
        case '~':
            pause(kUnitsPerHalfSpace);
            continue;
        default:
            break;
        }
        const std::string_view code = cwDaemonCode(c);
        if (code.empty()) continue;
        // The element gap after the last element is keyed with it; the rest follows.
        steps.push_back({std::string(code), unit(), {}, (kUnitsAfterCharacter - 1) * unit()});
    }
    return steps;
}

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
        return ranged(CwDaemonCommand::Speed, escape, arg, kCwDaemonMinWpm, kCwDaemonMaxWpm,
                      "speed");
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
    case 'c':
        return ranged(CwDaemonCommand::Tune, escape, arg, 0, kCwDaemonMaxTuneSeconds, "tune");
    case 'h': {
        std::string_view text = arg;
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
            text.remove_suffix(1);
        for (unsigned char c : text) {
            if (!printable(c))
                return refuse("reply text holds the control byte " + std::to_string(c));
        }
        CwDaemonParse p = accept(CwDaemonCommand::Reply, escape);
        p.request.text = std::string(text);
        return p;
    }
    case '7':
    case '8':
    case '9':
    case 'b':
    case 'd':
    case 'e':
    case 'f':
    case 'g':
        return accept(CwDaemonCommand::Ignored, escape);
    default:
        return refuse(std::string("unknown escape request '") + escape + "'");
    }
}

} // namespace dita
