#include "app/SpectrumArea.h"

#include "app/DecoderFormLayout.h"

#include <QLabel>
#include <QSignalBlocker>

#include "display/DisplayPanel.h"

namespace dita {

using namespace form_layout;

SpectrumArea::SpectrumArea(QWidget* client, int width, QWidget* controlPanel) : QObject(client) {
    ImagePnl = new SpectrumPanel(client);
    ImagePnl->setGeometry(0, 0, width, kImagePnlHeight);
    connect(ImagePnl, &SpectrumPanel::tuneRequested, this, &SpectrumArea::tuneRequested);
    connect(ImagePnl, &SpectrumPanel::displayTypeChanged, this, &SpectrumArea::displayTypeChanged);
    connect(ImagePnl, &SpectrumPanel::displayGainChanged, this, &SpectrumArea::displayGainChanged);
    auto* brand = new QLabel("DITA", ImagePnl);
    brand->setObjectName("BrandLabel");
    brand->setGeometry(kBrandLabelRect);
    QFont bf = brand->font();
    bf.setPointSize(kBrandFontPt);
    bf.setBold(true);
    brand->setFont(bf);
    QPalette bp = brand->palette();
    bp.setColor(QPalette::WindowText, Qt::gray); // grey reads on white and on black
    brand->setPalette(bp);

    CoarseGainBar = new DisplayGainBar(controlPanel, "CoarseGainBar");
    CoarseGainBar->setGeometry(kCoarseGainBarRect);
    ImagePnl->attachGainBar(CoarseGainBar);
    connect(CoarseGainBar, &QSlider::valueChanged, this, &SpectrumArea::gainBarMoved);
    auto* caption = new QLabel("Display Gain", controlPanel);
    caption->setGeometry(kGainCaptionRect);
}

void SpectrumArea::showPass(const PassResult& pass) {
    ImagePnl->showPass(pass);
}

void SpectrumArea::runLoopEntry() {
    ImagePnl->runLoopEntry();
}

void SpectrumArea::setBackground(int background) {
    ImagePnl->setBackground(background);
}

void SpectrumArea::selectDisplay(bool waterfall) {
    if (waterfall)
        ImagePnl->Waterfall2Click();
    else
        ImagePnl->Spectrum1Click();
}

void SpectrumArea::attachModeItems(QAction* line, QAction* waterfall) {
    ImagePnl->attachModeItems(line, waterfall);
}

void SpectrumArea::setBandMarks(const std::vector<int>& bins) {
    ImagePnl->setBandMarks(bins);
}

void SpectrumArea::setMarkerHz(int hz) {
    ImagePnl->setMarkerHz(hz);
}

QString SpectrumArea::markerLines() const {
    return ImagePnl->markerLines();
}

int SpectrumArea::gainBarPosition() const {
    return CoarseGainBar->value();
}

int SpectrumArea::loadGainBarPosition(int position) {
    const QSignalBlocker quiet(CoarseGainBar);
    CoarseGainBar->setValue(position);
    return CoarseGainBar->value();
}

void SpectrumArea::applyGainBar() {
    ImagePnl->CoarseGainBarChange();
}

void SpectrumArea::secondGainBarMoved(int position) {
    ImagePnl->CoarseGainBar2Change(position);
}

} // namespace dita
