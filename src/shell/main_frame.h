#pragma once
// The main window: MDI area for the document windows, the menus built from
// the command table, the two window bars, and the screen side of the workspace.

#include <QDockWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <map>

#include "workspace/command_ids.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;
class CVistrelView;
class CSplitterFrame;
class CWindowWidthBits;
class CWindowWidthValues;

class CMainFrame : public QMainWindow, public IWorkspaceUi {
    Q_OBJECT
  public:
    explicit CMainFrame(CVistrelApp& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    QMdiArea* MdiArea() const { return mdi_; }
    CSplitterFrame* ActiveFrame() const;
    CVistrelView* ActiveView() const;
    CSplitterFrame* FrameOf(const CVistrelDoc* doc) const;
    QAction* Action(CommandId id) const;
    QAction* PresetAction(int index) const;
    QMenu* PresetsMenu() const { return presetsMenu_; }
    CWindowWidthBits* BitsBar() const { return bitsBar_; }
    CWindowWidthValues* ValuesBar() const { return valuesBar_; }
    QDockWidget* BitsDock() const { return bitsDock_; }
    QDockWidget* ValuesDock() const { return valuesDock_; }

    // Runs a command as its menu item would.
    void OnCommand(int id);
    // Refreshes enabled and checked states (before menus show and after activation).
    void UpdateCommandStates();
    // Rebuilds the presets popup from the application's list.
    void BuildPresetMenu();

    // IWorkspaceUi
    bool OpenDocumentWindow(CVistrelDoc& doc) override;
    void CloseDocumentWindow(CVistrelDoc& doc) override;
    bool PickOpenFiles(const std::string& startPath, const std::vector<CFileFilter>& filters,
                       std::vector<std::string>& paths) override;
    bool PickOpenFile(const std::string& initialPath, const std::vector<CFileFilter>& filters,
                      std::string& path) override;
    bool PickSaveFile(const std::string& initialPath, const std::vector<CFileFilter>& filters,
                      std::string& path, int& filterIndex) override;
    bool AskRegionGrowing(CRegionGrowingModel& model) override;
    bool AskRawParams(const std::string& path, CRawParams& params) override;
    bool AskRadioGroup(const std::string& title, const std::vector<std::string>& options,
                       int& selected) override;
    bool AskText(const std::string& title, const std::string& prompt, const std::string& label,
                 std::string& text) override;
    void SetBusy(bool busy) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateActions();
    void CreateMenus();
    void CreateRegionsMenu();
    // Annotation commands; false when id is not one of them.
    bool OnAnnotationCommand(int id, CVistrelDoc* doc, CVistrelView* view);
    void UpdateAnnotationStates(CVistrelDoc* doc, CVistrelView* view);
    void CreateBars();
    void RebuildRecentFiles();
    void OnSubWindowActivated(QMdiSubWindow* window);
    void ShowValueBar(bool on);
    void ShowBitsBar(bool on);

    CVistrelApp& app_;
    QMdiArea* mdi_;
    std::map<int, QAction*> actions_;
    QMenu* fileMenu_ = nullptr;
    QMenu* presetsMenu_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    std::vector<QAction*> recentActions_;
    std::vector<QAction*> presetActions_;
    QDockWidget* bitsDock_ = nullptr;
    QDockWidget* valuesDock_ = nullptr;
    CWindowWidthBits* bitsBar_ = nullptr;
    CWindowWidthValues* valuesBar_ = nullptr;
    std::map<const CVistrelDoc*, QPointer<CSplitterFrame>> frames_;
};

}  // namespace vistrel
