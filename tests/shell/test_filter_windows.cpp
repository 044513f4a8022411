// The "Filters", "LoG & Gaussian filters" and "Multiscale spot detector"
// windows on a main frame: their controls follow the models, and results
// open as new documents while the source stays as it was.
#include <gtest/gtest.h>

#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <random>

#include "detection/spot_detector.h"
#include "detection/spot_file.h"
#include "filters/convolution.h"
#include "filters/filter_file.h"
#include "shell/filters_dlg.h"
#include "shell/log_gaussian_flt_dlg.h"
#include "shell/scale_space_dlg.h"
#include "shell_fixture.h"
#include "support/speck_image.h"

namespace vistrel {
namespace {

using testing::MainFrameTest;

bool SameSamples(const CMImage& a, const CMImage& b) {
    if (a.width != b.width || a.height != b.height || a.depth != b.depth) return false;
    for (int32_t y = 0; y < a.height; ++y)
        for (int32_t x = 0; x < a.width; ++x)
            if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
    return true;
}

class FilterWindowsTest : public MainFrameTest {
  protected:
    // A 12-bit noisy background with bright discs: spots for the detector and
    // structure for the filters.
    CVistrelDoc* OpenSpots() {
        testsupport::CSpeckImageParams p;
        p.width = 200;
        p.height = 160;
        p.seed = 7;
        p.waveAmplitude = 60;
        p.wavePeriod = 23;
        p.noise = testsupport::CSpeckImageParams::ENoise::Gaussian;
        p.gaussianNoise = 5;
        p.specks = {{40, 40, 1.5}, {120, 50, 2.5}, {70, 110, 3.5}, {160, 120, 1.0}};
        const CMImage image = testsupport::SpeckImage(p);
        const std::string path = Path("spots.pgx");
        EXPECT_EQ(image.Save(true, path), 1);
        return app.OpenDocumentFile(path);
    }
    // The library file the Filters window reads and writes in this test.
    std::string LibraryCopy() {
        const std::string path = Path("filters.flt");
        std::filesystem::copy_file(std::string(VISTREL_BIN_DIR) + "/filters.flt", path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }
};

TEST_F(FilterWindowsTest, FiltersWindowControlsFollowTheType) {
    CFiltersDlg dlg(app);
    dlg.SetLibraryPath(LibraryCopy());
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
        dlg.TypeBox()->setCurrentIndex(c.type);
        EXPECT_EQ(dlg.DistributionGroup()->title().toStdString(), c.caption);
        EXPECT_EQ(!dlg.DistributionButton(2)->isHidden(), c.gamma);
        EXPECT_EQ(!dlg.EdgeGroup()->isHidden(), c.edges);
        EXPECT_EQ(!dlg.MedianBox()->isHidden(), c.median);
        EXPECT_EQ(!dlg.UpdateButton()->isHidden(), c.custom);
        EXPECT_EQ(!dlg.ClearButton()->isHidden(), c.custom);
        EXPECT_EQ(dlg.AddButton()->isEnabled(), c.custom);
        EXPECT_EQ(dlg.List()->count(), int(dlg.Library()[std::size_t(c.type)].size()));
    }
    // A selected Gamma falls back to Gauss where Gamma is hidden.
    dlg.TypeBox()->setCurrentIndex(0);
    dlg.DistributionButton(2)->click();
    dlg.TypeBox()->setCurrentIndex(2);
    EXPECT_TRUE(dlg.DistributionButton(0)->isChecked());
}

TEST_F(FilterWindowsTest, CreatedKernelIsAddedToTheLibraryAndWrittenBack) {
    const std::string library = LibraryCopy();
    CFilterLibrary before;
    ASSERT_EQ(LoadFilterFile(library, before), 0);
    {
        CFiltersDlg dlg(app);
        dlg.SetLibraryPath(library);
        dlg.TypeBox()->setCurrentIndex(0);
        dlg.DistributionButton(0)->click();
        dlg.DimensionSpin()->setValue(5);
        dlg.SigmaEdit()->setText("1");
        dlg.CreateButton()->click();
        // The generated 5 x 5 Gauss kernel sits centred in the 7 x 7 grid.
        const CFilter expected = MakeGaussFilter(5, 5, 1.0);
        EXPECT_TRUE(dlg.Cell(0, 0)->text().isEmpty());
        EXPECT_EQ(dlg.Cell(3, 3)->text().toStdString(), FormatFilterReal(*expected.At(2, 2)));
        EXPECT_EQ(dlg.Cell(1, 2)->text().toStdString(),
                  FormatFilterReal(*expected.At(0, 1)).substr(0, 10));
        EXPECT_EQ(dlg.NameEdit()->text().toStdString(), expected.name);
        ASSERT_TRUE(dlg.AddButton()->isEnabled());
        dlg.AddButton()->click();
        ASSERT_EQ(dlg.List()->count(), int(before[0].size()) + 1);
        EXPECT_EQ(dlg.List()->currentRow(), dlg.List()->count() - 1);
        EXPECT_EQ(dlg.List()->currentItem()->text().toStdString(), expected.name);
    }
    // Closing the window wrote the library with the new kernel at the end.
    CFilterLibrary after;
    ASSERT_EQ(LoadFilterFile(library, after), 0);
    ASSERT_EQ(after[0].size(), before[0].size() + 1);
    EXPECT_EQ(after[0].back().name, "Gauss 5, 1.00");
    EXPECT_EQ(after[0].back().width, 5);
    // Removing asks (the sink answers "Yes") and deletes the selected entries.
    {
        CFiltersDlg dlg(app);
        dlg.SetLibraryPath(library);
        dlg.List()->setCurrentRow(dlg.List()->count() - 1);
        dlg.RemoveButton()->click();
        EXPECT_EQ(dlg.List()->count(), int(before[0].size()));
        ASSERT_TRUE(dlg.SaveLibrary());
    }
    CFilterLibrary removed;
    ASSERT_EQ(LoadFilterFile(library, removed), 0);
    EXPECT_EQ(removed[0].size(), before[0].size());
}

TEST_F(FilterWindowsTest, FiltersApplyOpensTheResultAsANewDocument) {
    CVistrelDoc* source = OpenSpots();
    ASSERT_TRUE(source);
    const CMImage original = source->image;
    CFiltersDlg dlg(app);
    dlg.SetLibraryPath(LibraryCopy());
    dlg.Bind(source);
    dlg.TypeBox()->setCurrentIndex(3);
    dlg.ClearButton()->click();
    EXPECT_EQ(dlg.NameEdit()->text().toStdString(), "filter");
    // A 3 x 1 kernel typed off the centre keeps its offset after trimming.
    dlg.Cell(3, 3)->setText("1");
    dlg.Cell(3, 4)->setText("2");
    dlg.Cell(3, 5)->setText("abc");  // not a number: 0
    dlg.ScaleEdit()->setText("3");
    const std::size_t count = app.Documents().size();
    dlg.ApplyButton()->click();
    ASSERT_EQ(app.Documents().size(), count + 1);
    const CVistrelDoc& result = *app.Documents().back();
    EXPECT_TRUE(SameSamples(source->image, original));  // the source is untouched
    CFilter kernel(7, 7);
    *kernel.At(3, 3) = 1.0f;
    *kernel.At(3, 4) = 2.0f;
    const CFilter trimmed(7, 7, "filter", kernel.Row(0), 3.0, 0, nullptr);
    CMImage expected = original;
    ASSERT_EQ(ApplyFilter(expected, nullptr, trimmed, false), 0);
    EXPECT_TRUE(SameSamples(result.image, expected));

    // Edge detection: two directions make two library kernels, and "&Apply"
    // ORs the maps of the library kernels named like the grid's one in each
    // checked direction, in a document titled " EDGES".
    EXPECT_EQ(dlg.Document(), &result);  // it follows the active document
    dlg.Bind(source);
    dlg.TypeBox()->setCurrentIndex(1);
    const int listed = dlg.List()->count();
    dlg.DistributionButton(0)->click();
    dlg.DimensionSpin()->setValue(3);
    dlg.SigmaEdit()->setText("1");
    dlg.DirectionBox(0)->setChecked(true);
    dlg.DirectionBox(1)->setChecked(true);
    dlg.CreateButton()->click();
    ASSERT_EQ(dlg.List()->count(), listed + 2);
    EXPECT_EQ(dlg.NameEdit()->text().toStdString(), "Gauss Vert 3, 1.00");
    dlg.ThresholdEdit()->setText("100");
    dlg.ApplyButton()->click();
    ASSERT_EQ(app.Documents().size(), count + 2);
    const CVistrelDoc& edges = *app.Documents().back();
    EXPECT_NE(edges.Title().toStdString().find("spots.pgx EDGES"), std::string::npos)
        << edges.Title().toStdString();
    bool on = false, off = false;
    for (int32_t y = 0; y < edges.image.height; ++y)
        for (int32_t x = 0; x < edges.image.width; ++x) {
            const int32_t v = edges.image.GetPixel(x, y);
            ASSERT_TRUE(v == 0 || v == edges.image.maxValue);
            (v ? on : off) = true;
        }
    EXPECT_TRUE(on && off);
    const CFilter* both[] = {&dlg.Library()[1][std::size_t(listed)],
                             &dlg.Library()[1][std::size_t(listed + 1)]};
    auto expectedEdges = EdgeMaps(original, both, 2, 100.0);
    ASSERT_TRUE(expectedEdges);
    EXPECT_TRUE(SameSamples(edges.image, *expectedEdges));
}

TEST_F(FilterWindowsTest, LogGaussianWindowFieldsAndResults) {
    CVistrelDoc* source = OpenSpots();
    ASSERT_TRUE(source);
    CLogGaussianFltDlg dlg(app);
    dlg.Bind(source);
    EXPECT_EQ(dlg.ScaleSpin()->value(), 7);
    const struct {
        int typed, scale;
        const char* dimension;
    } cases[] = {{4, 4, "13"}, {3, 3, "9"}, {25, 2, "7"}, {1, 2, "7"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        dlg.ScaleSpin()->setValue(c.typed);
        EXPECT_EQ(dlg.ScaleSpin()->value(), c.scale);
        EXPECT_EQ(dlg.DimensionEdit()->text().toStdString(), c.dimension);
        EXPECT_EQ(dlg.SigmaEdit()->text().toStdString(), dlg.Model().SigmaText());
    }
    EXPECT_EQ(dlg.GaussSigmaEdit()->text(), "1");
    EXPECT_EQ(dlg.DogWeightEdit()->text(), "0.8");
    EXPECT_EQ(dlg.SubtractSigmaEdit()->text(), "0");

    const CMImage original = source->image;
    const std::size_t count = app.Documents().size();
    dlg.ScaleSpin()->setValue(3);
    dlg.LoGApplyButton()->click();
    ASSERT_EQ(app.Documents().size(), count + 1);
    CMImage expected = original;
    ASSERT_EQ(ApplyFilter(expected, nullptr, MakeLoGFilter(3), false), 0);
    EXPECT_TRUE(SameSamples(app.Documents().back()->image, expected));
    EXPECT_TRUE(SameSamples(source->image, original));
    // The result's window became active and the tool window follows it.
    EXPECT_EQ(dlg.Document(), app.Documents().back().get());
    dlg.Bind(source);

    // The Gaussian shows its coefficient table when it is smaller than 20 x 20.
    sink.shown.clear();
    dlg.GaussSigmaEdit()->setText("1");
    dlg.GaussApplyButton()->click();
    ASSERT_EQ(app.Documents().size(), count + 2);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].rfind("Gauss 7 x 7\n", 0), 0u);
    EXPECT_NE(sink.shown[0].find("Sum= "), std::string::npos);

    dlg.Bind(source);
    dlg.DogSigma1Edit()->setText("1");
    dlg.DogSigma2Edit()->setText("2");
    dlg.DogApplyButton()->click();
    ASSERT_EQ(app.Documents().size(), count + 3);
    auto dog = DifferenceOfGaussians(original, 0.8, MakeGaussKernel(1.0), MakeGaussKernel(2.0));
    ASSERT_TRUE(dog);
    EXPECT_TRUE(SameSamples(app.Documents().back()->image, *dog));
    dlg.Bind(source);
    dlg.SubtractSigmaEdit()->setText("2");
    dlg.SubtractApplyButton()->click();
    ASSERT_EQ(app.Documents().size(), count + 4);

    // Without a document the buttons do nothing.
    dlg.Bind(nullptr);
    dlg.LoGApplyButton()->click();
    EXPECT_EQ(app.Documents().size(), count + 4);
}

TEST_F(FilterWindowsTest, SpotWindowDetectsSelectsAndShowsOnTheSource) {
    CVistrelDoc* source = OpenSpots();
    ASSERT_TRUE(source);
    CScaleSpaceDlg dlg(app);
    dlg.Bind(source);
    dlg.show();  // keys reach a shown dialog as they would on screen
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.MinScaleSpin()->value(), 3);
    EXPECT_EQ(dlg.MaxScaleSpin()->value(), 10);
    EXPECT_EQ(dlg.IncrementSpin()->value(), 2);
    EXPECT_EQ(dlg.ResTypeSpin()->minimum(), -1);
    EXPECT_EQ(dlg.ResTypeSpin()->maximum(), 12);
    EXPECT_EQ(dlg.SearchSpin()->minimum(), 0);
    EXPECT_EQ(dlg.LocalMaxSpin()->minimum(), 3);
    EXPECT_EQ(dlg.ThresholdEdit()->text(), "120.0");
    EXPECT_FALSE(dlg.SaveButton()->isEnabled());
    EXPECT_FALSE(dlg.Slider()->isEnabled());

    sink.shown.clear();
    const std::size_t count = app.Documents().size();
    dlg.SpotsButton()->click();
    ASSERT_TRUE(dlg.Model().HasSpots());
    // The log is shown after the run.
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_EQ(sink.shown[0].rfind("CandidateListSSS-ConvolveLoG(hMIN=3) ", 0), 0u);
    std::string log;
    auto direct = CandidateListSSS(source->image, 3, 10, 2, 3, 3, nullptr, log);
    ASSERT_TRUE(direct);
    EXPECT_EQ(dlg.Model().Spots().Count(), direct->Count());
    EXPECT_TRUE(dlg.SaveButton()->isEnabled() && dlg.Slider()->isEnabled());
    // The slider spans [floor(min), floor(max) + 1] of the responses.
    double lo, hi;
    direct->Range(-1, lo, hi);
    EXPECT_EQ(dlg.Slider()->minimum(), int(std::floor(lo)));
    EXPECT_EQ(dlg.Slider()->maximum(), int(std::floor(hi)) + 1);
    EXPECT_EQ(dlg.RangeMaxLabel()->text().toStdString(), dlg.Model().RangeMaxText());

    // The picture: circles of the selected spots in a new document.
    ASSERT_EQ(app.Documents().size(), count + 1);
    CVistrelDoc* picture = dlg.PictureDocument();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.depth, 1);
    ASSERT_GT(dlg.Model().Selected().Count(), 0);
    const CPointResponse& first = dlg.Model().Selected()[0];
    EXPECT_NE(picture->image.GetPixel(first.x, first.y), 0);

    // The slider is inverted; moving it re-selects and redraws the same document.
    const int top = dlg.Slider()->maximum(), bottom = dlg.Slider()->minimum();
    dlg.Slider()->setValue(bottom);  // highest threshold: top of the range
    EXPECT_EQ(dlg.Model().Threshold(), double(top));
    CSpotList expected;
    SelectSpots(dlg.Model().Spots(), expected, false, top, -1, -1);
    EXPECT_EQ(dlg.Model().Selected().Count(), expected.Count());
    dlg.Slider()->setValue(top);  // lowest threshold: everything
    EXPECT_EQ(dlg.Model().Selected().Count(), dlg.Model().Spots().Count());
    EXPECT_EQ(dlg.PictureDocument(), picture);
    EXPECT_EQ(app.Documents().size(), count + 1);

    // A typed threshold moves the slider and applies on Enter.
    dlg.ThresholdEdit()->setFocus();
    dlg.ThresholdEdit()->selectAll();
    QTest::keyClicks(dlg.ThresholdEdit(), QString::number(bottom + 1));
    EXPECT_EQ(dlg.Slider()->value(), top - 1);
    EXPECT_EQ(dlg.Model().Selected().Count(), dlg.Model().Spots().Count());  // not yet
    sink.shown.clear();
    QTest::keyClick(dlg.ThresholdEdit(), Qt::Key_Return);
    EXPECT_TRUE(sink.shown.empty());  // Enter selects; it does not detect again
    SelectSpots(dlg.Model().Spots(), expected, false, bottom + 1, -1, -1);
    EXPECT_EQ(dlg.Model().Selected().Count(), expected.Count());

    // "Spot info" reports per scale from the minimum to the maximum scale.
    sink.shown.clear();
    dlg.InfoButton()->click();
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].rfind("h=3, num=", 0), 0u);
    EXPECT_NE(sink.shown[0].find("h=10, num="), std::string::npos);
    EXPECT_NE(sink.shown[0].find("numAll="), std::string::npos);

    // "Set seeds" hands over the selected spots.
    dlg.SeedsButton()->click();
    ASSERT_NE(dlg.Model().Source(), nullptr);
    EXPECT_EQ(dlg.Model().Source()->spots.Count(), dlg.Model().Selected().Count());

    // Clearing "min scale" drops the spots found at the minimum scale.
    dlg.MinScaleBox()->setChecked(false);
    for (int i = 0; i < dlg.Model().Selected().Count(); ++i)
        EXPECT_NE(dlg.Model().Selected()[i].values[0], 3.0);
}

TEST_F(FilterWindowsTest, SpotWindowSavesLoadsAndForgetsItsSource) {
    CVistrelDoc* source = OpenSpots();
    ASSERT_TRUE(source);
    CScaleSpaceDlg dlg(app);
    dlg.Bind(source);
    dlg.SpotsButton()->click();
    ASSERT_TRUE(dlg.Model().HasSpots());
    const int all = dlg.Model().Spots().Count();
    dlg.SaveButton()->click();
    const std::string file = SpotFileName(source->pathName, {3, 2, 10, 3, 3});
    ASSERT_TRUE(std::filesystem::exists(file)) << file;

    // "Set Source Doc" on the same document clears everything.
    app.SetActiveDocument(source);
    dlg.SourceButton()->click();
    EXPECT_FALSE(dlg.Model().HasSpots());
    EXPECT_FALSE(dlg.SaveButton()->isEnabled());

    // "Spots from file" finds the default name and reads every spot back.
    dlg.FromFileButton()->click();
    EXPECT_EQ(dlg.Model().Spots().Count(), all);
    EXPECT_EQ(dlg.Model().Threshold(), 120.0);

    // The window's own picture is never taken as a source.
    CVistrelDoc* picture = dlg.PictureDocument();
    ASSERT_TRUE(picture);
    dlg.Bind(picture);
    EXPECT_EQ(dlg.Document(), source);
    EXPECT_TRUE(dlg.Model().HasSpots());

    // Closing the source clears the results; the buttons do nothing afterwards.
    app.CloseDocument(source);
    EXPECT_EQ(dlg.Document(), nullptr);
    EXPECT_FALSE(dlg.Model().HasSpots());
    dlg.SpotsButton()->click();
    EXPECT_FALSE(dlg.Model().HasSpots());
}

// QSlider's own style option (protected) through a member pointer.
struct SliderStyleOption : QSlider {
    static constexpr auto get = &SliderStyleOption::initStyleOption;
};

// The labels beside the slider name the thresholds its ends set: with the
// handle drawn at an end, the label nearer to it reads (to within the
// rounding of the range ends) the threshold that position sets.
TEST_F(FilterWindowsTest, SpotSliderLabelsNameTheThresholdsAtTheirEnds) {
    CVistrelDoc* source = OpenSpots();
    ASSERT_TRUE(source);
    CScaleSpaceDlg dlg(app);
    dlg.Bind(source);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.SpotsButton()->click();
    ASSERT_TRUE(dlg.Model().HasSpots());
    QSlider* slider = dlg.Slider();
    ASSERT_GT(slider->maximum() - slider->minimum(), 20);
    auto centreY = [&](const QWidget* w, QRect r) { return w->mapTo(&dlg, r.center()).y(); };
    const int maxLabelY = centreY(dlg.RangeMaxLabel(), dlg.RangeMaxLabel()->rect());
    const int minLabelY = centreY(dlg.RangeMinLabel(), dlg.RangeMinLabel()->rect());
    int topThreshold = 0;
    for (const int position : {slider->minimum(), slider->maximum()}) {
        slider->setValue(position);
        QStyleOptionSlider option;
        (slider->*SliderStyleOption::get)(&option);  // what the slider paints with
        const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                             QStyle::SC_SliderHandle, slider);
        const int handleY = centreY(slider, handle);
        const QLabel* nearer = std::abs(handleY - maxLabelY) < std::abs(handleY - minLabelY)
                                   ? dlg.RangeMaxLabel()
                                   : dlg.RangeMinLabel();
        bool ok = false;
        const double label = nearer->text().toDouble(&ok);
        ASSERT_TRUE(ok) << position;
        EXPECT_LE(std::abs(label - dlg.Model().Threshold()), 1.0)
            << "position " << position << " label " << label << " threshold "
            << dlg.Model().Threshold();
        EXPECT_EQ(dlg.ThresholdEdit()->text(),
                  QString::fromStdString(dlg.Model().ThresholdText()).trimmed());
        if (handleY < std::min(maxLabelY, minLabelY) + slider->height() / 2)
            topThreshold = int(dlg.Model().Threshold());
    }
    // The highest threshold is at the top, where the maximum is written.
    EXPECT_EQ(topThreshold, dlg.Model().SliderMax());
    EXPECT_LT(maxLabelY, minLabelY);
}

// With "bkg = original image" the picture is shown through the source's
// display settings, and the outlined marks stay visible where the tissue is
// shown white.
TEST_F(FilterWindowsTest, SpotPictureOnTheImageUsesTheSourceDisplay) {
    CVistrelDoc* source = OpenSpots();
    ASSERT_TRUE(source);
    CScaleSpaceDlg dlg(app);
    dlg.Bind(source);
    dlg.SpotsButton()->click();
    ASSERT_TRUE(dlg.Model().HasSpots());
    CVistrelDoc* picture = dlg.PictureDocument();
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->image.depth, 1);
    // A narrow value window that shows the tissue white, and a bit window
    // other than the default.
    source->SetWindowValues(0, 900);
    ASSERT_EQ(source->SetWindowBits(2, 8), 1);
    dlg.BackgroundBox()->setChecked(true);
    ASSERT_EQ(dlg.PictureDocument(), picture);  // updated in place
    ASSERT_EQ(picture->image.depth, source->image.depth);
    EXPECT_EQ(picture->displayShift, source->displayShift);
    EXPECT_EQ(picture->displayDepth, source->displayDepth);
    EXPECT_EQ(picture->windowLow, source->windowLow);
    EXPECT_EQ(picture->windowHigh, source->windowHigh);
    ASSERT_GT(dlg.Model().Selected().Count(), 0);
    for (const bool valueWindow : {true, false}) {
        CRenderRequest a, b;
        auto shown = picture->Render(a, valueWindow, app.Palette(), false);
        auto plain = source->Render(b, valueWindow, app.Palette(), false);
        ASSERT_TRUE(shown && plain);
        int differ = 0;
        for (int32_t y = 0; y < source->image.height; ++y)
            for (int32_t x = 0; x < source->image.width; ++x)
                if (picture->image.GetPixel(x, y) == source->image.GetPixel(x, y))
                    differ += shown->IndexAt(x, y) != plain->IndexAt(x, y);
        EXPECT_EQ(differ, 0) << (valueWindow ? "value window" : "bit window");
        if (!valueWindow) continue;
        // A spot's centre at the top level, the ring round its circle at 0,
        // on tissue the window shows at the top level.
        const CPointResponse& s = dlg.Model().Selected()[0];
        const int top = int(app.Palette().size()) - 1;
        EXPECT_EQ(plain->IndexAt(s.x, s.y), top);
        EXPECT_EQ(shown->IndexAt(s.x, s.y), top);
        int ring = 0;
        for (int32_t x = s.x; x < source->image.width && ring == 0; ++x)
            if (picture->image.GetPixel(x, s.y) == 0) ring = shown->IndexAt(x, s.y) == 0 ? 1 : -1;
        EXPECT_EQ(ring, 1);
    }
    // Marks alone again: the display bits of the 1-bit picture.
    dlg.BackgroundBox()->setChecked(false);
    EXPECT_EQ(picture->image.depth, 1);
    EXPECT_EQ(picture->displayDepth, 1);
}

}  // namespace
}  // namespace vistrel
