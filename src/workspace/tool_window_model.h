#pragma once
// The document side shared by the modeless tool windows: the source document
// they work on, the documents their results open as, and forgetting both when
// a document closes. A window binds its widgets to a model derived from this;
// what the buttons do to documents happens here, without widgets.

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "core/image.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

class CVistrelApp;

class CToolWindowModel : public QObject {
    Q_OBJECT
  public:
    // The source starts as the application's active document.
    explicit CToolWindowModel(CVistrelApp& app);
    ~CToolWindowModel() override;

    CVistrelApp& App() const { return app_; }
    CVistrelDoc* Source() const { return source_; }
    // The source exists and holds a valid image.
    bool HasSourceImage() const { return source_ && source_->image.IsValid(); }
    // The result document the model keeps updating (null when none is open).
    CVistrelDoc* Result() const { return result_; }

    // Makes doc the source. The model's own kept result is never taken (the
    // source stays as it was). A different source calls OnSourceChanged.
    // True when doc is the source afterwards.
    bool BindSource(CVistrelDoc* doc);
    // "Set Src Doc" / "Set Source Doc": the active document becomes the
    // source, and counts as a new one even when it already was.
    bool BindActiveDocument();
    // From now on every document whose image changes or that becomes active
    // is the source (windows that always work on the active document).
    void FollowActiveDocument();

  signals:
    // The source was replaced or forgotten (doc: the new one, maybe null).
    void sourceChanged(vistrel::CVistrelDoc* doc);

  protected:
    // The source or its results were cleared: drop what belongs to the old source.
    virtual void OnSourceChanged() {}

    // Opens image as a new document of the source (see
    // CVistrelDoc::OpenImageInNewWindow), its path name followed by
    // titleSuffix in the title. With keep it becomes the kept result that
    // UpdateResultInPlace changes afterwards. Null without a source or when
    // nothing opened.
    CVistrelDoc* OpenResult(std::unique_ptr<CMImage> image, const std::string& titleSuffix = {},
                            bool keep = false);
    // The kept result shows image instead (its old image is left in image):
    // its window is clamped into the new range, adjust (when given) sets what
    // else the picture needs, then its views are told with code. False
    // without a kept result.
    bool UpdateResultInPlace(CMImage& image, int code = kUpdateImage,
                             const std::function<void(CVistrelDoc&)>& adjust = {});
    // A picture of the source in the kept result: opened at the first
    // showing, updated in place afterwards. onImage says the picture holds the
    // source's values (it is then windowed like the source) rather than marks;
    // the window the user set stays until that kind changes.
    void ShowKeptPicture(std::unique_ptr<CMImage> picture, bool onImage);

  private:
    void SetSource(CVistrelDoc* doc);
    void Forget(CVistrelDoc* doc);

    CVistrelApp& app_;
    CVistrelDoc* source_ = nullptr;
    CVistrelDoc* result_ = nullptr;
    bool pictureOnImage_ = false;  // what the kept picture shows now
    QMetaObject::Connection following_;
};

}  // namespace vistrel
