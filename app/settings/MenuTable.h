#pragma once
// The main window's menus as one table: every menu and item with its object name, caption, the
// menu it sits in, and for option items the setting and the value the item stands for. The
// window builds its menu bar from it, the items of one setting form a radio group, and the
// configuration load, Load Defaults and the tests find items through it. A new option is one
// row here plus its setting.
//
// Who calls it: the main window, the configuration files and the tests, on the window thread.
// No Qt.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "app/settings/OperatingSettings.h"

namespace dita {

// The settings an option item sets; the items of one setting are one radio group.
enum class SettingId {
    None, // a command, or a menu
    InputChannel,
    StayOnTop,
    Messaging,
    Background,
    ScreenOpMode,
    ThresholdMode,
    NoiseFilter,
    RxSpeedLock,
    AfcWidth,
    AfcTimer,
    TextCase,
    TextBold,
    FontSize,
    Scrolling,
    SpacesMode,
    SpaceTime,
    Prosigns,
    NonEnglish,
    TextDisplay,
    DisplayType,
    TransmitScreen,
    OutputDevice,
    OutputPort,
    KeyInvert,
    SidetoneFreq,
    SidetoneWaveform,
    SidetoneOn,
    BeaconCarrierTime,
    Decoder,
};

enum class MenuKind { Menu, Command, Option };

struct MenuRow {
    MenuKind kind;
    const char* name; // object name: what tests, --select and the loader ask for
    const char* caption;
    const char* parent; // object name of the menu it is in; nullptr: the menu bar
    SettingId setting = SettingId::None;
    int32_t value = 0; // the setting's value this item stands for
    bool hidden = false;
};

// Every menu and item, in menu order.
std::span<const MenuRow> menuRows();

// The row of an object name. An unknown name is a programming error or a mistyped --select:
// it throws std::invalid_argument naming the item, never passes silently.
const MenuRow& menuRow(std::string_view name);
// Null when no row has that name (for callers that report the error themselves).
const MenuRow* findMenuRow(std::string_view name);

// The item that stands for a value of a setting; null when none does (a value read from a file
// that no item names: it runs no handler and is kept).
const MenuRow* optionRow(SettingId setting, int32_t value);
template <typename E> const MenuRow* optionRow(SettingId setting, E value) {
    return optionRow(setting, static_cast<int32_t>(raw(value)));
}

// The items of one setting, in menu order.
std::vector<const MenuRow*> groupRows(SettingId setting);

// A setting's current value as the table compares it.
int32_t settingValue(const OperatingSettings& settings, SettingId setting);

} // namespace dita
