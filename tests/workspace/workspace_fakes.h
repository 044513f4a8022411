#pragma once
// Scripted stand-ins for the screen: a UI that answers dialogs from fields
// and a message sink that records texts and answers from a queue.

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/messages.h"
#include "support/recording_sink.h"
#include "workspace/morph_element_model.h"
#include "workspace/region_growing_model.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"
#include "workspace/breast_segment_model.h"
#include "workspace/feature_models.h"
#include "workspace/nn_model.h"
#include "workspace/two_params_model.h"

namespace vistrel::testing {

using testsupport::CRecordingSink;

class CFakeUi : public IWorkspaceUi {
  public:
    bool OpenDocumentWindow(CVistrelDoc& doc) override {
        opened.push_back(&doc);
        return openWindows;
    }
    void CloseDocumentWindow(CVistrelDoc& doc) override { closed.push_back(&doc); }
    bool PickOpenFiles(const std::string&, const std::vector<CFileFilter>&,
                       std::vector<std::string>& paths) override {
        paths = openPaths;
        return !openPaths.empty();
    }
    bool PickOpenFile(const std::string& initialPath, const std::vector<CFileFilter>& filters,
                      std::string& path) override {
        openFileInitialPath = initialPath;
        openFileFilters = filters;
        path = openFilePath;
        return !openFilePath.empty();
    }
    bool AskRegionGrowing(CRegionGrowingModel& model) override {
        growingShown.push_back(model);
        if (growingAnswer) model = *growingAnswer;
        return growingOk;
    }
    bool AskMorphElement(CMorphElementModel& model) override {
        morphShown.push_back(model);
        if (morphEdit) morphEdit(model);
        return morphOk;
    }
    bool PickSaveFile(const std::string& initialPath, const std::vector<CFileFilter>& filters,
                      std::string& path, int& filterIndex) override {
        saveInitialPath = initialPath;
        saveFilters = filters;
        saveInitialFilter = filterIndex;
        path = savePath;
        filterIndex = saveFilter;
        return saveOk;
    }
    bool AskRawParams(const std::string&, CRawParams& params) override {
        rawShown.push_back(params);
        params = rawAnswer;
        return rawOk;
    }
    bool AskRadioGroup(const std::string& title, const std::vector<std::string>& options,
                       int& selected) override {
        radioTitles.push_back(title);
        radioOptions.push_back(options);
        radioInitial.push_back(selected);
        selected = radioPick;
        return radioOk;
    }
    bool AskText(const std::string&, const std::string& prompt, const std::string&,
                 std::string& text) override {
        textPrompts.push_back(prompt);
        textInitial.push_back(text);
        text = textAnswer;
        return textOk;
    }
    void SetBusy(bool busy) override { busyDepth += busy ? 1 : -1; }
    void BeginProgress(const std::string& text) override { progressTexts.push_back(text); }
    bool ReportProgress(double fraction) override {
        progressReports.push_back(fraction);
        return !(cancelAt && fraction >= *cancelAt);
    }
    void EndProgress() override { ++progressEnds; }
    void SetProgressText(const std::string& text) override { progressStatus.push_back(text); }
    // The network tool: nnEdit plays the user's clicks, then OK when nnOk.
    bool AskNeuralNetwork(CNNModel& model) override {
        ++nnShown;
        if (nnEdit) nnEdit(model);
        return nnOk;
    }
    void ActivateDocumentWindow(CVistrelDoc& doc) override { activated.push_back(&doc); }
    void OpenSegmentFromSeeds(CVistrelDoc& doc, bool currentSeeds) override {
        segmentToolOpened.push_back({&doc, currentSeeds});
    }
    void CaseListChanged() override { ++caseListChanges; }
    void InterfaceModeChanged() override { ++interfaceChanges; }
    // Each call takes the next scripted answer (the choices as the user
    // leaves them, then OK or Cancel); with none left the dialog is cancelled.
    bool AskBreastSegment(CBreastSegmentModel& model) override {
        breastSegmentShown.push_back(model);
        if (breastSegmentAnswers.empty()) return false;
        const auto [answer, ok] = breastSegmentAnswers.front();
        breastSegmentAnswers.pop_front();
        model = answer;
        return ok;
    }

    bool AskFeatureSelection(CFeatureSelectionModel& model) override {
        featureSelectionShown.push_back(model);
        if (featureSelectionEdit) featureSelectionEdit(model);
        return featureSelectionOk;
    }
    bool AskRegionType(CRegionTypeModel& model) override {
        regionTypeShown.push_back(model);
        if (regionTypeAnswer) model = *regionTypeAnswer;
        return regionTypeOk;
    }
    bool AskCoocurrenceParams(CCoocurrenceParamsModel& model) override {
        coocurrenceShown.push_back(model);
        if (coocurrenceAnswer) model = *coocurrenceAnswer;
        return coocurrenceOk;
    }
    void ShowTextWindow(const std::string& title, const std::string& text) override {
        textWindows.push_back({title, text});
    }

    // Two-field dialogs: each call records the model as it opened and takes
    // the next scripted reply (the two values typed, then OK; nullopt is
    // Cancel); with none left the dialog is cancelled.
    bool AskTwoParams(CTwoParamsModel& model) override {
        twoParamsShown.push_back(model);
        if (twoParamsAnswers.empty()) return false;
        const auto answer = twoParamsAnswers.front();
        twoParamsAnswers.pop_front();
        if (!answer) return false;
        model.fields[0].value = answer->first;
        model.fields[1].value = answer->second;
        return true;
    }
    std::vector<std::string> TwoParamsTitles() const {
        std::vector<std::string> titles;
        for (const CTwoParamsModel& m : twoParamsShown) titles.push_back(m.title);
        return titles;
    }
    std::vector<CTwoParamsModel> twoParamsShown;
    std::deque<std::optional<std::pair<double, double>>> twoParamsAnswers;

    bool openWindows = true;
    std::vector<CFeatureSelectionModel> featureSelectionShown;  // as each dialog opened
    std::function<void(CFeatureSelectionModel&)> featureSelectionEdit;
    bool featureSelectionOk = true;
    std::vector<CRegionTypeModel> regionTypeShown;
    std::optional<CRegionTypeModel> regionTypeAnswer;  // the fields as the user leaves them
    bool regionTypeOk = true;
    std::vector<CCoocurrenceParamsModel> coocurrenceShown;
    std::vector<std::string> progressStatus;
    int nnShown = 0;
    std::function<void(CNNModel&)> nnEdit;
    bool nnOk = true;
    std::optional<CCoocurrenceParamsModel> coocurrenceAnswer;
    bool coocurrenceOk = true;
    std::vector<std::pair<std::string, std::string>> textWindows;  // title, text
    // Each OpenSegmentFromSeeds call: the document and whether the current-seeds form.
    std::vector<std::pair<CVistrelDoc*, bool>> segmentToolOpened;
    std::vector<CVistrelDoc*> opened, closed;
    std::vector<std::string> openPaths;
    std::string openFilePath;  // empty: the single-file dialog is cancelled
    std::string openFileInitialPath;
    std::vector<CFileFilter> openFileFilters;
    std::vector<CRegionGrowingModel> growingShown;
    std::optional<CRegionGrowingModel> growingAnswer;  // the fields as the user leaves them
    bool growingOk = true;
    std::vector<CMorphElementModel> morphShown;          // the models as the dialog opened
    std::function<void(CMorphElementModel&)> morphEdit;  // what the user does in the dialog
    bool morphOk = true;
    std::string savePath;
    int saveFilter = 0;
    bool saveOk = true;
    std::string saveInitialPath;
    int saveInitialFilter = -1;  // the filter the dialog opened with
    std::vector<CFileFilter> saveFilters;
    CRawParams rawAnswer;
    bool rawOk = true;
    std::vector<CRawParams> rawShown;
    int radioPick = 0;
    bool radioOk = true;
    std::vector<std::string> radioTitles;
    std::vector<std::vector<std::string>> radioOptions;
    std::vector<int> radioInitial;
    std::string textAnswer;
    bool textOk = true;
    std::vector<std::string> textPrompts;
    std::vector<std::string> textInitial;  // the text each dialog opened with
    int busyDepth = 0;
    std::vector<std::string> progressTexts;
    std::vector<double> progressReports;
    int progressEnds = 0;
    std::optional<double> cancelAt;  // Cancel is pressed once the work is this far
    std::vector<CVistrelDoc*> activated;
    int caseListChanges = 0;
    int interfaceChanges = 0;
    std::vector<CBreastSegmentModel> breastSegmentShown;
    std::deque<std::pair<CBreastSegmentModel, bool>> breastSegmentAnswers;
};

// Writes a little-endian 12-bit PGX file with optional comment lines.
inline void WritePgxFile(const std::string& path, int width, int height,
                         const std::vector<uint16_t>& samples,
                         const std::vector<std::string>& comments = {}, int depth = 12) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << "PG LM " << depth << " " << width << " " << height << "\n";
    for (const auto& comment : comments) out << "#" << comment << "\n";
    for (uint16_t s : samples) {
        out.put(static_cast<char>(s & 0xFF));
        out.put(static_cast<char>(s >> 8));
    }
}

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vistrel::testing
