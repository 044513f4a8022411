#include "classification/learning_patterns.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/atomic_file.h"

namespace vistrel {

namespace {

constexpr char kSeparator = '\t';
constexpr size_t kLeadingFields = 3;  // filename, diagnosis, region type

// Walks the text line by line without copying; a "\r" before the "\n" is
// not part of the line.
class CLineCursor {
  public:
    explicit CLineCursor(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    int Number() const { return number_; }

  private:
    std::string_view text_;
    size_t pos_ = 0;
    int number_ = 0;
};

void SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find(kSeparator, start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            break;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    // Every field the writer puts down is followed by a tab, so the last
    // field of a well-formed line is the empty one after it.
    if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
}

std::string_view Trimmed(std::string_view s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    const size_t b = s.find_last_not_of(' ');
    return s.substr(a, b - a + 1);
}

bool ParseValue(std::string_view field, double& value) {
    field = Trimmed(field);
    if (field.empty()) return false;
    // from_chars takes no leading '+' and is independent of the locale, so
    // a file reads the same whatever the user's decimal separator is.
    if (field.front() == '+') field.remove_prefix(1);
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

std::string Shown(std::string_view text) {
    std::string shown;
    for (const char c : text.substr(0, 40)) shown += (c >= 0x20 && c < 0x7f) ? c : '?';
    return text.size() > 40 ? shown + "..." : shown;
}

// The code of the first of the three words found, -1 for none.
int DiagnosisOf(std::string_view text) {
    if (text.find("BENIGN") != std::string_view::npos) return kPatternBenign;
    if (text.find("MALIGNANT") != std::string_view::npos) return kPatternMalignant;
    if (text.find("FALSE") != std::string_view::npos) return kPatternFalse;
    return -1;
}

}  // namespace

bool ParseLearningPatterns(std::string_view text, CLearningPatterns& out, std::string* error) {
    out = CLearningPatterns{};
    auto fail = [&](int line, const std::string& reason) {
        if (error) *error = (line > 0 ? "line " + std::to_string(line) + ": " : "") + reason;
        out = CLearningPatterns{};
        return false;
    };
    if (text.find('\0') != std::string_view::npos)
        return fail(0, "binary data: not a feature file");

    CLineCursor cursor(text);
    std::string_view line;
    std::vector<std::string_view> fields;
    bool haveHeader = false;
    while (cursor.Next(line)) {
        if (line.empty()) continue;
        SplitFields(line, fields);
        haveHeader = true;
        if (fields[0] != "filename")
            return fail(cursor.Number(),
                        "the header does not start with \"filename\": not a feature file");
        if (fields.size() <= kLeadingFields)
            return fail(cursor.Number(), "the header names no features");
        for (size_t i = kLeadingFields; i < fields.size(); ++i) out.names.emplace_back(fields[i]);
        break;
    }
    if (!haveHeader) return fail(0, "no header line: not a feature file");

    const size_t n = out.names.size();
    while (cursor.Next(line)) {
        if (line.empty()) continue;
        SplitFields(line, fields);
        const int diagnosis = fields.size() > 1 ? DiagnosisOf(fields[1]) : -1;
        if (diagnosis < 0) {
            ++out.skippedLines;
            continue;
        }
        const size_t values = fields.size() > kLeadingFields ? fields.size() - kLeadingFields : 0;
        if (values != n)
            return fail(cursor.Number(), std::to_string(values) +
                                             " values where the header names " + std::to_string(n) +
                                             " features");
        CLearningPattern pattern;
        pattern.firstField = std::string(fields[0]);
        pattern.secondField = std::string(fields[1]);
        pattern.diagnosis = diagnosis;
        pattern.values.resize(n);
        for (size_t i = 0; i < n; ++i)
            if (!ParseValue(fields[kLeadingFields + i], pattern.values[i]))
                return fail(cursor.Number(), "value \"" + Shown(fields[kLeadingFields + i]) +
                                                 "\" of " + Shown(out.names[i]) +
                                                 " is not a finite number");
        out.patterns.push_back(std::move(pattern));
    }
    if (error) error->clear();
    return true;
}

bool ReadLearningPatterns(const std::string& path, CLearningPatterns& out, std::string* error) {
    std::string text;
    errno = 0;
    if (!ReadWholeFile(path, text)) {
        const int saved = errno;
        out = CLearningPatterns{};
        if (error)
            *error = "cannot open the pattern file " + path +
                     (saved ? std::string(": ") + std::strerror(saved) : std::string());
        return false;
    }
    if (!ParseLearningPatterns(text, out, error)) {
        if (error) *error = path + ": " + *error;
        return false;
    }
    return true;
}

CPatternCounts CountPatternWords(std::string_view text) {
    CPatternCounts counts;
    CLineCursor cursor(text);
    std::string_view line;
    while (cursor.Next(line)) {
        switch (DiagnosisOf(line)) {
            case kPatternBenign:
                ++counts.benign;
                break;
            case kPatternMalignant:
                ++counts.malignant;
                break;
            case kPatternFalse:
                ++counts.falseObjects;
                break;
            default:
                break;
        }
    }
    return counts;
}

std::string PatternsMessage(const std::string& path, const CPatternCounts& counts) {
    return " FILE: " + path + " \n false objects = " + std::to_string(counts.falseObjects) +
           " \n true objects = " + std::to_string(counts.benign + counts.malignant) +
           " \n benign = " + std::to_string(counts.benign) +
           " \n malignant = " + std::to_string(counts.malignant);
}

}  // namespace vistrel
