#pragma once
// SpectrumArea: the spectrum or waterfall strip across the top of the main window, its "DITA"
// label, the pitch read-out beside it and the "Display Gain" slider under it. It forwards clicks
// on the strip as tuning requests and slider moves as gain changes; the main window talks to the
// strip through this class only. GUI thread only; Qt parents own the widgets.
//
// The receive-only panel has a gain slider of its own. A move of either one sets the gain, and
// the other slider stays where it is.
#include <QObject>
#include <QString>

#include <vector>

class QAction;
class QWidget;

namespace dita {

class DisplayGainBar;
class SpectrumPanel;
struct PassResult;

class SpectrumArea : public QObject {
    Q_OBJECT
public:
    // Builds the display across the top of `client`, `width` pixels wide, and the brightness
    // slider with its caption in `controlPanel`.
    SpectrumArea(QWidget* client, int width, QWidget* controlPanel);

    // Draws the spectrum and pitch of one block of received audio.
    void showPass(const PassResult& pass);
    // Audio starts flowing: clears the strip, so that no trace from before is left on it.
    void runLoopEntry();
    void setBackground(int background);
    // Switches between line trace and waterfall and keeps the two menu items' checks in step.
    void selectDisplay(bool waterfall);
    void attachModeItems(QAction* line, QAction* waterfall);
    // Ticks along the top of the display at the pitches being decoded in the band (empty: none).
    void setBandMarks(const std::vector<int>& bins);
    // Shows a frequency in the pitch read-out until the next block is drawn.
    void setMarkerHz(int hz);
    // The pitch read-out's text as drawn (digits stacked, one per line).
    QString markerLines() const;

    int gainBarPosition() const;
    // Sets the slider from saved settings without emitting gainBarMoved (which would save it
    // again) and returns the position the slider took, clamped to its range; applyGainBar()
    // then uses it.
    int loadGainBarPosition(int position);
    void applyGainBar();
    // The receive-only panel's slider moved to position: the gain takes it; this slider does not
    // move.
    void secondGainBarMoved(int position);

signals:
    void tuneRequested(int bin);
    void displayTypeChanged(int displayType);
    // The gain changed (the main window returns keyboard focus to the text pane being typed in).
    void displayGainChanged(int position);
    // This slider moved (the main window stores the position in the settings).
    void gainBarMoved(int position);

private:
    SpectrumPanel* ImagePnl;
    DisplayGainBar* CoarseGainBar;
};

} // namespace dita
