// Feeds arbitrary bytes to the learning-pattern reader and checks what
// training relies on: a refused text leaves no patterns and says why, an
// accepted one gives every pattern one finite value per feature column and
// a known diagnosis, and the word counts never fall short of the patterns.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "classification/learning_patterns.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vistrel::CLearningPatterns patterns;
    std::string error;
    const bool ok = vistrel::ParseLearningPatterns(text, patterns, &error);
    const vistrel::CPatternCounts counts = vistrel::CountPatternWords(text);
    if (counts.benign < 0 || counts.malignant < 0 || counts.falseObjects < 0) std::abort();
    if (!ok) {
        if (error.empty() || !patterns.patterns.empty() || !patterns.names.empty()) std::abort();
        return 0;
    }
    if (patterns.names.empty() || patterns.skippedLines < 0) std::abort();
    for (const vistrel::CLearningPattern& p : patterns.patterns) {
        if (p.values.size() != patterns.names.size()) std::abort();
        for (const double v : p.values)
            if (!std::isfinite(v)) std::abort();
        if (p.diagnosis < vistrel::kPatternBenign || p.diagnosis > vistrel::kPatternFalse)
            std::abort();
    }
    // A pattern's line holds its word, so the counts over whole lines see at
    // least as many lines with some word as there are patterns.
    const int64_t words = int64_t(counts.benign) + counts.malignant + counts.falseObjects;
    if (words < int64_t(patterns.patterns.size())) std::abort();
    return 0;
}
