#include "display/DisplayPanel.h"

#include "receive/ReceiveEngine.h"

#include <QAction>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace dita {

namespace {
const char* const kClickHint = "Click on Spectrum Peak to Decode";
const char* const kGainHint = "Spectrum Display Gain ";

void paintBackground(QWidget* w, QRgb colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, QColor(colour));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}
} // namespace

SpectrumBox::SpectrumBox(QWidget* parent)
    : QWidget(parent), m_frame(kSpectrumBoxWidth, kSpectrumBoxHeight, QImage::Format_RGB32) {
    setObjectName("SpectrumBox");
    setFixedSize(kSpectrumBoxWidth, kSpectrumBoxHeight);
    m_frame.fill(kWhite);
    // The frame covers the whole box, so Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectrumBox::showImage(const QImage& image, int markerBin, QRgb markerColour) {
    const qsizetype rowBytes = std::min(m_frame.bytesPerLine(), image.bytesPerLine());
    for (int y = 0; y < kSpectrumBoxHeight; ++y) {
        std::memcpy(m_frame.scanLine(y), image.constScanLine(y), static_cast<size_t>(rowBytes));
    }
    if (markerBin > 0 && markerBin < kSpectrumBoxWidth) {
        for (int y = 0; y < kSpectrumBoxHeight; ++y) {
            reinterpret_cast<QRgb*>(m_frame.scanLine(y))[markerBin] = markerColour;
        }
    }
    update();
}

void SpectrumBox::clear(QRgb colour) {
    m_frame.fill(colour);
    update();
}

void SpectrumBox::setBandMarks(const std::vector<int>& bins) {
    if (bins == m_bandMarks) return;
    m_bandMarks = bins;
    update();
}

void SpectrumBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, m_frame);
    drawFrequencyScale(p);
    // Band channels: a small downward triangle at the top edge over each, drawn on the screen
    // only, so the images the drawing step scrolls stay clean.
    constexpr int kMarkHalfWidth = 3;
    constexpr int kMarkHeight = 7;
    constexpr QRgb kMarkColour =
        0xFFFF00FF; // magenta: apart from the waterfall's colours and the marker
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgba(kMarkColour));
    for (const int bin : m_bandMarks) {
        if (bin < 0 || bin >= kSpectrumBoxWidth) continue;
        const QPoint triangle[3] = {
            {bin - kMarkHalfWidth, 0}, {bin + kMarkHalfWidth, 0}, {bin, kMarkHeight}};
        p.drawPolygon(triangle, 3);
    }
}

void SpectrumBox::drawFrequencyScale(QPainter& p) const {
    // Over the picture, as the window's layout leaves no room around it: mid-grey ticks every
    // 100 Hz in the bottom rows (below the trace of a silent input), longer ones every 500 Hz, and
    // their frequencies along the top edge, light grey outlined in dark grey so they read on
    // either background and over the waterfall; neither grey is a trace or marker colour.
    constexpr int kMinorStepHz = 100;
    constexpr int kMajorStepHz = 500;
    constexpr int kMinorTick = 2;
    constexpr int kMajorTick = 3;
    constexpr int kLabelPx = kScaleLabelRows - 1;
    constexpr QRgb kScaleColour = qRgb(200, 200, 200);
    constexpr QRgb kOutlineColour = qRgb(48, 48, 48);
    constexpr QRgb kTickColour = qRgb(128, 128, 128);
    const int bottom = height() - 1;
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QFont font = p.font();
    font.setPixelSize(kLabelPx);
    p.setFont(font);
    const QFontMetrics metrics(font);
    for (int hz = kMinorStepHz;; hz += kMinorStepHz) {
        const int x = columnForHz(hz);
        if (x >= width()) break;
        const bool major = hz % kMajorStepHz == 0;
        p.setPen(QColor(kTickColour));
        p.drawLine(x, bottom, x, bottom + 1 - (major ? kMajorTick : kMinorTick));
        if (!major) continue;
        const QString label = QString::number(hz);
        const QPoint at(x - metrics.horizontalAdvance(label) / 2, metrics.ascent());
        p.setPen(QColor(kOutlineColour));
        for (const QPoint d : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
            p.drawText(at + d, label);
        p.setPen(QColor(kScaleColour));
        p.drawText(at, label);
    }
}

ClickLayer::ClickLayer(QWidget* parent) : QWidget(parent) {
    setObjectName("Image1");
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setToolTip(kClickHint);
}

void ClickLayer::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    // Qt delivers the release to the pressed widget even when the pointer has left it; a
    // release outside is a cancelled click and must not retune.
    if (event->button() == Qt::LeftButton && rect().contains(at)) emit released(at.x());
    event->accept();
}

DisplayGainBar::DisplayGainBar(QWidget* parent, const QString& objectName)
    : QSlider(Qt::Horizontal, parent) {
    setObjectName(objectName);
    setRange(kMinGainPosition, kMaxGainPosition);
    setValue(kFormGainPosition);
    setPageStep(1);
    setToolTip(kGainHint);
}

SpectrumPanel::SpectrumPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("ImagePnl");
    setFrameShape(QFrame::NoFrame);
    setFixedHeight(kPanelHeight);
    setMinimumWidth(kBoxLeft + kSpectrumBoxWidth);

    m_mkrLabel = new QLabel(this);
    m_mkrLabel->setObjectName("MkrLabel");
    m_mkrLabel->setGeometry(kMarkerLeft, 0, kMarkerWidth, kMarkerHeight);
    m_mkrLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_mkrLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    QFont font = m_mkrLabel->font();
    font.setPixelSize(kMarkerFontPx);
    font.setBold(true);
    m_mkrLabel->setFont(font);

    m_spectrumBox = new SpectrumBox(this);
    m_spectrumBox->move(kBoxLeft, 0);
    m_image1 = new ClickLayer(this);
    m_image1->setGeometry(kBoxLeft, 0, kSpectrumBoxWidth, kClickLayerHeight);
    m_image1->raise();
    connect(m_image1, &ClickLayer::released, this, &SpectrumPanel::Image1MouseUp);

    setBackground(kWhiteBackground);
    setMarkerHz(kInitialMarkerHz);
}

void SpectrumPanel::showPass(const PassResult& pass) {
    setMarkerHz(pass.markerHz);
    // The engine reports a mode change it was told about by anyone, not only by our handlers.
    if (pass.clearSpectrumBlack) m_drawing.clearSpectrumBlack();
    const QImage* image = m_drawing.draw(pass, m_background);
    if (!image) return; // other display types draw nothing; the screen keeps its picture
    m_passShown = true;
    const bool waterfall = pass.displayType == kWaterfallMode;
    m_spectrumBox->showImage(*image, waterfall ? pass.tunedBin : 0,
                             spectrumPalette(m_background).waterfallMarker);
}

void SpectrumPanel::runLoopEntry() {
    m_drawing.fill(m_background);
}

void SpectrumPanel::setBackground(int background) {
    m_background = background == kBlackBackground ? kBlackBackground : kWhiteBackground;
    const SpectrumPalette palette = spectrumPalette(m_background);
    paintBackground(this, palette.fill);
    if (!m_passShown) m_spectrumBox->clear(palette.fill);
    QPalette pal = m_mkrLabel->palette();
    pal.setColor(QPalette::Window, QColor(palette.fill));
    pal.setColor(QPalette::WindowText, QColor(palette.markerText));
    m_mkrLabel->setPalette(pal);
    m_mkrLabel->setAutoFillBackground(true);
}

void SpectrumPanel::Spectrum1Click() {
    selectMode(kLineMode);
}
void SpectrumPanel::Waterfall2Click() {
    selectMode(kWaterfallMode);
}

void SpectrumPanel::attachModeItems(QAction* spectrum1, QAction* waterfall2) {
    m_spectrum1 = spectrum1;
    m_waterfall2 = waterfall2;
    for (QAction* item : {m_spectrum1, m_waterfall2}) {
        if (item) item->setCheckable(true);
    }
}

void SpectrumPanel::selectMode(int mode) {
    m_drawing.clearSpectrumBlack();
    m_displayType = mode;
    if (m_spectrum1) m_spectrum1->setChecked(mode == kLineMode);
    if (m_waterfall2) m_waterfall2->setChecked(mode == kWaterfallMode);
    emit displayTypeChanged(mode);
}

void SpectrumPanel::attachGainBar(QSlider* coarseGainBar) {
    m_coarseGainBar = coarseGainBar;
    if (coarseGainBar)
        connect(coarseGainBar, &QSlider::valueChanged, this, &SpectrumPanel::CoarseGainBarChange);
}

void SpectrumPanel::CoarseGainBarChange() {
    if (m_coarseGainBar) gainBarMoved(m_coarseGainBar->value());
}
void SpectrumPanel::CoarseGainBar2Change(int position) {
    gainBarMoved(position);
}

void SpectrumPanel::gainBarMoved(int position) {
    m_displayGain = std::clamp(position, kMinGainPosition, kMaxGainPosition);
    emit displayGainChanged(m_displayGain);
}

void SpectrumPanel::Image1MouseUp(int x) {
    emit tuneRequested(std::clamp(x, 1, kMaxClickBin));
}

QString SpectrumPanel::markerText() const {
    return QString::number(m_markerHz);
}

QString SpectrumPanel::markerLines() const {
    return m_mkrLabel->text();
}

void SpectrumPanel::setBandMarks(const std::vector<int>& bins) {
    m_spectrumBox->setBandMarks(bins);
}

void SpectrumPanel::setMarkerHz(int hz) {
    if (hz == m_markerHz) return;
    m_markerHz = hz;
    // The label is one digit wide: the frequency reads downwards, one digit per line.
    const QString digits = QString::number(hz);
    QString lines;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0) lines += QLatin1Char('\n');
        lines += digits[i];
    }
    m_mkrLabel->setText(lines);
}

void wireToEngine(SpectrumPanel& panel, ReceiveEngine& engine) {
    QObject::connect(&panel, &SpectrumPanel::tuneRequested, &panel,
                     [&engine](int bin) { engine.post(ReceiveCommand::tuneToBin(bin)); });
    QObject::connect(&panel, &SpectrumPanel::displayTypeChanged, &panel, [&engine](int type) {
        engine.post(ReceiveCommand::displayType(setting::DisplayType(type)));
    });
    QObject::connect(&panel, &SpectrumPanel::displayGainChanged, &panel, [&engine](int position) {
        engine.post(ReceiveCommand::displayGain(position));
    });
}

} // namespace dita
