#pragma once
// SpectrumArea owns the audio display at the top of the main window (line trace or waterfall,
// with the tuned pitch written beside it and "DITA" in the corner) and the brightness slider in
// the control panel below. A click on the display asks for the decoder to be tuned there. The
// main window reaches the display only through this class, so the drawing code stays free to
// change. The widgets belong to their Qt parents; all calls come from the GUI thread.
//
// A second brightness slider sits on the receive panel. Whichever slider moved last sets the
// brightness; neither slider follows the other.
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
    // Called when audio starts flowing: wipes the old picture so a stale trace is not shown.
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
    // For restoring settings: moves the slider silently, so that the restore is not saved again
    // as a user change, and returns the position the slider accepted (within its range).
    // applyGainBar() then redraws with it.
    int loadGainBarPosition(int position);
    void applyGainBar();
    // The receive panel's slider moved: the brightness follows it; this area's slider keeps its
    // own position.
    void secondGainBarMoved(int position);

signals:
    void tuneRequested(int bin);
    void displayTypeChanged(int displayType);
    // The brightness changed; the window then gives the keyboard back to the text pane in use, so
    // that typing goes on where it was.
    void displayGainChanged(int position);
    // This area's slider moved; the window saves the position with the settings.
    void gainBarMoved(int position);

private:
    SpectrumPanel* ImagePnl;
    DisplayGainBar* CoarseGainBar;
};

} // namespace dita
