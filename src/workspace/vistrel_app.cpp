#include "workspace/vistrel_app.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/dicom_engine.h"
#include "core/messages.h"
#include "detection/breast_segment.h"
#include "regions/region_features.h"
#include "workspace/command_ids.h"
#include "workspace/feature_settings_store.h"
#include "workspace/file_filters.h"
#include "workspace/morph_element_model.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

const char* const kCompany = "Korvel";
const char* const kProduct = "Vistrel";
const char* const kRecentGroup = "Recent File List";

bool FileExists(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

std::string ToStd(const QString& text) {
    return text.toStdString();
}
QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

CVistrelApp::CVistrelApp(IWorkspaceUi* ui) : ui_(ui) {
    luts_.SelectLut(0, palette_);
    breastSideTest = BreastSideTest;
    featureSelection = DefaultFeatureSelection(featureSettings);
}

CVistrelApp::~CVistrelApp() {
    filterLibrary_.SaveIfChanged();
    activeDocument_ = nullptr;
    documents_.clear();
}

// ---------------------------------------------------------------- start and stop

std::string CVistrelApp::FindDataFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QDir here(programFolder);
    if (here.exists("presets.txt") || here.exists("Luts")) return ToStd(programFolder);
    const QString installed = QDir::cleanPath(programFolder + "/../share/vistrel");
    if (QFileInfo(installed).isDir()) return ToStd(installed);
    return ToStd(programFolder);
}

void CVistrelApp::LoadToolData(const std::string& dataFolder) {
    luts_.ScanLuts((std::filesystem::path(dataFolder) / "Luts").string());
    currentLut_ = 0;
    luts_.SelectLut(0, palette_);
    presetsPath_ = (std::filesystem::path(dataFolder) / "presets.txt").string();
    presets_ = LoadPresets(presetsPath_);
    filterLibrary_.Load((std::filesystem::path(dataFolder) / "filters.flt").string());
    emit notifier_.presetsChanged();
}

void CVistrelApp::LoadSettings() {
    QSettings settings(kCompany, kProduct);
    settings.beginGroup("Files");
    lastPaths.open = ToStd(settings.value("open").toString());
    if (!FileExists(lastPaths.open)) lastPaths.open.clear();
    lastPaths.features = ToStd(settings.value("features").toString());
    lastPaths.neuralNetwork = ToStd(settings.value("neural network").toString());
    lastPaths.curve = ToStd(settings.value("curve").toString());
    lastPaths.waveletTransform = ToStd(settings.value("wavelet transform").toString());
    settings.endGroup();

    settings.beginGroup("Settings");
    mode = settings.value("mode", int{kInterfaceStandard}).toInt();
    fitMode = settings.value("fitmode", int{kFitScreen}).toInt();
    childWidth = settings.value("childWidth", 0).toInt();
    childHeight = settings.value("childHeight", 0).toInt();
    networkSeed = settings.value("networkSeed", 0u).toUInt();
    settings.endGroup();
    ReadFeatureSettings(settings, featureSelection, featureSettings);
    ApplyInterfaceMode();

    recentFiles_.clear();
    settings.beginGroup(kRecentGroup);
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file = settings.value(QString("File%1").arg(i)).toString();
        if (!file.isEmpty()) recentFiles_.push_back(ToStd(file));
    }
    settings.endGroup();
    emit notifier_.recentFilesChanged();
}

void CVistrelApp::SaveSettings() const {
    QSettings settings(kCompany, kProduct);
    settings.beginGroup("Files");
    settings.setValue("open", ToQt(lastPaths.open));
    settings.setValue("features", ToQt(lastPaths.features));
    settings.setValue("neural network", ToQt(lastPaths.neuralNetwork));
    settings.setValue("curve", ToQt(lastPaths.curve));
    settings.setValue("wavelet transform", ToQt(lastPaths.waveletTransform));
    settings.endGroup();

    settings.beginGroup("Settings");
    settings.setValue("mode", mode);
    settings.setValue("fitmode", fitMode);
    settings.setValue("childWidth", childWidth);
    settings.setValue("childHeight", childHeight);
    settings.setValue("networkSeed", networkSeed);
    settings.endGroup();
    WriteFeatureSettings(settings, featureSelection, featureSettings);

    settings.remove(kRecentGroup);
    settings.beginGroup(kRecentGroup);
    for (std::size_t i = 0; i < recentFiles_.size(); ++i)
        settings.setValue(QString("File%1").arg(i + 1), ToQt(recentFiles_[i]));
    settings.endGroup();
    settings.sync();
}

// ---------------------------------------------------------------- documents

CVistrelDoc* CVistrelApp::OpenDocumentFile(const std::string& path) {
    std::unique_ptr<CVistrelDoc> doc = CreateDocument();
    if (!doc->OnOpenDocument(path)) {
        // The second line says what is wrong with the file, when the reader knows.
        const std::string reason = LastOpenFailure();
        messages().show("Cannot open the image file " + path + "." +
                        (reason.empty() ? std::string() : "\n" + reason));
        return nullptr;
    }
    AddToRecentFileList(path);
    CVistrelDoc* opened = AddDocument(std::move(doc));
    if (opened) AddCase(path);
    return opened;
}

std::unique_ptr<CVistrelDoc> CVistrelApp::CreateDocument() {
    return std::make_unique<CVistrelDoc>(*this, documentCounter_ + 1);
}

CVistrelDoc* CVistrelApp::AddDocument(std::unique_ptr<CVistrelDoc> doc) {
    if (!doc) return nullptr;
    // Numbers are handed out when a document is created; one created while
    // another was being filled must not share its number.
    doc->number = documentCounter_ + 1;
    ++documentCounter_;
    CVistrelDoc* added = doc.get();
    documents_.push_back(std::move(doc));
    added->UpdateTitle(1.0f);
    if (ui_ && !ui_->OpenDocumentWindow(*added)) {
        CloseDocument(added);
        return nullptr;
    }
    return added;
}

void CVistrelApp::OnFileOpen() {
    if (!ui_) return;
    std::vector<std::string> paths;
    if (!ui_->PickOpenFiles(lastPaths.open, ParseFilterList(kOpenFilterList), paths)) return;
    OpenFiles(paths);
}

void CVistrelApp::OpenFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        ResetCurrentWindow();
        lastPaths.open = path;
        OpenDocumentFile(path);
    }
}

void CVistrelApp::CloseDocument(CVistrelDoc* doc) {
    const auto it = std::find_if(documents_.begin(), documents_.end(),
                                 [doc](const auto& owned) { return owned.get() == doc; });
    if (it == documents_.end()) return;
    emit notifier_.documentClosing(doc);
    // Hold the document until its window and every listener have let go of it.
    std::unique_ptr<CVistrelDoc> closing = std::move(*it);
    documents_.erase(it);
    if (documents_.empty()) documentCounter_ = 0;
    if (ui_) ui_->CloseDocumentWindow(*closing);
    if (activeDocument_ == doc) {
        activeDocument_ = nullptr;
        emit notifier_.imageChanged(nullptr);
    }
}

void CVistrelApp::CloseAllDocuments() {
    while (!documents_.empty()) CloseDocument(documents_.back().get());
}

void CVistrelApp::SetActiveDocument(CVistrelDoc* doc) {
    if (doc == activeDocument_) return;
    activeDocument_ = doc;
    emit notifier_.imageChanged(doc);
}

// ---------------------------------------------------------------- display

int CVistrelApp::SelectLut(int index) {
    if (index < 0 || index >= static_cast<int>(luts_.Names().size())) index = 0;
    currentLut_ = index;
    const int result = luts_.SelectLut(index, palette_);
    int32_t low = 0, high = 0;
    if (activeDocument_) {
        low = activeDocument_->windowLow;
        high = activeDocument_->windowHigh;
    }
    emit notifier_.lutChanged(high - low + 1, low, high);
    emit notifier_.imageChanged(activeDocument_);
    return result;
}

void CVistrelApp::SetValueWindowMode(bool on) {
    if (on == valueWindowMode_) return;
    valueWindowMode_ = on;
    emit notifier_.displayModeChanged(on);
}

void CVistrelApp::ApplyPreset(int index) {
    if (index < 0 || index >= static_cast<int>(presets_.size())) return;
    presets_[index].Window(currentWindow.low, currentWindow.high);
    if (activeDocument_) {
        activeDocument_->SetWindowValues(currentWindow.low, currentWindow.high);
        activeDocument_->UpdateAllViews(kUpdateDisplay);
    }
    emit notifier_.newWindow(currentWindow.low, currentWindow.high);
    emit notifier_.imageChanged(activeDocument_);
}

bool CVistrelApp::PresetMatchesCurrentWindow(int index) const {
    if (index < 0 || index >= static_cast<int>(presets_.size())) return false;
    const CPreset current = CPreset::FromWindow({}, currentWindow.low, currentWindow.high);
    return current.width == presets_[index].width && current.level == presets_[index].level;
}

bool CVistrelApp::GetCurrentPreset() {
    if (!activeDocument_ || !ui_) return false;
    currentWindow.low = activeDocument_->windowLow;
    currentWindow.high = activeDocument_->windowHigh;
    char prompt[96];
    std::snprintf(prompt, sizeof prompt, "Preset name (%d/%d)", currentWindow.low,
                  currentWindow.high);
    std::string name;
    if (!ui_->AskText("preset", prompt, "Name", name) || name.empty()) return false;
    const CPreset preset = CPreset::FromWindow(name, currentWindow.low, currentWindow.high);
    presets_.push_back(preset);
    if (!presetsPath_.empty()) AppendPreset(presetsPath_, preset);
    emit notifier_.presetsChanged();
    return true;
}

// ---------------------------------------------------------------- file options

void CVistrelApp::OnPgxSavingOptions() {
    int selected = 0;
    const bool ok = ui_ && ui_->AskRadioGroup("Pgx saving options (byte order)",
                                              {"LM (Windows)", "ML"}, selected);
    pgxByteOrderLM = !(ok && selected == 1);
}

void CVistrelApp::OnColouredImagesOptions() {
    int selected = colourMode;
    if (ui_ &&
        ui_->AskRadioGroup("Coloured images opening options",
                           {"1/3  R + 1/3  G + 1/3  B", "30% R + 59% G + 11% B", "G"}, selected) &&
        selected >= 0 && selected <= 2)
        colourMode = selected;
}

void CVistrelApp::OnOriginalImageOptions() {
    int selected = originalPolicy;
    if (ui_ &&
        ui_->AskRadioGroup("Set original image after operations",
                           {"Current as Original Image", "Previous image", "Empty"}, selected) &&
        selected >= 0 && selected <= 2)
        originalPolicy = selected;
}

void CVistrelApp::OnDicomReadingOptions() {
    int selected = DicomReadingOption();
    if (ui_ &&
        ui_->AskRadioGroup("DICOM Opening Properties", {"Open raw pixels", "Open rendered pixels"},
                           selected) &&
        (selected == 0 || selected == 1))
        SetDicomReadingOption(selected);
}

bool CVistrelApp::AskRawParams(const std::string& path, CRawParams& params) {
    if (!ui_) return false;
    CRawParams asked = lastRawParams;
    if (!ui_->AskRawParams(path, asked)) return false;
    lastRawParams = asked;
    params = asked;
    return true;
}

// ---------------------------------------------------------------- annotations

void CVistrelApp::OnShowRegions() {
    showRegions = !showRegions;
    mouseMode = showRegions ? kMouseRoi : kMouseWinLev;
    if (ui_) ui_->InterfaceModeChanged();
    emit notifier_.diagnosisDisplayChanged();
}

void CVistrelApp::OnShowRos() {
    showRos = !showRos;
    emit notifier_.diagnosisDisplayChanged();
}

void CVistrelApp::OnUserDiagnoses() {
    showUserDiagnoses = !showUserDiagnoses;
    emit notifier_.diagnosisDisplayChanged();
}

// ---------------------------------------------------------------- interface mode

void CVistrelApp::ApplyInterfaceMode() {
    const bool radiologists = RadiologistsMode();
    mouseMode = radiologists ? kMouseWinLev : kMouseRoi;
    showRos = !radiologists;
    showRegions = !radiologists;
    showUserDiagnoses = false;
}

void CVistrelApp::OnRadiologistsInterface() {
    mode = RadiologistsMode() ? kInterfaceStandard : kInterfaceRadiologists;
    ApplyInterfaceMode();
    if (ui_) ui_->InterfaceModeChanged();
    emit notifier_.diagnosisDisplayChanged();
    for (const auto& doc : documents_) doc->UpdateAllViews(kUpdateAnnotations);
}

void CVistrelApp::SetMouseMode(int newMode) {
    if (newMode < kMouseRoi || newMode > kMouseWinLev) return;
    mouseMode = newMode;
    if (newMode == kMouseDrawRos && !showRos) {
        showRos = true;
        emit notifier_.diagnosisDisplayChanged();
    }
    if (ui_) ui_->InterfaceModeChanged();
}

// ---------------------------------------------------------------- window sizes

EFitMode CVistrelApp::FitMode() const {
    return static_cast<EFitMode>(std::clamp(fitMode, int{kFitScreen}, int{kFitCasePreview}));
}

void CVistrelApp::ClampChildSize(int clientWidth, int clientHeight) {
    childWidth = std::min(childWidth, clientWidth);
    childHeight = std::min(childHeight, clientHeight);
    if (fitMode == kFitCasePreview) {
        childWidth = clientWidth / 4;
        childHeight = clientHeight / 2;
    }
    if (childWidth <= 0 || childHeight <= 0) {
        childWidth = clientWidth;
        childHeight = clientHeight;
    }
}

// ---------------------------------------------------------------- cases

int CVistrelApp::AddCase(const std::string& path) {
    const int added = cases_.AddCase(path);
    if (added >= 0 && ui_) ui_->CaseListChanged();
    return added;
}

std::vector<CVistrelDoc*> CVistrelApp::CaseDocuments(const std::string& key) const {
    std::vector<CVistrelDoc*> docs;
    for (const auto& doc : documents_)
        if (CaseKey(doc->pathName) == key) docs.push_back(doc.get());
    return docs;
}

std::string CVistrelApp::ActiveCaseKey() const {
    return activeDocument_ ? CaseKey(activeDocument_->pathName) : std::string{};
}

int CVistrelApp::BringForward(const std::vector<CVistrelDoc*>& docs) {
    if (ui_)
        for (CVistrelDoc* doc : docs) ui_->ActivateDocumentWindow(*doc);
    return static_cast<int>(docs.size());
}

int CVistrelApp::OnCurrentCaseView(const std::string& viewTag) {
    if (!activeDocument_) return 0;
    std::vector<CVistrelDoc*> docs;
    for (CVistrelDoc* doc : CaseDocuments(ActiveCaseKey()))
        if (doc->GetFileName(false).find(viewTag) != std::string::npos) docs.push_back(doc);
    return BringForward(docs);
}

bool CVistrelApp::OnCase(int commandId) {
    const int index = cases_.IndexOfCommand(commandId);
    if (index < 0) return false;
    BringForward(CaseDocuments(cases_.Entries()[index]));
    return true;
}

int CVistrelApp::OnCloseCurrentCase() {
    if (!activeDocument_) return 0;
    const std::vector<CVistrelDoc*> docs = CaseDocuments(ActiveCaseKey());
    for (CVistrelDoc* doc : docs) CloseDocument(doc);
    return static_cast<int>(docs.size());
}

int CVistrelApp::OnNextCase() {
    if (!activeDocument_) return -1;
    const int index = cases_.Next(ActiveCaseKey());
    if (index >= 0) BringForward(CaseDocuments(cases_.Entries()[index]));
    return index;
}

int CVistrelApp::OnPreviousCase() {
    if (!activeDocument_) return -1;
    const int index = cases_.Previous(ActiveCaseKey());
    if (index >= 0) BringForward(CaseDocuments(cases_.Entries()[index]));
    return index;
}

int CVistrelApp::OnSwapOriginalImage() {
    if (!activeDocument_) return 0;
    int swapped = 0;
    for (CVistrelDoc* doc : CaseDocuments(ActiveCaseKey()))
        if (doc->SwapOriginalImage()) ++swapped;
    return swapped;
}

// ---------------------------------------------------------------- morphology

bool CVistrelApp::OnStructuringElement() {
    if (!ui_) return false;
    const double resolution = activeDocument_ ? activeDocument_->resolution : 1.0;
    CMorphElementModel model(morphElement, morphIterations, resolution);
    if (!ui_->AskMorphElement(model)) return false;
    morphElement = model.Element();
    morphIterations = model.Iterations();
    return true;
}

std::string CVistrelApp::StructuringElementMenuText() const {
    return "&Structuring element && Iterations (" + std::to_string(morphIterations) + ")...";
}

// ---------------------------------------------------------------- start

std::string CVistrelApp::StartupFile(const std::string& namedFile) {
    if (!namedFile.empty()) return namedFile;
    const std::string recent = MostRecentExistingFile();
    return RadiologistsMode() ? std::string{} : recent;
}

bool CVistrelApp::OpenStartupFiles(const std::vector<std::string>& namedFiles) {
    if (namedFiles.empty()) {
        const std::string file = StartupFile({});
        if (!file.empty()) OpenDocumentFile(file);
        return true;
    }
    bool any = false;
    for (const std::string& file : namedFiles) {
        // Each file starts from the default window, as "&Open..." gives it.
        ResetCurrentWindow();
        if (OpenDocumentFile(file)) any = true;
    }
    return any;
}

// ---------------------------------------------------------------- recent files

void CVistrelApp::AddToRecentFileList(const std::string& path) {
    if (path.empty()) return;
    std::string full = path;
    std::error_code error;
    const auto absolute = std::filesystem::absolute(path, error);
    if (!error) full = absolute.lexically_normal().string();
    recentFiles_.erase(std::remove(recentFiles_.begin(), recentFiles_.end(), full),
                       recentFiles_.end());
    recentFiles_.insert(recentFiles_.begin(), full);
    if (recentFiles_.size() > static_cast<std::size_t>(kRecentFileCount))
        recentFiles_.resize(kRecentFileCount);
    emit notifier_.recentFilesChanged();
}

std::string CVistrelApp::MostRecentExistingFile() {
    const auto before = recentFiles_.size();
    recentFiles_.erase(std::remove_if(recentFiles_.begin(), recentFiles_.end(),
                                      [](const std::string& file) { return !FileExists(file); }),
                       recentFiles_.end());
    if (recentFiles_.size() != before) emit notifier_.recentFilesChanged();
    return recentFiles_.empty() ? std::string{} : recentFiles_.front();
}

}  // namespace vistrel
