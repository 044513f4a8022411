#pragma once
// The main window: MDI area for the document windows, the menus built from
// the command registry, the two window bars, and the screen side of the
// workspace. Split by concern: construction and commands (main_frame.cpp),
// menus and bars (main_frame_menus.cpp), document windows
// (main_frame_windows.cpp), dialogs of the workspace (main_frame_ui.cpp).

#include <QActionGroup>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QToolBar>
#include <map>

#include "shell/enhance_dlg.h"
#include "shell/filters_dlg.h"
#include "shell/histogram_dlg.h"
#include "shell/image_prop_dlg.h"
#include "shell/log_gaussian_flt_dlg.h"
#include "shell/mc_cluster_detection_dlg.h"
#include "shell/scale_space_dlg.h"
#include "shell/segment_from_seeds_dlg.h"
#include "shell/text_window.h"
#include "shell/thresholding_dlg.h"
#include "shell/two_images_dlg.h"
#include "shell/work_progress.h"
#include "workspace/command_ids.h"
#include "workspace/command_menus.h"
#include "workspace/command_registry.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;
class CVistrelView;
class CSplitterFrame;
class CPlugInManager;
class CWindowWidthBits;
class CWindowWidthValues;
class CDiagnosesLegendDlgBar;

class CMainFrame : public QMainWindow, public IWorkspaceUi, public ICommandShell {
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
    QToolBar* StandardBar() const { return standardBar_; }
    QToolBar* MorphologyBar() const { return morphologyBar_; }
    QToolBar* UserBar() const { return userBar_; }
    QToolBar* LegendBar() const { return legendBar_; }
    CDiagnosesLegendDlgBar* Legend() const { return legend_; }
    // Status pane 1 (cursor), 2 (value) or 3 (ROI or ruler).
    QLabel* StatusPane(int pane) const;
    QMenu* CasesMenu() const { return casesMenu_; }
    // "&Window": the window commands, then "&1 title" ... "&9 title" for the
    // open windows with a check on the active one, then "&More Windows...".
    QMenu* WindowMenu() const { return windowMenu_; }
    // The context menu of the image window with that id (see ContextMenuId).
    QMenu* ContextMenu(int id) const;

    // Sizes a document window by the fit mode and fits its image into it.
    void FitFrame(CSplitterFrame* frame);
    // The open tool windows (null when closed).
    CEnhanceDlg* EnhanceWindow() const { return enhance_; }
    CHistogramDlg* HistogramWindow() const { return histogram_; }
    CImagePropDlg* PropertiesWindow() const { return properties_; }
    CTwoImagesOperationsDlg* TwoImagesWindow() const { return twoImages_; }
    CTwoImagesOperationsDlg* ThickeningWindow() const { return thickening_; }
    CFiltersDlg* FiltersWindow() const { return filters_; }
    CLogGaussianFltDlg* LogGaussianWindow() const { return logGaussian_; }
    CScaleSpaceDlg* SpotDetectorWindow() const { return spotDetector_; }
    // ---- microcalcification cluster tool
    CMcClusterDetectionDlg* McClusterDetectionWindow() const { return mcClusterDetection_; }
    CThresholdingDlg* ThresholdingWindow() const { return thresholding_; }
    CSegmentFromSeedsDlg* SegmentFromSeedsWindow() const { return segmentFromSeeds_; }
    // The open text windows, oldest first.
    std::vector<CTextWindow*> TextWindows() const;

    // Runs a command as its menu item would.
    void OnCommand(int id);
    // Refreshes enabled and checked states (before menus show and after activation).
    void UpdateCommandStates();
    // Rebuilds the presets popup from the application's list.
    void BuildPresetMenu();
    // Adds the "Pl&ugIns" menu for the loaded image plug-ins of manager,
    // which must outlive the frame; its items run on the active document.
    // Nothing without image plug-ins. Returns the menu or null.
    QMenu* BuildPlugInMenu(CPlugInManager& manager);

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
    bool AskMorphElement(CMorphElementModel& model) override;
    bool AskBreastSegment(CBreastSegmentModel& model) override;
    bool AskFeatureSelection(CFeatureSelectionModel& model) override;
    bool AskNeuralNetwork(CNNModel& model) override;
    bool AskRegionType(CRegionTypeModel& model) override;
    bool AskCoocurrenceParams(CCoocurrenceParamsModel& model) override;
    bool AskTwoParams(CTwoParamsModel& model) override;
    void ShowTextWindow(const std::string& title, const std::string& text) override;
    bool AskRawParams(const std::string& path, CRawParams& params) override;
    bool AskRadioGroup(const std::string& title, const std::vector<std::string>& options,
                       int& selected) override;
    bool AskText(const std::string& title, const std::string& prompt, const std::string& label,
                 std::string& text) override;
    void SetBusy(bool busy) override;
    void BeginProgress(const std::string& text) override;
    bool ReportProgress(double fraction) override;
    void EndProgress() override;
    void SetProgressText(const std::string& text) override;
    // The progress bar of long work (its dialog is up only while work runs).
    CWorkProgress& Progress() { return progress_; }
    void ActivateDocumentWindow(CVistrelDoc& doc) override;
    void OpenSegmentFromSeeds(CVistrelDoc& doc, bool currentSeeds) override;
    void CaseListChanged() override;
    void InterfaceModeChanged() override;

    // ICommandShell
    void ZoomActiveView(EZoom zoom) override;
    bool BarShown(EBar bar) const override;
    void ShowBar(EBar bar, bool shown) override;
    bool ToolWindowOpen(EToolWindow window) const override;
    void ToggleToolWindow(EToolWindow window) override;
    void PrintActiveView(EPrint how) override;
    void ToggleDescription() override;
    void CascadeWindows() override;
    void TileWindows() override;
    void ShowAbout() override;
    void CloseActiveWindow() override;
    void CloseMainWindow() override;
    void ShowRulerLevels() override;
    void ToggleShowOriginal() override;
    void DeselectRoi() override;
    void FitModeChanged() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // What the commands see: the active document and window.
    CCommandContext CommandContext();
    void CreateActions();
    void CreateMenus();
    // Adds the entries of a menu of the layout (and its submenus) to menu.
    void AddMenuEntries(QMenu* menu, const std::vector<CMenuEntry>& items);
    void CreateContextMenus();
    void CreateToolBars();
    void CreateStatusBar();
    void CreateBars();
    void PlaceForRadiologists(CSplitterFrame* frame);
    void ShowLegend();
    void OpenPreviewFull(CVistrelDoc* doc);
    QSize ClientSize() const;
    void RebuildRecentFiles();
    void OnSubWindowActivated(QMdiSubWindow* window);
    void ShowValueBar(bool on);
    void ShowBitsBar(bool on);
    void RebuildWindowList();
    void ActivateSubWindow(QMdiSubWindow* window);
    void ChooseFromMoreWindows();
    // The main window's last size and place; false when none was remembered.
    bool RestoreFrameGeometry();
    void SaveFrameGeometry() const;

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
    QToolBar* standardBar_ = nullptr;
    QToolBar* morphologyBar_ = nullptr;
    QToolBar* userBar_ = nullptr;
    QToolBar* legendBar_ = nullptr;
    CDiagnosesLegendDlgBar* legend_ = nullptr;
    QLabel* panes_[3] = {};
    QMenu* casesMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    std::vector<QAction*> windowActions_;  // the separator and the listed windows
    bool placedOnScreen_ = false;          // no remembered geometry: sized to the screen
    std::map<int, QMenu*> contextMenus_;
    QPointer<CEnhanceDlg> enhance_;
    QPointer<CHistogramDlg> histogram_;
    QPointer<CImagePropDlg> properties_;
    QPointer<CTwoImagesOperationsDlg> twoImages_;
    QPointer<CTwoImagesOperationsDlg> thickening_;
    QPointer<CFiltersDlg> filters_;
    QPointer<CLogGaussianFltDlg> logGaussian_;
    QPointer<CScaleSpaceDlg> spotDetector_;
    // ---- microcalcification cluster tool
    QPointer<CMcClusterDetectionDlg> mcClusterDetection_;
    QPointer<CThresholdingDlg> thresholding_;
    QPointer<CSegmentFromSeedsDlg> segmentFromSeeds_;
    std::vector<QPointer<CTextWindow>> textWindows_;
    std::vector<QAction*> caseActions_;
    int appliedMode_ = -1;  // the interface mode the bars were last set for
    bool openingPreviewFull_ = false;
    bool shownOnce_ = false;
    CPlugInManager* plugIns_ = nullptr;  // the next window shows a case-preview image full size
    CWorkProgress progress_{this};
};

}  // namespace vistrel
