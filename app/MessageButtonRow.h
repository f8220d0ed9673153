#pragma once
// MessageButtonRow: the message buttons M1..M15 in a row across the window's lower control
// panel, under the transmit panel, with what a press does (MessageButtons): the macro is
// expanded and sent through transmit control, and echoed where the window shows sent text. The
// mark shows which macro is being sent. Like the receive panel it is not a widget itself: its
// buttons sit in the control panel at the places the form gives them.
//
// Who calls it: the main window, on the window thread; transmit control presses a button for a
// function key and clears the marks when a send ends.
#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "macros/MacroWindows.h"
#include "macros/MessageButtons.h"

class QWidget;

namespace dita {

class MessageButtonRow : public QObject, private MacroButtonView {
    Q_OBJECT
public:
    // What a send changes on the rest of the window.
    struct WindowCalls {
        std::function<bool()> doubleScreen; // TransmitScreen is "Double"
        std::function<void(const std::string&)> appendReceiveText;
        std::function<void(const std::string&)> appendTransmitText;
        std::function<void()> focusTransmitMemo;
    };
    // The buttons in `parent` from the left, `width` wide together, at `top`; a press expands
    // the macro of `sources` with the `fields` of the moment and sends it through `sender`.
    MessageButtonRow(QWidget* parent, int width, int top, const MacroSources& sources,
                     MessageButtons::FieldSource fields, MacroSender& sender, WindowCalls calls,
                     MessageSink messages);
    ~MessageButtonRow() override;

    // The button of macro n pressed (a click, or the function key that stands for it).
    bool press(int n);
    // Marks the button of macro n and no other; n = 0 clears every mark.
    void mark(int n);

private:
    // ---- MacroButtonView
    void markMessageButton(int n) override { mark(n); }
    bool doubleScreen() const override;
    void appendReceiveText(const std::string& text) override;
    void appendTransmitText(const std::string& text) override;
    void focusTransmitMemo() override;

    WindowCalls m_calls;
    std::unique_ptr<MessageButtons> m_logic;
    macros::MessageButtonArray m_buttons{}; // index n for macro n (index 0 unused)
};

} // namespace dita
