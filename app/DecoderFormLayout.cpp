// The window's controls: building and placing them, their colours and their type sizes.
#include "app/DecoderForm.h"

#include "app/DecoderFormLayout.h"
#include "app/FormInstruments.h"
#include "app/ReceivePanel.h"
#include "app/SpectrumArea.h"
#include "app/TransmitSpeedPanel.h"

#include <QFrame>

#include <algorithm>

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

    m_spectrum = new SpectrumArea(client, m_clientWidth, ContrlPnl);
    // Clicks, mode and gain changes reach the engine as commands between passes.
    connect(m_spectrum, &SpectrumArea::tuneRequested, this,
            [this](int bin) { post(ReceiveCommand::tuneToBin(bin)); });
    connect(m_spectrum, &SpectrumArea::displayTypeChanged, this, [this](int type) {
        m_settings.DisplayType = setting::DisplayType(type);
        post(ReceiveCommand::displayType(m_settings.DisplayType));
    });
    connect(m_spectrum, &SpectrumArea::displayGainChanged, this, [this](int position) {
        m_settings.DisplayGain = position;
        post(ReceiveCommand::displayGain(position));
        focusRule();
    });
    connect(m_receive, &ReceivePanel::gainBarMoved, m_spectrum, &SpectrumArea::secondGainBarMoved);
    // The engine starts at the gain of the DisplayGain setting: without it a first run, which
    // has no configuration to apply, would draw with the engine's near-zero start gain and show
    // an empty display until the operator moved a bar.
    post(ReceiveCommand::displayGain(m_settings.DisplayGain));
    // Likewise the decoder: a first run decodes with the enhanced decoder, the default.
    post(ReceiveCommand::decoder(m_settings.Decoder));
    createTransmitSide(client);

    Panel2 = frame("Panel2", kRxPanel2Top, kPanel2Height);
}

void TDecoderForm::applyColours() {
    const bool white = m_settings.Background == setting::Background::White;
    const QColor back = white ? Qt::white : Qt::black;
    const QColor text = white ? Qt::black : Qt::white;
    // The spectrum area colours itself and MkrLabel; the station panel its own fields.
    m_spectrum->setBackground(raw(m_settings.Background));
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
