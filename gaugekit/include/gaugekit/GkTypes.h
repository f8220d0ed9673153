#pragma once
// Enumerations of the instrument components (registered with Qt so that forms can set them by
// name, e.g. setProperty("Mode", "mSwitch")), small sets, and colour conversion to Qt.
#include <QColor>
#include <QObject>
#include <QString>
#include <cstdint>

#include "gaugekit/GkColor.h"

namespace GkEnums {
Q_NAMESPACE_EXPORT(GAUGEKIT_EXPORT)

// The order of each enumeration is its stored numeric value.
enum THintOption {
    hoAutoHint,
    hoValue,
    hoName1,
    hoName2,
    hoMin,
    hoMax,
    hoMinMaxDate,
    hoMinMaxTime
};
Q_ENUM_NS(THintOption)
enum TMode { mButton, mSwitch, mIndicator, mRadioButton };
Q_ENUM_NS(TMode)
enum TDampingMode { dmLinear, dmLowpass };
Q_ENUM_NS(TDampingMode)
enum TFlashFreq { ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz };
Q_ENUM_NS(TFlashFreq)
enum TBevelLine { blNone, blOuter, blInner, blBoth };
Q_ENUM_NS(TBevelLine)
enum TBevelStyle { bsLowered, bsRaised };
Q_ENUM_NS(TBevelStyle)
enum TGradStyle { gsHorizontal1, gsHorizontal2, gsVertical1, gsVertical2 };
Q_ENUM_NS(TGradStyle)
enum TBarStyle { bsBar, bsLED_Bar, bsPoint, bsMultiColor };
Q_ENUM_NS(TBarStyle)
enum TBarOption { opValue, opUnit, opUseSectorCol, opBidir };
Q_ENUM_NS(TBarOption)
enum TLEDShape {
    sRound,
    sArrowLeft,
    sArrowRight,
    sArrowUp,
    sArrowDown,
    sRectangle,
    sDiamondLeft,
    sDiamondRight
};
Q_ENUM_NS(TLEDShape)
enum TLEDPosition { lpLeft, lpRight, lpTop, lpBottom };
Q_ENUM_NS(TLEDPosition)
enum TClockOption { coDate, coTime, coDateTime };
Q_ENUM_NS(TClockOption)
} // namespace GkEnums

using GkEnums::TBarOption;
using GkEnums::TBarStyle;
using GkEnums::TBevelLine;
using GkEnums::TBevelStyle;
using GkEnums::TClockOption;
using GkEnums::TDampingMode;
using GkEnums::TFlashFreq;
using GkEnums::TGradStyle;
using GkEnums::THintOption;
using GkEnums::TLEDPosition;
using GkEnums::TLEDShape;
using GkEnums::TMode;
using enum GkEnums::THintOption;
using enum GkEnums::TMode;
using enum GkEnums::TDampingMode;
using enum GkEnums::TFlashFreq;
using enum GkEnums::TBevelLine;
using enum GkEnums::TBevelStyle;
using enum GkEnums::TGradStyle;
using enum GkEnums::TBarStyle;
using enum GkEnums::TBarOption;
using enum GkEnums::TLEDShape;
using enum GkEnums::TLEDPosition;
using enum GkEnums::TClockOption;

// A set of enumeration values, bit n standing for the value n (the forms' set layout).
// A plain value type, used wherever options are set (form code, GUI thread).
template <typename E> class TGkSet {
public:
    constexpr TGkSet() = default;
    constexpr TGkSet(std::initializer_list<E> values) {
        for (E v : values)
            m_bits |= bit(v);
    }
    static constexpr TGkSet fromBits(std::uint32_t bits) {
        TGkSet s;
        s.m_bits = bits;
        return s;
    }
    constexpr bool has(E v) const { return (m_bits & bit(v)) != 0; }
    constexpr TGkSet with(E v) const { return fromBits(m_bits | bit(v)); }
    constexpr TGkSet without(E v) const { return fromBits(m_bits & ~bit(v)); }
    constexpr std::uint32_t bits() const { return m_bits; }
    constexpr bool operator==(const TGkSet&) const = default;

private:
    static constexpr std::uint32_t bit(E v) { return std::uint32_t(1) << unsigned(v); }
    std::uint32_t m_bits = 0;
};
using THintOptions = TGkSet<THintOption>;
using TBarOptions = TGkSet<TBarOption>;

// Resolves a form colour (theme colours from the application palette) to a QColor.
GAUGEKIT_EXPORT QColor gkToQColor(TColor c);
// The plain TColor of a QColor (alpha dropped).
GAUGEKIT_EXPORT TColor gkFromQColor(const QColor& c);
// A form colour with theme colours replaced by their current plain value.
GAUGEKIT_EXPORT TColor gkResolveColor(TColor c);
