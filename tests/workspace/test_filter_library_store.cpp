// The application's filter library: read with the tool data, edited through
// the "Filters" model, written back once per edit and atomically, never
// written when nothing changed.
#include "workspace/filter_library_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "filters/filter_file.h"
#include "workspace/filters_model.h"
#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::ReadFileBytes;

// Files written by this process may not grow beyond a few bytes while the
// guard lives: a write fails the way a full disk makes it fail.
class CFileSizeLimit {
  public:
    explicit CFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

class FilterLibraryStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        CFilterLibrary library;
        const float smooth[] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
        library[0].push_back(CFilter(3, 3, "smooth", smooth, 16.0, 0, nullptr));
        const float sharpen[] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
        library[3].push_back(CFilter(3, 3, "sharpen", sharpen, 1.0, 0, nullptr));
        ASSERT_EQ(SaveFilterFile(Path(), library), 0);
        original = ReadFileBytes(Path());
        ASSERT_FALSE(original.empty());
    }
    std::string Path() const { return dir.path().toStdString() + "/filters.flt"; }
    static std::size_t CustomCount(const std::string& path) {
        CFilterLibrary read;
        return LoadFilterFile(path, read) == 0 ? read[3].size() : 0;
    }
    // A custom kernel typed into the grid and added.
    static void AddCustom(CFiltersModel& model) {
        model.SelectType(3);
        model.Clear();
        model.SetCellText(3, 3, "1");
        model.Add();
    }

    QTemporaryDir dir;
    std::string original;  // the file as the test wrote it
    testing::CRecordingSink sink;
    CScopedMessageSink guard{&sink};
    testing::CFakeUi ui;
};

TEST_F(FilterLibraryStoreTest, ReadWithTheToolData) {
    CVistrelApp app(&ui);
    app.LoadToolData(dir.path().toStdString());
    const CFilterLibraryStore& store = app.FilterLibrary();
    EXPECT_EQ(store.Path(), Path());
    ASSERT_EQ(store.Library()[0].size(), 1u);
    EXPECT_EQ(store.Library()[0][0].name, "smooth");
    ASSERT_EQ(store.Library()[3].size(), 1u);
    EXPECT_EQ(store.Library()[3][0].name, "sharpen");
    EXPECT_FALSE(store.Changed());
    // The model shows the application's library.
    CFiltersModel model(app);
    model.SelectType(3);
    EXPECT_EQ(model.ListNames(), std::vector<std::string>{"sharpen"});
}

TEST_F(FilterLibraryStoreTest, AnEditIsWrittenOnceWhenItHappens) {
    {
        CVistrelApp app(&ui);
        app.LoadToolData(dir.path().toStdString());
        CFiltersModel model(app);
        AddCustom(model);
        EXPECT_FALSE(app.FilterLibrary().Changed());
        EXPECT_EQ(CustomCount(Path()), 2u);
        // Replaced on disk afterwards: the end of the program must not write
        // the library a second time.
        std::ofstream(Path(), std::ios::trunc) << "replaced";
    }
    EXPECT_EQ(ReadFileBytes(Path()), "replaced");
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(FilterLibraryStoreTest, NothingIsWrittenWithoutAnEdit) {
    {
        CVistrelApp app(&ui);
        app.LoadToolData(dir.path().toStdString());
        std::ofstream(Path(), std::ios::trunc) << "replaced";
        CFiltersModel model(app);
        // Browsing, generating into the grid, clearing and a Remove answered
        // "No" leave the library as it is.
        for (int type = 0; type < 4; ++type) {
            model.SelectType(type);
            model.SelectEntry(0);
        }
        model.SelectType(0);
        model.CreateFilter();
        model.SelectType(3);
        model.Clear();
        sink.answers = {1};
        EXPECT_FALSE(model.Remove({0}));
        EXPECT_FALSE(app.FilterLibrary().Changed());
    }
    EXPECT_EQ(ReadFileBytes(Path()), "replaced");
}

TEST_F(FilterLibraryStoreTest, AFailedWriteKeepsTheOldFileAndTheEditPending) {
    {
        CVistrelApp app(&ui);
        app.LoadToolData(dir.path().toStdString());
        CFiltersModel model(app);
        {
            const CFileSizeLimit limit(8);
            AddCustom(model);
        }
        EXPECT_TRUE(app.FilterLibrary().Changed());
        EXPECT_EQ(ReadFileBytes(Path()), original);
        ASSERT_EQ(sink.shown.size(), 1u);
        EXPECT_EQ(sink.shown[0].rfind("Cannot write the file " + Path(), 0), 0u) << sink.shown[0];
        // No temporary file is left beside it.
        int files = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator(dir.path().toStdString()))
            ++files;
        EXPECT_EQ(files, 1);
    }
    // The pending edit is written when the application ends.
    EXPECT_EQ(CustomCount(Path()), 2u);
}

TEST_F(FilterLibraryStoreTest, LoadingAnotherFileWritesAPendingEditFirst) {
    CFilterLibraryStore store;
    store.Load(Path());
    store.Library()[3].clear();
    {
        const CFileSizeLimit limit(8);
        EXPECT_FALSE(store.Edited());
    }
    ASSERT_EQ(CustomCount(Path()), 1u);
    const std::string other = dir.path().toStdString() + "/other.flt";
    store.Load(other);  // missing: an empty library
    EXPECT_EQ(store.Path(), other);
    EXPECT_TRUE(store.Library()[0].empty());
    EXPECT_FALSE(store.Changed());
    // The edit reached the file it belongs to.
    CFilterLibrary written;
    ASSERT_EQ(LoadFilterFile(Path(), written), 0);
    EXPECT_EQ(written[0].size(), 1u);
    EXPECT_TRUE(written[3].empty());
    // Without a path nothing can be written.
    CFilterLibraryStore none;
    none.Library()[0].push_back(CFilter(1, 1));
    EXPECT_FALSE(none.Edited());
    EXPECT_TRUE(none.Changed());
}

}  // namespace
}  // namespace vistrel
