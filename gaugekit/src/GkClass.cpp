#include "gaugekit/GkClass.h"

#include <QMouseEvent>
#include <bit>
#include <cmath>

#include "gaugekit/GkFlash.h"

namespace {
constexpr int kControlFontPointSize = 8;
constexpr double kPptFullF = 1000.0;
constexpr int kLogBase = 10;
} // namespace

// ---- TGkGraphicControl ----

TGkGraphicControl::TGkGraphicControl(QWidget* parent) : QWidget(parent) {}

void TGkGraphicControl::BeginUpdate() {
    ++m_updateCount;
}

void TGkGraphicControl::EndUpdate() {
    if (m_updateCount == 0) return;
    if (--m_updateCount == 0) Change();
}

void TGkGraphicControl::Change() {
    if (m_updateCount == 0) ParamChange(this);
}

void TGkGraphicControl::ParamChange(QObject*) {}

void TGkGraphicControl::Invalidate() {
    update();
}

void TGkGraphicControl::Loaded() {
    m_updateCount = 0;
    Change();
}

// ---- TGkAnalogGControl ----

TGkAnalogGControl::TGkAnalogGControl(QWidget* parent)
    : TGkGraphicControl(parent), m_hintOptions{hoAutoHint, hoValue, hoName1,      hoName2,
                                               hoMin,      hoMax,   hoMinMaxDate, hoMinMaxTime},
      m_signal(new TSignalSettings(this)), m_sectors(new TSectorSettings(this)),
      m_minMax(new TMinMax(this)), m_damping(new TGkDamping(this)) {
    QFont f(QString(), kControlFontPointSize);
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    auto onChange = [this](QObject*, TGkPersistent* sender) { SettingsChanged(sender); };
    m_signal->SetOnChange(onChange);
    m_sectors->SetOnChange(onChange);
    m_minMax->SetOnChange(onChange);
    m_damping->SetOnChange(onChange);
    m_damping->SetOnValue([this](double v) { ValueReport(v); });
    m_damping->Reset(m_value);
    m_damping->SetStopThreshold(m_signal->TotalValue() / kPptFullF);

    // Derived state of the default value, without notifications.
    m_valueStr = m_signal->FormatValue(m_value);
    m_digitStr = QString::number(m_digit);
    m_ppt = m_signal->Scale().pptOfDigit(m_digit);
    for (int i = 0; i < 3; ++i)
        m_inSector[std::size_t(i)] = m_sectors->Sectors()[std::size_t(i)].holds(m_ppt);
    m_activeSector = m_sectors->SectorOf(m_ppt);
    m_lastPos = pos();
}

void TGkAnalogGControl::SettingsChanged(TGkPersistent*) {
    Change();
}

TColor TGkAnalogGControl::SectorColor() const {
    return m_activeSector < 0 ? clBlack : m_sectors->Sectors()[std::size_t(m_activeSector)].Color;
}

void TGkAnalogGControl::SetValue(double v) {
    if (std::isnan(v)) return;
    if (v == m_damping->Target()) return;
    m_damping->SetTarget(v);
}

void TGkAnalogGControl::SetDigit(int digit) {
    const GkScale& s = m_signal->Scale();
    double v;
    if (m_logScale && s.ValueFrom > 0 && s.ValueTo / s.ValueFrom > 0 && s.TotalDigit != 0) {
        const double logFactor = s.TotalDigit / std::log10(s.ValueTo / s.ValueFrom);
        v = s.ValueFrom * std::pow(double(kLogBase), (double(digit) - s.DigitalFrom) / logFactor);
    } else {
        v = s.ValueFrom + (double(digit) - s.DigitalFrom) * s.ValuePerDigit;
    }
    if (std::isfinite(v)) SetValue(v);
}

void TGkAnalogGControl::SetLimitUpper(double v) {
    if (std::isnan(v) || v == m_limitUpper) return;
    m_limitUpper = v;
    Change();
}

void TGkAnalogGControl::SetLimitLower(double v) {
    if (std::isnan(v)) return;
    if (v == 0.0) v = kLimitLowerZero;
    if (v == m_limitLower) return;
    m_limitLower = v;
    Change();
}

void TGkAnalogGControl::SetHintOptions(THintOptions v) {
    if (v == m_hintOptions) return;
    m_hintOptions = v;
    UpdateHint();
}

void TGkAnalogGControl::SetLogScale(bool v) {
    if (v == m_logScale) return;
    m_logScale = v;
    LogScaleChanged();
    Change();
}

void TGkAnalogGControl::LogScaleChanged() {}

void TGkAnalogGControl::ResetMinMax() {
    const QDateTime now = QDateTime::currentDateTime();
    m_minMax->StoreMin(m_value, now);
    m_minMax->StoreMax(m_value, now);
    MinMaxChange(m_minMax);
}

void TGkAnalogGControl::ValueReport(double v) {
    m_value = v;
    RecomputeDigit();
    ValueChange();
}

void TGkAnalogGControl::RecomputeDigit() {
    const GkScale& s = m_signal->Scale();
    if (!m_logScale) {
        m_digit = s.digitOfValue(m_value);
        return;
    }
    // Logarithmic: undefined for values, or a range start, at or below 0; keep the last digit.
    if (m_value <= 0 || s.ValueFrom <= 0 || s.ValueTo <= 0) return;
    const double decades = std::log10(s.ValueTo / s.ValueFrom);
    if (decades == 0.0 || !std::isfinite(decades)) return;
    const double logFactor = s.TotalDigit / decades;
    m_digit = gkRound(std::log10(m_value / s.ValueFrom) * logFactor) + s.DigitalFrom;
}

void TGkAnalogGControl::ValueChange() {
    if (pos() != m_lastPos) {
        m_lastPos = pos();
        emit OnPositionChange(this);
    }
    m_digitStr = QString::number(m_digit);
    m_valueStr = m_signal->FormatValue(m_value);
    const int raw = m_signal->Scale().pptOfDigit(m_digit);
    // Sectors are judged on the clamped position, so an overflowing value keeps the colour of
    // the end sector it went past.
    m_ppt = std::clamp(raw, 0, kPptFull);

    const GkSectors& sectors = m_sectors->Sectors();
    for (std::size_t i = 0; i < sectors.size(); ++i) {
        const bool in = sectors[i].holds(m_ppt);
        if (in != m_inSector[i]) {
            m_inSector[i] = in;
            emit OnSectorChange(this);
        }
    }
    m_activeSector = m_sectors->SectorOf(m_ppt);

    const bool upper = m_value > m_limitUpper;
    const bool lower = !(m_value >= m_limitLower);
    if (upper != m_upperLimit || lower != m_lowerLimit) {
        m_upperLimit = upper;
        m_lowerLimit = lower;
        LimitChange();
        emit OnLimit(this, lower, upper);
    }

    if (raw < 0) {
        if (!m_lowerOverflow) {
            m_lowerOverflow = true;
            m_upperOverflow = false;
            OverflowChange(raw);
            emit OnOverflow(this, raw);
        }
    } else if (raw > kPptFull) {
        if (!m_upperOverflow) {
            m_upperOverflow = true;
            m_lowerOverflow = false;
            OverflowChange(raw);
            emit OnOverflow(this, raw);
        }
    } else if (m_lowerOverflow || m_upperOverflow) {
        m_lowerOverflow = false;
        m_upperOverflow = false;
        OverflowChange(raw);
        emit OnOverflow(this, raw);
    }

    const QDateTime now = QDateTime::currentDateTime();
    if (m_value < m_minMax->Min()) {
        const bool wasInitial = m_minMax->Min() == TMinMax::kInitialMin;
        m_minMax->StoreMin(m_value, now);
        if (!wasInitial) MinMaxChange(m_minMax);
    }
    if (m_value > m_minMax->Max()) {
        m_minMax->StoreMax(m_value, now);
        MinMaxChange(m_minMax);
    }

    UpdateHint();
    emit OnValueChange(this);
}

void TGkAnalogGControl::OverflowChange(int) {}

void TGkAnalogGControl::LimitChange() {}

void TGkAnalogGControl::MinMaxChange(QObject*) {
    emit OnMinMaxChange(this);
}

void TGkAnalogGControl::UpdateHint() {
    if (!m_hintOptions.has(hoAutoHint)) return;
    const QString unit = m_signal->ValueUnit();
    QStringList parts;
    if (m_hintOptions.has(hoValue))
        parts << QStringLiteral("Value= ") + m_valueStr + QLatin1Char(' ') + unit;
    auto extreme = [&](const QString& label, double v, const QDateTime& at) {
        QString s = label + m_signal->FormatValue(v) + QLatin1Char(' ') + unit;
        const QLocale locale;
        if (m_hintOptions.has(hoMinMaxDate))
            s += QLatin1Char(' ') + locale.toString(at.date(), QLocale::ShortFormat);
        if (m_hintOptions.has(hoMinMaxTime))
            s += QLatin1Char(' ') + locale.toString(at.time(), QLocale::ShortFormat);
        parts << s;
    };
    if (m_hintOptions.has(hoMin))
        extreme(QStringLiteral("MIN= "), m_minMax->Min(), m_minMax->MinTime());
    if (m_hintOptions.has(hoMax))
        extreme(QStringLiteral("MAX= "), m_minMax->Max(), m_minMax->MaxTime());
    if (m_hintOptions.has(hoName1)) parts << m_signal->Name1();
    if (m_hintOptions.has(hoName2)) parts << m_signal->Name2();
    // Qt tool tips break lines at '\n'.
    const QString hint = parts.join(QLatin1Char('\n'));
    if (hint != toolTip()) setToolTip(hint);
}

void TGkAnalogGControl::ParamChange(QObject*) {
    if (m_logScale && m_value <= 0) {
        m_value = 1.0;
        m_damping->Reset(m_value);
    }
    RecomputeDigit();
    m_damping->SetStopThreshold(m_signal->TotalValue() / kPptFullF);
    // A new range or sector set moves the position: bring the derived state up to date.
    TGkAnalogGControl::ValueChange();
    emit OnSettingsChange(this);
}

void TGkAnalogGControl::Loaded() {
    TGkGraphicControl::Loaded();
    // After the recomputation, so that the loaded value does not count as a minimum or maximum.
    m_minMax->Reset();
}

// ---- TGkBinGControl ----

namespace {
thread_local bool t_groupPropagation = false;
}

TGkBinGControl::TGkBinGControl(QWidget* parent) : TGkGraphicControl(parent) {}

TGkBinGControl::~TGkBinGControl() {
    if (m_checked && m_flashing) TGkFlashList::Instance().DelControl(this);
}

int TGkBinGControl::FlashCode(TFlashFreq f) {
    return TGkFlashList::kFirstBitCode + int(f);
}

void TGkBinGControl::updateFlashRegistration() {
    TGkFlashList& list = TGkFlashList::Instance();
    if (m_checked && m_flashing) {
        list.AddControl(this, FlashCode(m_frequency));
    } else {
        if (list.Contains(this)) list.DelControl(this);
        m_flashOn = true;
    }
}

void TGkBinGControl::SetChecked(bool c) {
    if (c == m_checked) return;
    m_checked = c;
    updateFlashRegistration();
    const std::uint32_t bit = std::uint32_t(1) << unsigned(m_statusBit);
    const std::uint32_t word = std::uint32_t(m_statusInt);
    std::uint32_t next = word;
    if (c && m_mode == mRadioButton)
        next = bit;
    else if (c)
        next = word | bit;
    else if (m_mode != mRadioButton)
        next = word & ~bit;
    SetStatusInt(int(next));
    StatusChanged();
    emit OnStatusChanged(this);
}

void TGkBinGControl::SetStatusInt(int s) {
    if (s == m_statusInt) return;
    m_statusInt = s;
    const bool c = ((std::uint32_t(s) >> unsigned(m_statusBit)) & 1u) != 0;
    if (c != m_checked) {
        // Mirror the bit without rewriting the word that was just given.
        m_checked = c;
        updateFlashRegistration();
        StatusChanged();
        emit OnStatusChanged(this);
    }
    m_lowestBit = std::countr_zero(std::uint32_t(s));
    StatusIntChanged();
    emit OnStatusIntChanged(this);
    if (m_groupIndex != 0 && !t_groupPropagation) {
        t_groupPropagation = true;
        for (TGkBinGControl* other : GroupMembers())
            other->SetStatusInt(s);
        t_groupPropagation = false;
    }
}

void TGkBinGControl::SetStatusBit(int bit) {
    if (bit < 0 || bit >= kStatusBits || bit == m_statusBit) return;
    m_statusBit = bit;
    const bool c = ((std::uint32_t(m_statusInt) >> unsigned(bit)) & 1u) != 0;
    if (c != m_checked) {
        m_checked = c;
        updateFlashRegistration();
        StatusChanged();
        emit OnStatusChanged(this);
    }
}

QList<TGkBinGControl*> TGkBinGControl::GroupMembers() const {
    QList<TGkBinGControl*> members;
    if (m_groupIndex == 0) return members;
    const QWidget* owner = window();
    if (!owner || owner == this) return members;
    for (TGkBinGControl* c : owner->findChildren<TGkBinGControl*>())
        if (c != this && c->m_groupIndex == m_groupIndex) members << c;
    return members;
}

void TGkBinGControl::SetGroupIndex(int index) {
    if (index == m_groupIndex) return;
    m_groupIndex = index;
    const QList<TGkBinGControl*> members = GroupMembers();
    if (!members.isEmpty()) {
        // Join the group's status word without pushing our own word onto it.
        const bool was = t_groupPropagation;
        t_groupPropagation = true;
        SetStatusInt(members.first()->StatusInt());
        t_groupPropagation = was;
    }
    GroupIndexChanged();
}

void TGkBinGControl::SetMode(TMode m) {
    if (m == m_mode) return;
    m_mode = m;
    if (m == mButton) SetStatusInt(0);
    if (m == mRadioButton) SetStatusInt(1);
    Change();
}

void TGkBinGControl::SetFlashing(bool f) {
    if (f == m_flashing) return;
    m_flashing = f;
    updateFlashRegistration();
    StatusChanged();
}

void TGkBinGControl::SetFrequency(TFlashFreq f) {
    if (f == m_frequency) return;
    m_frequency = f;
    if (m_checked && m_flashing) updateFlashRegistration();
}

void TGkBinGControl::StatusChanged() {}

void TGkBinGControl::StatusIntChanged() {}

void TGkBinGControl::Flash(bool) {}

void TGkBinGControl::GroupIndexChanged() {}

bool TGkBinGControl::event(QEvent* e) {
    if (e->type() == QEvent::Type(kGkFlashMessage)) {
        const auto* flash = static_cast<TGkFlashEvent*>(e);
        m_flashOn = flash->State();
        Flash(m_flashOn);
        return true;
    }
    return TGkGraphicControl::event(e);
}

void TGkBinGControl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return TGkGraphicControl::mousePressEvent(e);
    switch (m_mode) {
    case mButton:
        SetChecked(true);
        break;
    case mSwitch:
        SetChecked(!m_checked);
        break;
    case mRadioButton:
        SetStatusInt(int(std::uint32_t(1) << unsigned(m_statusBit)));
        break;
    case mIndicator:
        break;
    }
}

void TGkBinGControl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && m_mode == mButton) SetChecked(false);
    TGkGraphicControl::mouseReleaseEvent(e);
}
