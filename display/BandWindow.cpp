#include "display/BandWindow.h"

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
enum Column { kHzColumn, kWpmColumn, kSnrColumn, kTextColumn, kColumns };
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
} // namespace

BandWindow::BandWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("BandWindow");
    setWindowTitle("Band");
    resize(kInitialWidth, kInitialHeight);
    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName("BandTable");
    m_table->setHorizontalHeaderLabels({"Hz", "WPM", "SNR", "Text"});
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
    layout->addWidget(m_table);
    layout->addWidget(m_status);
    connect(m_table, &QTableWidget::cellClicked, this, [this](int row, int) {
        const QTableWidgetItem* hz = m_table->item(row, kHzColumn);
        if (hz) emit tuneRequested(binForHz(hz->data(Qt::UserRole).toDouble()));
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
        for (const char ch : c.text)
            text += ch == '\r' || ch == '\n' ? ' ' : ch;
        // A channel merged into another, or one that never wrote anything, is not a signal of
        // its own to remember.
        if (c.mergedInto != 0 || text.find_first_not_of(' ') == std::string::npos) continue;
        if (text.size() > static_cast<size_t>(kTextChars)) text.erase(0, text.size() - kTextChars);
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
    // Rows, open and stopped signals together by frequency, are rewritten in place: the table
    // repaints only the cells that changed.
    struct Row {
        const BandChannel* channel;
        const std::string* text;
        bool stopped;
    };
    std::vector<Row> rows;
    for (int i = 0; i < result.channelCount; ++i) {
        const BandChannel& c = result.channels[static_cast<size_t>(i)];
        std::string& text = m_texts[c.id];
        for (const char ch : c.text)
            text += ch == '\r' || ch == '\n' ? ' ' : ch;
        if (text.size() > static_cast<size_t>(kTextChars)) text.erase(0, text.size() - kTextChars);
        rows.push_back({&c, &text, false});
    }
    for (const Kept& k : m_kept)
        rows.push_back({&k.channel, &k.text, true});
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.channel->pitchHz < b.channel->pitchHz;
    });
    m_table->setUpdatesEnabled(false);
    if (m_table->rowCount() != static_cast<int>(rows.size()))
        m_table->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const BandChannel& c = *rows[static_cast<size_t>(row)].channel;
        const std::string& text = *rows[static_cast<size_t>(row)].text;
        setCell(row, kHzColumn, QString::number(std::lround(c.pitchHz)));
        m_table->item(row, kHzColumn)->setData(Qt::UserRole, c.pitchHz);
        setCell(row, kWpmColumn, c.wpm > 0 ? QString::number(c.wpm) : QString("-"));
        setCell(row, kSnrColumn, QString::number(std::lround(c.snrDb)) + " dB");
        setCell(row, kTextColumn,
                QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
        const QBrush colour = rows[static_cast<size_t>(row)].stopped ? QBrush(kStoppedColour)
                                                                     : m_table->palette().text();
        for (int column = 0; column < kColumns; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (item->foreground() != colour) item->setForeground(colour);
        }
    }
    m_table->setUpdatesEnabled(true);
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

void BandWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    emit shownChanged(true);
}

void BandWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit shownChanged(false);
}

} // namespace dita
