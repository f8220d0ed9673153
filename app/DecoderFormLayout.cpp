// The window's controls: building and placing them, their colours and their type sizes.
#include "app/DecoderForm.h"

#include "app/DecoderFormLayout.h"
#include "app/FormInstruments.h"
#include "app/ReceivePanel.h"
#include "app/TransmitSpeedPanel.h"

#include <QFrame>
#include <QLabel>

#include <algorithm>

#include "display/DisplayPanel.h"
#include "log/StationPanel.h"
#include "transmit/control/TransmitPanel.h"

namespace dita {

using namespace form_layout;

void TDecoderForm::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName("Client");
    setCentralWidget(client);

    // The station panel decides how wide the window is.
    StationPnl = new StationPanel(messageSink(), AdifLogWriter::defaultLogPath, client);
    m_clientWidth = std::max(kMinClientWidth, StationPnl->width());

    auto frame = [this, client](const char* name, int top, int height) {
        auto* f = new QFrame(client);
        f->setObjectName(name);
        f->setGeometry(0, top, m_clientWidth, height);
        f->setAutoFillBackground(true);
        return f;
    };
    auto label = [](QWidget* parent, const char* name, const QString& text, QRect r) {
        auto* l = new QLabel(text, parent);
        l->setObjectName(name);
        l->setGeometry(r);
        l->setAutoFillBackground(true);
        return l;
    };

    m_spectrumPanel = new SpectrumPanel(client);
    m_spectrumPanel->setGeometry(0, 0, m_clientWidth, kImagePnlHeight);
    ImagePnl = m_spectrumPanel;
    MkrLabel = m_spectrumPanel->mkrLabel();
    // Clicks, mode and gain changes reach the engine as commands between passes.
    connect(m_spectrumPanel, &SpectrumPanel::tuneRequested, this,
            [this](int bin) { post(ReceiveCommand::tuneToBin(bin)); });
    connect(m_spectrumPanel, &SpectrumPanel::displayTypeChanged, this, [this](int type) {
        m_settings.DisplayType = setting::DisplayType(type);
        post(ReceiveCommand::displayType(m_settings.DisplayType));
    });
    connect(m_spectrumPanel, &SpectrumPanel::displayGainChanged, this, [this](int position) {
        m_settings.DisplayGain = position;
        post(ReceiveCommand::displayGain(position));
        focusRule();
    });
    auto* brand = label(ImagePnl, "BrandLabel", "DITA", kBrandLabelRect);
    QFont bf = brand->font();
    bf.setPointSize(kBrandFontPt);
    bf.setBold(true);
    brand->setFont(bf);
    brand->setAutoFillBackground(false);
    QPalette bp = brand->palette();
    bp.setColor(QPalette::WindowText, Qt::gray); // readable on both backgrounds
    brand->setPalette(bp);

    m_instruments = new InstrumentPanel(client);
    m_instruments->setGeometry(0, kImagePnlHeight, m_clientWidth, kPanel3Height);
    connect(m_instruments, &InstrumentPanel::decoderResetClicked, this,
            [this] { post(ReceiveCommand::decoderReset()); });
    connect(m_instruments, &InstrumentPanel::clearReceiveClicked, this,
            [this] { m_receive->clear(); });

    m_receive = new ReceivePanel(client, m_clientWidth, kImagePnlHeight + kPanel3Height);

    ContrlPnl = frame("ContrlPnl", kTrTransmitMemoTop + kTransmitMemoHeight,
                      kTrPanel2Top - kTrTransmitMemoTop - kTransmitMemoHeight);
    StationPnl->setParent(ContrlPnl);
    StationPnl->move(0, kStationPnlTop);
    StationPnl->show();

    CoarseGainBar = new DisplayGainBar(ContrlPnl, "CoarseGainBar");
    CoarseGainBar->setGeometry(kCoarseGainBarRect);
    m_spectrumPanel->attachGainBars(CoarseGainBar, m_receive->gainBar());
    // The engine starts at the gain of the DisplayGain setting: without it a first run, which
    // has no configuration to apply, would draw with the engine's near-zero start gain and show
    // an empty display until the operator moved a bar.
    post(ReceiveCommand::displayGain(m_settings.DisplayGain));
    // Likewise the decoder: a first run decodes with the enhanced decoder, the default.
    post(ReceiveCommand::decoder(m_settings.Decoder));
    label(ContrlPnl, "", "Display Gain", kGainCaptionRect)->setAutoFillBackground(false);
    createTransmitSide(client);

    Panel2 = frame("Panel2", kRxPanel2Top, kPanel2Height);
}

void TDecoderForm::applyColours() {
    const bool white = m_settings.Background == setting::Background::White;
    const QColor back = white ? Qt::white : Qt::black;
    const QColor text = white ? Qt::black : Qt::white;
    // The spectrum panel colours itself and MkrLabel; the station panel its own fields.
    m_spectrumPanel->setBackground(raw(m_settings.Background));
    StationPnl->setBlackScheme(!white);
    m_instruments->setColours(back, text);
    m_receive->setColours(back, text);
    m_speedPanel->setColours(back, text);
    m_transmitPanel->setColours(back, text, white ? QColor(Qt::red) : QColor(Qt::white));
}

void TDecoderForm::applyFontSize(int size) {
    static constexpr int kTransmitPt[] = {12, 14, 16, 20};
    static constexpr int kReceivePt[] = {12, 14, 18, 20};
    m_transmitPanel->setTransmitPointSize(kTransmitPt[size - 1]);
    m_receive->setPointSize(kReceivePt[size - 1]);
}

int TDecoderForm::clientHeight() const {
    return centralWidget()->height();
}

} // namespace dita
