#pragma once
// What the workspace needs from the screen. The shell implements it with
// windows and dialogs; tests implement it with scripted answers. Questions
// and plain messages go through the message sink of core/messages.h.

#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "workspace/file_filters.h"

namespace vistrel {

class CVistrelDoc;
class CRegionGrowingModel;
class CMorphElementModel;
class CBreastSegmentModel;
class CFeatureSelectionModel;
class CRegionTypeModel;
class CCoocurrenceParamsModel;
class CTwoParamsModel;
class CNNModel;

class IWorkspaceUi {
  public:
    virtual ~IWorkspaceUi() = default;

    // Creates the window that shows a newly opened document; false when it cannot.
    virtual bool OpenDocumentWindow(CVistrelDoc& doc) = 0;
    // Closes the window of a document (the document itself is closed by the caller).
    virtual void CloseDocumentWindow(CVistrelDoc& doc) = 0;

    // Multiple-selection open dialog starting at startPath; false on Cancel.
    virtual bool PickOpenFiles(const std::string& startPath,
                               const std::vector<CFileFilter>& filters,
                               std::vector<std::string>& paths) = 0;
    // Single-file open dialog with initialPath as proposed name; false on Cancel.
    virtual bool PickOpenFile(const std::string& initialPath,
                              const std::vector<CFileFilter>& filters, std::string& path) = 0;
    // Save dialog; filterIndex is the chosen entry of filters. False on Cancel.
    virtual bool PickSaveFile(const std::string& initialPath,
                              const std::vector<CFileFilter>& filters, std::string& path,
                              int& filterIndex) = 0;

    // The RAW parameters dialog, opened on params; false on Cancel.
    virtual bool AskRawParams(const std::string& path, CRawParams& params) = 0;
    // A radio-group dialog opened on `selected`; false on Cancel (selected is
    // then whatever the user left selected).
    virtual bool AskRadioGroup(const std::string& title, const std::vector<std::string>& options,
                               int& selected) = 0;
    // A one-line text dialog; false on Cancel.
    virtual bool AskText(const std::string& title, const std::string& prompt,
                         const std::string& label, std::string& text) = 0;

    // The "Region Growing" parameters dialog opened on the model; false on Cancel.
    virtual bool AskRegionGrowing(CRegionGrowingModel& model) = 0;
    // The "Parameters for morphological operators" dialog opened on the
    // model; false on Cancel.
    virtual bool AskMorphElement(CMorphElementModel& model) {
        (void)model;
        return false;
    }
    // The "Breast Segment" dialog opened on the model; false on Cancel.
    virtual bool AskBreastSegment(CBreastSegmentModel& model) {
        (void)model;
        return false;
    }

    // "Feature Selection" opened on the model; false on Cancel.
    virtual bool AskFeatureSelection(CFeatureSelectionModel& model) {
        (void)model;
        return false;
    }
    // The region-type dialog opened on the model; false on Cancel.
    virtual bool AskRegionType(CRegionTypeModel& model) {
        (void)model;
        return false;
    }
    // "Cooccurence Matrix Params" opened on the model; false on Cancel.
    virtual bool AskCoocurrenceParams(CCoocurrenceParamsModel& model) {
        (void)model;
        return false;
    }
    // A two-field parameter dialog opened on the model; false on Cancel.
    virtual bool AskTwoParams(CTwoParamsModel& model) {
        (void)model;
        return false;
    }
    // "Neural Network" opened on the model (modal); false on Cancel.
    virtual bool AskNeuralNetwork(CNNModel& model) {
        (void)model;
        return false;
    }
    // A read-only text window titled `title` (feature listings, matrices).
    virtual void ShowTextWindow(const std::string& title, const std::string& text) {
        (void)title;
        (void)text;
    }

    // Wait cursor on or off around long work.
    virtual void SetBusy(bool busy) = 0;

    // Long work: BeginProgress(text) before it, ReportProgress(fraction done)
    // as it goes (false when the user asked to cancel), EndProgress() after.
    // The shell shows a progress bar with a Cancel button once the work has
    // run for about half a second. Use CProgressScope rather than the calls.
    virtual void BeginProgress(const std::string& text) { (void)text; }
    virtual bool ReportProgress(double fraction) {
        (void)fraction;
        return true;
    }
    virtual void EndProgress() {}
    // A status text under the progress bar (several lines).
    virtual void SetProgressText(const std::string& text) { (void)text; }

    // Brings the document's window to the front and opens the "Segment from
    // seeds" tool on it (closing an open one first); with currentSeeds in its
    // "Segment from current seeds" form, without its own "Set seeds".
    virtual void OpenSegmentFromSeeds(CVistrelDoc& doc, bool currentSeeds) {
        (void)doc;
        (void)currentSeeds;
    }
    // Restores and focuses the window of a document (case commands).
    virtual void ActivateDocumentWindow(CVistrelDoc& doc) { (void)doc; }
    // The "&Cases" list got a new entry: rebuild the menu from CVistrelApp::Cases().
    virtual void CaseListChanged() {}
    // The interface mode, mouse mode or display toggles changed (toolbars,
    // radio and check marks, views to refresh).
    virtual void InterfaceModeChanged() {}
};

// Shows the wait cursor for the lifetime of the guard (nothing without a UI).
class CWaitCursor {
  public:
    explicit CWaitCursor(IWorkspaceUi* ui) : ui_(ui) {
        if (ui_) ui_->SetBusy(true);
    }
    ~CWaitCursor() {
        if (ui_) ui_->SetBusy(false);
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

  private:
    IWorkspaceUi* ui_;
};

// Progress of one piece of long work on the screen for the lifetime of the
// guard; Fn() is what the work reports to. Without a UI the work runs to the
// end. Cancelled() tells a cancelled run from one that failed by itself.
class CProgressScope {
  public:
    CProgressScope(IWorkspaceUi* ui, const std::string& text) : ui_(ui) {
        if (ui_) ui_->BeginProgress(text);
    }
    ~CProgressScope() {
        if (ui_) ui_->EndProgress();
    }
    CProgressScope(const CProgressScope&) = delete;
    CProgressScope& operator=(const CProgressScope&) = delete;

    ProgressFn Fn() {
        return [this](double fraction) {
            if (cancelled_) return false;
            if (ui_ && !ui_->ReportProgress(fraction)) cancelled_ = true;
            return !cancelled_;
        };
    }
    bool Cancelled() const { return cancelled_; }

  private:
    IWorkspaceUi* ui_;
    bool cancelled_ = false;
};

}  // namespace vistrel
