#pragma once
// The spectrum panel across the top of the main window (ImagePnl): the visible display
// SpectrumBox, the transparent click layer Image1 on top of it, and MkrLabel with the tuned
// frequency. The two gain bars (CoarseGainBar, CoarseGainBar2) live on other panels of the
// main window; DisplayGainBar makes them. SpectrumPanel::attachGainBar() connects the first;
// the second's moves reach CoarseGainBar2Change() from the panel it sits on.
//
// Who calls it: the main window, on the window thread only. The run loop hands each pass's
// PassResult to showPass() through a queued call; the menu handlers Spectrum1Click and
// Waterfall2Click, the background handlers and the configuration loader call the functions
// named after them. Everything the receive engine must hear leaves through the signals;
// wireToEngine() connects them to ReceiveEngine::post().
#include "display/DisplayColours.h"
#include "display/DisplayDrawing.h"

#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QWidget>

#include <vector>

class QAction;
class QPainter;

namespace dita {

class ReceiveEngine;

constexpr int kMinGainPosition = 1;
constexpr int kMaxGainPosition = 20;
constexpr int kFormGainPosition = 10;  // where both bars stand before any setting is applied
constexpr int kDefaultDisplayGain = 5; // the DisplayGain setting before a bar is moved

// The frequency labels of the scale take this many rows along the top edge of SpectrumBox.
constexpr int kScaleLabelRows = 10;

// SpectrumBox: the visible display. It keeps its own copy of the visible part of the last
// image the drawing step produced (one copy per pass), so that later changes to the
// off-screen images, such as the black clear of a mode change, reach the screen only with the
// next pass, and repaints in between show the same picture.
class SpectrumBox : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumBox(QWidget* parent);
    // Copies the top kSpectrumBoxHeight rows of image; markerBin > 0 then draws the waterfall
    // marker over the copy in markerColour.
    void showImage(const QImage& image, int markerBin, QRgb markerColour);
    // Before the first pass: the whole box in one colour.
    void clear(QRgb colour);
    // The band decoder's channels: a mark at the top of the box over each bin (empty: none).
    void setBandMarks(const std::vector<int>& bins);
    const std::vector<int>& bandMarks() const { return m_bandMarks; }
    // The picture on the screen.
    const QImage& frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawFrequencyScale(QPainter& p) const;
    QImage m_frame;
    std::vector<int> m_bandMarks;
};

// Image1: the transparent layer over SpectrumBox that takes the clicks.
class ClickLayer : public QWidget {
    Q_OBJECT
public:
    explicit ClickLayer(QWidget* parent);
signals:
    // Left button released at column x inside the layer.
    void released(int x);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A gain bar as the form has it: horizontal, positions 1..20, at 10, with its hint.
class DisplayGainBar : public QSlider {
    Q_OBJECT
public:
    DisplayGainBar(QWidget* parent, const QString& objectName);
};

class SpectrumPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int kPanelHeight = 100;
    static constexpr int kBoxLeft = 163;
    static constexpr int kClickLayerHeight = 104;
    static constexpr int kMarkerLeft = 145;
    static constexpr int kMarkerWidth = 12;
    static constexpr int kMarkerHeight = 102;
    static constexpr int kMarkerFontPx = 16;
    static constexpr int kInitialMarkerHz = 600;

    explicit SpectrumPanel(QWidget* parent = nullptr);

    // Drawing step, once per pass: the pass's marker frequency into MkrLabel, the trace or
    // waterfall row into its image, and one copy of that image to SpectrumBox.
    void showPass(const PassResult& pass);
    // Start of the run loop: both images in the background colour.
    void runLoopEntry();
    // WhiteBackground / BlackBackground: colours of ImagePnl and MkrLabel; the images take the
    // colour at their next fill.
    void setBackground(int background);
    int background() const { return m_background; }

    // Menu handlers Display > Type "Line" and "Waterfall", also called by the configuration
    // loader: clear the line image black, store the mode, check the chosen item and uncheck
    // the other (when attachModeItems() gave them), emit displayTypeChanged().
    void Spectrum1Click();
    void Waterfall2Click();
    void attachModeItems(QAction* spectrum1, QAction* waterfall2);
    int displayType() const { return m_displayType; }

    // The gain bars. The handlers store the moved bar's position as DisplayGain and emit
    // displayGainChanged(); the bars are not synchronised with each other. The configuration
    // loader sets CoarseGainBar's position and then calls CoarseGainBarChange() itself.
    void attachGainBar(QSlider* coarseGainBar);
    void CoarseGainBarChange();
    void CoarseGainBar2Change(int position);
    int displayGain() const { return m_displayGain; }

    // Click on the display at column x: tunes to min(x, 480).
    void Image1MouseUp(int x);

    SpectrumBox* spectrumBox() const { return m_spectrumBox; }
    ClickLayer* image1() const { return m_image1; }
    QLabel* mkrLabel() const { return m_mkrLabel; }
    // The frequency MkrLabel shows, as one line of digits; as the label reads, one a line.
    QString markerText() const;
    QString markerLines() const;
    // The band decoder's channels marked along the top of SpectrumBox (empty: none).
    void setBandMarks(const std::vector<int>& bins);
    // Shows a frequency until the next pass (the configuration load shows the AFC start).
    void setMarkerHz(int hz);
    const SpectrumDrawing& drawing() const { return m_drawing; }

signals:
    void tuneRequested(int bin);
    void displayTypeChanged(int displayType);
    // After this the main window applies its focus rule.
    void displayGainChanged(int position);

private:
    void selectMode(int mode);
    void gainBarMoved(int position);

    SpectrumDrawing m_drawing;
    SpectrumBox* m_spectrumBox;
    ClickLayer* m_image1;
    QLabel* m_mkrLabel;
    QAction* m_spectrum1 = nullptr;
    QAction* m_waterfall2 = nullptr;
    QSlider* m_coarseGainBar = nullptr;
    int m_background = kWhiteBackground;
    int m_displayType = kLineMode;
    int m_displayGain = kDefaultDisplayGain;
    int m_markerHz = -1;
    bool m_passShown = false;
};

// Connects the panel's requests to the engine: a click posts TuneToBin, a mode change
// DisplayType, a gain change DisplayGain. The engine must outlive the panel.
void wireToEngine(SpectrumPanel& panel, ReceiveEngine& engine);

} // namespace dita
