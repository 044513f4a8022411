#include "workspace/breast_segment_model.h"

#include <charconv>

namespace vistrel {

namespace {

// The edits are read from their first ten characters, as a number prefix
// ("40." reads 40, text without a number reads 0).
// The C locale's decimal point whatever locale the process runs in.
double ReadPercentile(const std::string& text) {
    const std::string head = text.substr(0, 10);
    const char* first = head.data();
    const char* last = first + head.size();
    while (first < last && (*first == ' ' || *first == '\t')) ++first;
    if (first < last && *first == '+') ++first;
    double value = 0.0;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() ? value : 0.0;
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
