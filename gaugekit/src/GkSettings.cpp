#include "gaugekit/GkSettings.h"

#include <QTimer>
#include <cmath>

TGkPersistent::TGkPersistent(QObject* owner) : QObject(owner), m_owner(owner) {}

void TGkPersistent::ChangeObject(TGkPersistent* sender) {
    if (m_onChange) m_onChange(m_owner, sender);
}

// ---- TSignalSettings ----

TSignalSettings::TSignalSettings(QObject* owner) : TGkPersistent(owner) {
    m_scale.recompute();
}

void TSignalSettings::rescale() {
    m_scale.recompute();
    Change();
}

void TSignalSettings::SetValueFrom(double v) {
    if (m_scale.ValueFrom == v || std::isnan(v)) return;
    m_scale.ValueFrom = v;
    rescale();
}

void TSignalSettings::SetValueTo(double v) {
    if (m_scale.ValueTo == v || std::isnan(v)) return;
    m_scale.ValueTo = v;
    rescale();
}

void TSignalSettings::SetDigitalFrom(int v) {
    if (m_scale.DigitalFrom == v) return;
    m_scale.DigitalFrom = v;
    rescale();
}

void TSignalSettings::SetDigitalTo(int v) {
    if (m_scale.DigitalTo == v) return;
    m_scale.DigitalTo = v;
    rescale();
}

void TSignalSettings::SetValueFormat(const QString& v) {
    if (m_valueFormat == v) return;
    m_valueFormat = v;
    m_sizingFormat = QString::fromStdString(gkSizingFormat(v.toStdString()));
    Change();
}

QString TSignalSettings::FormatValue(double v) const {
    return QString::fromStdString(gkFormatFloat(m_valueFormat.toStdString(), v));
}

// ---- TSectorSettings ----

namespace {
constexpr int kSector1From = 0, kSector1To = 333;
constexpr int kSector2From = 334, kSector2To = 666;
constexpr int kSector3From = 667, kSector3To = 1000;
} // namespace

TSectorSettings::TSectorSettings(QObject* owner) : TGkPersistent(owner) {
    m_sectors[0] = {kSector1From, kSector1To, clYellow};
    m_sectors[1] = {kSector2From, kSector2To, clGreen};
    m_sectors[2] = {kSector3From, kSector3To, clRed};
}

// ---- TMinMax ----

TMinMax::TMinMax(QObject* owner)
    : TGkPersistent(owner), m_minTime(QDateTime::currentDateTime()), m_maxTime(m_minTime) {}

void TMinMax::StoreMin(double v, const QDateTime& at) {
    m_min = v;
    m_minTime = at;
}

void TMinMax::StoreMax(double v, const QDateTime& at) {
    m_max = v;
    m_maxTime = at;
}

void TMinMax::Reset() {
    m_min = kInitialMin;
    m_max = kInitialMax;
}

// ---- TGkDamping ----

TGkDamping::TGkDamping(QObject* owner) : TGkPersistent(owner) {}

TGkDamping::~TGkDamping() = default;

void TGkDamping::SetEnabled(bool v) {
    if (m_enabled == v) return;
    m_enabled = v;
    if (v) {
        m_timer = new QTimer(this);
        m_timer->setInterval(kStepMs);
        connect(m_timer, &QTimer::timeout, this, &TGkDamping::Step);
    } else {
        delete m_timer;
        m_timer = nullptr;
        // A motion in progress ends at its target rather than freezing half-way.
        if (m_current != m_target) report(m_target);
    }
    Change();
}

void TGkDamping::SetFactor(double v) {
    const double before = m_core.factor();
    m_core.setFactor(v);
    if (m_core.factor() != before) Change();
}

void TGkDamping::SetMode(TDampingMode v) {
    if (Mode() == v) return;
    m_core.setLinear(v == dmLinear);
    if (m_current != m_target) m_core.start(m_current, m_target);
    Change();
}

void TGkDamping::Reset(double v) {
    m_target = v;
    m_current = v;
}

void TGkDamping::SetTarget(double v, bool immediate) {
    m_target = v;
    if (!m_enabled || immediate) {
        if (m_timer) m_timer->stop();
        report(v);
        return;
    }
    m_core.start(m_current, v);
    if (!m_timer->isActive()) m_timer->start();
}

void TGkDamping::Step() {
    if (m_current == m_target) {
        if (m_timer) m_timer->stop();
        return;
    }
    double next = m_current;
    const bool moving = m_core.step(next);
    if (!moving && m_timer) m_timer->stop();
    report(next);
}

bool TGkDamping::TimerActive() const {
    return m_timer && m_timer->isActive();
}

void TGkDamping::report(double v) {
    m_current = v;
    if (m_onValue) m_onValue(v);
}

// ---- TGkSBevel ----

TGkSBevel::TGkSBevel(QObject* owner)
    : TGkPersistent(owner), m_grad(new TGkGradSettings(this)), m_offset(new TGkOffset(this)) {
    auto forward = [this](QObject*, TGkPersistent* sender) { ChangeObject(sender); };
    m_grad->SetOnChange(forward);
    m_offset->SetOnChange(forward);
}

void TGkSBevel::SetWidth(int v) {
    if (v < 0) return;
    assign(m_width, v);
}

int TGkSBevel::TotalWidth() const {
    int total = m_spacing + m_width;
    if (m_line == blOuter || m_line == blInner) total += 1;
    if (m_line == blBoth) total += 2;
    return total;
}

// ---- TLED ----

void TLED::SetWidth(int v) {
    if (v < kMinSize || v > kMaxSize) return;
    assign(m_width, v);
}

void TLED::SetHeight(int v) {
    if (v < kMinSize || v > kMaxSize) return;
    assign(m_height, v);
}

// ---- TBarSettings ----

TBarSettings::TBarSettings(QObject* owner) : TGkPersistent(owner), m_bevel(new TGkSBevel(this)) {
    // The inner bevel round the bar: lowered, no spacing, one line width.
    m_bevel->SetStyle(bsLowered);
    m_bevel->SetSpacing(0);
    m_bevel->SetWidth(1);
    m_bevel->SetOnChange([this](QObject*, TGkPersistent* sender) { ChangeObject(sender); });
}

void TBarSettings::SetminWidth(int v) {
    if (v <= 0 || v == m_minWidth) return;
    m_minWidth = v;
    ChangeObject(m_bevel);
}

void TBarSettings::SetminHeight(int v) {
    if (v <= 0 || v == m_minHeight) return;
    m_minHeight = v;
    ChangeObject(m_bevel);
}
