#pragma once
// Documents under test with a scripted screen: an application with a fake UI
// and a recording sink, a scratch folder, and the images the command groups
// of the document are tried on.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/image_operations.h"
#include "workspace/region_growing_model.h"
#include "workspace/vistrel_app.h"
#include "workspace/vistrel_doc.h"
#include "workspace_fakes.h"

namespace vistrel {

using testing::CFakeUi;
using testing::CRecordingSink;
using testing::ReadFileBytes;
using testing::WritePgxFile;

class DocTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        app.SetUi(&ui);
    }
    std::string Path(const std::string& name) const {
        return (dir.path() + "/").toStdString() + name;
    }

    QTemporaryDir dir;
    CFakeUi ui;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
};

inline CRegion Square(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return CRegion({{left, top}, {right, top}, {right, bottom}, {left, bottom}},
                   CRegion::PointsMode::Polygon);
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The update codes a document sends, in order.
struct CUpdateLog {
    explicit CUpdateLog(CVistrelDoc& doc)
        : connection(QObject::connect(&doc, &CVistrelDoc::updated,
                                      [this](int code) { codes.push_back(code); })) {}
    ~CUpdateLog() { QObject::disconnect(connection); }
    CUpdateLog(const CUpdateLog&) = delete;
    CUpdateLog& operator=(const CUpdateLog&) = delete;
    QMetaObject::Connection connection;
    std::vector<int> codes;
};

class DocAnnotationTest : public DocTest {
  protected:
    // A 12-bit 40x30 PGX whose pixel (x, y) is x (distinguishes left from right).
    std::string WriteImage(const std::string& name) {
        std::vector<uint16_t> samples;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) samples.push_back(static_cast<uint16_t>(x));
        const std::string path = Path(name);
        WritePgxFile(path, 40, 30, samples);
        return path;
    }
    // A document with an image of the given depth and size and no file.
    std::unique_ptr<CVistrelDoc> MakeDoc(int width, int height, int depth) {
        auto doc = std::make_unique<CVistrelDoc>(app, 1);
        doc->image.Create(width, height, depth, 1);
        return doc;
    }
};

class DocNewWindowTest : public DocAnnotationTest {
  protected:
    // A 12-bit 40x30 document whose pixel (x, y) is x + 50 y, owned by the app.
    CVistrelDoc* OpenSource() {
        std::vector<uint16_t> samples;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) samples.push_back(static_cast<uint16_t>(x + 50 * y));
        const std::string path = Path("source.pgx");
        WritePgxFile(path, 40, 30, samples, {"source note"});
        return app.OpenDocumentFile(path);
    }
    // A copy of doc's image with every sample raised by add.
    static std::unique_ptr<CMImage> Shifted(const CVistrelDoc& doc, int add) {
        auto result = std::make_unique<CMImage>(doc.image);
        for (int y = 0; y < result->height; ++y)
            for (int x = 0; x < result->width; ++x)
                result->SetPixel(x, y, result->GetPixel(x, y) + add);
        result->InvalidateHistogram();
        return result;
    }
};

class DocCommandTest : public DocNewWindowTest {
  protected:
    // A 12-bit width x height document (not owned by the app) whose pixel
    // (x, y) is 1 + x + 10 y, with an original holding the same plus 1000.
    std::unique_ptr<CVistrelDoc> MakeNumbered(int width, int height) {
        auto doc = MakeDoc(width, height, 12);
        doc->originalImage.Create(width, height, 12, 1);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                doc->image.SetPixel(x, y, 1 + x + 10 * y);
                doc->originalImage.SetPixel(x, y, 1001 + x + 10 * y);
            }
        DeriveDisplayBits(12, doc->displayShift, doc->displayDepth);
        return doc;
    }
    static std::vector<int> Row(const CMImage& image, int y) {
        std::vector<int> row;
        for (int x = 0; x < image.width; ++x) row.push_back(image.GetPixel(x, y));
        return row;
    }
};

}  // namespace vistrel
