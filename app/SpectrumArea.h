#pragma once
// SpectrumArea owns the view of the receiver audio at the top of the main window: a line
// spectrum or a waterfall that the operator clicks to tune, the marker at the decoder's tone,
// the program's name, and the slider (with its caption) that sets how bright the display draws.
// The window keeps no pointer into these widgets; everything it does to them goes through here.
// The widgets are parented to the window's own, which delete them.
//
// The receive-only layout has a second brightness slider of its own; it reports its moves here,
// and either slider sets the one display. Everything runs on the window's thread.
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
    // The spectrum panel at the top of `client`, `width` wide; the gain bar in `controlPanel`.
    SpectrumArea(QWidget* client, int width, QWidget* controlPanel);

    // Draws what the receive engine measured in one block of audio.
    void showPass(const PassResult& pass);
    // Receiving starts: the off-screen drawing is cleared to the background colour.
    void runLoopEntry();
    void setBackground(int background);
    // Line trace or waterfall; the two menu items attached are checked to match.
    void selectDisplay(bool waterfall);
    void attachModeItems(QAction* line, QAction* waterfall);
    // The band decoder's channels marked along the top of the display (empty: none).
    void setBandMarks(const std::vector<int>& bins);
    // Shows a frequency on the marker until the next pass.
    void setMarkerHz(int hz);
    // The marker as it reads on the screen, one digit a line.
    QString markerLines() const;

    int gainBarPosition() const;
    // Restoring saved settings: the slider is set without announcing the move, and the position
    // it took (clamped to its range) is returned; applyGainBar() then applies it to the display.
    int loadGainBarPosition(int position);
    void applyGainBar();
    // The receive-only slider moved; the main slider is deliberately left where it is.
    void secondGainBarMoved(int position);

signals:
    void tuneRequested(int bin);
    void displayTypeChanged(int displayType);
    // The display's brightness changed; the window then gives the keyboard focus back to the
    // typing field or the receive text, so that the slider does not keep it.
    void displayGainChanged(int position);
    // The main slider moved, so that the window can save its position.
    void gainBarMoved(int position);

private:
    SpectrumPanel* ImagePnl;
    DisplayGainBar* CoarseGainBar;
};

} // namespace dita
