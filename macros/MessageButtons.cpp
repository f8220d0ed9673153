#include "macros/MessageButtons.h"

#include "common/Latin1.h"

#include <utility>

namespace dita {

MessageButtons::MessageButtons(const MacroSources& sources, FieldSource fields, MacroSender& sender,
                               MacroButtonView& view, MessageSink messages)
    : m_sources(sources), m_fields(std::move(fields)), m_sender(sender), m_view(view),
      m_messages(std::move(messages)) {}

bool MessageButtons::click(int n) {
    if (n < 1 || n > kMacroCount) return false;
    if (m_sender.sendBusy()) {
        if (m_messages) m_messages(kTransmissionInProgressText, kTransmitErrorCaption);
        return false;
    }
    if (!m_sender.macroSendAllowed()) return false;

    const std::string expanded =
        ExpandMacro(m_sources[static_cast<std::size_t>(n)], m_fields ? m_fields() : MacroFields{});
    if (expanded.empty()) {
        // Nothing would be keyed: say why instead of flashing the transmit lamp.
        if (m_messages) m_messages(emptyMacroText(n), kTransmitErrorCaption);
        return false;
    }
    m_view.markMessageButton(n);
    if (m_view.doubleScreen()) m_view.appendReceiveText(receiveEcho(expanded));
    m_view.appendTransmitText(transmitEcho(expanded));
    m_sender.send(n, expanded);
    m_view.focusTransmitMemo();
    return true;
}

bool MessageButtons::commandKey(int virtualKey, bool ctrlHeld) {
    const int n = macroForKey(virtualKey, ctrlHeld);
    if (n == 0) return false;
    click(n);
    return true;
}

std::string MessageButtons::emptyMacroText(int n) {
    return "Macro M" + std::to_string(n) +
           " has nothing to send. Write it with Macros > Edit Macros, or fill in the fields it "
           "uses.";
}

std::string MessageButtons::receiveEcho(const std::string& expandedLatin1) {
    return "\nTx>" + latin1ToUtf8(expandedLatin1) + "\n";
}

std::string MessageButtons::transmitEcho(const std::string& expandedLatin1) {
    return latin1ToUtf8(expandedLatin1) + "\n";
}

} // namespace dita
