// The example image plug-in we ship, loaded from the plug-in folder beside
// the executables.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "core/image.h"
#include "workspace/plugins.h"

namespace vistrel {
namespace {

TEST(UnsharpMask, SharpensASpotAndLeavesFlatAreasAlone) {
    CPlugInManager manager;
    manager.ScanPlugIns(VISTREL_PLUGIN_DIR);
    const auto& plugIns = manager.ImagePlugIns();
    const auto it = std::find_if(plugIns.begin(), plugIns.end(), [](const auto& p) {
        return p->Path().ends_with("/unsharp_mask/VTPlugInMain.so");
    });
    ASSERT_NE(it, plugIns.end());
    ASSERT_EQ((*it)->InputCount(), 1);
    VTPlugInProceed1Fn proceed = (*it)->Proceed1();

    // A flat 12-bit field with one brighter pixel, as a microcalcification.
    CMImage image(64, 48, 12);
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) image.SetPixel(x, y, 1000);
    image.SetPixel(30, 20, 1400);
    VTImageRecord input{};
    input.data = image.data;
    input.width = image.width;
    input.height = image.height;
    input.bytesPerRow = image.bytesPerRow;
    input.depth = image.depth;
    input.maxValue = image.maxValue;
    VTImageRecord* results = nullptr;
    proceed(&input, &results, nullptr);
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(results->next, nullptr);
    const std::unique_ptr<CMImage> out = CopyPlugInRecord(*results);
    std::free(results->data);
    std::free(results);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->width, 64);
    EXPECT_EQ(out->height, 48);
    EXPECT_EQ(out->depth, 12);
    EXPECT_GT(out->GetPixel(30, 20), 1400) << "the spot stands out more";
    EXPECT_EQ(out->GetPixel(2, 45), 1000) << "far from the spot nothing changes";
    EXPECT_LE(out->GetPixel(30 + 3, 20), 1000) << "a dark rim around the spot";

    // Masks give nothing.
    CMImage mask(16, 16, 1);
    input.data = mask.data;
    input.width = mask.width;
    input.height = mask.height;
    input.bytesPerRow = mask.bytesPerRow;
    input.depth = 1;
    results = nullptr;
    proceed(&input, &results, nullptr);
    EXPECT_EQ(results, nullptr);
}

}  // namespace
}  // namespace vistrel
