#include "workspace/breast_side.h"

#include <algorithm>

#include "core/text.h"

namespace vistrel {

EBreastSide BreastSideOfName(const std::string& name) {
    const std::string lower = ToLower(name);
    if (lower.find("left") != std::string::npos) return EBreastSide::Left;
    if (lower.find("right") != std::string::npos) return EBreastSide::Right;
    return EBreastSide::Unknown;
}

bool IsMloName(const std::string& name) {
    return ToLower(name).find("mlo") != std::string::npos;
}

CFramePlace PlaceForRadiologists(const std::string& fileName, int clientWidth, int clientHeight,
                                 int frameWidth, int frameHeight, int currentX) {
    int x = currentX;
    switch (BreastSideOfName(fileName)) {
        case EBreastSide::Left:
            x = clientWidth / 2;
            break;
        case EBreastSide::Right:
            x = clientWidth / 2 - frameWidth;
            break;
        case EBreastSide::Unknown:
            break;
    }
    int y = 0;
    if (IsMloName(fileName)) y = std::min(clientHeight / 2, clientHeight - frameHeight);
    return {std::max(0, x), std::max(0, y)};
}

}  // namespace vistrel
