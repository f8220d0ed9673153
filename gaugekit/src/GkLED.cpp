#include "gaugekit/GkLED.h"

#include <QPaintEvent>

#include "gaugekit/GkDraw.h"

TGkLED::TGkLED(QWidget* parent) : TGkBinGControl(parent), m_led(new TLED(this)) {
    m_led->SetOnChange([this](QObject*, TGkPersistent*) { Change(); });
    resize(kDefaultWidth, kDefaultHeight);
}

void TGkLED::SetLED_Position(TLEDPosition v) {
    if (v == m_position) return;
    m_position = v;
    Change();
}

void TGkLED::SetSpacing(int v) {
    if (v == m_spacing) return;
    m_spacing = v;
    Change();
}

void TGkLED::SetCaption(const QString& v) {
    if (v == m_caption) return;
    m_caption = v;
    Change();
}

void TGkLED::ParamChange(QObject*) {
    Invalidate();
}

void TGkLED::layout(QRect& lamp, QRect& caption) const {
    const QFontMetrics fm(font());
    const QStringList lines = m_caption.isEmpty() ? QStringList() : m_caption.split(kLineSeparator);
    int textWidth = 0;
    for (const QString& line : lines)
        textWidth = std::max(textWidth, fm.horizontalAdvance(line));
    const int textHeight = fm.height() * int(lines.size());

    int w = m_led->Width(), h = m_led->Height();
    if (m_led->Shape() == sRound) w = h = std::max(w, h);

    const int cw = width(), ch = height();
    switch (m_position) {
    case lpLeft:
        lamp = QRect(0, (ch - h) / 2, w, h);
        caption = QRect(lamp.right() + 1 + m_spacing, (ch - textHeight) / 2, textWidth, textHeight);
        break;
    case lpRight:
        lamp = QRect(cw - w, (ch - h) / 2, w, h);
        caption = QRect(lamp.left() - m_spacing - textWidth, (ch - textHeight) / 2, textWidth,
                        textHeight);
        break;
    case lpTop:
        lamp = QRect((cw - w) / 2, 0, w, h);
        caption = QRect((cw - textWidth) / 2, lamp.bottom() + 1 + m_spacing, textWidth, textHeight);
        break;
    case lpBottom:
        lamp = QRect((cw - w) / 2, ch - h, w, h);
        caption =
            QRect((cw - textWidth) / 2, lamp.top() - m_spacing - textHeight, textWidth, textHeight);
        break;
    }
}

QRect TGkLED::LampRect() const {
    QRect lamp, caption;
    layout(lamp, caption);
    return lamp;
}

QRect TGkLED::CaptionRect() const {
    QRect lamp, caption;
    layout(lamp, caption);
    return caption;
}

QColor TGkLED::LampColor() const {
    const bool lit = Checked() && (!Flashing() || m_flashOn);
    return gkToQColor(lit ? m_led->ColorOn() : m_led->ColorOff());
}

void TGkLED::StatusChanged() {
    // Only the lamp changes; the caption stays as drawn.
    if (isVisible() && m_updateCount == 0) update(LampRect());
}

void TGkLED::Flash(bool) {
    if (isVisible() && Checked()) update(LampRect());
}

void TGkLED::paintEvent(QPaintEvent* e) {
    if (m_painting || m_updateCount > 0) return;
    m_painting = true;
    QRect lamp, caption;
    layout(lamp, caption);
    QPainter p(this);
    if (!lamp.contains(e->rect()) && !m_caption.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        const Qt::Alignment horizontal = m_position == lpLeft    ? Qt::AlignLeft
                                         : m_position == lpRight ? Qt::AlignRight
                                                                 : Qt::AlignHCenter;
        const QFontMetrics fm(font());
        int y = caption.top();
        for (const QString& line : m_caption.split(kLineSeparator)) {
            p.drawText(QRect(caption.left(), y, caption.width(), fm.height()),
                       horizontal | Qt::AlignVCenter, line);
            y += fm.height();
        }
    }
    gkDrawLED(p, lamp, m_led->Shape(), LampColor());
    m_painting = false;
}
