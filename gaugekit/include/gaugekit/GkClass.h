#pragma once
// Base classes of the instrument components: a graphic control with update counting, an analog
// control that maps a value onto the per-thousand scale, and a binary (on/off) control.
// All live on the GUI thread; the owning window creates, sets and destroys them there.
#include <QPoint>
#include <QWidget>

#include "gaugekit/GkSettings.h"

// Graphic control with an update counter: while it is above 0, changes do not repaint.
// Derived components override ParamChange (recompute, invalidate) and paintEvent.
class GAUGEKIT_EXPORT TGkGraphicControl : public QWidget {
    Q_OBJECT
public:
    explicit TGkGraphicControl(QWidget* parent = nullptr);
    void BeginUpdate();
    // Never goes below 0; reaching 0 calls Change().
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }
    // Calls ParamChange(this) while the update counter is 0.
    virtual void Change();
    virtual void ParamChange(QObject* sender);
    // Marks the control for a full repaint.
    void Invalidate();
    // End of loading from a form description: call once all properties are set.
    virtual void Loaded();

protected:
    int m_updateCount = 0;
};

// Analog control: value, digital scale, per-thousand position, sectors, limits, overflow,
// minimum/maximum tracking, damping, logarithmic scale and the automatic hint.
// DITA calls SetValue on the GUI thread on every processing pass.
class GAUGEKIT_EXPORT TGkAnalogGControl : public TGkGraphicControl {
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(int Digit READ Digit WRITE SetDigit)
    Q_PROPERTY(double LimitUpper READ LimitUpper WRITE SetLimitUpper)
    Q_PROPERTY(double LimitLower READ LimitLower WRITE SetLimitLower)
    Q_PROPERTY(TSignalSettings* SignalSettings READ SignalSettings CONSTANT)
    Q_PROPERTY(TSectorSettings* SectorSettings READ SectorSettings CONSTANT)
    Q_PROPERTY(TMinMax* MinMax READ MinMax CONSTANT)
    Q_PROPERTY(TGkDamping* Damping READ Damping CONSTANT)
    Q_PROPERTY(uint HintOptions READ HintOptionBits WRITE SetHintOptionBits)
    Q_PROPERTY(bool LogScale READ LogScale WRITE SetLogScale)
public:
    // The value that stands in for a lower limit of 0.
    static constexpr double kLimitLowerZero = 0.0001;
    static constexpr int kPptFull = 1000;

    explicit TGkAnalogGControl(QWidget* parent = nullptr);

    double Value() const { return m_value; }
    int Digit() const { return m_digit; }
    double LimitUpper() const { return m_limitUpper; }
    double LimitLower() const { return m_limitLower; }
    TSignalSettings* SignalSettings() const { return m_signal; }
    TSectorSettings* SectorSettings() const { return m_sectors; }
    TMinMax* MinMax() const { return m_minMax; }
    TGkDamping* Damping() const { return m_damping; }
    THintOptions HintOptions() const { return m_hintOptions; }
    uint HintOptionBits() const { return m_hintOptions.bits(); }
    bool LogScale() const { return m_logScale; }

    // The value setter; setting the value already aimed at does nothing. Not-a-number is refused.
    void SetValue(double v);
    // Sets the value from a position on the digital scale.
    void SetDigit(int digit);
    void SetLimitUpper(double v);
    // A lower limit of 0 is stored as 0.0001.
    void SetLimitLower(double v);
    void SetHintOptions(THintOptions v);
    void SetHintOptionBits(uint v) { SetHintOptions(THintOptions::fromBits(v)); }
    void SetLogScale(bool v);
    // Minimum and maximum both become the current value.
    void ResetMinMax();

    // Derived state.
    int Ppt() const { return m_ppt; }
    QString ValueStr() const { return m_valueStr; }
    QString DigitStr() const { return m_digitStr; }
    bool InSector(int index) const { return m_inSector[std::size_t(index)]; }
    bool HasSectorColor() const { return m_activeSector >= 0; }
    TColor SectorColor() const;
    bool UpperLimitActive() const { return m_upperLimit; }
    bool LowerLimitActive() const { return m_lowerLimit; }
    bool UpperOverflow() const { return m_upperOverflow; }
    bool LowerOverflow() const { return m_lowerOverflow; }
    int LimitUpperPpt() const { return m_signal->PptOfValue(m_limitUpper); }
    int LimitLowerPpt() const { return m_signal->PptOfValue(m_limitLower); }

    void ParamChange(QObject* sender) override;
    void Loaded() override;

signals:
    void OnValueChange(QObject* sender);
    void OnLimit(QObject* sender, bool lower, bool upper);
    void OnOverflow(QObject* sender, int ppt);
    void OnSectorChange(QObject* sender);
    void OnMinMaxChange(QObject* sender);
    void OnSettingsChange(QObject* sender);
    void OnPositionChange(QObject* sender);

protected:
    virtual void ValueChange();
    virtual void OverflowChange(int ppt);
    virtual void LimitChange();
    virtual void MinMaxChange(QObject* sender);
    virtual void LogScaleChanged();
    // Called for every value the damping object reports.
    void ValueReport(double v);
    void RecomputeDigit();
    void UpdateHint();
    // Reacts to a change of one of the settings objects.
    virtual void SettingsChanged(TGkPersistent* sender);

    double m_value = 50.0;
    int m_digit = 500;
    double m_limitUpper = 90.0;
    double m_limitLower = 10.0;
    THintOptions m_hintOptions;
    bool m_logScale = false;

    int m_ppt = 500;
    QString m_valueStr;
    QString m_digitStr;
    std::array<bool, 3> m_inSector{};
    int m_activeSector = -1;
    bool m_upperLimit = false;
    bool m_lowerLimit = false;
    bool m_upperOverflow = false;
    bool m_lowerOverflow = false;
    QPoint m_lastPos;

    TSignalSettings* m_signal;
    TSectorSettings* m_sectors;
    TMinMax* m_minMax;
    TGkDamping* m_damping;
};

// Binary control: checked state mirrored in one bit of a 32-bit status word, groups sharing
// a status word, mouse modes and flashing. DITA calls SetChecked on the GUI thread.
class GAUGEKIT_EXPORT TGkBinGControl : public TGkGraphicControl {
    Q_OBJECT
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(int StatusInt READ StatusInt WRITE SetStatusInt)
    Q_PROPERTY(int StatusBit READ StatusBit WRITE SetStatusBit)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE SetGroupIndex)
    Q_PROPERTY(GkEnums::TMode Mode READ Mode WRITE SetMode)
    Q_PROPERTY(bool Flashing READ Flashing WRITE SetFlashing)
    Q_PROPERTY(GkEnums::TFlashFreq Frequency READ Frequency WRITE SetFrequency)
public:
    static constexpr int kStatusBits = 32;

    explicit TGkBinGControl(QWidget* parent = nullptr);
    ~TGkBinGControl() override;

    bool Checked() const { return m_checked; }
    int StatusInt() const { return m_statusInt; }
    int StatusBit() const { return m_statusBit; }
    int GroupIndex() const { return m_groupIndex; }
    TMode Mode() const { return m_mode; }
    bool Flashing() const { return m_flashing; }
    TFlashFreq Frequency() const { return m_frequency; }
    // Lowest set bit of the status word, 32 when none.
    int LowestStatusBit() const { return m_lowestBit; }
    // Flash-list code of a flash frequency (ff8Hz 2 ... ff05Hz 6).
    static int FlashCode(TFlashFreq f);

    void SetChecked(bool c);
    void SetStatusInt(int s);
    // Bits outside 0..31 are refused.
    void SetStatusBit(int bit);
    void SetGroupIndex(int index);
    void SetMode(TMode m);
    void SetFlashing(bool f);
    void SetFrequency(TFlashFreq f);

signals:
    void OnStatusChanged(QObject* sender);
    void OnStatusIntChanged(QObject* sender);

protected:
    virtual void StatusChanged();
    virtual void StatusIntChanged();
    // Flash delivery while flashing and checked: `on` is the lamp's current blink state.
    virtual void Flash(bool on);
    virtual void GroupIndexChanged();
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    // The controls sharing this one's group: same group index, same window.
    QList<TGkBinGControl*> GroupMembers() const;

    bool m_flashOn = true;

private:
    void updateFlashRegistration();
    bool m_checked = false;
    int m_statusInt = 0;
    int m_statusBit = 0;
    int m_groupIndex = 0;
    TMode m_mode = mIndicator;
    bool m_flashing = false;
    TFlashFreq m_frequency = ff1Hz;
    int m_lowestBit = kStatusBits;
    bool m_propagating = false;
};
