#pragma once
// MessageButtonRow: the message buttons M1..M15 in a row across the window's lower control
// panel, under the transmit panel. A click asks for the macro to be sent (clicked); the mark
// shows which macro is being sent. Like the receive panel it is not a widget itself: its
// buttons sit in the control panel at the places the form gives them.
//
// Who calls it: the main window, on the window thread: the message buttons' logic marks the
// macro it sends, transmit control clears the marks when a send ends.
#include <QObject>

#include "macros/MacroWindows.h"

class QWidget;

namespace dita {

class MessageButtonRow : public QObject {
    Q_OBJECT
public:
    // The buttons in `parent` from the left, `width` wide together, at `top`.
    MessageButtonRow(QWidget* parent, int width, int top);

    // Marks the button of macro n and no other; n = 0 clears every mark.
    void mark(int n);

signals:
    void clicked(int macroNumber);

private:
    macros::MessageButtonArray m_buttons{}; // index n for macro n (index 0 unused)
};

} // namespace dita
