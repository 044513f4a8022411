// The menu, context-menu and tool-bar layout against the command registry:
// what the main window builds must name real commands, reach every command,
// and keep the run-time places where the shell expects them.
#include "workspace/command_menus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "workspace/command_registry.h"

namespace vistrel {
namespace {

using K = CMenuEntry::EKind;

// Every command id of items and their submenus, in order.
void Collect(const std::vector<CMenuEntry>& items, std::vector<CommandId>& ids) {
    for (const CMenuEntry& e : items) {
        if (e.kind == K::Command) ids.push_back(e.id);
        if (e.kind == K::Submenu) Collect(e.items, ids);
    }
}

// The places of items and their submenus.
void Places(const std::vector<CMenuEntry>& items, std::vector<EMenuPlace>& places) {
    for (const CMenuEntry& e : items) {
        if (e.kind == K::Place) places.push_back(e.place);
        if (e.kind == K::Submenu) Places(e.items, places);
    }
}

// Commands within one menu level are listed once.
void ExpectNoRepeats(const std::vector<CMenuEntry>& items, const std::string& where) {
    std::set<CommandId> seen;
    for (const CMenuEntry& e : items) {
        if (e.kind == K::Command) {
            EXPECT_TRUE(seen.insert(e.id).second)
                << where << " lists command " << static_cast<int>(e.id) << " twice";
        }
        if (e.kind == K::Submenu) {
            ASSERT_NE(e.title, nullptr) << where;
            ExpectNoRepeats(e.items, where + " > " + e.title);
        }
    }
}

TEST(CommandMenus, EveryPlacedCommandIsRegisteredAndEveryCommandIsPlaced) {
    std::vector<CommandId> placed;
    for (const CMenuLayout& menu : MenuBarLayout()) Collect(menu.items, placed);
    for (const CContextMenuLayout& menu : ContextMenuLayouts()) Collect(menu.items, placed);
    for (const CToolBarLayout& bar : ToolBarLayouts())
        for (CommandId id : bar.ids)
            if (id != CommandId{}) placed.push_back(id);
    for (CommandId id : placed)
        EXPECT_NE(FindCommand(static_cast<int>(id)), nullptr)
            << "command " << static_cast<int>(id) << " is placed but not registered";
    for (const CCommand& command : CommandRegistry())
        EXPECT_NE(std::find(placed.begin(), placed.end(), command.id), placed.end())
            << "\"" << command.text << "\" is reachable from no menu or bar";
}

TEST(CommandMenus, NoMenuListsACommandTwice) {
    for (const CMenuLayout& menu : MenuBarLayout()) ExpectNoRepeats(menu.items, menu.title);
    std::set<int> ids;
    for (const CContextMenuLayout& menu : ContextMenuLayouts()) {
        EXPECT_TRUE(ids.insert(menu.id).second) << "context menu " << menu.id << " twice";
        ExpectNoRepeats(menu.items, "context menu " + std::to_string(menu.id));
    }
}

TEST(CommandMenus, RunTimePlacesAreWhereTheShellFillsThem) {
    const struct {
        const char* menu;
        EMenuPlace place;
    } cases[] = {
        {"&File", EMenuPlace::RecentFiles},
        {"&Cases", EMenuPlace::Cases},
        {"&Window", EMenuPlace::OpenWindows},
    };
    for (const auto& c : cases) {
        int found = 0;
        for (const CMenuLayout& menu : MenuBarLayout()) {
            std::vector<EMenuPlace> places;
            Places(menu.items, places);
            const auto n = std::count(places.begin(), places.end(), c.place);
            found += static_cast<int>(n);
            if (n > 0) {
                EXPECT_STREQ(menu.title, c.menu);
            }
        }
        EXPECT_EQ(found, 1) << c.menu;
    }
    // The open windows and the case entries are appended: nothing may follow them.
    for (const CMenuLayout& menu : MenuBarLayout())
        for (std::size_t i = 0; i < menu.items.size(); ++i) {
            const CMenuEntry& e = menu.items[i];
            if (e.kind == K::Place && e.place != EMenuPlace::RecentFiles) {
                EXPECT_EQ(i + 1, menu.items.size()) << menu.title << ": entries after a list";
            }
        }
}

TEST(CommandMenus, ThePresetsMenuStandsBeforeTheWindowMenu) {
    const auto& menus = MenuBarLayout();
    const auto presets = std::find_if(menus.begin(), menus.end(), [](const CMenuLayout& m) {
        return m.role == EMenuRole::Presets;
    });
    ASSERT_NE(presets, menus.end());
    EXPECT_EQ(std::count_if(menus.begin(), menus.end(),
                            [](const CMenuLayout& m) { return m.role == EMenuRole::Presets; }),
              1);
    ASSERT_NE(presets + 1, menus.end());
    EXPECT_STREQ((presets + 1)->title, "&Window");
    EXPECT_STREQ(menus.back().title, "&Help");
}

// The commands of a top-level menu, in order; empty when there is no such menu.
std::vector<CommandId> MenuCommands(const char* title) {
    std::vector<CommandId> ids;
    for (const CMenuLayout& menu : MenuBarLayout())
        if (std::string(menu.title) == title) Collect(menu.items, ids);
    return ids;
}

TEST(CommandMenus, MorphologyAndTheBreastOutlineHaveTheirPlaces) {
    using I = CommandId;
    const std::vector<I> operators = {I::Erosion,       I::Dilation,      I::MorphOpen,
                                      I::MorphClose,    I::WhiteTopHat,   I::BlackTopHat,
                                      I::MorphGradient, I::InnerGradient, I::OuterGradient};
    std::vector<I> morphology = operators;
    morphology.push_back(I::StructuringElement);
    morphology.push_back(I::ConditionalThickening);
    EXPECT_EQ(MenuCommands("&Morphology"), morphology);

    // The menu stands right after the filtering menu.
    const auto& menus = MenuBarLayout();
    const auto at = std::find_if(menus.begin(), menus.end(), [](const CMenuLayout& m) {
        return std::string(m.title) == "&Morphology";
    });
    ASSERT_NE(at, menus.end());
    ASSERT_NE(at, menus.begin());
    EXPECT_STREQ((at - 1)->title, "F&iltering");
    // A separator parts the operators from the element and the thickening tool.
    ASSERT_GT(at->items.size(), operators.size());
    EXPECT_EQ(at->items[operators.size()].kind, K::Separator);

    const std::vector<I> detection = {I::SpotDetector,
                                      I::McClusterDetection,
                                      I::Thresholding,
                                      I::SegmentFromSeeds,
                                      I::SeedsWthLocalStatistics,
                                      I::SeedsFromCentroids,
                                      I::SegmentBreast,
                                      I::EnableBreastSegment,
                                      I::SetZeroOutsideBreast,
                                      // clusters of regions and their evaluation
                                      I::ClusterParams,
                                      I::MakeClusters,
                                      I::ClusterAreas,
                                      I::MClusterAreas,
                                      I::EvaluateClusterResults,
                                      I::RemoveBadRegions,
                                      I::ProcessDetection};
    EXPECT_EQ(MenuCommands("&Detection Tools"), detection);

    // The SGT commands follow the OVERLAY ones.
    const std::vector<I> file = MenuCommands("&File");
    const auto overlay = std::find(file.begin(), file.end(), I::SaveOverlay);
    ASSERT_NE(overlay, file.end());
    ASSERT_GE(file.end() - overlay, 3);
    EXPECT_EQ(overlay[1], I::OpenSgt);
    EXPECT_EQ(overlay[2], I::SaveSgt);

    const auto& bars = ToolBarLayouts();
    const auto bar = std::find_if(bars.begin(), bars.end(), [](const CToolBarLayout& b) {
        return std::string(b.title) == "Morphology";
    });
    ASSERT_NE(bar, bars.end());
    EXPECT_EQ(bar->ids, operators);
}

}  // namespace
}  // namespace vistrel
