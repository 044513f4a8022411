#pragma once
// Learning and test patterns for the network: the tab-separated feature
// files the region commands write, read into memory once so that every
// epoch walks the same patterns in file order.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vistrel {

// Diagnosis codes of patterns.
inline constexpr int kPatternBenign = 0;
inline constexpr int kPatternMalignant = 1;
inline constexpr int kPatternFalse = 2;

struct CLearningPattern {
    std::string firstField;   // the image path
    std::string secondField;  // the diagnosis word as written
    int diagnosis = kPatternFalse;
    std::vector<double> values;  // one per feature column
};

struct CLearningPatterns {
    // The feature columns: every header field after "filename",
    // "diagnosis" and "region type" (the first being "_").
    std::vector<std::string> names;
    std::vector<CLearningPattern> patterns;
    // Lines naming none of "BENIGN", "MALIGNANT", "FALSE": not patterns.
    int32_t skippedLines = 0;
};

// Parses a feature file's text. The diagnosis is the first of "BENIGN",
// "MALIGNANT", "FALSE" found in a line's diagnosis field. False, with the
// line and the reason in *error, for text that is not a feature file (no
// header, binary data, a line with fewer values than the header has
// features, a value that is not a finite number).
bool ParseLearningPatterns(std::string_view text, CLearningPatterns& out,
                           std::string* error = nullptr);
bool ReadLearningPatterns(const std::string& path, CLearningPatterns& out,
                          std::string* error = nullptr);

// Lines holding "BENIGN", else "MALIGNANT", else "FALSE", anywhere.
struct CPatternCounts {
    int32_t benign = 0;
    int32_t malignant = 0;
    int32_t falseObjects = 0;
};
CPatternCounts CountPatternWords(std::string_view text);
// " FILE: %s \n false objects = %d \n true objects = %d \n benign = %d \n malignant = %d"
std::string PatternsMessage(const std::string& path, const CPatternCounts& counts);

}  // namespace vistrel
