#pragma once
// Bar meter: shows the per-thousand position of its value as a horizontal or vertical bar
// inside an outer and an inner bevel. Created by the owning window on the GUI thread; DITA sets
// Value (SetValue) and BarSettings()->SetColor on every processing pass.
#include "gaugekit/GkClass.h"

class GAUGEKIT_EXPORT TGkBar : public TGkAnalogGControl {
    Q_OBJECT
    Q_PROPERTY(TBarSettings* BarSettings READ BarSettings CONSTANT)
    Q_PROPERTY(TGkSBevel* BevelOuter READ BevelOuter CONSTANT)
public:
    static constexpr int kDefaultWidth = 164;
    static constexpr int kDefaultHeight = 28;

    explicit TGkBar(QWidget* parent = nullptr);
    TBarSettings* BarSettings() const { return m_bar; }
    TGkSBevel* BevelOuter() const { return m_bevelOuter; }
    // The bar area inside both bevels, in control coordinates.
    QRect BarRect() const { return m_bar->BarRect; }
    // Smallest control size the bevels and the bar minimum allow.
    QSize MinimumControlSize() const;

    void ParamChange(QObject* sender) override;
    QSize sizeHint() const override { return {kDefaultWidth, kDefaultHeight}; }
    QSize minimumSizeHint() const override { return MinimumControlSize(); }

protected:
    void ValueChange() override;
    void SettingsChanged(TGkPersistent* sender) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void layoutBar();
    void refreshBar();
    TBarSettings* m_bar;
    TGkSBevel* m_bevelOuter;
};
