#pragma once
// The window's two colour schemes for a control: its back and text colours, for every role a
// line, spin or push control paints with. Header only: include it from Qt targets.
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace dita {

inline void paintControl(QWidget* control, const QColor& back, const QColor& text) {
    QPalette p = control->palette();
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, back);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(role, text);
    control->setPalette(p);
    control->setAutoFillBackground(true);
}

} // namespace dita
