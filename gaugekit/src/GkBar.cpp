#include "gaugekit/GkBar.h"

#include <QPaintEvent>

#include "gaugekit/GkDraw.h"

namespace {
constexpr int kOuterSpacing = 5;
constexpr int kOuterWidth = 2;
constexpr int kBarMinWidth = 25;
constexpr int kBarMinHeight = 12;
constexpr double kBkBrightness = 40.0;
} // namespace

TGkBar::TGkBar(QWidget* parent)
    : TGkAnalogGControl(parent), m_bar(new TBarSettings(this)), m_bevelOuter(new TGkSBevel(this)) {
    m_bevelOuter->SetSpacing(kOuterSpacing);
    m_bevelOuter->SetWidth(kOuterWidth);
    m_bar->SetminWidth(kBarMinWidth);
    m_bar->SetminHeight(kBarMinHeight);
    m_bar->SetOptions({opValue, opUnit});
    m_bar->SetBkBrightness(kBkBrightness);
    QFont f = m_bar->Font();
    f.setStyleHint(QFont::SansSerif);
    m_bar->SetFont(f);
    auto onChange = [this](QObject*, TGkPersistent* sender) { SettingsChanged(sender); };
    m_bar->SetOnChange(onChange);
    m_bevelOuter->SetOnChange(onChange);
    resize(kDefaultWidth, kDefaultHeight);
    m_bar->SectorsCopy = m_sectors->Sectors();
    m_bar->PaintColor = m_bar->Color();
    m_bar->ValueText = m_valueStr;
    layoutBar();
}

QSize TGkBar::MinimumControlSize() const {
    const int outer = m_bevelOuter->TotalWidth();
    const int inner = m_bar->Bevel()->TotalWidth();
    return {2 * outer + m_bar->minWidth(), 2 * outer + 2 * inner + m_bar->minHeight()};
}

void TGkBar::layoutBar() {
    QRect r = rect();
    gkPaintBevelFilled(nullptr, r, *m_bevelOuter);
    gkPaintBevelFilled(nullptr, r, *m_bar->Bevel());
    m_bar->BarRect = r;
}

void TGkBar::SettingsChanged(TGkPersistent* sender) {
    // Colours, style, options and texts of the bar change only the bar; the bevels and the
    // minimum sizes move it, so they repaint the control.
    if (sender == m_bar)
        refreshBar();
    else
        Change();
}

void TGkBar::refreshBar() {
    m_bar->ValueText = m_valueStr;
    m_bar->UnitText = m_signal->ValueUnit();
    const bool sectorColour = m_bar->Options().has(opUseSectorCol) && HasSectorColor();
    m_bar->PaintColor = sectorColour ? SectorColor() : m_bar->Color();
    m_bar->SectorsCopy = m_sectors->Sectors();
    if (isVisible() && m_updateCount == 0 && m_bar->BarRect.isValid()) update(m_bar->BarRect);
}

void TGkBar::ValueChange() {
    TGkAnalogGControl::ValueChange();
    refreshBar();
}

void TGkBar::ParamChange(QObject* sender) {
    TGkAnalogGControl::ParamChange(sender);
    m_bar->ZeroPosition = std::clamp(m_signal->PptOfValue(0.0), 0, kPptFull);
    layoutBar();
    refreshBar();
    Invalidate();
}

void TGkBar::resizeEvent(QResizeEvent* e) {
    TGkAnalogGControl::resizeEvent(e);
    layoutBar();
}

void TGkBar::paintEvent(QPaintEvent* e) {
    if (m_updateCount > 0) return;
    m_bar->UnitText = m_signal->ValueUnit();
    const QSize minimum = MinimumControlSize();
    if (width() < minimum.width() || height() < minimum.height()) {
        // Grow to the smallest size that holds the bevels and the bar; the resize repaints.
        // A size held fixed by its constraints cannot grow: then paint in the space there is.
        const QSize before = size();
        resize(std::max(width(), minimum.width()), std::max(height(), minimum.height()));
        if (size() != before) return;
    }
    QPainter p(this);
    const bool barOnly = m_bar->BarRect.isValid() && m_bar->BarRect.contains(e->rect());
    if (!barOnly) {
        QRect r = rect();
        gkPaintBevelFilled(&p, r, *m_bevelOuter);
        gkPaintBevelFilled(&p, r, *m_bar->Bevel());
        m_bar->BarRect = r;
    }
    if (m_bar->BarRect.width() > 0 && m_bar->BarRect.height() > 0)
        p.drawImage(m_bar->BarRect.topLeft(), gkRenderBar(*m_bar, m_ppt, m_bar->BarRect.size()));
}
