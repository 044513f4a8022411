#include "shell/plugin_menu.h"

#include <QAction>
#include <QString>

#include "shell/qt_text.h"
#include "workspace/plugins.h"

namespace vistrel {

QMenu* BuildPlugInMenu(QMenuBar& bar, const std::vector<std::string>& names,
                       const std::function<void(int)>& onCommand) {
    const QString title = QString::fromUtf8(kPlugInMenuText);
    for (QAction* action : bar.actions())
        if (action->menu() && action->text() == title) return action->menu();
    if (names.empty()) return nullptr;

    auto* menu = new QMenu(title, &bar);
    const int count =
        std::min<int>(static_cast<int>(names.size()), kPlugInCommandLast - kPlugInCommandFirst + 1);
    for (int i = 0; i < count; ++i) {
        const int id = kPlugInCommandFirst + i;
        QAction* item = menu->addAction(ToQ(names[static_cast<std::size_t>(i)]));
        item->setData(id);
        if (onCommand)
            QObject::connect(item, &QAction::triggered, menu, [onCommand, id] { onCommand(id); });
    }
    const QList<QAction*> top = bar.actions();
    if (top.size() > kPlugInMenuPosition)
        bar.insertMenu(top.at(kPlugInMenuPosition), menu);
    else
        bar.addMenu(menu);
    return menu;
}

QMenu* BuildPlugInMenu(QMenuBar& bar, const CPlugInManager& manager,
                       const std::function<void(int)>& onCommand) {
    std::vector<std::string> names;
    for (const auto& plugIn : manager.ImagePlugIns()) names.push_back(plugIn->Name());
    return BuildPlugInMenu(bar, names, onCommand);
}

}  // namespace vistrel
