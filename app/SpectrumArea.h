#pragma once
// SpectrumArea owns the spectrum/waterfall panel and the display-gain slider, and is the only
// way the main window reaches them: a click on the panel comes out as tuneRequested(bin), a move
// of the slider as gainBarMoved(position). Qt parents own the widgets; GUI thread only.
//
// The receive-only screen has a gain slider of its own. Whichever slider moves sets the gain, and
// the other is left where the user put it (secondGainBarMoved).
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
    // Puts the panel at the top of `client`, `width` pixels wide, and the gain slider and its
    // label into `controlPanel`.
    SpectrumArea(QWidget* client, int width, QWidget* controlPanel);

    // Draws one pass of the receiver: its spectrum and the tuned pitch.
    void showPass(const PassResult& pass);
    // Called when the receiver starts: wipes whatever the panel showed before.
    void runLoopEntry();
    void setBackground(int background);
    // Line trace or waterfall; the two menu items' check marks follow.
    void selectDisplay(bool waterfall);
    void attachModeItems(QAction* line, QAction* waterfall);
    // Marks the pitches the band decoder is reading (empty: no marks).
    void setBandMarks(const std::vector<int>& bins);
    // Shows hz in the pitch read-out until the next pass is drawn.
    void setMarkerHz(int hz);
    // The read-out's text, one digit per line as it is drawn.
    QString markerLines() const;

    int gainBarPosition() const;
    // Restores the slider from the settings. gainBarMoved is not emitted (it would only write the
    // same value back); returns the position after clamping. Call applyGainBar() next.
    int loadGainBarPosition(int position);
    void applyGainBar();
    // The other slider moved: the gain follows it, this slider stays put.
    void secondGainBarMoved(int position);

signals:
    void tuneRequested(int bin);
    void displayTypeChanged(int displayType);
    // The gain was changed from the panel (the window then gives the keyboard back to the text
    // being typed).
    void displayGainChanged(int position);
    // This slider moved (the window saves the position).
    void gainBarMoved(int position);

private:
    SpectrumPanel* ImagePnl;
    DisplayGainBar* CoarseGainBar;
};

} // namespace dita
