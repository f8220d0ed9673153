// Macro expansion, the macro key names, stored sources and the message-button click.
#include "macros/MacroExpansion.h"
#include "macros/MessageButtons.h"
#include "transmit/MorseCode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace dita;

namespace {

MacroFields distinctFields() {
    MacroFields f;
    f.CallMemo = "W1AW";
    f.MyCallMemo = "DL1ABC";
    f.NameMemo = "Hiram";
    f.MyNameMemo = "Anna";
    f.RSTMemo = "579";
    f.MyRSTMemo = "599";
    f.QTHMemo = "RIG IC7300";
    f.MyQTHMemo = "Berlin";
    f.XmitCntrMemo = "42";
    f.GMTMemo = "04:03:02";
    f.LocalTimeMemo = "05:03:02 AM";
    return f;
}

} // namespace

TEST(ExpandMacro, CqWithMyCallTwiceKeepsTheWordsAndSingleSpaces) {
    MacroFields f;
    f.MyCallMemo = "DL1ABC";
    EXPECT_EQ(ExpandMacro("CQ CQ DE %b %b K", f), "CQ CQ DE DL1ABC DL1ABC K");
}

TEST(ExpandMacro, EveryTokenInsertsItsOwnField) {
    const MacroFields f = distinctFields();
    EXPECT_EQ(ExpandMacro("%a|%b|%c|%d|%e|%f|%g|%h|%i|%j|%k|%1", f),
              "W1AW|DL1ABC|Hiram|Anna|579|599|RIG IC7300|Berlin|42|04:03:02|05:03:02 AM|`");
}

TEST(ExpandMacro, EmptyFieldDropsTheFollowingSpaceOnly) {
    MacroFields f;
    f.CallMemo = "W1AW";
    // Name empty: no double space where it stood.
    EXPECT_EQ(ExpandMacro("TNX %c FER CALL", f), "TNX FER CALL");
    // At the end of the text there is nothing to drop.
    EXPECT_EQ(ExpandMacro("TNX %c", f), "TNX ");
    // Punctuation and a following token stay: only a space goes with the empty field.
    EXPECT_EQ(ExpandMacro("%c, UR %e?", f), ", UR ?");
    EXPECT_EQ(ExpandMacro("%c%a K", f), "W1AW K");
    // A filled field keeps its space.
    EXPECT_EQ(ExpandMacro("%a DE", f), "W1AW DE");
}

TEST(ExpandMacro, BeaconTokenKeysACarrierThroughTheSendTable) {
    const std::string out = ExpandMacro("VVV %1 DE", MacroFields{});
    EXPECT_EQ(out, "VVV ` DE");
    // The inserted character must be one the keyers turn into a carrier, on both paths.
    const auto b = static_cast<unsigned char>(kBeaconCarrierChar);
    EXPECT_NE(sendRow(serialTextCode(b)).find(kCarrierSymbol), std::string_view::npos);
    EXPECT_NE(sendRow(soundCardTextCode(b)).find(kCarrierSymbol), std::string_view::npos);
}

TEST(ExpandMacro, TextThatIsNoTokenIsCopiedAsTyped) {
    const MacroFields f = distinctFields();
    EXPECT_EQ(ExpandMacro("PWR 50% %z %A END %", f), "PWR 50% %z %A END %");
    EXPECT_EQ(ExpandMacro("%%a", f), "%%a");
}

TEST(ExpandMacro, FieldsAreConvertedToLatin1AndKeepLineBreaks) {
    MacroFields f;
    f.NameMemo = "J\xC3\xBCrgen";              // Jürgen
    f.MyQTHMemo = "K\xC3\xB6ln\n\xE2\x82\xAC"; // Köln, line break, euro sign
    EXPECT_EQ(ExpandMacro("%c %h", f), "J\xFCrgen K\xF6ln\n?");
    // The 8-bit source text itself is not converted again.
    EXPECT_EQ(ExpandMacro("\xE9t\xE9", f), "\xE9t\xE9");
}

TEST(ExpandMacro, OutputFitsTheSendBufferAndStopsAtAZeroByte) {
    MacroFields f;
    f.QTHMemo = std::string(1000, 'Q');
    std::string source;
    for (int i = 0; i < 10; ++i)
        source += "%g ";
    const std::string out = ExpandMacro(source, f);
    ASSERT_EQ(out.size(), kMacroMaxChars);
    EXPECT_EQ(out.substr(0, 1001), std::string(1000, 'Q') + " ");

    const std::string withZero("AB\0CD", 5);
    EXPECT_EQ(ExpandMacro(withZero, f), "AB");
    EXPECT_EQ(ExpandMacro("", f), "");
}

TEST(MacroKeys, ShortcutsButtonNamesAndCommandKeys) {
    EXPECT_EQ(macroShortcut(1), "F1");
    EXPECT_EQ(macroShortcut(10), "F10");
    EXPECT_EQ(macroShortcut(11), "Ctrl+1");
    EXPECT_EQ(macroShortcut(12), "Ctrl+2");
    EXPECT_EQ(macroShortcut(15), "Ctrl+5");
    EXPECT_EQ(macroShortcut(0), "");
    EXPECT_EQ(macroShortcut(16), "");

    EXPECT_EQ(messageButtonName(1), "MsgButton1");
    EXPECT_EQ(messageButtonName(12), "MsgButton12");
    EXPECT_EQ(messageButtonName(13), "MsgButton130");
    EXPECT_EQ(messageButtonName(15), "MsgButton150");
    EXPECT_EQ(messageButtonCaption(14), "M14");

    EXPECT_EQ(macroForKey(112, false), 1);  // F1
    EXPECT_EQ(macroForKey(114, false), 3);  // F3
    EXPECT_EQ(macroForKey(121, false), 10); // F10
    EXPECT_EQ(macroForKey(122, false), 0);  // F11 is no macro key
    EXPECT_EQ(macroForKey('1', true), 11);
    EXPECT_EQ(macroForKey('2', true), 12);
    EXPECT_EQ(macroForKey('5', true), 15);
    EXPECT_EQ(macroForKey('6', true), 0);
    EXPECT_EQ(macroForKey('0', true), 0);
    EXPECT_EQ(macroForKey('2', false), 0); // a plain digit is text, not a command
}

TEST(MacroSources, StoredTextLimitsAndListing) {
    std::string stored = "old";
    EXPECT_TRUE(macroSourceFromText(std::string(kMacroMaxChars, 'x'), stored));
    EXPECT_EQ(stored.size(), kMacroMaxChars);
    stored = "old";
    EXPECT_FALSE(macroSourceFromText(std::string(kMacroMaxChars + 1, 'x'), stored));
    EXPECT_EQ(stored, "old");
    // The limit counts 8-bit characters, not UTF-8 bytes.
    std::string accented;
    for (std::size_t i = 0; i < kMacroMaxChars; ++i)
        accented += "\xC3\xA9";
    ASSERT_TRUE(macroSourceFromText(accented, stored));
    EXPECT_EQ(stored, std::string(kMacroMaxChars, '\xE9'));

    MacroSources sources;
    ASSERT_TRUE(macroSourceFromText("CQ CQ DE %b K", sources[3]));
    const std::string listing = buildMacroListing(sources);
    EXPECT_NE(listing.find("\nM3 = CQ CQ DE %b K\n"), std::string::npos);
    EXPECT_NE(listing.find("\nM5 = \n"), std::string::npos);
    EXPECT_EQ(listing.rfind("M1 = \n", 0), 0u);
    EXPECT_EQ(listing.substr(listing.size() - 7), "M15 = \n");

    // Fifteen full macros are listed whole, far beyond a 1024-byte listing.
    for (int n = 1; n <= kMacroCount; ++n)
        sources[static_cast<size_t>(n)].assign(kMacroMaxChars, 'A' + n);
    const std::string full = buildMacroListing(sources);
    EXPECT_EQ(full.size(), 15 * kMacroMaxChars + 9 * 6 + 6 * 7);
    EXPECT_NE(full.find("M15 = " + std::string(kMacroMaxChars, 'A' + 15) + "\n"),
              std::string::npos);
}

// ------------------------------------------------------------------ message buttons

namespace {

struct Recorder : MacroSender, MacroButtonView {
    bool busy = false;
    bool allowed = true;
    bool twoScreens = false;
    std::vector<std::string> calls;
    std::vector<std::pair<int, std::string>> sends;
    std::vector<std::pair<std::string, std::string>> messages;

    bool sendBusy() const override { return busy; }
    bool macroSendAllowed() const override { return allowed; }
    void send(int n, const std::string& text) override {
        calls.push_back("send " + std::to_string(n));
        sends.emplace_back(n, text);
    }
    void markMessageButton(int n) override { calls.push_back("mark " + std::to_string(n)); }
    bool doubleScreen() const override { return twoScreens; }
    void appendReceiveText(const std::string& t) override { calls.push_back("rcv " + t); }
    void appendTransmitText(const std::string& t) override { calls.push_back("xmit " + t); }
    void focusTransmitMemo() override { calls.push_back("focus"); }
};

struct ButtonsFixture : ::testing::Test {
    MacroSources sources;
    MacroFields fields;
    Recorder rec;
    MessageButtons buttons{
        sources, [this] { return fields; }, rec, rec,
        [this](const std::string& t, const std::string& c) { rec.messages.emplace_back(t, c); }};
};

} // namespace

TEST_F(ButtonsFixture, ClickExpandsShowsAndSendsInOrder) {
    sources[3] = "CQ DE %b K";
    fields.MyCallMemo = "DL1ABC";
    EXPECT_TRUE(buttons.click(3));
    const std::vector<std::string> expected = {"mark 3", "xmit CQ DE DL1ABC K\n", "send 3",
                                               "focus"};
    EXPECT_EQ(rec.calls, expected);
    ASSERT_EQ(rec.sends.size(), 1u);
    EXPECT_EQ(rec.sends[0].second, "CQ DE DL1ABC K");
    EXPECT_TRUE(rec.messages.empty());
}

TEST_F(ButtonsFixture, DoubleScreenEchoesTxIntoTheReceiveWindow) {
    rec.twoScreens = true;
    sources[14] = "TU %c";
    fields.NameMemo = "J\xC3\xBCrgen";
    EXPECT_TRUE(buttons.click(14));
    const std::vector<std::string> expected = {"mark 14", "rcv \nTx>TU J\xC3\xBCrgen\n",
                                               "xmit TU J\xC3\xBCrgen\n", "send 14", "focus"};
    EXPECT_EQ(rec.calls, expected);
    EXPECT_EQ(rec.sends[0].second, "TU J\xFCrgen"); // the buffer itself is 8-bit
}

TEST_F(ButtonsFixture, RefusalsWhileSendingOrNotReady) {
    sources[3] = "TEST";
    rec.busy = true;
    EXPECT_FALSE(buttons.click(3));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].first, "Transmission in progress!");
    EXPECT_EQ(rec.messages[0].second, "Transmit Error Message");
    EXPECT_TRUE(rec.calls.empty());

    // SCN mode, Xmit Enable off or the screen sender busy: nothing at all happens.
    rec.busy = false;
    rec.allowed = false;
    EXPECT_FALSE(buttons.click(3));
    EXPECT_EQ(rec.messages.size(), 1u);
    EXPECT_TRUE(rec.calls.empty());

    EXPECT_FALSE(buttons.click(0));
    EXPECT_FALSE(buttons.click(16));
    EXPECT_TRUE(rec.calls.empty());
}

TEST_F(ButtonsFixture, AMacroWithNothingToSendSaysSoAndSendsNothing) {
    sources[8] = "%a"; // the Call field is empty
    for (int n : {7, 8}) {
        EXPECT_FALSE(buttons.click(n));
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_EQ(rec.messages[0].first, MessageButtons::emptyMacroText(n));
        EXPECT_EQ(rec.messages[0].second, "Transmit Error Message");
        rec.messages.clear();
    }
    EXPECT_TRUE(rec.calls.empty()) << "no mark, no echo, no send";
}

TEST_F(ButtonsFixture, FieldsAreReadAtEachClick) {
    sources[1] = "%a";
    fields.CallMemo = "W1AW";
    buttons.click(1);
    fields.CallMemo = "K1ZZ";
    buttons.click(1);
    ASSERT_EQ(rec.sends.size(), 2u);
    EXPECT_EQ(rec.sends[0].second, "W1AW");
    EXPECT_EQ(rec.sends[1].second, "K1ZZ");
}

TEST_F(ButtonsFixture, CommandKeysPressTheSameButtons) {
    for (int n = 1; n <= kMacroCount; ++n)
        sources[static_cast<size_t>(n)] = "M" + std::to_string(n);
    buttons.click(1);
    const auto viaButton = rec.calls;
    rec.calls.clear();
    EXPECT_TRUE(buttons.commandKey(112, false)); // F1
    EXPECT_EQ(rec.calls, viaButton);

    rec.sends.clear();
    EXPECT_TRUE(buttons.commandKey('2', true));  // Ctrl+2 sends M12
    EXPECT_TRUE(buttons.commandKey(114, false)); // F3 sends M3
    EXPECT_FALSE(buttons.commandKey('9', true)); // Ctrl+9 means no macro
    ASSERT_EQ(rec.sends.size(), 2u);
    EXPECT_EQ(rec.sends[0], (std::pair<int, std::string>{12, "M12"}));
    EXPECT_EQ(rec.sends[1], (std::pair<int, std::string>{3, "M3"}));

    rec.busy = true;
    EXPECT_TRUE(buttons.commandKey(113, false)); // F2 while sending: the same refusal
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].first, "Transmission in progress!");
}
