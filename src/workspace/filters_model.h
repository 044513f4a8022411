#pragma once
// Model of the "Filters" window: the application's filter library by type, the
// 7 x 7 coefficient grid with the name, scale and threshold fields, the kernel
// generator fields, and what "&Create filter", "Add", "Update", "Remove",
// "Clear" and "&Apply" do. It follows the active document; library edits are
// written back to the library file as they happen.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/messages.h"
#include "filters/convolution.h"
#include "filters/filter_file.h"
#include "workspace/filter_library_store.h"
#include "workspace/tool_window_model.h"

namespace vistrel {

class CFiltersModel : public CToolWindowModel {
  public:
    static constexpr int kGridSide = 7;
    static constexpr std::size_t kCellChars = 10;
    enum class EDistribution { kGauss = 0, kLaplace = 1, kGamma = 2 };

    explicit CFiltersModel(CVistrelApp& app);

    // The library the lists show: the application's.
    const CFilterLibrary& Library() const { return library_; }

    // The type selector: the list shows that library list; the control rules
    // follow the type.
    void SelectType(int type);
    int Type() const { return type_; }
    std::vector<std::string> ListNames() const;
    std::string DistributionCaption() const { return type_ == 2 ? "Laplacian" : "Distribution"; }
    bool GammaVisible() const { return type_ != 2; }
    bool EdgeGroupVisible() const { return type_ == 1; }
    bool MedianVisible() const { return type_ == 0 || type_ == 3; }
    bool UpdateVisible() const { return type_ == 3; }
    bool ClearVisible() const { return type_ == 3; }
    bool AddEnabled() const { return type_ == 3 || created_; }

    // Fields.
    std::string name;
    double scale = 1.0;
    double threshold = 0.0;
    int dimension = 5;
    double sigma = 1.0;
    int order = 1;
    std::array<bool, 4> directions{};  // Horz, Vert, NW-SE, NE-SW
    void SetDistribution(EDistribution d);
    EDistribution Distribution() const { return distribution_; }
    bool Median() const { return median_; }
    void SetMedian(bool on) { median_ = on && MedianVisible(); }

    // Grid cells (row, column), texts limited to 10 characters; a cell that
    // does not hold a number counts as 0.
    void SetCellText(int row, int col, const std::string& text);
    std::string CellText(int row, int col) const;
    float Cell(int row, int col) const { return grid_[std::size_t(row * kGridSide + col)]; }
    // The kernel the grid describes (trimmed), with the name and scale fields.
    CFilter GridFilter() const;

    // A list entry chosen: its kernel centred in the grid, its fields shown.
    void SelectEntry(int index);
    int SelectedEntry() const { return selected_; }
    // "&Create filter"; the kernels made in several directions are added to
    // the library.
    void CreateFilter();
    // "Add": the grid's kernel appended to the current list and selected.
    void Add();
    // "Update": the entry at the caret replaced by the grid's kernel.
    void Update(int caret);
    // "Remove": asks "Do you want to delete all the selected item?"; true when removed.
    bool Remove(const std::vector<int>& indexes);
    // "Clear": empty grid, name "filter" for custom kernels, nothing selected.
    void Clear();
    // "&Apply" on the source: the result opens as a new document (titled with
    // " EDGES" for the edge operation); null when nothing was opened (no
    // source image, failure, or the run was cancelled).
    CVistrelDoc* OnApply();
    // "&Apply" on an image: the result image (null on failure); titleSuffix
    // receives " EDGES" for the edge operation. progress reaches the
    // convolution.
    std::unique_ptr<CMImage> Apply(const CMImage& image, const COutline* outline,
                                   std::string& titleSuffix, const ProgressFn& progress = {});

  private:
    void Show(const CFilter& filter);
    std::vector<CFilter>& List() { return library_[std::size_t(type_)]; }
    // The library changed: written back at once.
    void Edited();

    CFilterLibrary& library_;
    int type_ = 0;
    int selected_ = -1;
    bool created_ = false;
    bool median_ = false;
    EDistribution distribution_ = EDistribution::kGauss;
    std::array<float, kGridSide * kGridSide> grid_{};
    std::array<std::string, kGridSide * kGridSide> texts_{};
};

}  // namespace vistrel
