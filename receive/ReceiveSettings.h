#pragma once
// The operating settings the receive side is told about, as the menus and the configuration
// file name them: the receive engine and the band decoder take them in their commands, and the
// operating settings (app/settings) hold them. GUI-free.
//
// The enums are 32-bit like the configuration records that store them (OnOff is a byte, as its
// records are), and a value read from a file that no enumerator names is kept as it is: it
// selects no menu item, and the receive side treats it as it always has (threshold mode 3 has
// factors of its own; a receive speed mode 4..10 is one of the locked speeds).
#include <cstdint>
#include <type_traits>

namespace dita {

namespace setting {

enum class OnOff : uint8_t { Off = 0, On = 1 };
enum class ScreenOpMode : int32_t { ReceiveOnly = 0, TransmitReceive = 1 };
enum class ThresholdMode : int32_t { Normal = 0, Noisy = 1, Quiet = 4 };
// Noise filter, scrolling and spaces are switched on with 3.
enum class Switch3 : int32_t { Off = 0, On = 3 };
// 1 Auto; 2 "50+ WPM"; 3..11 are 50 down to 10 WPM in steps of 5.
enum class RxSpeedLock : int32_t { Auto = 1, FiftyPlus = 2, Locked50 = 3, Locked10 = 11 };
enum class AfcWidth : int32_t { Off = 0, Narrow = 1, Medium = 2, Wide = 3 };
enum class TextCase : int32_t { Lower = 0, Upper = 1 };
enum class SpaceTime : int32_t { Short = 0, Medium = 1, Long = 2 };
enum class DisplayType : int32_t { Line = 0, Waterfall = 1 };
// Which decoder writes the received text; 0, what every older configuration holds, is Enhanced.
enum class Decoder : int32_t { Enhanced = 0, Standard = 1 };

} // namespace setting

// After a configuration load the receive tone is tuned to this bin, whatever record 6 held.
constexpr int32_t kAfcStartBin = 112;

// The integer a setting is stored and compared as (an integer setting is its own).
template <typename E> constexpr auto raw(E value) {
    if constexpr (std::is_enum_v<E>)
        return static_cast<std::underlying_type_t<E>>(value);
    else
        return value;
}

} // namespace dita
