#pragma once
// FormMenus: the main window's menu bar as the menu table lays it out. It builds every menu and
// item, wires each item to the handler the window gives for it, keeps the items by name and the
// option items of each setting as one radio group, and keeps the groups' checks. The handlers
// themselves stay with the window: they change its settings and controls.
//
// Who calls it: the main window, on the window thread (its handlers, the configuration load
// and the tests through the window's click/item/groupOf/choose).
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/settings/MenuTable.h"

class QAction;
class QMenuBar;
class QString;

namespace dita {

class FormMenus {
public:
    using Command = std::function<void()>;
    // An option item's handler: the value its row stands for, and the item itself.
    using OptionHandler = std::function<void(int32_t value, QAction* own)>;

    // Every command row needs its handler in `commands`, every option row its setting's in
    // `options`: a row without one is a build mistake and throws std::logic_error.
    FormMenus(QMenuBar* bar, const std::map<std::string, Command>& commands,
              const std::map<SettingId, OptionHandler>& options);

    // The item of a row's object name; an unknown name throws std::invalid_argument.
    QAction* item(const std::string& name) const;
    // The items of the radio group an item belongs to (empty for plain commands and menus).
    std::vector<QAction*> groupOf(const std::string& name) const;
    // The items of one setting, in menu order.
    const std::vector<QAction*>& group(SettingId setting) const;
    // The item that stands for a value of a setting; throws std::invalid_argument when none does.
    QAction* optionItem(SettingId setting, int32_t value) const;
    template <typename E> QAction* optionItem(SettingId setting, E value) const {
        return optionItem(setting, static_cast<int32_t>(raw(value)));
    }
    // Runs the item that stands for this value of a setting; false when none does.
    bool trigger(SettingId setting, int32_t value) const;

    // The common rule of option groups: the chosen item checked, the rest of its group not.
    void check(QAction* own);
    // Every group with the item of the setting's value checked; no handler runs.
    void checkValues(const OperatingSettings& settings);

private:
    std::map<std::string, QAction*> m_items;             // every row's action, by name
    std::map<SettingId, std::vector<QAction*>> m_groups; // option items by setting, menu order
};

} // namespace dita
