#include "workspace/filters_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/messages.h"
#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

CMImage StepImage() {
    CMImage image;
    image.Create(20, 16, 8, 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x) image.SetPixel(x, y, (x >= 10 ? 120 : 20) + (y >= 8 ? 60 : 0));
    return image;
}

TEST(FiltersModel, ControlsFollowTheType) {
    CVistrelApp app;
    CFiltersModel m(app);
    const struct {
        int type;
        const char* caption;
        bool gamma, edges, median, custom;
    } cases[] = {{0, "Distribution", true, false, true, false},
                 {1, "Distribution", true, true, false, false},
                 {2, "Laplacian", false, false, false, false},
                 {3, "Distribution", true, false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        m.SelectType(0);
        m.SetMedian(true);
        m.SetDistribution(CFiltersModel::EDistribution::kGamma);
        m.SelectType(c.type);
        if (c.gamma) m.SetDistribution(CFiltersModel::EDistribution::kGauss);
        EXPECT_EQ(m.DistributionCaption(), c.caption);
        EXPECT_EQ(m.GammaVisible(), c.gamma);
        EXPECT_EQ(m.EdgeGroupVisible(), c.edges);
        EXPECT_EQ(m.MedianVisible(), c.median);
        EXPECT_EQ(m.UpdateVisible(), c.custom);
        EXPECT_EQ(m.AddEnabled(), c.custom);
        // Gamma falls back to Gauss where it is hidden, on switching type and on choosing it.
        EXPECT_EQ(m.Distribution(), CFiltersModel::EDistribution::kGauss);
        m.SetDistribution(CFiltersModel::EDistribution::kGamma);
        EXPECT_EQ(m.Distribution() == CFiltersModel::EDistribution::kGamma, c.gamma);
        if (!c.median) {
            EXPECT_FALSE(m.Median());
        }
    }
}

TEST(FiltersModel, GridCellsParseAndTrim) {
    CVistrelApp app;
    CFiltersModel m(app);
    m.SelectType(3);
    m.Clear();
    EXPECT_EQ(m.name, "filter");
    m.SetCellText(3, 3, "2.5");
    m.SetCellText(3, 4, "abc");             // not a number: 0
    m.SetCellText(4, 3, "1.234567890123");  // cut to 10 characters
    EXPECT_EQ(m.CellText(4, 3), "1.23456789");
    EXPECT_EQ(m.Cell(3, 4), 0.0f);
    m.scale = 0.0;  // becomes 1
    const CFilter f = m.GridFilter();
    EXPECT_EQ(f.height, 3);  // rows 3..4 kept symmetrically: 2..4
    EXPECT_EQ(f.width, 1);
    EXPECT_EQ(f.scale, 1.0);
    EXPECT_EQ(*f.At(1, 0), 2.5f);
    EXPECT_FLOAT_EQ(*f.At(2, 0), 1.23456789f);
}

TEST(FiltersModel, CreateAddUpdateRemove) {
    CVistrelApp app;
    CFiltersModel m(app);
    CFilterLibrary& library = app.FilterLibrary().Library();
    m.SelectType(0);
    EXPECT_FALSE(m.AddEnabled());
    m.dimension = 5;
    m.sigma = 1.0;
    m.SetDistribution(CFiltersModel::EDistribution::kLaplace);
    m.CreateFilter();
    EXPECT_EQ(m.name, "Laplace 5, 1.00");
    EXPECT_EQ(m.Cell(3, 3), 1.0f);  // the centre of a 5 x 5 sits at (3, 3)
    EXPECT_EQ(m.Cell(0, 0), 0.0f);  // outside the 5 x 5
    EXPECT_TRUE(m.AddEnabled());
    m.Add();
    ASSERT_EQ(library[0].size(), 1u);
    EXPECT_EQ(m.SelectedEntry(), 0);
    EXPECT_EQ(library[0][0].name, "Laplace 5, 1.00");
    EXPECT_EQ(library[0][0].width, 5);

    // Choosing an entry shows it and sets the distribution from its name.
    m.SetDistribution(CFiltersModel::EDistribution::kGauss);
    m.SelectEntry(0);
    EXPECT_EQ(m.Distribution(), CFiltersModel::EDistribution::kLaplace);
    EXPECT_EQ(m.dimension, 5);

    m.SelectType(3);
    m.Clear();
    m.SetCellText(3, 3, "4");
    m.name = "four";
    m.Add();
    m.SetCellText(3, 3, "5");
    m.Update(0);
    ASSERT_EQ(library[3].size(), 1u);
    EXPECT_EQ(*library[3][0].At(0, 0), 5.0f);

    // Remove asks first; "No" keeps everything.
    testing::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    sink.answers = {1, 0};
    EXPECT_FALSE(m.Remove({0}));
    EXPECT_EQ(library[3].size(), 1u);
    EXPECT_TRUE(m.Remove({0}));
    EXPECT_TRUE(library[3].empty());
    ASSERT_EQ(sink.asked.size(), 2u);
    EXPECT_EQ(sink.asked[0], "Do you want to delete all the selected item?");
}

TEST(FiltersModel, EdgeKernelsInSeveralDirections) {
    CVistrelApp app;
    CFiltersModel m(app);
    CFilterLibrary& library = app.FilterLibrary().Library();
    m.SelectType(1);
    m.dimension = 3;
    m.sigma = 1.0;
    m.directions = {true, true, false, false};
    m.CreateFilter();
    // Two directions: both added at once; the last one is in the grid.
    ASSERT_EQ(library[1].size(), 2u);
    EXPECT_EQ(library[1][0].name, "Gauss Horz 3, 1.00");
    EXPECT_EQ(m.name, "Gauss Vert 3, 1.00");

    // Apply with the name of one direction uses every checked direction's kernel.
    const CMImage image = StepImage();
    m.threshold = 5.0;
    std::string suffix;
    auto both = m.Apply(image, nullptr, suffix);
    ASSERT_TRUE(both);
    EXPECT_EQ(suffix, " EDGES");
    const CFilter* pair[] = {&library[1][0], &library[1][1]};
    auto expected = EdgeMaps(image, pair, 2, 5.0);
    EXPECT_TRUE(both->IsEqual(*expected));
    // A checked direction without a library kernel is unchecked.
    m.directions = {true, true, true, false};
    ASSERT_TRUE(m.Apply(image, nullptr, suffix));
    EXPECT_FALSE(m.directions[2]);
    EXPECT_TRUE(m.directions[0]);
}

TEST(FiltersModel, ApplyConvolvesOrTakesTheMedian) {
    CVistrelApp app;
    CFiltersModel m(app);
    m.SelectType(0);
    m.dimension = 3;
    m.SetDistribution(CFiltersModel::EDistribution::kGauss);
    m.CreateFilter();
    const CMImage image = StepImage();
    std::string suffix;
    auto smooth = m.Apply(image, nullptr, suffix);
    ASSERT_TRUE(smooth);
    EXPECT_TRUE(suffix.empty());
    CMImage expected(image);
    ASSERT_EQ(ApplyFilter(expected, nullptr, m.GridFilter(), false), 0);
    EXPECT_TRUE(smooth->IsEqual(expected));
    m.SetMedian(true);
    auto median = m.Apply(image, nullptr, suffix);
    CMImage expectedMedian(image);
    ASSERT_EQ(ApplyWeightedMedian(expectedMedian, m.GridFilter()), 0);
    ASSERT_TRUE(median);
    EXPECT_TRUE(median->IsEqual(expectedMedian));
    EXPECT_FALSE(m.Apply(CMImage(), nullptr, suffix));
}

// "&Apply" on the document the window follows: the result opens as a new
// document (" EDGES" after the name for the edge operation); the source stays.
TEST(FiltersModel, ApplyOpensTheResultOfTheFollowedDocument) {
    testing::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    testing::CFakeUi ui;
    CVistrelApp app(&ui);
    CFiltersModel m(app);
    EXPECT_EQ(m.OnApply(), nullptr);  // no document yet
    std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
    doc->image = StepImage();
    doc->pathName = "/d/step.pgx";
    CVistrelDoc* source = app.AddDocument(std::move(doc));
    ASSERT_TRUE(source);
    app.SetActiveDocument(source);
    ASSERT_EQ(m.Source(), source);
    const CMImage original = source->image;

    m.SelectType(0);
    m.dimension = 3;
    m.CreateFilter();
    CVistrelDoc* smooth = m.OnApply();
    ASSERT_TRUE(smooth);
    EXPECT_EQ(app.Documents().back().get(), smooth);
    EXPECT_EQ(smooth->pathName, "/d/step.pgx");
    CMImage expected(original);
    ASSERT_EQ(ApplyFilter(expected, nullptr, m.GridFilter(), false), 0);
    EXPECT_TRUE(smooth->image.IsEqual(expected));
    EXPECT_TRUE(source->image.IsEqual(original));

    m.SelectType(1);
    m.dimension = 3;
    m.directions = {true, false, false, false};
    m.CreateFilter();
    m.threshold = 10;
    CVistrelDoc* edges = m.OnApply();
    ASSERT_TRUE(edges);
    EXPECT_EQ(edges->pathName, "/d/step.pgx EDGES");
    EXPECT_NE(edges->Title().toStdString().find("step.pgx EDGES"), std::string::npos);
    EXPECT_TRUE(source->image.IsEqual(original));

    app.CloseDocument(source);
    EXPECT_EQ(m.Source(), nullptr);
    const std::size_t count = app.Documents().size();
    EXPECT_EQ(m.OnApply(), nullptr);
    EXPECT_EQ(app.Documents().size(), count);
}

// With a breast outline "&Apply" filters inside it only; without one again
// the whole image (the outline is read as the command runs).
TEST(FiltersModel, ApplyWorksInsideTheBreastOutline) {
    testing::CRecordingSink sink;
    CScopedMessageSink guard(&sink);
    testing::CFakeUi ui;
    CVistrelApp app(&ui);
    CFiltersModel m(app);
    std::unique_ptr<CVistrelDoc> doc = app.CreateDocument();
    doc->image = StepImage();
    CVistrelDoc* source = app.AddDocument(std::move(doc));
    ASSERT_TRUE(source);
    app.SetActiveDocument(source);
    // The left part only: the step at x = 10 lies outside.
    source->breastSegment = CBreastSgt({{2, 2}, {8, 2}, {8, 13}, {2, 13}, {2, 2}});
    ASSERT_TRUE(source->BuildBreastMask());
    m.SelectType(0);
    m.dimension = 3;
    m.CreateFilter();

    CVistrelDoc* inside = m.OnApply();
    ASSERT_TRUE(inside);
    const COutline outline = source->BreastOutline();
    CMImage expected(source->image);
    ASSERT_EQ(ApplyFilter(expected, &outline, m.GridFilter(), false), 0);
    EXPECT_TRUE(inside->image.IsEqual(expected));
    CMImage unrestricted(source->image);
    ASSERT_EQ(ApplyFilter(unrestricted, nullptr, m.GridFilter(), false), 0);
    EXPECT_FALSE(inside->image.IsEqual(unrestricted)) << "the outline made a difference";

    source->DropBreastSegment();
    CVistrelDoc* whole = m.OnApply();
    ASSERT_TRUE(whole);
    EXPECT_TRUE(whole->image.IsEqual(unrestricted));
}

}  // namespace
}  // namespace vistrel
