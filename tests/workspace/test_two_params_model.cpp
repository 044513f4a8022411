#include "workspace/two_params_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vistrel {
namespace {

CTwoParamsModel ClusterDialog(double diameter, double minObjects) {
    return {"Cluster",
            {"cluster diameter [cm]", diameter, 0.01, 20.0, 2},
            {"min objects in cluster", minObjects, 1, 1000, 0}};
}

TEST(TwoParamsModel, RefusesTheFirstFieldOutOfRangeAndNamesIt) {
    struct Case {
        double diameter, minObjects;
        const char* problem;
    };
    const Case cases[] = {
        {1.0, 3, ""},
        {0.01, 1, ""},  // both ranges are closed
        {20.0, 1000, ""},
        {0.0, 3, "cluster diameter [cm] must be between 0.01 and 20.00."},
        {1.0, 0, "min objects in cluster must be between 1 and 1000."},
        {-1.0, 0, "cluster diameter [cm] must be between 0.01 and 20.00."},
        {std::nan(""), 3, "cluster diameter [cm] must be between 0.01 and 20.00."},
        {1.0, std::numeric_limits<double>::infinity(),
         "min objects in cluster must be between 1 and 1000."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClusterDialog(c.diameter, c.minObjects).Problem(), c.problem)
            << c.diameter << " " << c.minObjects;
}

TEST(TwoParamsModel, IntegerValuesRoundAndNeverOverflow) {
    CTwoParamsModel model = ClusterDialog(1.0, 2.5);
    EXPECT_EQ(model.IntValue(1), 3);
    model.fields[1].value = -2.5;
    EXPECT_EQ(model.IntValue(1), -3);
    model.fields[1].value = 1e30;
    EXPECT_EQ(model.IntValue(1), 2147483647);
    model.fields[1].value = std::nan("");
    EXPECT_EQ(model.IntValue(1), 0);
}

}  // namespace
}  // namespace vistrel
