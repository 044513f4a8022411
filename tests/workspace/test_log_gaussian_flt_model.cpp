#include "workspace/log_gaussian_flt_model.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

CMImage Ramp() {
    CMImage image;
    image.Create(40, 30, 8, 1);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) image.SetPixel(x, y, (x * 5 + y * 3 + (x * y) % 7) % 256);
    return image;
}

TEST(LogGaussianFltModel, ScaleFieldsAndReset) {
    CVistrelApp app;
    CLogGaussianFltModel m(app);
    EXPECT_EQ(m.Scale(), 7);
    EXPECT_EQ(m.DimensionText(), "21");
    const struct {
        int set, scale, dimension;
        const char* sigma;
    } cases[] = {{2, 2, 7, "0.71"},  {4, 4, 13, "1.41"}, {20, 20, 61, "7.07"},
                 {21, 2, 7, "0.71"}, {1, 2, 7, "0.71"},  {9, 9, 27, "3.18"}};
    for (const auto& c : cases) {
        m.SetScale(c.set);
        EXPECT_EQ(m.Scale(), c.scale) << c.set;
        EXPECT_EQ(m.Dimension(), c.dimension) << c.set;
        EXPECT_EQ(m.SigmaText(), c.sigma) << c.set;
    }
    EXPECT_EQ(m.gaussSigma, 1.0);
    EXPECT_EQ(m.dogWeight, 0.8);
    EXPECT_EQ(m.subtractSigma, 0.0);
}

TEST(LogGaussianFltModel, ButtonsGiveTheOperationsResults) {
    CVistrelApp app;
    CLogGaussianFltModel m(app);
    const CMImage image = Ramp();
    m.SetScale(3);
    auto log = m.ApplyLoG(image, nullptr);
    CMImage expected(image);
    ASSERT_EQ(ApplyFilter(expected, nullptr, MakeLoGFilter(3), false), 0);
    ASSERT_TRUE(log);
    EXPECT_TRUE(log->IsEqual(expected));

    std::string table;
    auto gauss = m.ApplyGauss(image, nullptr, table);
    ASSERT_TRUE(gauss);
    EXPECT_EQ(table.substr(0, 13), "Gauss 7 x 7\n0");
    EXPECT_NE(table.find("1.00000 "), std::string::npos);
    EXPECT_NE(table.find("Sum= "), std::string::npos);
    m.gaussSigma = 4.0;  // 25 x 25: no table
    ASSERT_TRUE(m.ApplyGauss(image, nullptr, table));
    EXPECT_TRUE(table.empty());

    auto dog = m.ApplyDifference(image);
    auto reference = DifferenceOfGaussians(image, 0.8, MakeGaussKernel(1.0), MakeGaussKernel(1.0));
    ASSERT_TRUE(dog && reference);
    EXPECT_TRUE(dog->IsEqual(*reference));
    EXPECT_TRUE(m.ApplySubtract(image));
    EXPECT_FALSE(m.ApplyLoG(CMImage(), nullptr));
}

TEST(LogGaussianFltModel, KernelTableLayout) {
    CFilter f(1, 2);
    *f.At(0, 0) = 0.5f;
    *f.At(0, 1) = 0.25f;
    EXPECT_EQ(KernelTable(f), "Gauss 1 x 2\n0.50000 0.25000 \nSum= 0.75000 ");
}

// The buttons on the document the window follows: each result opens as a new
// document of it, the source stays as it was, and without a source or with a
// failed operation nothing opens and nothing is said.
TEST(LogGaussianFltModel, ButtonsOpenResultsOfTheActiveDocument) {
    testing::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    testing::CFakeUi ui;
    CVistrelApp app(&ui);
    auto make = [&](CMImage image, const std::string& path) {
        std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
        doc->image = std::move(image);
        doc->pathName = path;
        return app.AddDocument(std::move(doc));
    };
    CVistrelDoc* source = make(Ramp(), "/d/ramp.pgx");
    ASSERT_TRUE(source);
    CLogGaussianFltModel m(app);
    EXPECT_EQ(m.Source(), nullptr);  // nothing was active when it opened
    app.SetActiveDocument(source);
    ASSERT_EQ(m.Source(), source);

    const CMImage original = source->image;
    m.SetScale(3);
    m.dogSigma2 = 2.0;
    CMImage expectedLoG(original);
    ASSERT_EQ(ApplyFilter(expectedLoG, nullptr, MakeLoGFilter(3), false), 0);
    const auto expectedDog =
        DifferenceOfGaussians(original, 0.8, MakeGaussKernel(1.0), MakeGaussKernel(2.0));
    ASSERT_TRUE(expectedDog);
    const struct {
        const char* button;
        std::function<CVistrelDoc*()> press;
        const CMImage* expected;
        std::size_t messages;  // the Gaussian shows its coefficients
    } cases[] = {{"LoG", [&] { return m.OnApplyLoG(); }, &expectedLoG, 0},
                 {"Gaussian", [&] { return m.OnApplyGauss(); }, nullptr, 1},
                 {"DoG", [&] { return m.OnApplyDifference(); }, expectedDog.get(), 0},
                 {"Image - Gaussian", [&] { return m.OnApplySubtract(); }, nullptr, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        sink.shown.clear();
        const std::size_t count = app.Documents().size();
        CVistrelDoc* opened = c.press();
        ASSERT_TRUE(opened);
        ASSERT_EQ(app.Documents().size(), count + 1);
        EXPECT_EQ(app.Documents().back().get(), opened);
        EXPECT_EQ(opened->pathName, "/d/ramp.pgx");
        if (c.expected) {
            EXPECT_TRUE(opened->image.IsEqual(*c.expected));
        }
        EXPECT_TRUE(source->image.IsEqual(original));
        EXPECT_EQ(sink.shown.size(), c.messages);
        EXPECT_EQ(m.Source(), source);  // the fake UI does not activate the result
    }

    // A source without an image: the operations fail silently.
    sink.shown.clear();
    CVistrelDoc* empty = make(CMImage(), "/d/empty.pgx");
    ASSERT_TRUE(empty);
    app.SetActiveDocument(empty);
    const std::size_t count = app.Documents().size();
    EXPECT_EQ(m.OnApplyLoG(), nullptr);
    EXPECT_EQ(m.OnApplyDifference(), nullptr);
    EXPECT_EQ(app.Documents().size(), count);
    EXPECT_TRUE(sink.shown.empty());
    // The source closed: nothing to work on.
    app.CloseDocument(empty);
    EXPECT_EQ(m.Source(), nullptr);
    EXPECT_EQ(m.OnApplySubtract(), nullptr);
    EXPECT_EQ(app.Documents().size(), count - 1);
}

// LoG and Gaussian work inside the document's breast outline when it has one.
TEST(LogGaussianFltModel, FiltersStayInsideTheBreastOutline) {
    testing::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    testing::CFakeUi ui;
    CVistrelApp app(&ui);
    std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
    doc->image = Ramp();
    CVistrelDoc* source = app.AddDocument(std::move(doc));
    ASSERT_TRUE(source);
    app.SetActiveDocument(source);
    source->breastSegment = CBreastSgt({{1, 1}, {20, 1}, {20, 28}, {1, 28}, {1, 1}});
    ASSERT_TRUE(source->BuildBreastMask());
    CLogGaussianFltModel m(app);
    m.SetScale(2);
    const COutline outline = source->BreastOutline();
    const struct {
        const char* button;
        std::function<CVistrelDoc*()> press;
        CFilter filter;
    } cases[] = {{"LoG", [&] { return m.OnApplyLoG(); }, MakeLoGFilter(2)},
                 {"Gaussian", [&] { return m.OnApplyGauss(); }, MakeGaussKernel(m.gaussSigma)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        CMImage inside(source->image), whole(source->image);
        ASSERT_EQ(ApplyFilter(inside, &outline, c.filter, false), 0);
        ASSERT_EQ(ApplyFilter(whole, nullptr, c.filter, false), 0);
        ASSERT_FALSE(inside.IsEqual(whole)) << "the fixture must tell the two apart";
        CVistrelDoc* opened = c.press();
        ASSERT_TRUE(opened);
        EXPECT_TRUE(opened->image.IsEqual(inside));
    }
}

}  // namespace
}  // namespace vistrel
