#pragma once
// SpectrumArea: the spectrum or waterfall across the top of the main window, with the frequency
// marker and the program's name in it, and the display gain slider with its caption in the
// lower control panel. It only creates and drives these controls; they are children of the
// window's widgets, which delete them. The receive area has a second gain slider and reports
// its moves here, so that both drive the one display.
//
// Called by the main window on the window thread: once per pass to draw, when the run loop
// starts, from the display menu, when the background changes and when a configuration loads.
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

    // Drawing, once per pass; the start of the run loop.
    void showPass(const PassResult& pass);
    void runLoopEntry();
    void setBackground(int background);
    // Display > Type: the line trace or the waterfall; the two items attached show the choice.
    void selectDisplay(bool waterfall);
    void attachModeItems(QAction* line, QAction* waterfall);
    // The band decoder's channels marked along the top of the display (empty: none).
    void setBandMarks(const std::vector<int>& bins);
    // Shows a frequency on the marker until the next pass.
    void setMarkerHz(int hz);
    // The marker as it reads on the screen, one digit a line.
    QString markerLines() const;

    int gainBarPosition() const;
    // The configuration load: the bar moved without its change handler; returns the position
    // the bar took (within its range). applyGainBar() then runs the handler.
    int loadGainBarPosition(int position);
    void applyGainBar();
    // The second gain bar moved (it is not kept in step with the first).
    void secondGainBarMoved(int position);

signals:
    void tuneRequested(int bin);
    void displayTypeChanged(int displayType);
    // After this the main window applies its focus rule.
    void displayGainChanged(int position);
    // The first bar's position, for the stored window values.
    void gainBarMoved(int position);

private:
    SpectrumPanel* ImagePnl;
    DisplayGainBar* CoarseGainBar;
};

} // namespace dita
