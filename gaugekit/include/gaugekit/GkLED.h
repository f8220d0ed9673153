#pragma once
// Indicator lamp with an optional caption. Created by the owning window on the GUI thread;
// DITA switches its lamps with SetChecked.
#include "gaugekit/GkClass.h"

class GAUGEKIT_EXPORT TGkLED : public TGkBinGControl {
    Q_OBJECT
    Q_PROPERTY(TLED* LED READ LED CONSTANT)
    Q_PROPERTY(GkEnums::TLEDPosition LED_Position READ LED_Position WRITE SetLED_Position)
    Q_PROPERTY(int Spacing READ Spacing WRITE SetSpacing)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    static constexpr int kDefaultWidth = 73;
    static constexpr int kDefaultHeight = 33;
    static constexpr QChar kLineSeparator = QLatin1Char('|');

    explicit TGkLED(QWidget* parent = nullptr);
    TLED* LED() const { return m_led; }
    TLEDPosition LED_Position() const { return m_position; }
    int Spacing() const { return m_spacing; }
    QString Caption() const { return m_caption; }
    void SetLED_Position(TLEDPosition v);
    void SetSpacing(int v);
    // Lines are separated by '|'.
    void SetCaption(const QString& v);

    // Where the lamp is drawn, in control coordinates (round lamps are square).
    QRect LampRect() const;
    // Where the caption is written.
    QRect CaptionRect() const;
    // The colour the lamp shows now (on, off, or off during the dark half of a flash).
    QColor LampColor() const;

    void ParamChange(QObject* sender) override;
    QSize sizeHint() const override { return {kDefaultWidth, kDefaultHeight}; }

protected:
    void StatusChanged() override;
    void Flash(bool on) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void layout(QRect& lamp, QRect& caption) const;
    TLED* m_led;
    TLEDPosition m_position = lpLeft;
    int m_spacing = 5;
    QString m_caption;
    bool m_painting = false;
};
