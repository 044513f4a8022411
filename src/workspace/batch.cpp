#include "workspace/batch.h"

#include <filesystem>

#include "core/messages.h"
#include "workspace/process_detection.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"

namespace vistrel {

namespace {

// The detector threshold of the "i" routine when the document has no regions.
constexpr int32_t kFireBatchParameter = 100;

const char* RoutineName(char letter) {
    switch (letter) {
        case 's':
            return "breast segmentation and detection";
        case 'v':
            return "evaluation of the detection results";
        case 'i':
            return "FIRE feature file";
        case 'b':
            return "breast segmentation";
        case 'g':
            return "tumour detection";
        case 'w':
            return "wavelet test";
        case 'r':
            return "noise removal";
        case 'z':
            return "parameter file";
        default:
            return "batch";
    }
}

// A 12-bit copy of image with its offset and every sample unchanged.
std::unique_ptr<CMImage> TwelveBitCopy(const CMImage& image) {
    auto copy = std::make_unique<CMImage>(image.width, image.height, 12, image.valueOffset);
    if (!copy->IsValid()) return nullptr;
    for (int32_t y = 0; y < image.height; ++y) {
        uint16_t* row = copy->Row16(y);
        if (image.depth > 8) {
            const uint16_t* source = image.Row16(y);
            std::copy(source, source + image.width, row);
        } else {
            for (int32_t x = 0; x < image.width; ++x)
                row[x] = static_cast<uint16_t>(image.GetPixel(x, y));
        }
    }
    return copy;
}

// Writes a 12-bit copy of the document's image with its annotations.
bool WriteTestCopy(CVistrelDoc& doc) {
    std::unique_ptr<CMImage> copy = TwelveBitCopy(doc.image);
    if (!copy) return false;
    // SaveImage writes the document's image: lend it the copy for the write.
    doc.image.Swap(*copy);
    const bool written = doc.SaveImage(TestCopyPath(doc.pathName), true, true, false);
    doc.image.Swap(*copy);
    return written;
}

// The document step of the segmentation with everything decided from the
// image, then the outline beside the image. False, with a message saying
// which step failed, when no outline was found or it could not be written.
bool WriteBreastOutline(CVistrelDoc& doc) {
    const CSegmentParams params = AutomaticSegmentParams();
    if (!doc.SegmentBreastWith(params, kStageBreast)) {
        messages().show("No breast outline was found in " + doc.pathName + ".");
        return false;
    }
    const std::string sgt = CVistrelDoc::SgtPathOf(doc.pathName);
    if (!doc.WriteSgt(sgt, false)) {
        messages().show("The breast outline could not be written to " + sgt + ".");
        return false;
    }
    return true;
}

// "s" and "v" work on every named file: a set of mammograms is one run.
// Each file gets its own document; the run fails when any file fails.
int RunDetectionBatch(CVistrelApp& app, const CVTCommandLineInfo& info, char routine) {
    std::vector<std::string> files = info.FileNames();
    if (files.empty()) files.push_back(info.FileName());
    bool allDone = true;
    for (const std::string& file : files) {
        CVistrelDoc* doc = app.OpenDocumentFile(file);
        if (!doc) {  // the reason has been shown
            allDone = false;
            continue;
        }
        std::string error;
        if (routine == 's') {
            CProcessDetectionParams params;
            if (info.sValue > 0) params.parN = info.sValue;
            const CProcessDetectionResult result = ProcessDetection(*doc, params);
            if (!result.done) error = result.error;
        } else {
            const double diameter = info.vValue1 > 0 ? info.vValue1 : app.clusterParams.diameterCm;
            const int32_t minObjects =
                info.vValue2 > 0 ? info.vValue2 : app.clusterParams.minObjects;
            const CReevaluationResult result =
                ReevaluateStoredDetections(*doc, diameter, minObjects);
            if (!result.done) error = result.error;
        }
        if (!error.empty()) {
            messages().show("The " + std::string(RoutineName(routine)) + " of " + file +
                            " failed: " + error + ".");
            allDone = false;
        }
        app.CloseDocument(doc);
    }
    return allDone ? kBatchDone : kBatchFailed;
}

}  // namespace

std::string TestCopyPath(const std::string& documentPath) {
    const std::filesystem::path path(documentPath);
    return (path.parent_path() / (path.stem().string() + ".test.pgx")).string();
}

bool BatchRoutineAvailable(char letter) {
    return letter == 'c' || letter == 'e' || letter == 'f' || letter == 'b' || letter == 'i' ||
           letter == 's' || letter == 'v';
}

int RunBatch(CVistrelApp& app, const CVTCommandLineInfo& info) {
    const char routine = info.BatchSwitch();
    if (!BatchRoutineAvailable(routine)) {
        messages().show(std::string("The ") + RoutineName(routine) + " batch routine (-" +
                        (routine ? std::string(1, routine) : std::string("?")) +
                        ") is not available.");
        return kBatchNotAvailable;
    }
    if (info.FileName().empty()) {
        messages().show("No image file was named for the batch run.");
        return kBatchFailed;
    }
    if (routine == 's' || routine == 'v') return RunDetectionBatch(app, info, routine);
    CVistrelDoc* doc = app.OpenDocumentFile(info.FileName());
    if (!doc) return kBatchFailed;  // the reason has been shown

    bool done = false;
    bool reported = false;  // the routine has said what failed
    switch (routine) {
        case 'c':
            done = doc->DoSave(doc->pathName, false);
            break;
        case 'e':
            if (doc->image.depth > 8) doc->OnSetDepth(8);
            done = doc->image.depth <= 8 && doc->DoSave(doc->pathName + ".pgm", false);
            break;
        case 'f':
            done = WriteTestCopy(*doc);
            break;
        case 'b':
            done = WriteBreastOutline(*doc);
            reported = true;
            break;
        case 'i':
            done = doc->WriteFireFeatures(kFireBatchParameter);
            if (!done)
                messages().show("The FIRE feature files of " + doc->pathName +
                                " could not be written.");
            reported = true;
            break;
        default:
            break;
    }
    if (!done && !reported)
        messages().show("The batch result of " + doc->pathName + " could not be written.");
    app.CloseDocument(doc);
    return done ? kBatchDone : kBatchFailed;
}

}  // namespace vistrel
