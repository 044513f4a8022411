#include "workspace/plugins.h"

#include <dlfcn.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <set>
#include <system_error>

#include "core/messages.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace/workspace_ui.h"

namespace vistrel {

namespace fs = std::filesystem;

namespace {

const char* const kCouldNotLoad = "Could'n load ";
const char* const kErrorInFunction = "Error in function ";
const char* const kErrorInFunctionNoSpace = "Error in function";
const char* const kErrorInPlugIn = "Error in PlugIn";

// The manager whose plug-ins the image core's engine look-up serves: another
// one scanning later takes over, and only the one serving removes it.
std::atomic<const CPlugInManager*> servingManager{nullptr};

// The entries of a folder sorted by file name: directory-listing order is
// whatever the file system gives, and the menu must not change between runs.
std::vector<fs::path> SortedEntries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return entries;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return entries;
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// Every "*.so" file directly in folder.
std::vector<std::string> GeneralPlugInPaths(const fs::path& folder) {
    std::vector<std::string> paths;
    for (const fs::path& entry : SortedEntries(folder)) {
        const std::string name = entry.filename().string();
        if (name.size() > 3 && name.ends_with(".so") && IsFile(entry))
            paths.push_back(entry.string());
    }
    return paths;
}

// Every file named fileName in folder and the folders below it, down to
// depthLimit levels, level by level.
std::vector<std::string> FindBreadthFirst(const fs::path& folder, const std::string& fileName,
                                          int depthLimit) {
    std::vector<std::string> paths;
    std::deque<std::pair<fs::path, int>> pending{{folder, 0}};
    while (!pending.empty()) {
        const auto [current, level] = pending.front();
        pending.pop_front();
        for (const fs::path& entry : SortedEntries(current)) {
            if (IsFolder(entry)) {
                if (level < depthLimit) pending.emplace_back(entry, level + 1);
            } else if (entry.filename() == fileName && IsFile(entry)) {
                paths.push_back(entry.string());
            }
        }
    }
    return paths;
}

// Copies text into a zeroed buffer of the plug-in text size, cut to fit.
void CopyText(char* buffer, const std::string& text) {
    const std::size_t length = std::min<std::size_t>(text.size(), VT_PLUGIN_TEXT_SIZE - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

// The context of one run: the host allocates the three buffers and frees
// them afterwards, with the pointer the plug-in may have left.
class CRunContext {
  public:
    explicit CRunContext(const std::string& programPath) {
        context.buffer1 = static_cast<char*>(std::calloc(VT_PLUGIN_TEXT_SIZE, 1));
        context.programPath = static_cast<char*>(std::calloc(VT_PLUGIN_TEXT_SIZE, 1));
        context.buffer3 = static_cast<char*>(std::calloc(VT_PLUGIN_TEXT_SIZE, 1));
        if (context.programPath) CopyText(context.programPath, programPath);
    }
    ~CRunContext() {
        std::free(context.buffer1);
        std::free(context.programPath);
        std::free(context.buffer3);
        std::free(context.userData);
    }
    CRunContext(const CRunContext&) = delete;
    CRunContext& operator=(const CRunContext&) = delete;
    bool IsComplete() const { return context.buffer1 && context.programPath && context.buffer3; }

    VTPlugInContext context{};
};

}  // namespace

// ---------------------------------------------------------------- CPlugIn

CPlugIn::~CPlugIn() {
    if (handle_) dlclose(handle_);
}

void CPlugIn::SetError(const std::string& message) {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    if (message.empty()) {
        name_.clear();
        second_.clear();
        errorText_.clear();
        path_.clear();
        error_ = false;
        return;
    }
    errorText_ = message;
    error_ = true;
}

void* CPlugIn::Symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

bool CPlugIn::OpenLibrary(const std::string& path) {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    errorText_.clear();
    error_ = false;
    path_ = path;
    // A bare name would make dlopen search the library path; plug-ins are
    // always loaded from the file named.
    const std::string full = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        SetError(kCouldNotLoad + path);
        return false;
    }
    return true;
}

void CPlugIn::ReadNames(void (*nameFunction)(char*, char*)) {
    char name[VT_PLUGIN_TEXT_SIZE + 1] = {};
    char second[VT_PLUGIN_TEXT_SIZE + 1] = {};
    nameFunction(name, second);
    name[VT_PLUGIN_TEXT_SIZE] = '\0';
    second[VT_PLUGIN_TEXT_SIZE] = '\0';
    name_ = std::string(name, strnlen(name, VT_PLUGIN_TEXT_SIZE));
    second_ = std::string(second, strnlen(second, VT_PLUGIN_TEXT_SIZE));
}

int CPlugIn::Load(const std::string& path) {
    if (!OpenLibrary(path)) return 0;
    auto getName = reinterpret_cast<VTGetPlugInNameFn>(Symbol("GetPlugInName"));
    if (!getName) {
        SetError(kErrorInFunction + path + ":GetPlugInName");
        return 0;
    }
    ReadNames(getName);
    return 1;
}

// ---------------------------------------------------------------- CVTImagePlugIn

void CVTImagePlugIn::SetError(const std::string& message) {
    CPlugIn::SetError(message);
    inputCount_ = 0;
    proceed_ = nullptr;
    proceed1_ = nullptr;
}

int CVTImagePlugIn::Load(const std::string& path) {
    inputCount_ = 0;
    proceed_ = nullptr;
    proceed1_ = nullptr;
    if (!OpenLibrary(path)) return 0;
    auto getName = reinterpret_cast<VTGetVTPlugInNameFn>(Symbol("GetVTPlugInName"));
    if (!getName) {
        SetError(kErrorInFunctionNoSpace + path + ":GetVTPlugInName");
        return 0;
    }
    ReadNames(getName);
    auto getInputCount = reinterpret_cast<VTGetVTPlugInImgInNoFn>(Symbol("GetVTPlugInImgInNo"));
    if (!getInputCount) {
        SetError(kErrorInFunctionNoSpace + path + ":GetVTPlugInImgInNo");
        return 0;
    }
    inputCount_ = getInputCount();
    if (inputCount_ == 1) {
        proceed1_ = reinterpret_cast<VTPlugInProceed1Fn>(Symbol("VTPlugInProceed1"));
        if (!proceed1_) {
            SetError(kErrorInFunction + path + ":VTPlugInProceed1");
            return 0;
        }
    } else {
        proceed_ = reinterpret_cast<VTPlugInProceedFn>(Symbol("VTPlugInProceed"));
        if (!proceed_) {
            SetError(kErrorInFunction + path + ":VTPlugInProceed");
            return 0;
        }
    }
    return 1;
}

bool CVTImagePlugIn::ReloadProceed1() {
    const std::string path = Path();
    const int32_t count = inputCount_;
    if (!OpenLibrary(path)) return false;
    inputCount_ = count;
    proceed1_ = reinterpret_cast<VTPlugInProceed1Fn>(Symbol("VTPlugInProceed1"));
    if (!proceed1_) {
        SetError("Error: function " + path + ":" + "VTPlugInProceed1 is not initialized");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- CPlugInManager

CPlugInManager::~CPlugInManager() {
    Clear();
}

std::string CPlugInManager::ProgramPath() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string{} : self.string();
}

std::string CPlugInManager::DefaultPlugInFolder() {
    const std::string program = ProgramPath();
    const fs::path folder = program.empty() ? fs::current_path() : fs::path(program).parent_path();
    return (folder / "plugins").string();
}

void CPlugInManager::Clear() {
    const CPlugInManager* self = this;
    if (servingManager.compare_exchange_strong(self, nullptr)) SetDicomEngineProvider({});
    general_.clear();
    image_.clear();
}

CPlugInScanReport CPlugInManager::ScanPlugIns(const std::string& folder) {
    CPlugInScanReport report;
    general_.clear();
    for (const std::string& path : GeneralPlugInPaths(folder)) {
        auto plugIn = std::make_unique<CPlugIn>();
        if (plugIn->Load(path) == 1)
            general_.push_back(std::move(plugIn));
        else
            report.failures.push_back(plugIn->ErrorText());
    }
    image_.clear();
    for (const std::string& path :
         FindBreadthFirst(folder, kImagePlugInFileName, kImagePlugInDepthLimit)) {
        auto plugIn = std::make_unique<CVTImagePlugIn>();
        if (plugIn->Load(path) == 1)
            image_.push_back(std::move(plugIn));
        else
            report.failures.push_back(plugIn->ErrorText());
    }
    SetDicomEngineProvider([this] { return FindDicomEngine(); });
    servingManager = this;
    return report;
}

std::vector<CDicomEngine> CPlugInManager::FindDicomEngine() const {
    std::vector<CDicomEngine> engines;
    for (const auto& plugIn : general_) {
        if (!plugIn->IsLoaded() || plugIn->Name() != kDicomEngineName) continue;
        CDicomEngine engine;
        engine.load = reinterpret_cast<VTLoadDicomFileFn>(plugIn->Symbol("LoadDicomFile"));
        engine.save = reinterpret_cast<VTSaveDicomFileFn>(plugIn->Symbol("SaveDicomFile"));
        engines.push_back(engine);
    }
    return engines;
}

std::unique_ptr<CMImage> CopyPlugInRecord(const VTImageRecord& record) {
    if (!record.data || record.bytesPerRow <= 0 || record.width <= 0 || record.height <= 0 ||
        record.depth == 0)
        return nullptr;
    const std::int64_t rowBytes = RowBytesFor(record.width, record.depth);
    if (rowBytes <= 0 || rowBytes > record.bytesPerRow) return nullptr;
    const std::int64_t needed = std::int64_t{record.bytesPerRow} * record.height;
    if (needed > kMaxImageBytes) return nullptr;
    // Samples come from malloc by contract, so their block size is known: a
    // record that claims more rows than it carries is refused rather than read
    // past its end.
    if (malloc_usable_size(record.data) < static_cast<std::size_t>(needed)) return nullptr;
    auto image = std::make_unique<CMImage>();
    if (!image->Create(record.width, record.height, record.depth)) return nullptr;
    for (int32_t y = 0; y < record.height; ++y)
        std::memcpy(image->Row(y), record.data + std::int64_t{y} * record.bytesPerRow,
                    static_cast<std::size_t>(rowBytes));
    return image;
}

int CPlugInManager::RunImagePlugIn(CVistrelDoc& doc, int commandId) {
    const int index = commandId - kPlugInCommandFirst;
    if (image_.empty() || index < 0 || index >= static_cast<int>(image_.size())) return 0;
    CVTImagePlugIn& plugIn = *image_[static_cast<std::size_t>(index)];
    // A failed reload releases the library; the error must still be told on
    // every later use rather than the command going silent.
    if (plugIn.HasError()) {
        messages().show(kErrorInPlugIn);
        return 0;
    }
    if (!plugIn.IsLoaded()) return 0;
    // Plug-ins taking another number of images are listed but not run.
    if (plugIn.InputCount() != 1) return 0;
    if (!doc.image.IsValid()) return 0;

    CRunContext run(programPath_);
    if (!run.IsComplete()) return 0;
    if (!plugIn.Proceed1() && !plugIn.ReloadProceed1()) return 0;

    VTImageRecord input{};
    input.data = doc.image.data;
    input.width = doc.image.width;
    input.height = doc.image.height;
    input.bytesPerRow = doc.image.bytesPerRow;
    input.depth = doc.image.depth;
    input.maxValue = doc.image.maxValue;

    VTImageRecord* results = nullptr;
    {
        CWaitCursor wait(doc.App().Ui());
        try {
            plugIn.Proceed1()(&input, &results, &run.context);
        } catch (...) {
            // A C++ plug-in must not take the program down with an exception;
            // whatever it returned before is still taken.
        }
    }

    // Take the list apart before anything is freed: records may share
    // samples, and a list may loop back on itself.
    std::vector<VTImageRecord*> records;
    std::set<const VTImageRecord*> seen;
    for (VTImageRecord* record = results; record && seen.insert(record).second;
         record = record->next)
        records.push_back(record);
    std::vector<std::unique_ptr<CMImage>> images;
    for (const VTImageRecord* record : records) {
        std::unique_ptr<CMImage> copy = CopyPlugInRecord(*record);
        if (!copy) continue;
        copy->valueOffset = copy->depth == doc.image.depth ? doc.image.valueOffset : 0;
        images.push_back(std::move(copy));
    }
    std::set<const void*> freed{doc.image.data, doc.originalImage.data};
    for (VTImageRecord* record : records) {
        if (record->data && freed.insert(record->data).second) std::free(record->data);
        std::free(record);
    }

    int opened = 0;
    for (std::unique_ptr<CMImage>& image : images) {
        const bool sameSize = image->width == doc.image.width && image->height == doc.image.height;
        CVistrelDoc* result = doc.OpenImageInNewWindow(std::move(image));
        if (!result) continue;
        // The original image stands for the same pixels; an image of another
        // size has none.
        if (!sameSize) result->originalImage.Free();
        ++opened;
    }
    return opened;
}

}  // namespace vistrel
