#pragma once
// Digital clock showing the local date, time or both in a bevelled box; redraws its text once
// per wall-clock second from the flash list. Created by the owning window on the GUI thread.
#include <QDateTime>
#include <functional>

#include "gaugekit/GkClass.h"

class GAUGEKIT_EXPORT TGkClock : public TGkGraphicControl {
    Q_OBJECT
    Q_PROPERTY(GkEnums::TClockOption ClockOption READ ClockOption WRITE SetClockOption)
    Q_PROPERTY(TGkSBevel* BevelOuter READ BevelOuter CONSTANT)
    Q_PROPERTY(TGkSBevel* BevelInner READ BevelInner CONSTANT)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(bool AutoHint READ AutoHint WRITE SetAutoHint)
public:
    static constexpr int kDefaultWidth = 69;
    static constexpr int kDefaultHeight = 24;
    using TimeSource = std::function<QDateTime()>;

    explicit TGkClock(QWidget* parent = nullptr);
    ~TGkClock() override;
    TClockOption ClockOption() const { return m_option; }
    TGkSBevel* BevelOuter() const { return m_outer; }
    TGkSBevel* BevelInner() const { return m_inner; }
    TColor FontColor() const { return m_fontColor; }
    bool AutoHint() const { return m_autoHint; }
    void SetClockOption(TClockOption v);
    void SetFontColor(TColor v);
    void SetAutoHint(bool v) { m_autoHint = v; }
    // Where the current time comes from (local time by default); for tests and demonstrations.
    void SetTimeSource(TimeSource source);

    // The text shown now, in the locale's short formats.
    QString ClockText() const;
    QRect TextRect() const { return m_textRect; }
    // Smallest control size for the given text.
    QSize MinimumControlSize(const QString& text) const;
    // Redraws only the text (one flash-list second).
    void PaintTime();
    // Number of text redraws requested by flash-list seconds since creation.
    int SecondTicks() const { return m_secondTicks; }

    void ParamChange(QObject* sender) override;
    QSize sizeHint() const override { return {kDefaultWidth, kDefaultHeight}; }
    QSize minimumSizeHint() const override { return MinimumControlSize(ClockText()); }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    QRect layoutText(const QString& text) const;
    TClockOption m_option = coTime;
    TGkSBevel* m_outer;
    TGkSBevel* m_inner;
    TColor m_fontColor = clLime;
    bool m_autoHint = true;
    QRect m_textRect;
    TimeSource m_now;
    int m_secondTicks = 0;
};
