#pragma once
// One opened image with its original image, description, display state and
// resolution. Views observe it through `updated` (the update codes below);
// the application owns it.

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "core/display.h"
#include "core/image.h"

namespace vistrel {

class CVistrelApp;

// Update codes sent to the views of a document.
enum UpdateCode : int {
    kUpdateImage = 1,        // pixels or geometry changed: re-render, notify tool windows
    kUpdateAnnotations = 2,  // overlay changed
    kUpdateGeometry = 3,     // scroll sizes changed
    kUpdateGeometryRoi = 4,  // as 3, and the ROI is cleared
    kUpdateDescription = 5,
    kUpdateDisplay = 6,  // display mapping changed: re-render only
};

inline constexpr float kDefaultResolution = 583.92f;

// The window title: name, " @ ", zoom in percent "%.1f", " %", " : %d" number.
std::string MakeDocumentTitle(const std::string& fileName, float zoom, int number);
// The processed companion image of path in the "processed_kontrast6" folder
// beside it, and the variant in the parent folder.
std::string ProcessedCompanionPath(const std::string& path);
std::string ProcessedCompanionParentPath(const std::string& path);

class CVistrelDoc : public QObject {
    Q_OBJECT
  public:
    explicit CVistrelDoc(CVistrelApp& app, int number = 0);
    ~CVistrelDoc() override;

    // Reads path (and its processed companion as original image), then sets
    // the window, display bits and resolution. False when the image cannot be read.
    bool OnOpenDocument(const std::string& path);

    // "&Save": the document's own file (Save As when it has none).
    bool OnFileSave();
    // "Save &As...": asks for a name and format.
    bool OnFileSaveAs();
    // Saves to path, or asks for a name when path is empty; with replace the
    // document takes the new name. False when cancelled or failed.
    bool DoSave(const std::string& path, bool replace);
    // Writes the image to path with the application's PGX byte order.
    bool SaveImage(const std::string& path);

    // pathName when full, else the part after the last '/'.
    std::string GetFileName(bool full) const;
    // Stores the zoom shown in the title and publishes the new title.
    void UpdateTitle(float zoom);
    const QString& Title() const { return title_; }
    float TitleZoom() const { return titleZoom_; }
    void SetPathName(const std::string& path, bool addToRecent);

    // Bit window; 1 when accepted (the views are repainted), 0 otherwise.
    int SetWindowBits(int shift, int bits);
    // Value window in true values, clamped into the image's range; 1.
    int SetWindowValues(int32_t low, int32_t high);
    // The value window and the image's true-value range.
    void GetWindowValues(int32_t& low, int32_t& high, int32_t& minV, int32_t& maxV) const;
    // Display-only contrast, brightness and gamma.
    void SetDisplayEnhancement(int32_t contrast, int32_t brightness, float gamma, bool repaint);

    // Renders the image (or the original over it) with the value window when
    // valueWindow, else the bit window; null when nothing can be painted.
    std::unique_ptr<CDisplayBitmap> Render(CRenderRequest& request, bool valueWindow,
                                           const CPalette& palette, bool showOriginal) const;

    // Tells the views (see UpdateCode).
    void UpdateAllViews(int code) { emit updated(code); }
    // Broadcasts that the image changed to the bars and tool windows.
    void NotifyImageChanged();

    CVistrelApp& App() const { return app_; }

    // Fields, in the documented order (annotations arrive with their own types).
    CMImage image;
    CMImage originalImage;
    int32_t originX = 0;
    int32_t originY = 0;
    int32_t originalWidth = 0;
    int32_t originalHeight = 0;
    int16_t subtlety = 0;
    std::string pathName;
    std::string description;
    int32_t windowLow = 1000;
    int32_t windowHigh = 4095;
    uint8_t displayShift = 0;
    uint8_t displayDepth = 8;
    int32_t brightness = 0;
    int32_t contrast = 0;
    float gamma = 1.0f;
    CDisplayCorrection displayLut;
    int32_t number = 0;
    bool autoFlipped = false;
    float resolution = kDefaultResolution;

  signals:
    void updated(int code);
    void titleChanged(const QString& title);

  private:
    CVistrelApp& app_;
    QString title_;
    float titleZoom_ = 1.0f;
};

}  // namespace vistrel
