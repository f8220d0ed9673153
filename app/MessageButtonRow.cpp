#include "app/MessageButtonRow.h"

#include <QPushButton>

#include "app/DecoderFormLayout.h"

namespace dita {

using namespace form_layout;

MessageButtonRow::MessageButtonRow(QWidget* parent, int width, int top) : QObject(parent) {
    const int buttonWidth = width / kMacroCount;
    for (int n = 1; n <= kMacroCount; ++n) {
        auto* b = macros::createMessageButton(n, parent);
        b->setGeometry((n - 1) * buttonWidth, top, buttonWidth, kMsgButtonHeight);
        connect(b, &QPushButton::clicked, this, [this, n] { emit clicked(n); });
        m_buttons[n] = b;
    }
}

void MessageButtonRow::mark(int n) {
    macros::markMessageButtons(m_buttons, n);
}

} // namespace dita
