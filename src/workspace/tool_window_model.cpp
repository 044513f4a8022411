#include "workspace/tool_window_model.h"

#include <utility>

#include "workspace/notifier.h"
#include "workspace/vistrel_app.h"

namespace vistrel {

CToolWindowModel::CToolWindowModel(CVistrelApp& app) : app_(app), source_(app.ActiveDocument()) {
    // Connected with this model as context: the connection ends with it.
    connect(&app_.Notifier(), &CNotifier::documentClosing, this,
            [this](CVistrelDoc* doc) { Forget(doc); });
}

CToolWindowModel::~CToolWindowModel() = default;

bool CToolWindowModel::BindSource(CVistrelDoc* doc) {
    if (doc && doc == result_) return false;
    if (doc != source_) SetSource(doc);
    return true;
}

bool CToolWindowModel::BindActiveDocument() {
    CVistrelDoc* active = app_.ActiveDocument();
    if (active && active == result_) return false;
    SetSource(active);
    return true;
}

void CToolWindowModel::FollowActiveDocument() {
    if (following_) return;
    following_ = connect(&app_.Notifier(), &CNotifier::imageChanged, this,
                         [this](CVistrelDoc* doc) { BindSource(doc); });
}

void CToolWindowModel::SetSource(CVistrelDoc* doc) {
    source_ = doc;
    OnSourceChanged();
    emit sourceChanged(doc);
}

void CToolWindowModel::Forget(CVistrelDoc* doc) {
    if (!doc) return;
    if (doc == result_) result_ = nullptr;
    if (doc == source_) SetSource(nullptr);
}

CVistrelDoc* CToolWindowModel::OpenResult(std::unique_ptr<CMImage> image,
                                          const std::string& titleSuffix, bool keep) {
    if (!source_) return nullptr;
    CVistrelDoc* opened = source_->OpenImageInNewWindow(std::move(image));
    if (!opened) return nullptr;
    if (!titleSuffix.empty()) {
        opened->SetPathName(opened->pathName + titleSuffix, false);
        opened->UpdateTitle(opened->TitleZoom());
    }
    if (keep) result_ = opened;
    return opened;
}

bool CToolWindowModel::UpdateResultInPlace(CMImage& image, int code,
                                           const std::function<void(CVistrelDoc&)>& adjust) {
    if (!result_) return false;
    result_->image.Swap(image);
    result_->ClampWindow();
    if (adjust) adjust(*result_);
    result_->UpdateAllViews(code);
    return true;
}

namespace {

// With the original as background the picture is shown as the source is: its
// bit window, value window and display enhancement (the LUT is the
// application's). Marks alone get the display bits of their own depth.
void ShowPictureLike(CVistrelDoc& picture, const CVistrelDoc& source, bool onImage) {
    if (!onImage) {
        DeriveDisplayBits(picture.image.depth, picture.displayShift, picture.displayDepth);
        picture.ClampWindow();
        return;
    }
    picture.displayShift = source.displayShift;
    picture.displayDepth = source.displayDepth;
    picture.windowLow = source.windowLow;  // the same image values: taken as they are
    picture.windowHigh = source.windowHigh;
    picture.SetDisplayEnhancement(source.contrast, source.brightness, source.gamma, false);
}

}  // namespace

void CToolWindowModel::ShowKeptPicture(std::unique_ptr<CMImage> picture, bool onImage) {
    CVistrelDoc* source = Source();
    if (!source || !picture) return;
    if (!Result()) {
        CVistrelDoc* opened = OpenResult(std::move(picture), {}, true);
        if (!opened) return;
        ShowPictureLike(*opened, *source, onImage);
        pictureOnImage_ = onImage;
        opened->UpdateAllViews(kUpdateDisplay);
        return;
    }
    UpdateResultInPlace(*picture, kUpdateImage, [&](CVistrelDoc& shown) {
        if (onImage == pictureOnImage_) return;
        ShowPictureLike(shown, *source, onImage);
        pictureOnImage_ = onImage;
    });
}

}  // namespace vistrel
