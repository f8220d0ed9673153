#include "macros/MacroExpansion.h"

#include "common/KeyCodes.h"
#include "common/Latin1.h"

namespace dita {

namespace {

constexpr int kFunctionKeyMacros = 10; // F1..F10 send M1..M10
constexpr int kFirstCtrlDigit = kVkDigit1;
constexpr int kLastCtrlDigit = kVkDigit5; // Ctrl+1..Ctrl+5 send M11..M15
// Macros 13..15 have three-digit button names: their two-digit names belong to IMM and SCN.
constexpr int kFirstLongButtonName = 13;
constexpr int kLongButtonNameFactor = 10;

} // namespace

const std::string* tokenField(char token, const MacroFields& f) {
    switch (token) {
    case 'a':
        return &f.CallMemo;
    case 'b':
        return &f.MyCallMemo;
    case 'c':
        return &f.NameMemo;
    case 'd':
        return &f.MyNameMemo;
    case 'e':
        return &f.RSTMemo;
    case 'f':
        return &f.MyRSTMemo;
    case 'g':
        return &f.QTHMemo;
    case 'h':
        return &f.MyQTHMemo;
    case 'i':
        return &f.XmitCntrMemo;
    case 'j':
        return &f.GMTMemo;
    case 'k':
        return &f.LocalTimeMemo;
    default:
        return nullptr;
    }
}

const std::array<const char*, 12>& macroKeyLegend() {
    static const std::array<const char*, 12> legend = {
        "%a  = Call",     "%b  = MyCall",    "%c  = Name",        "%d  = MyName",
        "%e  = RST",      "%f  = MyRST",     "%g  =  MyInfo",     "%h  =  MyQTH",
        "%i  =  Counter", "%j  =  UTC Time", "%k  =  Local Time", "%1 =  Beacon"};
    return legend;
}

std::string ExpandMacro(std::string_view source, const MacroFields& fields) {
    std::string out;
    out.reserve(source.size());
    const std::size_t end = source.size() < kMacroBufferBytes ? source.size() : kMacroBufferBytes;
    std::size_t pos = 0;
    while (pos < end && out.size() < kMacroMaxChars) {
        const char c = source[pos];
        if (c == '\0') break;
        if (c != kTokenMark || pos + 1 >= end) {
            out.push_back(c);
            ++pos;
            continue;
        }
        const char token = source[pos + 1];
        std::string inserted;
        if (token == kBeaconToken) {
            inserted.assign(1, kBeaconCarrierChar);
        } else if (const std::string* field = tokenField(token, fields)) {
            inserted = utf8ToLatin1(*field);
        } else {
            // Not a token: the operator meant the characters themselves.
            out.push_back(c);
            out.push_back(token);
            pos += 2;
            continue;
        }
        out += inserted;
        pos += 2;
        if (inserted.empty() && pos < end && source[pos] == ' ') ++pos;
    }
    if (out.size() > kMacroMaxChars) out.resize(kMacroMaxChars);
    return out;
}

std::string macroShortcut(int n) {
    if (n >= 1 && n <= kFunctionKeyMacros) return "F" + std::to_string(n);
    if (n > kFunctionKeyMacros && n <= kMacroCount)
        return "Ctrl+" + std::to_string(n - kFunctionKeyMacros);
    return {};
}

std::string messageButtonName(int n) {
    if (n < 1 || n > kMacroCount) return {};
    const int suffix = n >= kFirstLongButtonName ? n * kLongButtonNameFactor : n;
    return "MsgButton" + std::to_string(suffix);
}

std::string messageButtonCaption(int n) {
    if (n < 1 || n > kMacroCount) return {};
    return "M" + std::to_string(n);
}

int macroForKey(int virtualKey, bool ctrlHeld) {
    if (virtualKey >= kVkF1 && virtualKey <= kVkF10) return 1 + (virtualKey - kVkF1);
    if (ctrlHeld && virtualKey >= kFirstCtrlDigit && virtualKey <= kLastCtrlDigit)
        return kFunctionKeyMacros + 1 + (virtualKey - kFirstCtrlDigit);
    return 0;
}

bool macroSourceFromText(std::string_view utf8, std::string& out) {
    std::string text = utf8ToLatin1(utf8);
    if (text.size() > kMacroMaxChars) return false;
    out = std::move(text);
    return true;
}

std::string buildMacroListing(const MacroSources& sources) {
    std::string listing;
    for (int n = 1; n <= kMacroCount; ++n) {
        listing += messageButtonCaption(n);
        listing += " = ";
        // A source is zero-terminated in its buffer; anything after a zero byte is not shown.
        const std::string& s = sources[static_cast<std::size_t>(n)];
        listing.append(s.c_str());
        listing += '\n';
    }
    return listing;
}

} // namespace dita
