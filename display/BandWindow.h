#pragma once
// The "Band" window: one row per signal the band decoder follows (frequency, speed, ratio over
// the noise, the latest text), sorted by frequency and rewritten in place each pass so nothing
// flickers. A signal that stops stays listed, greyed, for a while (10 minutes unless set), so
// that an operator scanning the band sees who was there. A click on a row asks to tune the
// main decoder there, as a click on the spectrum does.
//
// Who calls it: the main window, on the window thread; showPass() gets each band pass through
// a queued call from the band decoder's thread.
#include "receive/band/BandDecoder.h"
#include "skim/Skimmer.h"

#include <QWidget>

#include <map>
#include <string>
#include <vector>

class QLabel;
class QTableWidget;

namespace dita {

class BandMap;

class BandWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTextChars = 40; // latest characters shown per signal
    // The table's columns; the call is shown only for an I/Q band.
    enum Column { kHzColumn, kCallColumn, kWpmColumn, kSnrColumn, kTextColumn, kColumns };
    static constexpr double kDefaultHoldSeconds = 600.0;

    explicit BandWindow(QWidget* parent = nullptr);

    // droppedPasses: passes the band decoder has skipped to keep up (0: none).
    void showPass(const BandPassResult& result, long droppedPasses);
    // The skimmer's band after a block; tunedHz is the radio frequency the main decoder hears.
    void showIq(const SkimResult& result, double tunedHz);
    // The radio frequencies the I/Q band spans, for the band map strip over the rows.
    void setIqSpan(double lowHz, double highHz);

    // How long a signal that stopped stays listed (greyed), in seconds of input.
    void setHoldSeconds(double seconds) { m_holdSeconds = seconds; }

    QTableWidget* table() const { return m_table; }
    QLabel* status() const { return m_status; }
    BandMap* bandMap() const { return m_bandMap; }
    // The bin a spectrum click at that frequency tunes to.
    static int binForHz(double hz);

signals:
    void tuneRequested(int bin);
    void radioTuneRequested(double radioHz);
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // What a row shows, for either kind of input.
    struct Row {
        double hz; // audio pitch, or radio frequency for I/Q
        const std::string* call;
        int wpm;
        double snrDb;
        const std::string* text;
        bool stopped;
    };
    void showRows(std::vector<Row>& rows);
    void setCell(int row, int column, const QString& text);
    void keepClosed(const BandPassResult& result);
    void keepIq(const SkimResult& result);

    // A signal that stopped, as it was last seen.
    struct Kept {
        BandChannel channel;
        std::string text;
        double closedSeconds = 0.0;
    };

    BandMap* m_bandMap;
    QTableWidget* m_table;
    QLabel* m_status;
    std::map<int, std::string> m_texts; // latest text per channel id
    std::vector<Kept> m_kept;
    // The skimmer's signals, open and stopped (closedSeconds >= 0).
    struct IqSignal {
        int id = 0;
        double freqHz = 0.0;
        int wpm = 0;
        double snrDb = 0.0;
        std::string call;
        std::string text;
        double closedSeconds = -1.0;
    };
    std::vector<IqSignal> m_iq;
    bool m_iqShown = false;
    double m_iqShownSeconds = -1.0; // input time of the last redraw
    double m_holdSeconds = kDefaultHoldSeconds;
};

} // namespace dita
