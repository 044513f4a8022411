#pragma once
// Plug-ins loaded at run time from the "plugins" folder beside the program:
// general plug-ins ("*.so" directly in the folder, among them the DICOM
// engine) and image plug-ins ("VTPlugInMain.so" in its sub-folders), which
// the "Pl&ugIns" menu runs on a document's image.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/dicom_engine.h"
#include "core/image.h"
#include "vistrel/plugin.h"

namespace vistrel {

class CVistrelDoc;

// First command id of the "Pl&ugIns" menu: image plug-in i has 49000 + i.
inline constexpr int kPlugInCommandFirst = 49000;
inline constexpr int kPlugInCommandLast = 49100;
// The name a general plug-in must give to serve as the DICOM engine.
inline constexpr const char* kDicomEngineName = "Dicom engine";
// File name of every image plug-in, in the sub-folders of the plug-in folder.
inline constexpr const char* kImagePlugInFileName = "VTPlugInMain.so";
// How many folder levels below the plug-in folder the image plug-in walk
// enters; the shipped layout needs one.
inline constexpr int kImagePlugInDepthLimit = 4;

// A general plug-in: a shared object exporting GetPlugInName.
class CPlugIn {
  public:
    CPlugIn() = default;
    virtual ~CPlugIn();
    CPlugIn(const CPlugIn&) = delete;
    CPlugIn& operator=(const CPlugIn&) = delete;

    // Loads the library at path and its entry points; 1 when everything was
    // found, 0 otherwise (ErrorText says why, the library is released).
    virtual int Load(const std::string& path);
    // Releases the library; a non-empty message is stored with the error flag
    // set, an empty one clears name, second text, error text and path.
    virtual void SetError(const std::string& message);

    // The address of an exported symbol of the loaded library; null when the
    // library is not loaded or does not export it.
    void* Symbol(const char* name) const;

    void* Handle() const { return handle_; }
    bool IsLoaded() const { return handle_ != nullptr; }
    const std::string& Name() const { return name_; }
    const std::string& SecondText() const { return second_; }
    const std::string& ErrorText() const { return errorText_; }
    bool HasError() const { return error_; }
    const std::string& Path() const { return path_; }

  protected:
    // Clears the error, stores the path and opens the library; false (after
    // SetError) when it cannot be opened.
    bool OpenLibrary(const std::string& path);
    // Calls a name function with two zeroed text buffers and keeps the texts
    // up to their first zero byte (a plug-in that fills all 260 bytes is cut).
    void ReadNames(void (*nameFunction)(char*, char*));

  private:
    void* handle_ = nullptr;
    std::string name_;
    std::string second_;
    std::string errorText_;
    bool error_ = false;
    std::string path_;
};

// An image plug-in: GetVTPlugInName, GetVTPlugInImgInNo and VTPlugInProceed1
// (one input image) or VTPlugInProceed (any other number).
class CVTImagePlugIn : public CPlugIn {
  public:
    int Load(const std::string& path) override;
    void SetError(const std::string& message) override;

    int32_t InputCount() const { return inputCount_; }
    VTPlugInProceed1Fn Proceed1() const { return proceed1_; }
    VTPlugInProceedFn Proceed() const { return proceed_; }

    // Releases and reloads the library from the stored path and looks up
    // VTPlugInProceed1 again. False (with the error recorded) when it fails.
    bool ReloadProceed1();

  private:
    int32_t inputCount_ = 0;
    VTPlugInProceedFn proceed_ = nullptr;
    VTPlugInProceed1Fn proceed1_ = nullptr;
};

// What a load of a plug-in folder found, kept for callers that report it
// (the libraries that failed are not kept, only their messages).
struct CPlugInScanReport {
    std::vector<std::string> failures;  // the error text of every library not kept
};

// The loaded plug-ins of the application. From its last scan until it is
// cleared or destroyed it serves the image core's DICOM engine look-up
// (the most recent scan of any manager wins).
class CPlugInManager {
  public:
    CPlugInManager() = default;
    ~CPlugInManager();
    CPlugInManager(const CPlugInManager&) = delete;
    CPlugInManager& operator=(const CPlugInManager&) = delete;

    // "<folder of the running program>/plugins".
    static std::string DefaultPlugInFolder();
    // The full file name of the running program (empty when unknown).
    static std::string ProgramPath();

    // Releases every plug-in, then loads the general plug-ins ("*.so" directly
    // in folder, by file name) and the image plug-ins ("VTPlugInMain.so",
    // breadth-first through the sub-folders, by name within a level). Only
    // those that loaded are kept. Installs this manager as the DICOM engine
    // provider. The current directory is not changed: plug-ins are loaded by
    // full path.
    CPlugInScanReport ScanPlugIns(const std::string& folder);
    // Releases every plug-in and removes the DICOM engine provider.
    void Clear();

    const std::vector<std::unique_ptr<CPlugIn>>& GeneralPlugIns() const { return general_; }
    const std::vector<std::unique_ptr<CVTImagePlugIn>>& ImagePlugIns() const { return image_; }

    // The loaded general plug-ins named exactly "Dicom engine", in load
    // order, with their LoadDicomFile / SaveDicomFile looked up now.
    std::vector<CDicomEngine> FindDicomEngine() const;

    // The "Pl&ugIns" command commandId (49000 + i) on doc's current image:
    // runs image plug-in i and opens every valid image it returns as a new
    // document. Records with sizes that do not fit their samples are dropped.
    // Returns the number of documents opened.
    int RunImagePlugIn(CVistrelDoc& doc, int commandId);

    // The program file name written into the context of a run (defaults to
    // ProgramPath()).
    void SetProgramPath(std::string path) { programPath_ = std::move(path); }

  private:
    std::vector<std::unique_ptr<CPlugIn>> general_;
    std::vector<std::unique_ptr<CVTImagePlugIn>> image_;
    std::string programPath_ = ProgramPath();
};

// The image held by an image plug-in's result record as a new image: null
// when the record is not a valid image or its sizes do not fit the samples
// it carries (rows shorter than the width needs, more rows than allocated).
std::unique_ptr<CMImage> CopyPlugInRecord(const VTImageRecord& record);

}  // namespace vistrel
