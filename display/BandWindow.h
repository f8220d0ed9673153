#pragma once
// The "Band" window: one row per signal the band decoder follows (frequency, speed, ratio over
// the noise, the latest text), sorted by frequency and rewritten in place each pass so nothing
// flickers. A click on a row asks to tune the main decoder there, as a click on the spectrum
// does.
//
// Who calls it: the main window, on the window thread; showPass() gets each band pass through
// a queued call from the band decoder's thread.
#include "receive/BandDecoder.h"

#include <QWidget>

#include <map>
#include <string>

class QLabel;
class QTableWidget;

namespace dita {

class BandWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTextChars = 40; // latest characters shown per signal

    explicit BandWindow(QWidget* parent = nullptr);

    // droppedPasses: passes the band decoder has skipped to keep up (0: none).
    void showPass(const BandPassResult& result, long droppedPasses);

    QTableWidget* table() const { return m_table; }
    QLabel* status() const { return m_status; }
    // The bin a spectrum click at that frequency tunes to.
    static int binForHz(double hz);

signals:
    void tuneRequested(int bin);
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setCell(int row, int column, const QString& text);

    QTableWidget* m_table;
    QLabel* m_status;
    std::map<int, std::string> m_texts; // latest text per channel id
};

} // namespace dita
