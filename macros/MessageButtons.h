#pragma once
// The fifteen message buttons M1..M15 and the function keys that press them: a click expands
// the macro into its send buffer and starts a send through transmit control.
//
// Who calls it: the main window's MsgButton..Click handlers on the window thread, and the
// typed-character sender's command keys (F1..F10, Ctrl+1..Ctrl+5), which the window carries
// over to the window thread as queued calls before calling commandKey. No Qt.
#include "common/MessageSink.h"
#include "macros/MacroExpansion.h"

#include <functional>
#include <string>

namespace dita {

inline constexpr const char* kTransmissionInProgressText = "Transmission in progress!";
inline constexpr const char* kTransmitErrorCaption = "Transmit Error Message";

// What a message button needs from transmit control. The transmit-control code implements it
// on the window thread; tests record the calls.
class MacroSender {
public:
    virtual ~MacroSender() = default;
    // TypingActive is 3: typed characters or a started send are being keyed.
    virtual bool sendBusy() const = 0;
    // XmitEnableState is 3, SendMode is IMM and no screen send runs: a macro send may start.
    virtual bool macroSendAllowed() const = 0;
    // Stores `expanded` (8-bit) as SendBuffers entry bufferIndex, sets MacroPrepared := 1,
    // SendBufferIndex := bufferIndex, and runs SendBtnClick, which starts a TSendThread for
    // that buffer (also when the text is empty).
    virtual void send(int bufferIndex, const std::string& expanded) = 0;
};

// What a message button changes on the main window.
class MacroButtonView {
public:
    virtual ~MacroButtonView() = default;
    // Removes the bold and underlined mark from M1..M10 and puts it on button n.
    virtual void markMessageButton(int n) = 0;
    // TransmitScreen is 1 ("Double"): sent macros are echoed into the receive window.
    virtual bool doubleScreen() const = 0;
    // Appends UTF-8 text at the end of RcvMemo and moves its caret to the end.
    virtual void appendReceiveText(const std::string& text) = 0;
    // Appends UTF-8 text at the end of TransmitMemo.
    virtual void appendTransmitText(const std::string& text) = 0;
    virtual void focusTransmitMemo() = 0;
};

class MessageButtons {
public:
    // Field values are fetched at each click, never cached.
    using FieldSource = std::function<MacroFields()>;

    MessageButtons(const MacroSources& sources, FieldSource fields, MacroSender& sender,
                   MacroButtonView& view, MessageSink messages);

    // The click of the message button of macro n (1..15). Returns true when a send started. A
    // macro that expands to nothing starts none and says so (emptyMacroText).
    bool click(int n);

    // A command key taken by the typed-character sender. Returns true when it was a macro key
    // (it then pressed that macro's button), false when the key means no macro.
    bool commandKey(int virtualKey, bool ctrlHeld);

    static std::string emptyMacroText(int n);
    // The text the receive window gets in "Double" mode: "Tx>" and the sent text on a line of
    // their own, so received text neither runs into it nor continues on its line.
    static std::string receiveEcho(const std::string& expandedLatin1);
    // The text appended to the transmit window: the sent text and a line break.
    static std::string transmitEcho(const std::string& expandedLatin1);

private:
    const MacroSources& m_sources;
    FieldSource m_fields;
    MacroSender& m_sender;
    MacroButtonView& m_view;
    MessageSink m_messages;
};

} // namespace dita
