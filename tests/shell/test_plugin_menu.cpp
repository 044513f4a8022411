#include "shell/plugin_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <vector>

#include "workspace/plugins.h"

namespace vistrel {
namespace {

QStringList TopTexts(const QMenuBar& bar) {
    QStringList texts;
    for (QAction* action : bar.actions()) texts << action->text();
    return texts;
}

TEST(PlugInMenu, ItemsCarryTheNamesAndCommandIdsInPlugInOrder) {
    QMenuBar bar;
    std::vector<int> chosen;
    QMenu* menu = BuildPlugInMenu(bar, {"Invert", "Unsharp Mask", "Two Images"},
                                  [&chosen](int id) { chosen.push_back(id); });
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), "Pl&ugIns");
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 3);
    const char* const names[] = {"Invert", "Unsharp Mask", "Two Images"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i]->text(), names[i]);
        EXPECT_EQ(items[i]->data().toInt(), 49000 + i);
    }
    items[1]->trigger();
    items[0]->trigger();
    EXPECT_EQ(chosen, (std::vector<int>{49001, 49000}));
}

TEST(PlugInMenu, GoesAtPositionEightOrLastAndOnlyOnce) {
    struct Case {
        int existing;
        int expectedIndex;
    } cases[] = {{0, 0}, {3, 3}, {8, 8}, {10, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.existing);
        QMenuBar bar;
        for (int i = 0; i < c.existing; ++i) bar.addMenu(QString("Menu %1").arg(i));
        QMenu* menu = BuildPlugInMenu(bar, {"Invert"}, {});
        ASSERT_NE(menu, nullptr);
        const QStringList texts = TopTexts(bar);
        ASSERT_EQ(texts.size(), c.existing + 1);
        EXPECT_EQ(texts.indexOf("Pl&ugIns"), c.expectedIndex);
        // Built again (the program does so whenever it is idle): nothing changes.
        EXPECT_EQ(BuildPlugInMenu(bar, {"Invert", "Other"}, {}), menu);
        EXPECT_EQ(TopTexts(bar), texts);
        EXPECT_EQ(menu->actions().size(), 1);
    }
}

TEST(PlugInMenu, NoImagePlugInsGiveNoMenu) {
    QMenuBar bar;
    bar.addMenu("&File");
    EXPECT_EQ(BuildPlugInMenu(bar, std::vector<std::string>{}, {}), nullptr);
    CPlugInManager manager;  // nothing scanned
    EXPECT_EQ(BuildPlugInMenu(bar, manager, {}), nullptr);
    EXPECT_EQ(TopTexts(bar), QStringList{"&File"});
}

TEST(PlugInMenu, OnlyTheCommandRangeGetsItems) {
    QMenuBar bar;
    std::vector<std::string> names(150, "Plug-in");
    QMenu* menu = BuildPlugInMenu(bar, names, {});
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 101);
    EXPECT_EQ(menu->actions().back()->data().toInt(), 49100);
}

}  // namespace
}  // namespace vistrel
