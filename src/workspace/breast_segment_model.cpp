#include "workspace/breast_segment_model.h"

#include <cstdlib>

namespace vistrel {

namespace {

// The edits are read from their first ten characters, as a number prefix
// ("40." reads 40, text without a number reads 0).
double ReadPercentile(const std::string& text) {
    const std::string head = text.substr(0, 10);
    return std::strtod(head.c_str(), nullptr);
}

}  // namespace

CSegmentParams CBreastSegmentModel::Params() const {
    CSegmentParams params;
    params.view = view;
    params.projection = kProjectionAuto;
    params.automatic = automatic ? 1 : 0;
    params.low = automatic ? 0.0 : ReadPercentile(lowText);
    params.high = automatic ? 0.0 : ReadPercentile(highText);
    params.cone = cone ? 1 : 0;
    params.log = 1;
    return params;
}

}  // namespace vistrel
