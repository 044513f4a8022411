#include "workspace/filters_model.h"

#include <algorithm>
#include <cstdlib>

#include "core/messages.h"
#include "filters/filter_file.h"
#include "workspace/vistrel_app.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace {

const char* const kRemoveQuestion = "Do you want to delete all the selected item?";

std::string CellTextOf(float v) {
    return FormatFilterReal(v).substr(0, 10);
}

}  // namespace

CFiltersModel::CFiltersModel(CVistrelApp& app)
    : CToolWindowModel(app), library_(app.FilterLibrary().Library()) {
    SelectType(0);
    FollowActiveDocument();
}

void CFiltersModel::Edited() {
    App().FilterLibrary().Edited();
}

void CFiltersModel::SelectType(int type) {
    type_ = std::clamp(type, 0, 3);
    selected_ = -1;
    created_ = false;
    if (!GammaVisible() && distribution_ == EDistribution::kGamma)
        distribution_ = EDistribution::kGauss;
    if (!MedianVisible()) median_ = false;
}

std::vector<std::string> CFiltersModel::ListNames() const {
    std::vector<std::string> names;
    for (const CFilter& f : library_[std::size_t(type_)]) names.push_back(f.name);
    return names;
}

void CFiltersModel::SetDistribution(EDistribution d) {
    distribution_ = (d == EDistribution::kGamma && !GammaVisible()) ? EDistribution::kGauss : d;
}

void CFiltersModel::SetCellText(int row, int col, const std::string& text) {
    if (row < 0 || row >= kGridSide || col < 0 || col >= kGridSide) return;
    const std::string cut = text.substr(0, kCellChars);
    const std::size_t k = std::size_t(row * kGridSide + col);
    texts_[k] = cut;
    char* end = nullptr;
    const double v = std::strtod(cut.c_str(), &end);
    grid_[k] = (end == cut.c_str()) ? 0.0f : static_cast<float>(v);
}

std::string CFiltersModel::CellText(int row, int col) const {
    return texts_[std::size_t(row * kGridSide + col)];
}

CFilter CFiltersModel::GridFilter() const {
    return CFilter(kGridSide, kGridSide, name, grid_.data(), scale, 0, nullptr);
}

void CFiltersModel::Show(const CFilter& filter) {
    grid_.fill(0.0f);
    texts_.fill(std::string());
    const int top = (kGridSide - filter.height) / 2, left = (kGridSide - filter.width) / 2;
    for (int i = 0; i < filter.height; ++i)
        for (int j = 0; j < filter.width; ++j) {
            const int r = top + i, c = left + j;
            if (r < 0 || c < 0 || r >= kGridSide || c >= kGridSide || !filter.HasRows()) continue;
            grid_[std::size_t(r * kGridSide + c)] = *filter.At(i, j);
            texts_[std::size_t(r * kGridSide + c)] = CellTextOf(*filter.At(i, j));
        }
    name = filter.name;
    scale = filter.scale;
    dimension = filter.height;
    if (filter.name.find("Gamma") != std::string::npos && GammaVisible())
        distribution_ = EDistribution::kGamma;
    else if (filter.name.find("Laplace") != std::string::npos ||
             filter.name.find("LoL") != std::string::npos)
        distribution_ = EDistribution::kLaplace;
    else if (filter.name.find("Gauss") != std::string::npos ||
             filter.name.find("LoG") != std::string::npos)
        distribution_ = EDistribution::kGauss;
}

void CFiltersModel::SelectEntry(int index) {
    if (index < 0 || index >= int(List().size())) return;
    selected_ = index;
    Show(List()[std::size_t(index)]);
}

void CFiltersModel::CreateFilter() {
    const int n = dimension;
    if (type_ == 1) {
        std::vector<CFilter> made;
        for (int d = 0; d < 4; ++d) {
            if (!directions[std::size_t(d)]) continue;
            switch (distribution_) {
                case EDistribution::kGauss:
                    made.push_back(MakeDirectionalGaussFilter(n, n, sigma, d));
                    break;
                case EDistribution::kLaplace:
                    made.push_back(MakeDirectionalLaplaceFilter(n, n, sigma, d));
                    break;
                case EDistribution::kGamma:
                    made.push_back(MakeDirectionalGammaFilter(n, n, order, sigma, d));
                    break;
            }
            Show(made.back());
        }
        if (made.size() >= 2) {
            for (const CFilter& f : made) List().push_back(f);
            Edited();
        }
        created_ = !made.empty();
        return;
    }
    CFilter f;
    if (type_ == 2) {
        f = distribution_ == EDistribution::kLaplace ? MakeLoLFilter(n, n, sigma)
                                                     : MakeLoGSigmaFilter(n, n, sigma);
    } else if (distribution_ == EDistribution::kLaplace) {
        f = MakeLaplaceFilter(n, n, sigma);
    } else if (distribution_ == EDistribution::kGamma) {
        f = MakeGammaFilter(n, n, order, sigma);
    } else {
        f = MakeGaussFilter(n, n, sigma);
    }
    Show(f);
    created_ = true;
}

void CFiltersModel::Add() {
    if (!AddEnabled()) return;
    List().push_back(GridFilter());
    selected_ = int(List().size()) - 1;
    Edited();
}

void CFiltersModel::Update(int caret) {
    if (caret < 0 || caret >= int(List().size())) return;
    List()[std::size_t(caret)] = GridFilter();
    Edited();
}

bool CFiltersModel::Remove(const std::vector<int>& indexes) {
    if (indexes.empty()) return false;
    if (messages().ask(kRemoveQuestion, {"Yes", "No"}) != 0) return false;
    std::vector<int> sorted(indexes);
    std::sort(sorted.rbegin(), sorted.rend());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (int i : sorted)
        if (i >= 0 && i < int(List().size())) List().erase(List().begin() + i);
    selected_ = -1;
    Edited();
    return true;
}

void CFiltersModel::Clear() {
    grid_.fill(0.0f);
    texts_.fill(std::string());
    name = type_ == 3 ? "filter" : "";
    selected_ = -1;
}

CVistrelDoc* CFiltersModel::OnApply() {
    if (!HasSourceImage()) return nullptr;
    std::unique_ptr<CMImage> result;
    std::string suffix;
    {
        const CWaitCursor wait(App().Ui());
        CProgressScope progress(App().Ui(), "Filters");
        // Inside the breast outline when the document has one (read as the
        // command runs, so a changed outline is always the one used).
        const COutline outline = Source()->BreastOutline();
        result =
            Apply(Source()->image, outline.empty() ? nullptr : &outline, suffix, progress.Fn());
        if (progress.Cancelled()) return nullptr;
    }
    if (!result) return nullptr;
    return OpenResult(std::move(result), suffix);
}

std::unique_ptr<CMImage> CFiltersModel::Apply(const CMImage& image, const COutline* outline,
                                              std::string& titleSuffix,
                                              const ProgressFn& progress) {
    titleSuffix.clear();
    if (!image.IsValid()) return nullptr;
    const CFilter grid = GridFilter();
    if (type_ == 1) {
        titleSuffix = " EDGES";
        std::vector<const CFilter*> found;
        for (int d = 0; d < 4; ++d) {
            const std::string word = DirectionWord(d);
            const std::size_t at = name.find(word);
            if (at != std::string::npos) {
                // The library kernels named like this one in each checked direction.
                for (int e = 0; e < 4; ++e) {
                    if (!directions[std::size_t(e)]) continue;
                    std::string wanted = name;
                    wanted.replace(at, word.size(), DirectionWord(e));
                    const CFilter* match = nullptr;
                    for (const CFilter& f : List())
                        if (f.name == wanted) match = &f;
                    if (match)
                        found.push_back(match);
                    else
                        directions[std::size_t(e)] = false;
                }
                if (found.size() == 1) Show(*found[0]);
                return EdgeMaps(image, found.data(), int(found.size()), threshold);
            }
        }
        return EdgeMap(image, grid, threshold);
    }
    auto copy = std::make_unique<CMImage>(image);
    const int result = median_ ? ApplyWeightedMedian(*copy, grid)
                               : ApplyFilter(*copy, outline, grid, false, false, progress);
    if (result != 0) return nullptr;
    return copy;
}

}  // namespace vistrel
