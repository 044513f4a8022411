#pragma once
// The small two-field parameter dialogs ("Cluster", "Rejected - Separated
// objects in clusters", "BS Detection", ...) as one workspace model: a
// title, two labelled numbers with their ranges, and the reason OK is
// refused while a field is out of range.

#include <array>
#include <string>

namespace vistrel {

class CTwoParamsModel {
  public:
    struct CField {
        std::string label;
        double value = 0.0;
        double min = 0.0;
        double max = 0.0;
        int decimals = 0;  // 0: an integer field
    };

    CTwoParamsModel() = default;
    CTwoParamsModel(std::string title, CField first, CField second)
        : title(std::move(title)), fields{std::move(first), std::move(second)} {}

    // "<label> must be between <min> and <max>." for the first field out of
    // its range (or not a number); empty when both are acceptable.
    std::string Problem() const;
    // The value of field i rounded to an integer (for integer fields).
    int IntValue(int i) const;

    std::string title;
    std::array<CField, 2> fields;
};

}  // namespace vistrel
