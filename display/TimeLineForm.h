#pragma once
// TTimeLineForm, "Time Line Display": the window that plots the tone detector's step levels,
// threshold, noise and key state against time (see TimelineChart).
//
// Who calls it: the main window on the window thread. It creates the form once at start,
// hands it the stored placement and TimelineShown from the configuration, calls
// showFromSettings() from Display > Timeline > "Show" (Show2Click) and from the configuration
// load, and passes every PassResult to showPass() while running() is set. running() may be
// read from any thread. It keeps its placement and TimelineShown with the settings through
// placementChanged() and timelineShownChanged().
#include "display/TimelineChart.h"

#include <QFrame>
#include <QPushButton>
#include <QWidget>
#include <atomic>
#include <functional>

namespace dita {

// Window position and size as the configuration file keeps them. The position is the
// window's frame; the size is its client area.
struct WindowPlacement {
    int top = 0;
    int left = 0;
    int height = 0;
    int width = 0;
    bool operator==(const WindowPlacement&) const = default;
};

// SpectrumBox3: paints the chart image; a paint also recomputes the scale.
class TimelineBox : public QWidget {
    Q_OBJECT
public:
    // image: what to paint; painted: called before each paint.
    TimelineBox(QWidget* parent, std::function<const QImage&()> image,
                std::function<void()> painted);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<const QImage&()> m_image;
    std::function<void()> m_painted;
};

class TTimeLineForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 516;
    static constexpr int kClientHeight = 315;
    static constexpr int kButtonBarHeight = 31;
    static constexpr int kMaxBoxWidth = 1600;
    static constexpr int kMaxBoxHeight = 1200;
    // The form's minimum of 240 x 320 counts the original caption and borders; on the client
    // area it leaves 240 x 286.
    static constexpr int kMinWindowWidth = 240;
    static constexpr int kMinWindowHeight = 320;
    static constexpr int kCaptionAllowance = 34;

    explicit TTimeLineForm(QWidget* parent = nullptr);
    ~TTimeLineForm() override;

    // Drawing step: one pass into the chart and one copy to the screen, only while running.
    void showPass(const PassResult& pass);

    // Show2Click and the configuration load: show the window at the stored placement and set
    // TimelineShown and the running flag.
    void showFromSettings();
    // The stored placement (from the configuration file). Sizes are held within what the
    // window can take, so a damaged record cannot make the chart vanish or the scale negative.
    void setStoredPlacement(const WindowPlacement& placement);
    // The window's current placement while it is shown, else the one stored at its closing.
    WindowPlacement placement() const;
    bool timelineShown() const { return m_timelineShown; }
    bool running() const { return m_running.load(); }

    // Handlers named as on the form.
    void TimeStartBtnClick();
    void TimeStopBtnClick();
    void TimeCloseBtnClick();

    int creationHeight() const { return m_creationHeight; }
    QSize panelSize() const;
    const TimelineChart& chart() const { return m_chart; }
    QWidget* timeBasePanel() const { return m_timeBasePanel; }
    TimelineBox* spectrumBox3() const { return m_spectrumBox3; }
    QPushButton* timeStartBtn() const { return m_timeStartBtn; }
    QPushButton* timeStopBtn() const { return m_timeStopBtn; }
    QPushButton* timeCloseBtn() const { return m_timeCloseBtn; }

signals:
    // TimelineShown changed (the main window keeps it among its settings).
    void timelineShownChanged(bool shown);
    // What placement() gives may have changed: the window moved or was resized while shown,
    // was shown or hidden, or a placement was stored.
    void placementChanged(const WindowPlacement& placement);

public:
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyPlacement();
    void storePlacement();
    void reportPlacement();
    void setTimelineShown(bool shown);
    void FormResize();
    void SpectrumBox3Paint();
    void TimeBasePanelResize();

    TimelineChart m_chart;
    QWidget* m_timeBasePanel;
    TimelineBox* m_spectrumBox3;
    QFrame* m_timeControl;
    QPushButton* m_timeStartBtn;
    QPushButton* m_timeStopBtn;
    QPushButton* m_timeCloseBtn;
    WindowPlacement m_stored;
    int m_creationHeight = kClientHeight;
    bool m_timelineShown = false;
    std::atomic<bool> m_running{false};
};

} // namespace dita
