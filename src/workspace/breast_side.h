#pragma once
// What a mammogram's file name says about the view: which breast, and
// whether it is the oblique (MLO) view. The orientation rule of the
// radiologists' interface and the placement of its windows read the same words.

#include <string>

namespace vistrel {

enum class EBreastSide { Unknown, Left, Right };

// "left" anywhere in the name (any case) wins over "right".
EBreastSide BreastSideOfName(const std::string& name);
// "mlo" anywhere in the name, any case.
bool IsMloName(const std::string& name);

struct CFramePlace {
    int x = 0;
    int y = 0;
};

// Where a document window of frameWidth x frameHeight goes in a client area
// of clientWidth x clientHeight in the radiologists' interface. Both breasts
// face each other across the middle: the right breast on the left half, the
// left breast on the right half; a name of neither side keeps currentX. MLO
// views go to the lower half (as far as the window fits), the rest to the
// top. Never left of or above the client area.
CFramePlace PlaceForRadiologists(const std::string& fileName, int clientWidth, int clientHeight,
                                 int frameWidth, int frameHeight, int currentX);

}  // namespace vistrel
