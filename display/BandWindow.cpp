#include "display/BandWindow.h"

#include "display/BandMap.h"
#include "receive/ReceiveEngine.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace dita {

namespace {
constexpr int kInitialWidth = 560;
constexpr int kInitialHeight = 320;
constexpr int kRowHeight = 20;
// Texts of channels that closed are forgotten once this many are kept.
constexpr size_t kMaxKeptTexts = 4 * kMaxBandChannels;
// A signal that stopped is no longer listed apart once a channel this close has opened (the
// same station back), nor beyond this many rows.
constexpr double kSameSignalHz = 20.0;
constexpr size_t kMaxKeptRows = 200;
const QColor kStoppedColour(128, 128, 128);
// A spot belongs to the signal nearest its frequency within this distance.
constexpr double kSpotSignalHz = 50.0;
constexpr double kHzPerKHz = 1000.0;
constexpr double kIqRedrawSeconds = 0.2;
const std::string kNoCall;

// Appends decoded text to a row's, one line, keeping the latest characters.
void appendText(std::string& text, const std::string& more, size_t keep) {
    for (const char ch : more)
        text += ch == '\r' || ch == '\n' ? ' ' : ch;
    if (text.size() > keep) text.erase(0, text.size() - keep);
}
} // namespace

BandWindow::BandWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("BandWindow");
    setWindowTitle("Band");
    resize(kInitialWidth, kInitialHeight);
    m_bandMap = new BandMap(this);
    m_bandMap->hide(); // shown with an I/Q band
    connect(m_bandMap, &BandMap::tuneRequested, this, &BandWindow::radioTuneRequested);
    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName("BandTable");
    m_table->setHorizontalHeaderLabels({"Hz", "Call", "WPM", "SNR", "Text"});
    m_table->setColumnHidden(kCallColumn, true); // calls are read only from an I/Q band
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_table->horizontalHeader()->setSectionResizeMode(kTextColumn, QHeaderView::Stretch);
    for (int c = kHzColumn; c < kTextColumn; ++c)
        m_table->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->setToolTip("Click a signal to tune the decoder to it");
    QFont mono = m_table->font();
    mono.setFamily("monospace");
    mono.setStyleHint(QFont::Monospace);
    m_table->setFont(mono);
    m_status = new QLabel("No signals", this);
    m_status->setObjectName("BandStatus");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_bandMap);
    layout->addWidget(m_table);
    layout->addWidget(m_status);
    connect(m_table, &QTableWidget::cellClicked, this, [this](int row, int) {
        const QTableWidgetItem* hz = m_table->item(row, kHzColumn);
        if (!hz) return;
        if (m_iqShown)
            emit radioTuneRequested(hz->data(Qt::UserRole).toDouble());
        else
            emit tuneRequested(binForHz(hz->data(Qt::UserRole).toDouble()));
    });
}

int BandWindow::binForHz(double hz) {
    // The spectrum shows bin b at (b - 1) * kBinHz; a click tunes at most to kMaxClickBin.
    return std::clamp(static_cast<int>(std::lround(hz / kBinHz)) + 1, 1, kMaxClickBin);
}

void BandWindow::setCell(int row, int column, const QString& text) {
    QTableWidgetItem* item = m_table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem(text);
        if (column != kTextColumn) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, column, item);
    } else if (item->text() != text) {
        item->setText(text);
    }
}

void BandWindow::keepClosed(const BandPassResult& result) {
    for (int i = 0; i < result.closedCount; ++i) {
        const BandChannel& c = result.closed[static_cast<size_t>(i)];
        auto it = m_texts.find(c.id);
        std::string text = it == m_texts.end() ? std::string() : it->second;
        if (it != m_texts.end()) m_texts.erase(it);
        appendText(text, c.text, static_cast<size_t>(kTextChars));
        // A channel merged into another, or one that never wrote anything, is not a signal of
        // its own to remember.
        if (c.mergedInto != 0 || text.find_first_not_of(' ') == std::string::npos) continue;
        m_kept.push_back({c, std::move(text), result.timeSeconds});
    }
    std::erase_if(m_kept, [&](const Kept& k) {
        if (result.timeSeconds - k.closedSeconds > m_holdSeconds) return true;
        for (int i = 0; i < result.channelCount; ++i) {
            if (std::abs(result.channels[static_cast<size_t>(i)].pitchHz - k.channel.pitchHz) <
                kSameSignalHz)
                return true;
        }
        return false;
    });
    if (m_kept.size() > kMaxKeptRows)
        m_kept.erase(m_kept.begin(), m_kept.end() - static_cast<long>(kMaxKeptRows));
}

void BandWindow::showPass(const BandPassResult& result, long droppedPasses) {
    keepClosed(result);
    if (m_texts.size() > kMaxKeptTexts) m_texts.clear();
    std::vector<Row> rows;
    for (int i = 0; i < result.channelCount; ++i) {
        const BandChannel& c = result.channels[static_cast<size_t>(i)];
        std::string& text = m_texts[c.id];
        appendText(text, c.text, static_cast<size_t>(kTextChars));
        rows.push_back({c.pitchHz, &kNoCall, c.wpm, c.snrDb, &text, false});
    }
    for (const Kept& k : m_kept)
        rows.push_back(
            {k.channel.pitchHz, &kNoCall, k.channel.wpm, k.channel.snrDb, &k.text, true});
    showRows(rows);
    QString status = result.channelCount == 1 ? QString("1 signal")
                                              : QString("%1 signals").arg(result.channelCount);
    if (!m_kept.empty()) status += QString(", %1 stopped (grey)").arg(m_kept.size());
    if (droppedPasses > 0) {
        status +=
            QString(" - the band decoder fell behind and skipped %1 s of audio (the main decoder "
                    "is not affected)")
                .arg(static_cast<double>(droppedPasses) * kPassFrames / kSampleRateHz, 0, 'f', 1);
    }
    if (m_status->text() != status) m_status->setText(status);
}

void BandWindow::showRows(std::vector<Row>& rows) {
    // Rows, open and stopped signals together by frequency, are rewritten in place: the table
    // repaints only the cells that changed.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.hz < b.hz; });
    m_table->setUpdatesEnabled(false);
    if (m_table->rowCount() != static_cast<int>(rows.size()))
        m_table->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const Row& r = rows[static_cast<size_t>(row)];
        setCell(row, kHzColumn,
                m_iqShown ? QString::number(r.hz / kHzPerKHz, 'f', 1)
                          : QString::number(std::lround(r.hz)));
        m_table->item(row, kHzColumn)->setData(Qt::UserRole, r.hz);
        setCell(row, kCallColumn, QString::fromStdString(*r.call));
        setCell(row, kWpmColumn, r.wpm > 0 ? QString::number(r.wpm) : QString("-"));
        setCell(row, kSnrColumn, QString::number(std::lround(r.snrDb)) + " dB");
        setCell(row, kTextColumn,
                QString::fromLatin1(r.text->data(), static_cast<qsizetype>(r.text->size())));
        const QBrush colour = r.stopped ? QBrush(kStoppedColour) : m_table->palette().text();
        for (int column = 0; column < kColumns; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (item->foreground() != colour) item->setForeground(colour);
        }
    }
    m_table->setUpdatesEnabled(true);
}

void BandWindow::keepIq(const SkimResult& result) {
    auto open = [&](int id) {
        return std::find_if(m_iq.begin(), m_iq.end(), [id](const IqSignal& s) {
            return s.id == id && s.closedSeconds < 0.0;
        });
    };
    for (const SkimChannel& c : result.channels) {
        auto it = open(c.id);
        if (it == m_iq.end()) {
            IqSignal signal;
            signal.id = c.id;
            it = m_iq.insert(m_iq.end(), std::move(signal));
        }
        it->freqHz = c.freqHz;
        it->wpm = c.wpm;
        it->snrDb = c.snrDb;
        appendText(it->text, c.text, static_cast<size_t>(kTextChars));
    }
    for (const SkimRecord& r : result.closed) {
        auto it = open(r.id);
        if (it == m_iq.end()) continue;
        it->text.clear();
        appendText(it->text, r.text, static_cast<size_t>(kTextChars));
        it->closedSeconds = result.timeSeconds;
    }
    for (const SkimSpot& spot : result.spots) {
        auto nearest = m_iq.end();
        for (auto it = m_iq.begin(); it != m_iq.end(); ++it) {
            const double d = std::abs(it->freqHz - spot.freqHz);
            if (d < kSpotSignalHz &&
                (nearest == m_iq.end() || d < std::abs(nearest->freqHz - spot.freqHz)))
                nearest = it;
        }
        if (nearest != m_iq.end()) nearest->call = spot.call;
    }
    // A stopped signal goes after the hold time, when it never wrote anything, or when a signal
    // has opened on its frequency again (the same station back).
    std::erase_if(m_iq, [&](const IqSignal& s) {
        if (s.closedSeconds < 0.0) return false;
        if (result.timeSeconds - s.closedSeconds > m_holdSeconds) return true;
        if (s.text.find_first_not_of(' ') == std::string::npos) return true;
        return std::any_of(
            result.channels.begin(), result.channels.end(),
            [&](const SkimChannel& c) { return std::abs(c.freqHz - s.freqHz) < kSameSignalHz; });
    });
    const auto stopped = std::count_if(m_iq.begin(), m_iq.end(),
                                       [](const IqSignal& s) { return s.closedSeconds >= 0.0; });
    // The oldest stopped rows go first beyond the limit.
    for (auto excess = stopped - static_cast<long>(kMaxKeptRows); excess > 0; --excess) {
        m_iq.erase(
            std::min_element(m_iq.begin(), m_iq.end(), [](const IqSignal& a, const IqSignal& b) {
                const double ka = a.closedSeconds < 0.0 ? 1e300 : a.closedSeconds;
                const double kb = b.closedSeconds < 0.0 ? 1e300 : b.closedSeconds;
                return ka < kb;
            }));
    }
}

void BandWindow::setIqSpan(double lowHz, double highHz) {
    m_bandMap->setSpan(lowHz, highHz);
}

void BandWindow::showIq(const SkimResult& result, double tunedHz) {
    if (!m_iqShown) {
        m_iqShown = true;
        m_table->setHorizontalHeaderItem(kHzColumn, new QTableWidgetItem("kHz"));
        m_table->setColumnHidden(kCallColumn, false);
        m_bandMap->show();
    }
    keepIq(result);
    // The skimmer reports every few tens of milliseconds; the rows are redrawn about as often
    // as the audio band's passes come, or at once when a signal stops.
    if (result.timeSeconds - m_iqShownSeconds < kIqRedrawSeconds && result.closed.empty()) return;
    m_iqShownSeconds = result.timeSeconds;
    std::vector<Row> rows;
    int stopped = 0;
    for (const IqSignal& s : m_iq) {
        rows.push_back({s.freqHz, &s.call, s.wpm, s.snrDb, &s.text, s.closedSeconds >= 0.0});
        stopped += s.closedSeconds >= 0.0 ? 1 : 0;
    }
    showRows(rows);
    std::vector<BandMapSignal> mapped;
    mapped.reserve(m_iq.size());
    for (const IqSignal& s : m_iq)
        mapped.push_back({s.freqHz, s.call, s.closedSeconds >= 0.0});
    m_bandMap->setSignals(std::move(mapped), tunedHz);
    const int open = static_cast<int>(m_iq.size()) - stopped;
    QString status = open == 1 ? QString("1 signal") : QString("%1 signals").arg(open);
    if (stopped > 0) status += QString(", %1 stopped (grey)").arg(stopped);
    status += QString(" - decoder on %1 kHz").arg(tunedHz / kHzPerKHz, 0, 'f', 1);
    if (m_status->text() != status) m_status->setText(status);
}

void BandWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit shownChanged(true);
}

void BandWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit shownChanged(false);
}

} // namespace dita
