#include "workspace/two_params_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vistrel {

namespace {

std::string Number(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace

std::string CTwoParamsModel::Problem() const {
    for (const CField& field : fields) {
        if (std::isfinite(field.value) && field.value >= field.min && field.value <= field.max)
            continue;
        return field.label + " must be between " + Number(field.min, field.decimals) + " and " +
               Number(field.max, field.decimals) + ".";
    }
    return {};
}

int CTwoParamsModel::IntValue(int i) const {
    const double v = fields[static_cast<size_t>(i & 1)].value;
    if (!std::isfinite(v)) return 0;
    return static_cast<int>(std::lround(std::clamp(v, -2147483648.0, 2147483647.0)));
}

}  // namespace vistrel
