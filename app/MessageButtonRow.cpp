#include "app/MessageButtonRow.h"

#include <QPushButton>

#include "app/DecoderFormLayout.h"

namespace dita {

using namespace form_layout;

MessageButtonRow::MessageButtonRow(QWidget* parent, int width, int top, const MacroSources& sources,
                                   MessageButtons::FieldSource fields, MacroSender& sender,
                                   WindowCalls calls, MessageSink messages)
    : QObject(parent), m_calls(std::move(calls)),
      m_logic(std::make_unique<MessageButtons>(sources, std::move(fields), sender,
                                               static_cast<MacroButtonView&>(*this),
                                               std::move(messages))) {
    const int buttonWidth = width / kMacroCount;
    for (int n = 1; n <= kMacroCount; ++n) {
        auto* b = macros::createMessageButton(n, parent);
        b->setGeometry((n - 1) * buttonWidth, top, buttonWidth, kMsgButtonHeight);
        connect(b, &QPushButton::clicked, this, [this, n] { press(n); });
        m_buttons[n] = b;
    }
}

MessageButtonRow::~MessageButtonRow() = default;

bool MessageButtonRow::press(int n) {
    return m_logic->click(n);
}

void MessageButtonRow::mark(int n) {
    macros::markMessageButtons(m_buttons, n);
}

bool MessageButtonRow::doubleScreen() const {
    return m_calls.doubleScreen();
}

void MessageButtonRow::appendReceiveText(const std::string& text) {
    m_calls.appendReceiveText(text);
}

void MessageButtonRow::appendTransmitText(const std::string& text) {
    m_calls.appendTransmitText(text);
}

void MessageButtonRow::focusTransmitMemo() {
    m_calls.focusTransmitMemo();
}

} // namespace dita
