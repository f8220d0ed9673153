#include "gaugekit/GkClock.h"

#include <QLocale>
#include <QPaintEvent>

#include "gaugekit/GkDraw.h"
#include "gaugekit/GkFlash.h"

namespace {
constexpr int kOuterSpacing = 2;
constexpr int kClockFontPointSize = 10;
// Left and right room beside the text, as a fraction of its height.
constexpr int kTextMarginDivisor = 3;
} // namespace

TGkClock::TGkClock(QWidget* parent)
    : TGkGraphicControl(parent), m_outer(new TGkSBevel(this)), m_inner(new TGkSBevel(this)),
      m_now([] { return QDateTime::currentDateTime(); }) {
    m_outer->SetSpacing(kOuterSpacing);
    m_outer->SetWidth(1);
    m_inner->SetSpacing(0);
    m_inner->SetWidth(1);
    m_inner->SetStyle(bsLowered);
    m_inner->SetColor(clBlack);
    QFont f(QString(), kClockFontPointSize);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    auto onChange = [this](QObject*, TGkPersistent*) { Change(); };
    m_outer->SetOnChange(onChange);
    m_inner->SetOnChange(onChange);
    resize(kDefaultWidth, kDefaultHeight);
    m_textRect = layoutText(ClockText());
    TGkFlashList::Instance().AddControl(this, TGkFlashList::kCodeSecond);
}

TGkClock::~TGkClock() {
    TGkFlashList::Instance().DelControl(this);
}

void TGkClock::SetClockOption(TClockOption v) {
    if (v == m_option) return;
    m_option = v;
    Change();
}

void TGkClock::SetFontColor(TColor v) {
    if (v == m_fontColor) return;
    m_fontColor = v;
    Change();
}

void TGkClock::SetTimeSource(TimeSource source) {
    if (source) m_now = std::move(source);
}

QString TGkClock::ClockText() const {
    const QDateTime now = m_now();
    const QLocale locale;
    switch (m_option) {
    case coDate:
        return locale.toString(now.date(), QLocale::ShortFormat);
    case coTime:
        return locale.toString(now.time(), QLocale::ShortFormat);
    case coDateTime:
        return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
               locale.toString(now.time(), QLocale::ShortFormat);
    }
    return QString();
}

QSize TGkClock::MinimumControlSize(const QString& text) const {
    const QFontMetrics fm(font());
    const int tw = fm.horizontalAdvance(text), th = fm.height();
    const int outer = m_outer->TotalWidth(), inner = m_inner->TotalWidth();
    const TGkOffset& oo = *m_outer->Offset();
    const TGkOffset& io = *m_inner->Offset();
    const int h = th + 2 * outer + oo.Top() + oo.Bottom() + 2 * inner + io.Top() + io.Bottom();
    const int w = th / kTextMarginDivisor + tw + 2 * outer + oo.Left() + oo.Right() + 2 * inner +
                  io.Left() + io.Right();
    return {w, h};
}

QRect TGkClock::layoutText(const QString& text) const {
    QRect r = rect();
    gkPaintBevelFilled(nullptr, r, *m_outer);
    gkPaintBevelFilled(nullptr, r, *m_inner);
    const QFontMetrics fm(font());
    const QSize ts(fm.horizontalAdvance(text), fm.height());
    return QRect(r.left() + (r.width() - ts.width()) / 2, r.top() + (r.height() - ts.height()) / 2,
                 ts.width(), ts.height());
}

void TGkClock::ParamChange(QObject*) {
    m_textRect = layoutText(ClockText());
    Invalidate();
}

void TGkClock::PaintTime() {
    if (m_autoHint) setToolTip(QLocale().toString(m_now().date(), QLocale::ShortFormat));
    // A text that no longer fits (a longer date, a wider hour) needs the whole control.
    const QString text = ClockText();
    const QRect wanted = layoutText(text);
    if (wanted.width() > m_textRect.width() || wanted.height() > m_textRect.height() ||
        width() < MinimumControlSize(text).width()) {
        m_textRect = wanted;
        update();
        return;
    }
    update(m_textRect);
}

bool TGkClock::event(QEvent* e) {
    if (e->type() == QEvent::Type(kGkFlashMessage)) {
        if (isVisible()) {
            ++m_secondTicks;
            PaintTime();
        }
        return true;
    }
    return TGkGraphicControl::event(e);
}

void TGkClock::paintEvent(QPaintEvent* e) {
    if (m_updateCount > 0) return;
    const QString text = ClockText();
    const QSize minimum = MinimumControlSize(text);
    if (width() < minimum.width() || height() < minimum.height()) {
        // Grow to fit the text; a size held fixed by its constraints paints in what it has.
        const QSize before = size();
        resize(std::max(width(), minimum.width()), std::max(height(), minimum.height()));
        if (size() != before) return;
    }
    QPainter p(this);
    const QRect textRect = layoutText(text);
    if (!(m_textRect == textRect && m_textRect.contains(e->rect()))) {
        QRect r = rect();
        gkPaintBevelFilled(&p, r, *m_outer);
        gkPaintBevelFilled(&p, r, *m_inner);
        m_textRect = textRect;
    }
    if (m_textRect.width() <= 0 || m_textRect.height() <= 0) return;
    QImage img(m_textRect.size(), QImage::Format_RGB32);
    img.fill(gkToQColor(m_inner->Color()));
    {
        QPainter ip(&img);
        ip.setFont(font());
        ip.setPen(gkToQColor(m_fontColor));
        ip.drawText(QRect(QPoint(0, 0), m_textRect.size()), Qt::AlignLeft | Qt::AlignTop, text);
    }
    p.drawImage(m_textRect.topLeft(), img);
}
