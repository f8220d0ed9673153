#include "display/TimeLineForm.h"

#include "display/DisplayColours.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QShowEvent>
#include <algorithm>

namespace dita {

namespace {
const QColor kSkyBlue(166, 202, 240);
constexpr int kBarMarginX = 4; // space around the buttons in the button bar
constexpr int kBarMarginY = 2;

void fillWith(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}
} // namespace

TimelineBox::TimelineBox(QWidget* parent, std::function<const QImage&()> image,
                         std::function<void()> painted)
    : QWidget(parent), m_image(std::move(image)), m_painted(std::move(painted)) {
    setObjectName("SpectrumBox3");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMaximumSize(TTimeLineForm::kMaxBoxWidth, TTimeLineForm::kMaxBoxHeight);
}

void TimelineBox::paintEvent(QPaintEvent*) {
    m_painted();
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, m_image());
}

TTimeLineForm::TTimeLineForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    // FormCreate
    setObjectName("TimeLineForm");
    setWindowTitle("Time Line Display");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    fillWith(this, Qt::white);
    setMinimumSize(kMinWindowWidth, kMinWindowHeight - kCaptionAllowance);
    setMaximumSize(kMaxBoxWidth, kMaxBoxHeight + kButtonBarHeight);

    // The panel and the button bar are placed by FormResize, so that their sizes are known
    // at once, also while the window is hidden.
    m_timeBasePanel = new QWidget(this);
    m_timeBasePanel->setObjectName("TimeBasePanel");
    fillWith(m_timeBasePanel, Qt::white);
    m_spectrumBox3 = new TimelineBox(
        m_timeBasePanel, [this]() -> const QImage& { return m_chart.image(); },
        [this] { SpectrumBox3Paint(); });

    m_timeControl = new QFrame(this);
    m_timeControl->setObjectName("TimeControl");
    m_timeControl->setFixedHeight(kButtonBarHeight);
    fillWith(m_timeControl, kSkyBlue);
    auto* bar = new QHBoxLayout(m_timeControl);
    bar->setContentsMargins(kBarMarginX, kBarMarginY, kBarMarginX, kBarMarginY);
    m_timeStartBtn = new QPushButton("START", m_timeControl);
    m_timeStartBtn->setObjectName("TimeStartBtn");
    QPalette startPalette = m_timeStartBtn->palette();
    startPalette.setColor(QPalette::ButtonText, QColor(kBlue));
    m_timeStartBtn->setPalette(startPalette);
    m_timeStopBtn = new QPushButton("STOP", m_timeControl);
    m_timeStopBtn->setObjectName("TimeStopBtn");
    m_timeCloseBtn = new QPushButton("CLOSE", m_timeControl);
    m_timeCloseBtn->setObjectName("TimeCloseBtn");
    for (QPushButton* b : {m_timeStartBtn, m_timeStopBtn, m_timeCloseBtn})
        bar->addWidget(b);
    connect(m_timeStartBtn, &QPushButton::clicked, this, &TTimeLineForm::TimeStartBtnClick);
    connect(m_timeStopBtn, &QPushButton::clicked, this, &TTimeLineForm::TimeStopBtnClick);
    connect(m_timeCloseBtn, &QPushButton::clicked, this, &TTimeLineForm::TimeCloseBtnClick);

    resize(kClientWidth, kClientHeight);
    m_creationHeight = height();
    m_stored = {y(), x(), height(), width()};
    FormResize();
}

TTimeLineForm::~TTimeLineForm() = default;

QSize TTimeLineForm::panelSize() const {
    return m_spectrumBox3->size();
}

void TTimeLineForm::showPass(const PassResult& pass) {
    if (!m_running.load()) return;
    m_chart.drawPass(pass);
    m_spectrumBox3->update();
}

void TTimeLineForm::showFromSettings() {
    applyPlacement();
    show();
    setTimelineShown(true);
    m_running = true;
}

void TTimeLineForm::setStoredPlacement(const WindowPlacement& placement) {
    m_stored = placement;
    m_stored.width = std::clamp(placement.width, minimumWidth(), maximumWidth());
    m_stored.height = std::clamp(placement.height, minimumHeight(), maximumHeight());
    reportPlacement();
}

WindowPlacement TTimeLineForm::placement() const {
    if (!isVisible()) return m_stored;
    return {y(), x(), height(), width()};
}

void TTimeLineForm::TimeStartBtnClick() {
    m_running = true;
}
void TTimeLineForm::TimeStopBtnClick() {
    m_running = false;
}

void TTimeLineForm::TimeCloseBtnClick() {
    m_running = false;
    storePlacement();
    setTimelineShown(false);
    hide();
}

void TTimeLineForm::showEvent(QShowEvent* event) {
    // FormShow; a show that only undoes minimising comes from the window system and keeps
    // the window where the operator left it.
    if (!event->spontaneous()) {
        applyPlacement();
        m_running = true;
    }
    QWidget::showEvent(event);
}

void TTimeLineForm::closeEvent(QCloseEvent* event) {
    // FormClose. The chart also stops: a closed window has nothing to draw.
    storePlacement();
    setTimelineShown(false);
    m_running = false;
    QWidget::closeEvent(event);
}

void TTimeLineForm::resizeEvent(QResizeEvent* event) {
    FormResize();
    QWidget::resizeEvent(event);
    reportPlacement();
}

void TTimeLineForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    reportPlacement();
}

void TTimeLineForm::setVisible(bool visible) {
    QWidget::setVisible(visible);
    reportPlacement();
}

void TTimeLineForm::reportPlacement() {
    emit placementChanged(placement());
}

void TTimeLineForm::FormResize() {
    const int panelHeight = std::max(0, height() - kButtonBarHeight);
    m_timeBasePanel->setGeometry(0, 0, width(), panelHeight);
    m_timeControl->setGeometry(0, panelHeight, width(), kButtonBarHeight);
    const QSize box = QSize(width(), panelHeight).boundedTo(QSize(kMaxBoxWidth, kMaxBoxHeight));
    if (box != m_spectrumBox3->size() || box != m_chart.image().size()) {
        m_spectrumBox3->setGeometry(QRect(QPoint(0, 0), box));
        TimeBasePanelResize();
    }
}

void TTimeLineForm::applyPlacement() {
    move(m_stored.left, m_stored.top);
    resize(m_stored.width, m_stored.height);
}

void TTimeLineForm::storePlacement() {
    if (isVisible()) m_stored = {y(), x(), height(), width()};
    reportPlacement();
}

void TTimeLineForm::setTimelineShown(bool shown) {
    if (shown == m_timelineShown) return;
    m_timelineShown = shown;
    emit timelineShownChanged(shown);
}

void TTimeLineForm::SpectrumBox3Paint() {
    m_chart.setScale(timelineScale(height(), m_creationHeight));
}

void TTimeLineForm::TimeBasePanelResize() {
    // The history is lost on every resize; the scale follows the new height at once so that
    // the first pass after the resize already draws at it.
    m_chart.resize(panelSize());
    m_chart.setScale(timelineScale(height(), m_creationHeight));
}

} // namespace dita
