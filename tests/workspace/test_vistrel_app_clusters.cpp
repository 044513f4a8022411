// "Making Cluster &Params...": two dialogs in a row, stored only when both
// are accepted with valid values.

#include <gtest/gtest.h>

#include "workspace/command_registry.h"
#include "workspace/vistrel_app.h"
#include "workspace_fakes.h"

namespace vistrel {
namespace {

using testing::CFakeUi;
using testing::CRecordingSink;

class ClusterParamsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app.SetUi(&ui);
        app.clusterParams = {1.0, 3, 0.5, 0};
        QObject::connect(&app.Notifier(), &CNotifier::clusterParamsChanged, [this] { ++changes; });
    }
    static void ExpectParams(const CClusterParams& p, const CClusterParams& want) {
        EXPECT_DOUBLE_EQ(p.diameterCm, want.diameterCm);
        EXPECT_EQ(p.minObjects, want.minObjects);
        EXPECT_DOUBLE_EQ(p.separationCm, want.separationCm);
        EXPECT_EQ(p.minSeparated, want.minSeparated);
    }

    CFakeUi ui;
    CRecordingSink sink;
    CScopedMessageSink scopedSink{&sink};
    CVistrelApp app;
    int changes = 0;
};

TEST_F(ClusterParamsTest, BothDialogsOpenOnTheCurrentValuesWithTheirRanges) {
    ui.twoParamsAnswers = {std::pair{0.8, 4.0}, std::pair{0.3, 2.0}};
    ASSERT_TRUE(app.OnClusterParams());
    ASSERT_EQ(ui.twoParamsShown.size(), 2u);
    const CTwoParamsModel& cluster = ui.twoParamsShown[0];
    EXPECT_EQ(cluster.title, "Cluster");
    EXPECT_EQ(cluster.fields[0].label, "cluster diameter [cm]");
    EXPECT_EQ(cluster.fields[1].label, "min objects in cluster");
    EXPECT_DOUBLE_EQ(cluster.fields[0].value, 1.0);
    EXPECT_DOUBLE_EQ(cluster.fields[1].value, 3.0);
    EXPECT_GT(cluster.fields[0].min, 0.0);  // a cluster needs a width
    EXPECT_GT(cluster.fields[0].decimals, 0);
    EXPECT_DOUBLE_EQ(cluster.fields[1].min, 1.0);
    EXPECT_EQ(cluster.fields[1].decimals, 0);
    const CTwoParamsModel& separation = ui.twoParamsShown[1];
    EXPECT_EQ(separation.title, "Rejected - Separated objects in clusters");
    EXPECT_EQ(separation.fields[0].label, "separation diameter [cm]");
    EXPECT_EQ(separation.fields[1].label, "min separated objects");
    EXPECT_DOUBLE_EQ(separation.fields[0].value, 0.5);
    EXPECT_DOUBLE_EQ(separation.fields[1].value, 0.0);
    EXPECT_GT(separation.fields[0].min, 0.0);
    EXPECT_DOUBLE_EQ(separation.fields[1].min, 0.0);  // 0: no separation pass
    EXPECT_EQ(separation.fields[1].decimals, 0);

    ExpectParams(app.clusterParams, {0.8, 4, 0.3, 2});
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ClusterParamsTest, CancelOrARefusedValueAtEitherStepChangesNothing) {
    using Reply = std::optional<std::pair<double, double>>;
    struct Case {
        const char* what;
        std::deque<Reply> replies;
        size_t dialogs;   // how many were shown
        size_t messages;  // a problem reported
    };
    const Case cases[] = {
        {"cancel first", {std::nullopt}, 1, 0},
        {"cancel second", {std::pair{0.8, 4.0}, std::nullopt}, 2, 0},
        {"zero diameter", {std::pair{0.0, 4.0}}, 1, 1},
        {"no objects", {std::pair{0.8, 0.0}}, 1, 1},
        {"negative separated", {std::pair{0.8, 4.0}, std::pair{0.3, -1.0}}, 2, 1},
        {"zero separation diameter", {std::pair{0.8, 4.0}, std::pair{0.0, 2.0}}, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.twoParamsShown.clear();
        sink.messages.clear();
        ui.twoParamsAnswers = c.replies;
        EXPECT_FALSE(app.OnClusterParams());
        EXPECT_EQ(ui.twoParamsShown.size(), c.dialogs);
        EXPECT_EQ(sink.messages.size(), c.messages);
        ExpectParams(app.clusterParams, {1.0, 3, 0.5, 0});
        EXPECT_EQ(changes, 0);
    }
}

TEST_F(ClusterParamsTest, TheMenuCommandRunsTheDialogsWithoutADocument) {
    ui.twoParamsAnswers = {std::pair{2.0, 5.0}, std::pair{1.0, 1.0}};
    ASSERT_TRUE(CommandEnabled({app, nullptr, {}, nullptr, nullptr},
                               static_cast<int>(CommandId::ClusterParams)));
    RunCommand({app, nullptr, {}, nullptr, nullptr}, static_cast<int>(CommandId::ClusterParams));
    EXPECT_EQ(ui.TwoParamsTitles(),
              (std::vector<std::string>{"Cluster", "Rejected - Separated objects in clusters"}));
    ExpectParams(app.clusterParams, {2.0, 5, 1.0, 1});
    EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace vistrel
