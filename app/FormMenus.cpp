#include "app/FormMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <stdexcept>

namespace dita {

FormMenus::FormMenus(QMenuBar* bar, const std::map<std::string, Command>& commands,
                     const std::map<SettingId, OptionHandler>& options) {
    bar->setObjectName("MainMenu");
    std::map<std::string, QMenu*> menus;
    for (const MenuRow& row : menuRows()) {
        QMenu* parent = row.parent ? menus.at(row.parent) : nullptr;
        if (row.kind == MenuKind::Menu) {
            QMenu* m = parent ? parent->addMenu(row.caption) : bar->addMenu(row.caption);
            m->setObjectName(row.name);
            m->menuAction()->setObjectName(QString(row.name) + "Menu");
            m->menuAction()->setVisible(!row.hidden);
            menus[row.name] = m;
            m_items[row.name] = m->menuAction();
            continue;
        }
        QAction* a = parent->addAction(row.caption);
        a->setObjectName(row.name);
        a->setVisible(!row.hidden);
        m_items[row.name] = a;
        // A row without its handler stops the program at once rather than leaving an item
        // that does nothing.
        if (row.kind == MenuKind::Command) {
            const auto run = commands.find(row.name);
            if (run == commands.end())
                throw std::logic_error(std::string("menu command without a handler: ") + row.name);
            QObject::connect(a, &QAction::triggered, a, run->second);
            continue;
        }
        const auto handler = options.find(row.setting);
        if (handler == options.end())
            throw std::logic_error(std::string("menu option without a handler: ") + row.name);
        a->setCheckable(true);
        m_groups[row.setting].push_back(a);
        QObject::connect(a, &QAction::triggered, a,
                         [a, run = handler->second, value = row.value] { run(value, a); });
    }
    // "Locked WPM" carries the check of any locked speed.
    item("LockedWPM")->setCheckable(true);
    // "Rig (CAT)" is on or off by itself (DITA.conf), beside the Output Device choice.
    item("RigCat1")->setCheckable(true);
}

QAction* FormMenus::item(const std::string& name) const {
    return m_items.at(menuRow(name).name);
}

std::vector<QAction*> FormMenus::groupOf(const std::string& name) const {
    const MenuRow& row = menuRow(name);
    const auto it = m_groups.find(row.setting);
    return row.kind != MenuKind::Option || it == m_groups.end() ? std::vector<QAction*>{}
                                                                : it->second;
}

const std::vector<QAction*>& FormMenus::group(SettingId setting) const {
    return m_groups.at(setting);
}

QAction* FormMenus::optionItem(SettingId setting, int32_t value) const {
    const MenuRow* row = optionRow(setting, value);
    if (!row) throw std::invalid_argument("no menu item stands for this value");
    return m_items.at(row->name);
}

bool FormMenus::trigger(SettingId setting, int32_t value) const {
    const MenuRow* row = optionRow(setting, value);
    if (!row) return false;
    m_items.at(row->name)->trigger();
    return true;
}

void FormMenus::check(QAction* own) {
    for (QAction* a : m_groups.at(menuRow(own->objectName().toStdString()).setting))
        a->setChecked(a == own);
}

void FormMenus::checkValues(const OperatingSettings& settings) {
    for (const auto& [setting, group] : m_groups) {
        (void)group;
        if (const MenuRow* row = optionRow(setting, settingValue(settings, setting)))
            check(m_items.at(row->name));
    }
}

} // namespace dita
