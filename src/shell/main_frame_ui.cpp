// The dialogs and the wait cursor the workspace asks the screen for.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "shell/breast_segment_dlg.h"
#include "shell/coocurrence_params_dlg.h"
#include "shell/feature_selection_dlg.h"
#include "shell/main_frame.h"
#include "shell/morph_element_dlg.h"
#include "shell/nn_dlg.h"
#include "shell/preview_file_dlg.h"
#include "shell/qt_text.h"
#include "shell/radio_group_dlg.h"
#include "shell/raw_param_dlg.h"
#include "shell/region_growing_dlg.h"
#include "shell/region_type_dlg.h"
#include "shell/two_params_dlg.h"
#include "workspace/file_filters.h"
#include "workspace/vistrel_app.h"

namespace vistrel {

bool CMainFrame::PickOpenFiles(const std::string& startPath,
                               const std::vector<CFileFilter>& filters,
                               std::vector<std::string>& paths) {
    // The open dialog previews the selected image through the current LUT.
    return CPreviewFileDlg::PickFiles(this, startPath, filters, paths, app_.colourMode,
                                      app_.Palette()) &&
           !paths.empty();
}

bool CMainFrame::PickOpenFile(const std::string& initialPath,
                              const std::vector<CFileFilter>& filters, std::string& path) {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open"), ToQ(initialPath), ToQ(ToQtFilterString(filters)));
    if (file.isEmpty()) return false;
    path = file.toStdString();
    return true;
}

bool CMainFrame::AskRegionGrowing(CRegionGrowingModel& model) {
    CRegionGrowingDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

bool CMainFrame::AskMorphElement(CMorphElementModel& model) {
    CMorphElementDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

bool CMainFrame::AskBreastSegment(CBreastSegmentModel& model) {
    CBreastSegmentDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

bool CMainFrame::AskFeatureSelection(CFeatureSelectionModel& model) {
    CFeatureSelectionDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

bool CMainFrame::AskNeuralNetwork(CNNModel& model) {
    CNNDlg dialog(model, this);
    return dialog.exec() == QDialog::Accepted;
}

bool CMainFrame::AskRegionType(CRegionTypeModel& model) {
    CRegionTypeDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

bool CMainFrame::AskCoocurrenceParams(CCoocurrenceParamsModel& model) {
    CCoocurrenceParamsDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

bool CMainFrame::AskTwoParams(CTwoParamsModel& model) {
    CTwoParamsDlg dialog(model, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    model = dialog.Model();
    return true;
}

void CMainFrame::ShowTextWindow(const std::string& title, const std::string& text) {
    // Closed windows delete themselves; forget them before adding the next.
    std::erase_if(textWindows_, [](const QPointer<CTextWindow>& w) { return w.isNull(); });
    auto* window = new CTextWindow(ToQ(title), ToQ(text), this);
    textWindows_.emplace_back(window);
    window->show();
    window->raise();
    window->activateWindow();
}

std::vector<CTextWindow*> CMainFrame::TextWindows() const {
    std::vector<CTextWindow*> open;
    for (const QPointer<CTextWindow>& window : textWindows_)
        if (window) open.push_back(window);
    return open;
}

bool CMainFrame::PickSaveFile(const std::string& initialPath,
                              const std::vector<CFileFilter>& filters, std::string& path,
                              int& filterIndex) {
    QFileDialog dialog(this, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The document asks about replacing once the format's extension is on the name.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList names;
    for (const CFileFilter& filter : filters) names << ToQ(ToQtFilter(filter));
    dialog.setNameFilters(names);
    const QString current = QFileInfo(ToQ(initialPath)).suffix().toLower();
    for (std::size_t i = 0; i < filters.size(); ++i)
        if (ToQ(filters[i].Extension()) == current) dialog.selectNameFilter(names[int(i)]);
    if (!initialPath.empty()) dialog.selectFile(ToQ(initialPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().front().toStdString();
    filterIndex = static_cast<int>(names.indexOf(dialog.selectedNameFilter()));
    return true;
}

bool CMainFrame::AskRawParams(const std::string& path, CRawParams& params) {
    CRawParamDlg dialog(ToQ(path), params, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    params = dialog.Params();
    return true;
}

bool CMainFrame::AskRadioGroup(const std::string& title, const std::vector<std::string>& options,
                               int& selected) {
    return CRadioGroupDlg::Run(this, title, selected, options, selected) == QDialog::Accepted;
}

bool CMainFrame::AskText(const std::string& title, const std::string& prompt,
                         const std::string& label, std::string& text) {
    QDialog dialog(this);
    dialog.setWindowTitle(ToQ(title));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(ToQ(prompt), &dialog));
    auto* form = new QFormLayout;
    auto* edit = new QLineEdit(ToQ(text), &dialog);
    form->addRow(ToQ(label), edit);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    text = edit->text().toStdString();
    return true;
}

void CMainFrame::SetBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void CMainFrame::BeginProgress(const std::string& text) {
    progress_.Begin(text);
}

bool CMainFrame::ReportProgress(double fraction) {
    return progress_.Report(fraction);
}

void CMainFrame::EndProgress() {
    progress_.End();
}

void CMainFrame::SetProgressText(const std::string& text) {
    progress_.SetStatus(text);
}

}  // namespace vistrel
