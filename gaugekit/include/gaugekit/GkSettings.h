#pragma once
// Settings objects: the published property groups of the instrument components. Each belongs
// to one control (its QObject parent), lives on the GUI thread and reports a change to its
// owner only when a setter really changes a value.
#include <QDateTime>
#include <QFont>
#include <QObject>
#include <QRect>
#include <QString>
#include <functional>

#include "gaugekit/GkMath.h"
#include "gaugekit/GkTypes.h"

class QTimer;

// Base of all settings objects. The owning control installs the change callback; Change()
// reports this object as sender, ChangeObject() a given one (a sub-object's change).
class GAUGEKIT_EXPORT TGkPersistent : public QObject {
    Q_OBJECT
public:
    using ChangeCallback = std::function<void(QObject* owner, TGkPersistent* sender)>;

    explicit TGkPersistent(QObject* owner);
    QObject* Owner() const { return m_owner; }
    void SetOnChange(ChangeCallback callback) { m_onChange = std::move(callback); }
    void Change() { ChangeObject(this); }
    void ChangeObject(TGkPersistent* sender);

protected:
    // Stores `value` and reports a change only when it differs.
    template <typename T> bool assign(T& field, const T& value) {
        if (field == value) return false;
        field = value;
        Change();
        return true;
    }

private:
    QObject* m_owner;
    ChangeCallback m_onChange;
};

// Value range, digital range, value format, unit and signal names of an analog control.
// Set by the form code and read by the control, on the GUI thread.
class GAUGEKIT_EXPORT TSignalSettings : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(double ValueFrom READ ValueFrom WRITE SetValueFrom)
    Q_PROPERTY(double ValueTo READ ValueTo WRITE SetValueTo)
    Q_PROPERTY(int DigitalFrom READ DigitalFrom WRITE SetDigitalFrom)
    Q_PROPERTY(int DigitalTo READ DigitalTo WRITE SetDigitalTo)
    Q_PROPERTY(QString ValueFormat READ ValueFormat WRITE SetValueFormat)
    Q_PROPERTY(QString ValueUnit READ ValueUnit WRITE SetValueUnit)
    Q_PROPERTY(QString Name1 READ Name1 WRITE SetName1)
    Q_PROPERTY(QString Name2 READ Name2 WRITE SetName2)
public:
    explicit TSignalSettings(QObject* owner);
    double ValueFrom() const { return m_scale.ValueFrom; }
    double ValueTo() const { return m_scale.ValueTo; }
    int DigitalFrom() const { return m_scale.DigitalFrom; }
    int DigitalTo() const { return m_scale.DigitalTo; }
    QString ValueFormat() const { return m_valueFormat; }
    QString ValueUnit() const { return m_valueUnit; }
    QString Name1() const { return m_name1; }
    QString Name2() const { return m_name2; }
    void SetValueFrom(double v);
    void SetValueTo(double v);
    void SetDigitalFrom(int v);
    void SetDigitalTo(int v);
    void SetValueFormat(const QString& v);
    void SetValueUnit(const QString& v) { assign(m_valueUnit, v); }
    void SetName1(const QString& v) { assign(m_name1, v); }
    void SetName2(const QString& v) { assign(m_name2, v); }

    // Derived, recomputed on every change.
    const GkScale& Scale() const { return m_scale; }
    double TotalValue() const { return m_scale.TotalValue; }
    int TotalDigit() const { return m_scale.TotalDigit; }
    double ValuePerDigit() const { return m_scale.ValuePerDigit; }
    double DigitPerValue() const { return m_scale.DigitPerValue; }
    double PPTPerValue() const { return m_scale.PPTPerValue; }
    QString SizingFormat() const { return m_sizingFormat; }
    double ValueOfPpt(int ppt) const { return m_scale.valueOfPpt(ppt); }
    int PptOfValue(double v) const { return m_scale.pptOfValue(v); }
    QString FormatValue(double v) const;

private:
    void rescale();
    GkScale m_scale;
    QString m_valueFormat = QStringLiteral("##0.0");
    QString m_sizingFormat = QStringLiteral("##0.0");
    QString m_valueUnit = QStringLiteral("%");
    QString m_name1 = QStringLiteral("SignalName1");
    QString m_name2 = QStringLiteral("SignalName2");
};

// Three coloured ranges of the per-thousand scale, plus offsets used by meters.
// Set by the form code and read by the control, on the GUI thread.
class GAUGEKIT_EXPORT TSectorSettings : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(int Sector1From READ Sector1From WRITE SetSector1From)
    Q_PROPERTY(int Sector1To READ Sector1To WRITE SetSector1To)
    Q_PROPERTY(TColor Sector1Color READ Sector1Color WRITE SetSector1Color)
    Q_PROPERTY(int Sector2From READ Sector2From WRITE SetSector2From)
    Q_PROPERTY(int Sector2To READ Sector2To WRITE SetSector2To)
    Q_PROPERTY(TColor Sector2Color READ Sector2Color WRITE SetSector2Color)
    Q_PROPERTY(int Sector3From READ Sector3From WRITE SetSector3From)
    Q_PROPERTY(int Sector3To READ Sector3To WRITE SetSector3To)
    Q_PROPERTY(TColor Sector3Color READ Sector3Color WRITE SetSector3Color)
    Q_PROPERTY(int Offset READ Offset WRITE SetOffset)
    Q_PROPERTY(int WidthOffset READ WidthOffset WRITE SetWidthOffset)
public:
    explicit TSectorSettings(QObject* owner);
    int Sector1From() const { return m_sectors[0].From; }
    int Sector1To() const { return m_sectors[0].To; }
    TColor Sector1Color() const { return m_sectors[0].Color; }
    int Sector2From() const { return m_sectors[1].From; }
    int Sector2To() const { return m_sectors[1].To; }
    TColor Sector2Color() const { return m_sectors[1].Color; }
    int Sector3From() const { return m_sectors[2].From; }
    int Sector3To() const { return m_sectors[2].To; }
    TColor Sector3Color() const { return m_sectors[2].Color; }
    int Offset() const { return m_offset; }
    int WidthOffset() const { return m_widthOffset; }
    void SetSector1From(int v) { assign(m_sectors[0].From, v); }
    void SetSector1To(int v) { assign(m_sectors[0].To, v); }
    void SetSector1Color(TColor v) { assign(m_sectors[0].Color, v); }
    void SetSector2From(int v) { assign(m_sectors[1].From, v); }
    void SetSector2To(int v) { assign(m_sectors[1].To, v); }
    void SetSector2Color(TColor v) { assign(m_sectors[1].Color, v); }
    void SetSector3From(int v) { assign(m_sectors[2].From, v); }
    void SetSector3To(int v) { assign(m_sectors[2].To, v); }
    void SetSector3Color(TColor v) { assign(m_sectors[2].Color, v); }
    void SetOffset(int v) { assign(m_offset, v); }
    void SetWidthOffset(int v) { assign(m_widthOffset, v); }

    const GkSectors& Sectors() const { return m_sectors; }
    // Index 0..2 of the first sector holding ppt, -1 when none.
    int SectorOf(int ppt) const { return gkSectorIndexOf(m_sectors, ppt); }

private:
    GkSectors m_sectors;
    int m_offset = 0;
    int m_widthOffset = 0;
};

// Tracked minimum and maximum of an analog control, with the moments they were reached.
// Updated by the owning control on the GUI thread.
class GAUGEKIT_EXPORT TMinMax : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(double Min READ Min)
    Q_PROPERTY(double Max READ Max)
    Q_PROPERTY(TColor MinColor READ MinColor WRITE SetMinColor)
    Q_PROPERTY(TColor MaxColor READ MaxColor WRITE SetMaxColor)
    Q_PROPERTY(bool UseSectorCol READ UseSectorCol WRITE SetUseSectorCol)
    Q_PROPERTY(bool MinVisible READ MinVisible WRITE SetMinVisible)
    Q_PROPERTY(bool MaxVisible READ MaxVisible WRITE SetMaxVisible)
public:
    static constexpr double kInitialMin = 9999999.0;
    static constexpr double kInitialMax = -9999999.0;

    explicit TMinMax(QObject* owner);
    double Min() const { return m_min; }
    double Max() const { return m_max; }
    QDateTime MinTime() const { return m_minTime; }
    QDateTime MaxTime() const { return m_maxTime; }
    TColor MinColor() const { return m_minColor; }
    TColor MaxColor() const { return m_maxColor; }
    bool UseSectorCol() const { return m_useSectorCol; }
    bool MinVisible() const { return m_minVisible; }
    bool MaxVisible() const { return m_maxVisible; }
    void SetMinColor(TColor v) { assign(m_minColor, v); }
    void SetMaxColor(TColor v) { assign(m_maxColor, v); }
    void SetUseSectorCol(bool v) { assign(m_useSectorCol, v); }
    void SetMinVisible(bool v) { assign(m_minVisible, v); }
    void SetMaxVisible(bool v) { assign(m_maxVisible, v); }

    // Used by the owning control's tracking; these do not report a settings change.
    void StoreMin(double v, const QDateTime& at);
    void StoreMax(double v, const QDateTime& at);
    void Reset();

private:
    double m_min = kInitialMin;
    double m_max = kInitialMax;
    QDateTime m_minTime;
    QDateTime m_maxTime;
    TColor m_minColor = clAqua;
    TColor m_maxColor = clAqua;
    bool m_useSectorCol = true;
    bool m_minVisible = true;
    bool m_maxVisible = true;
};

// Smoothing of value changes on a 20 ms timer. The timer exists only while Enabled and runs
// only while the value is on its way to the target. Every step is reported through the value
// callback installed by the owning control. GUI thread (its timer is a GUI-thread timer).
class GAUGEKIT_EXPORT TGkDamping : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(double Factor READ Factor WRITE SetFactor)
    Q_PROPERTY(GkEnums::TDampingMode Mode READ Mode WRITE SetMode)
public:
    static constexpr int kStepMs = 20;
    using ValueCallback = std::function<void(double)>;

    explicit TGkDamping(QObject* owner);
    ~TGkDamping() override;
    bool Enabled() const { return m_enabled; }
    double Factor() const { return m_core.factor(); }
    TDampingMode Mode() const { return m_core.linear() ? dmLinear : dmLowpass; }
    void SetEnabled(bool v);
    void SetFactor(double v);
    void SetMode(TDampingMode v);

    void SetOnValue(ValueCallback callback) { m_onValue = std::move(callback); }
    void SetStopThreshold(double threshold) { m_core.setThreshold(threshold); }
    double StopThreshold() const { return m_core.threshold(); }
    double Target() const { return m_target; }
    double Current() const { return m_current; }
    // Initial value and target, without a report (used at creation).
    void Reset(double v);
    // New target: reported at once when disabled (or `immediate`), else approached step by step.
    void SetTarget(double v, bool immediate = false);
    // One 20 ms step (the timer calls it; tests may call it directly).
    void Step();
    bool TimerActive() const;
    bool TimerExists() const { return m_timer != nullptr; }

private:
    void report(double v);
    bool m_enabled = false;
    GkDampingCore m_core;
    QTimer* m_timer = nullptr;
    double m_target = 0.0;
    double m_current = 0.0;
    ValueCallback m_onValue;
};

// Surface gradient of a bevel; set by form code, read by bevel painting (GUI thread).
class GAUGEKIT_EXPORT TGkGradSettings : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(TColor ColorFrom READ ColorFrom WRITE SetColorFrom)
    Q_PROPERTY(TColor ColorTo READ ColorTo WRITE SetColorTo)
    Q_PROPERTY(GkEnums::TGradStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
public:
    explicit TGkGradSettings(QObject* owner) : TGkPersistent(owner) {}
    TColor ColorFrom() const { return m_from; }
    TColor ColorTo() const { return m_to; }
    TGradStyle Style() const { return m_style; }
    bool Visible() const { return m_visible; }
    void SetColorFrom(TColor v) { assign(m_from, v); }
    void SetColorTo(TColor v) { assign(m_to, v); }
    void SetStyle(TGradStyle v) { assign(m_style, v); }
    void SetVisible(bool v) { assign(m_visible, v); }

private:
    TColor m_from = gkRgb(226, 226, 226);
    TColor m_to = gkRgb(143, 143, 143);
    TGradStyle m_style = gsHorizontal1;
    bool m_visible = false;
};

// Four margins applied after a bevel; set by form code, read by bevel painting (GUI thread).
class GAUGEKIT_EXPORT TGkOffset : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(int Right READ Right WRITE SetRight)
    Q_PROPERTY(int Bottom READ Bottom WRITE SetBottom)
public:
    explicit TGkOffset(QObject* owner) : TGkPersistent(owner) {}
    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Right() const { return m_right; }
    int Bottom() const { return m_bottom; }
    void SetLeft(int v) { assign(m_left, v); }
    void SetTop(int v) { assign(m_top, v); }
    void SetRight(int v) { assign(m_right, v); }
    void SetBottom(int v) { assign(m_bottom, v); }

private:
    int m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
};

// A bevel: filled frame of `Width` 3-D lines, optional pen lines, spacing and offsets.
// Set by form code, drawn by gkPaintBevelFilled from the owner's paint (GUI thread).
class GAUGEKIT_EXPORT TGkSBevel : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(GkEnums::TBevelStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(int Spacing READ Spacing WRITE SetSpacing)
    Q_PROPERTY(GkEnums::TBevelLine BevelLine READ BevelLine WRITE SetBevelLine)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TColor PenColor READ PenColor WRITE SetPenColor)
    Q_PROPERTY(TColor ColorHighLightFrom READ ColorHighLightFrom WRITE SetColorHighLightFrom)
    Q_PROPERTY(TColor ColorHighLightTo READ ColorHighLightTo WRITE SetColorHighLightTo)
    Q_PROPERTY(TColor ColorShadowFrom READ ColorShadowFrom WRITE SetColorShadowFrom)
    Q_PROPERTY(TColor ColorShadowTo READ ColorShadowTo WRITE SetColorShadowTo)
    Q_PROPERTY(TGkGradSettings* SurfaceGrad READ SurfaceGrad CONSTANT)
    Q_PROPERTY(TGkOffset* Offset READ Offset CONSTANT)
public:
    explicit TGkSBevel(QObject* owner);
    TBevelStyle Style() const { return m_style; }
    int Spacing() const { return m_spacing; }
    TBevelLine BevelLine() const { return m_line; }
    int Width() const { return m_width; }
    TColor Color() const { return m_color; }
    TColor PenColor() const { return m_penColor; }
    TColor ColorHighLightFrom() const { return m_hiFrom; }
    TColor ColorHighLightTo() const { return m_hiTo; }
    TColor ColorShadowFrom() const { return m_shFrom; }
    TColor ColorShadowTo() const { return m_shTo; }
    TGkGradSettings* SurfaceGrad() const { return m_grad; }
    TGkOffset* Offset() const { return m_offset; }
    void SetStyle(TBevelStyle v) { assign(m_style, v); }
    void SetSpacing(int v) { assign(m_spacing, v); }
    void SetBevelLine(TBevelLine v) { assign(m_line, v); }
    // Negative widths are refused.
    void SetWidth(int v);
    void SetColor(TColor v) { assign(m_color, v); }
    void SetPenColor(TColor v) { assign(m_penColor, v); }
    void SetColorHighLightFrom(TColor v) { assign(m_hiFrom, v); }
    void SetColorHighLightTo(TColor v) { assign(m_hiTo, v); }
    void SetColorShadowFrom(TColor v) { assign(m_shFrom, v); }
    void SetColorShadowTo(TColor v) { assign(m_shTo, v); }

    // Spacing + Width, plus 1 for one pen line, plus 2 for both.
    int TotalWidth() const;

private:
    TBevelStyle m_style = bsRaised;
    int m_spacing = 5;
    TBevelLine m_line = blNone;
    int m_width = 2;
    TColor m_color = clBtnFace;
    TColor m_penColor = clBlack;
    TColor m_hiFrom = clBtnHighlight;
    TColor m_hiTo = clBtnHighlight;
    TColor m_shFrom = clBtnShadow;
    TColor m_shTo = clBtnShadow;
    TGkGradSettings* m_grad;
    TGkOffset* m_offset;
};

// Shape, size and colours of a lamp; set by form code, read by TGkLED (GUI thread).
class GAUGEKIT_EXPORT TLED : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(GkEnums::TLEDShape Shape READ Shape WRITE SetShape)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(TColor ColorOn READ ColorOn WRITE SetColorOn)
    Q_PROPERTY(TColor ColorOff READ ColorOff WRITE SetColorOff)
public:
    static constexpr int kMinSize = 4;
    static constexpr int kMaxSize = 80;

    explicit TLED(QObject* owner) : TGkPersistent(owner) {}
    TLEDShape Shape() const { return m_shape; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    TColor ColorOn() const { return m_colorOn; }
    TColor ColorOff() const { return m_colorOff; }
    void SetShape(TLEDShape v) { assign(m_shape, v); }
    // Sizes outside 4..80 are refused (the value stays as it was).
    void SetWidth(int v);
    void SetHeight(int v);
    void SetColorOn(TColor v) { assign(m_colorOn, v); }
    void SetColorOff(TColor v) { assign(m_colorOff, v); }

private:
    TLEDShape m_shape = sRound;
    int m_width = 13;
    int m_height = 13;
    TColor m_colorOn = clLime;
    TColor m_colorOff = clBtnFace;
};

// Look of a bar meter's bar area. DITA calls SetColor on every pass (GUI thread); the derived
// members are filled in by the owning TGkBar.
class GAUGEKIT_EXPORT TBarSettings : public TGkPersistent {
    Q_OBJECT
    Q_PROPERTY(GkEnums::TBarStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(uint Options READ OptionBits WRITE SetOptionBits)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TColor BkColor READ BkColor WRITE SetBkColor)
    Q_PROPERTY(double BkBrightness READ BkBrightness WRITE SetBkBrightness)
    Q_PROPERTY(bool BkAuto READ BkAuto WRITE SetBkAuto)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(TGkSBevel* Bevel READ Bevel CONSTANT)
    Q_PROPERTY(int minWidth READ minWidth WRITE SetminWidth)
    Q_PROPERTY(int minHeight READ minHeight WRITE SetminHeight)
public:
    explicit TBarSettings(QObject* owner);
    TBarStyle Style() const { return m_style; }
    TBarOptions Options() const { return m_options; }
    uint OptionBits() const { return m_options.bits(); }
    TColor Color() const { return m_color; }
    TColor BkColor() const { return m_bkColor; }
    double BkBrightness() const { return m_bkBrightness; }
    bool BkAuto() const { return m_bkAuto; }
    QFont Font() const { return m_font; }
    TColor FontColor() const { return m_fontColor; }
    TGkSBevel* Bevel() const { return m_bevel; }
    int minWidth() const { return m_minWidth; }
    int minHeight() const { return m_minHeight; }

    void SetStyle(TBarStyle v) { assign(m_style, v); }
    void SetOptions(TBarOptions v) { assign(m_options, v); }
    void SetOptionBits(uint v) { SetOptions(TBarOptions::fromBits(v)); }
    // Called by DITA on every pass: an unchanged colour costs nothing, a new one redraws the bar.
    void SetColor(TColor v) { assign(m_color, v); }
    void SetBkColor(TColor v) { assign(m_bkColor, v); }
    void SetBkBrightness(double v) { assign(m_bkBrightness, v); }
    void SetBkAuto(bool v) { assign(m_bkAuto, v); }
    void SetFont(const QFont& v) { assign(m_font, v); }
    void SetFontColor(TColor v) { assign(m_fontColor, v); }
    // Values <= 0 are ignored. A size change moves the bar, so it is reported as a bevel change.
    void SetminWidth(int v);
    void SetminHeight(int v);

    // Derived state, filled in by the owning bar.
    QRect BarRect;
    QString ValueText;
    QString UnitText;
    TColor PaintColor = clLime;
    int ZeroPosition = 0;
    GkSectors SectorsCopy{};

private:
    TBarStyle m_style = bsBar;
    TBarOptions m_options;
    TColor m_color = clLime;
    TColor m_bkColor = clBlack;
    double m_bkBrightness = 0.0;
    bool m_bkAuto = false;
    QFont m_font;
    TColor m_fontColor = clBtnHighlight;
    TGkSBevel* m_bevel;
    int m_minWidth = 5;
    int m_minHeight = 5;
};
