// The menus, tool bars, docked window bars and status panes, all made of
// the actions of the command registry.
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>

#include "shell/diagnoses_legend_bar.h"
#include "shell/main_frame.h"
#include "shell/plugin_menu.h"
#include "shell/qt_text.h"
#include "shell/vistrel_view.h"
#include "shell/window_width_bits.h"
#include "shell/window_width_values.h"
#include "workspace/command_menus.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

int Id(CommandId id) {
    return static_cast<int>(id);
}

// The label of an action without its mnemonic ampersands, for tool buttons.
QString ButtonText(const QAction* action) {
    QString text = action->text();
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove('&');
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

}  // namespace

void CMainFrame::AddMenuEntries(QMenu* menu, const std::vector<CMenuEntry>& items) {
    // Every menu shows the states of the moment it opens.
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    // Texts that follow the state ("Enable"/"Disable", a count) are set as the menu opens.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        const CCommandContext context = CommandContext();
        for (QAction* action : menu->actions()) {
            const int id = action->data().toInt();
            if (!CommandHasTextRule(id)) continue;
            std::string label, accelerator;
            SplitMenuText(CommandMenuText(context, id), label, accelerator);
            action->setText(ToQ(label));
        }
    });
    for (const CMenuEntry& entry : items) {
        switch (entry.kind) {
            case CMenuEntry::EKind::Command:
                menu->addAction(Action(entry.id));
                break;
            case CMenuEntry::EKind::Separator:
                menu->addSeparator();
                break;
            case CMenuEntry::EKind::Submenu:
                AddMenuEntries(menu->addMenu(ToQ(entry.title)), entry.items);
                break;
            case CMenuEntry::EKind::Place:
                switch (entry.place) {
                    case EMenuPlace::RecentFiles:
                        fileMenu_ = menu;
                        recentSeparator_ = menu->addSeparator();
                        break;
                    case EMenuPlace::Cases:
                        casesMenu_ = menu;
                        menu->addSeparator();
                        break;
                    case EMenuPlace::OpenWindows:
                        windowMenu_ = menu;
                        // Titles change with the zoom, so the list is written as the menu opens.
                        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::RebuildWindowList);
                        break;
                }
                break;
        }
    }
}

void CMainFrame::CreateMenus() {
    for (const CMenuLayout& layout : MenuBarLayout()) {
        if (layout.role == EMenuRole::Presets) {
            presetsMenu_ = menuBar()->addMenu(ToQ(layout.title));
            connect(presetsMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
            continue;
        }
        AddMenuEntries(menuBar()->addMenu(ToQ(layout.title)), layout.items);
    }
    BuildPresetMenu();
    RebuildRecentFiles();
}

void CMainFrame::CreateContextMenus() {
    for (const CContextMenuLayout& layout : ContextMenuLayouts()) {
        auto* menu = new QMenu(this);
        AddMenuEntries(menu, layout.items);
        contextMenus_[layout.id] = menu;
    }
}

QMenu* CMainFrame::ContextMenu(int id) const {
    const auto it = contextMenus_.find(id);
    return it == contextMenus_.end() ? nullptr : it->second;
}

void CMainFrame::BuildPresetMenu() {
    presetsMenu_->clear();
    presetActions_.clear();
    for (const CMenuLayout& layout : MenuBarLayout())
        if (layout.role == EMenuRole::Presets)
            for (const CMenuEntry& entry : layout.items) {
                if (entry.kind == CMenuEntry::EKind::Command)
                    presetsMenu_->addAction(Action(entry.id));
                else if (entry.kind == CMenuEntry::EKind::Separator)
                    presetsMenu_->addSeparator();
            }
    const auto& presets = app_.Presets();
    const int last = Id(CommandId::PresetLast) - Id(CommandId::PresetFirst);
    for (int i = 0; i < static_cast<int>(presets.size()) && i <= last; ++i) {
        auto* action = presetsMenu_->addAction(ToQ(presets[i].MenuText()));
        action->setCheckable(true);
        const int id = Id(CommandId::PresetFirst) + i;
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        presetActions_.push_back(action);
    }
    UpdateCommandStates();
}

QMenu* CMainFrame::BuildPlugInMenu(CPlugInManager& manager) {
    plugIns_ = &manager;
    QMenu* menu = vistrel::BuildPlugInMenu(*menuBar(), manager, [this](int id) { OnCommand(id); });
    if (menu) connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    return menu;
}

void CMainFrame::RebuildRecentFiles() {
    for (QAction* action : recentActions_) {
        fileMenu_->removeAction(action);
        action->deleteLater();
    }
    recentActions_.clear();
    const auto& files = app_.RecentFiles();
    QAction* before =
        fileMenu_->actions().value(fileMenu_->actions().indexOf(recentSeparator_) + 1);
    for (int i = 0; i < static_cast<int>(files.size()) && i < kRecentFileCount; ++i) {
        auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(ToQ(files[i])), this);
        const int id = Id(CommandId::FileMru1) + i;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        fileMenu_->insertAction(before, action);
        recentActions_.push_back(action);
    }
}

void CMainFrame::CaseListChanged() {
    for (QAction* action : caseActions_) {
        casesMenu_->removeAction(action);
        action->deleteLater();
    }
    caseActions_.clear();
    const std::vector<std::string>& entries = app_.Cases().Entries();
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const int id = CCaseList::CommandOf(i);
        auto* action = new QAction(ToQ(entries[i]), this);
        action->setData(id);
        // Entries beyond the handled range are listed but do nothing.
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        casesMenu_->addAction(action);
        caseActions_.push_back(action);
    }
    UpdateCommandStates();
}

void CMainFrame::ShowLegend() {
    if (!legendBar_) return;
    legendBar_->setVisible(app_.showRegions);
    // A B/M network's letters read with the user legend; only a true/false
    // network has a legend of its own.
    const CVistrelDoc* doc = app_.ActiveDocument();
    const BPNN* network = app_.network.get();
    legend_->SetNetwork(doc && doc->showNnDiagnoses && network &&
                        (network->NOut() == 1 || (network->NOut() == 2 && network->TwoOutputTF())));
}

// ---------------------------------------------------------------- bars

void CMainFrame::CreateBars() {
    bitsBar_ = new CWindowWidthBits(app_, this);
    bitsDock_ = new QDockWidget(QStringLiteral("Window Bits"), this);
    bitsDock_->setObjectName(QStringLiteral("WindowBits"));
    bitsDock_->setWidget(bitsBar_);
    valuesBar_ = new CWindowWidthValues(app_, this);
    valuesDock_ = new QDockWidget(QStringLiteral("Window Values"), this);
    valuesDock_->setObjectName(QStringLiteral("WindowValues"));
    valuesDock_->setWidget(valuesBar_);
    for (QDockWidget* dock : {bitsDock_, valuesDock_}) {
        // Shown and hidden through the View menu only, so the menu check and
        // the renderer always agree with what is on screen.
        dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    }
    addDockWidget(Qt::LeftDockWidgetArea, bitsDock_);
    addDockWidget(Qt::RightDockWidgetArea, valuesDock_);
    ShowBitsBar(true);
    ShowValueBar(false);
}

void CMainFrame::CreateToolBars() {
    std::vector<QToolBar*> bars;
    for (const CToolBarLayout& layout : ToolBarLayouts()) {
        auto* bar = addToolBar(ToQ(layout.title));
        bar->setObjectName(ToQ(layout.objectName));
        bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        for (CommandId id : layout.ids) {
            if (id == CommandId{}) {
                bar->addSeparator();
                continue;
            }
            QAction* action = Action(id);
            bar->addAction(action);
            if (QWidget* button = bar->widgetForAction(action))
                if (auto* tool = qobject_cast<QToolButton*>(button))
                    tool->setText(ButtonText(action));
        }
        // Shown and hidden through the View menu, so its check marks follow.
        bar->toggleViewAction()->setEnabled(false);
        bars.push_back(bar);
    }
    standardBar_ = bars.at(0);
    morphologyBar_ = bars.at(1);
    userBar_ = bars.at(2);
    legendBar_ = new QToolBar(QStringLiteral("Diagnoses"), this);
    legendBar_->setObjectName(QStringLiteral("DiagnosesLegendBar"));
    legend_ = new CDiagnosesLegendDlgBar(legendBar_);
    legendBar_->addWidget(legend_);
    legendBar_->toggleViewAction()->setEnabled(false);
    addToolBar(Qt::TopToolBarArea, legendBar_);
}

void CMainFrame::CreateStatusBar() {
    // Pane 1 cursor position, 2 pixel value, 3 ROI size or ruler length.
    const int widths[3] = {220, 110, 220};
    for (int i = 0; i < 3; ++i) {
        panes_[i] = new QLabel(this);
        panes_[i]->setObjectName(QStringLiteral("StatusPane%1").arg(i + 1));
        panes_[i]->setMinimumWidth(widths[i]);
        panes_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar()->addPermanentWidget(panes_[i]);
    }
}

QLabel* CMainFrame::StatusPane(int pane) const {
    return pane >= 1 && pane <= 3 ? panes_[pane - 1] : nullptr;
}

void CMainFrame::ShowBitsBar(bool on) {
    Action(CommandId::WindowBits)->setChecked(on);
    bitsDock_->setVisible(on);
}

void CMainFrame::ShowValueBar(bool on) {
    Action(CommandId::WindowValues)->setChecked(on);
    valuesDock_->setVisible(on);
    app_.SetValueWindowMode(on);
    UpdateCommandStates();
}

}  // namespace vistrel
