#include "regions/feature_file.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#include "core/atomic_file.h"

namespace vistrel {

namespace {

// A tab or line break inside a field would shift every later column of the
// row (an image path may hold either): they become blanks.
std::string FieldText(const std::string& text) {
    std::string field = text;
    for (char& c : field)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return field;
}

std::string FormatValue(const std::string& name, double value) {
    char buffer[512];
    const char* format = name.find("Invariant_Moment") != std::string::npos ? "%.8e" : "%.12f";
    const int n = std::snprintf(buffer, sizeof buffer, format, value);
    if (n >= 0 && static_cast<size_t>(n) < sizeof buffer) return buffer;
    // Only a value near the double range needs more than the buffer in "%.12f".
    std::string wide(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(wide.data(), wide.size(), format, value);
    wide.resize(static_cast<size_t>(n));
    return wide;
}

bool WriteAll(std::FILE* file, const std::string& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

bool FileExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// Counts print as integers ("clusters 3"), anything else in "%f".
std::string CountText(double value) {
    char buffer[512];
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
    else
        std::snprintf(buffer, sizeof buffer, "%f", value);
    return buffer;
}

std::string Printable(const std::string& text) {
    std::string shown;
    for (char c : text.substr(0, 80)) shown += (c >= 0x20 && c < 0x7f) ? c : '?';
    return text.size() > 80 ? shown + "..." : shown;
}

}  // namespace

std::string DiagnosisWord(int16_t diagnosis, bool cluster) {
    const char* word = diagnosis == 0 ? "BENIGN" : diagnosis == 1 ? "MALIGNANT" : "FALSE";
    return cluster ? std::string("CLUSTER ") + word : std::string(word);
}

CFeatureVector WithLeadingColumn(const CFeatureVector& f) {
    CFeatureVector row;
    row.names.reserve(f.names.size() + 1);
    row.values.reserve(f.values.size() + 1);
    row.Add("_", 0.0);
    row.Append(f);
    return row;
}

CFeatureVector WithSuffix(const CFeatureVector& f, const std::string& suffix) {
    CFeatureVector row = f;
    for (std::string& name : row.names) name += suffix;
    return row;
}

std::string FeatureHeaderLine(const CFeatureVector& features) {
    std::string line = std::string("filename") + kFeatureSeparator + "diagnosis" +
                       kFeatureSeparator + "region type" + kFeatureSeparator;
    for (const std::string& name : features.names) line += FieldText(name) + kFeatureSeparator;
    line += '\n';
    return line;
}

std::string FeatureDataLine(const std::string& imagePath, const std::string& diagnosisWord,
                            const std::string& regionType, const CFeatureVector& features) {
    std::string line = FieldText(imagePath) + kFeatureSeparator + FieldText(diagnosisWord) +
                       kFeatureSeparator + FieldText(regionType) + kFeatureSeparator;
    for (size_t i = 0; i < features.values.size(); ++i) {
        const std::string& name = i < features.names.size() ? features.names[i] : std::string();
        line += FormatValue(name, features.values[i]) + kFeatureSeparator;
    }
    line += '\n';
    return line;
}

bool AppendFeatureRows(const std::string& path, const std::string& imagePath,
                       const std::vector<CFeatureRow>& rows, std::string* error) {
    auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    if (path.empty()) return fail("no feature file name");
    std::string added;
    const CFeatureVector* first = nullptr;
    for (const CFeatureRow& row : rows) {
        if (!row.features.IsConsistent()) continue;
        if (!first) first = &row.features;
        added += FeatureDataLine(imagePath, row.diagnosisWord, row.regionType, row.features);
    }
    if (!first)
        return fail(rows.empty() ? "no rows to write" : "no row has as many values as names");

    std::string old;
    if (FileExists(path) && !ReadWholeFile(path, old))
        return fail("cannot read the feature file " + path + ": " + std::strerror(errno));
    if (old.empty()) {
        added = FeatureHeaderLine(*first) + added;
    } else if (old.back() != '\n') {
        // A file cut short must not run its last line into the first new one.
        old += '\n';
    }
    errno = 0;
    const bool written = WriteFileAtomically(
        path, [&](std::FILE* file) { return WriteAll(file, old) && WriteAll(file, added); });
    if (!written) {
        const int saved = errno;
        return fail("cannot write the feature file " + path +
                    (saved ? std::string(": ") + std::strerror(saved) : std::string()));
    }
    if (error) error->clear();
    return true;
}

bool ReadFeatureSelectionText(const std::string& text, CFeatureSelection& selection,
                              std::string* error) {
    auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    constexpr size_t kLongestLine = 1000;
    std::vector<std::string> names;
    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.size() > kLongestLine)
            return fail("line " + std::to_string(lineNumber) + " is longer than " +
                        std::to_string(kLongestLine) + " characters");
        for (const char c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r') || c == 0x7f)
                return fail("line " + std::to_string(lineNumber) +
                            " holds a control character: not a list of feature names");
        const size_t a = line.find_first_not_of(" \t\r");
        if (a == std::string::npos || line[a] == '#') continue;
        const size_t b = line.find_last_not_of(" \t\r");
        names.push_back(line.substr(a, b - a + 1));
    }

    if (names.size() == 1 && names[0] == "all") {
        selection.SetAll(true);
        if (error) error->clear();
        return true;
    }
    std::set<std::string, std::less<>> known;
    for (const CFeatureSelection::Entry& e : selection.Entries()) known.insert(e.name);
    for (const std::string& name : names)
        if (!known.count(name)) return fail("unknown feature name \"" + Printable(name) + "\"");
    const std::set<std::string, std::less<>> wanted(names.begin(), names.end());
    for (CFeatureSelection::Entry& e : selection.Entries()) e.on = wanted.count(e.name) ? 1 : 0;
    if (error) error->clear();
    return true;
}

bool CFIREFeatureWriter::WriteVectorFeature(const std::string& path,
                                            const std::vector<double>& values) {
    std::string text = "FIRE_vectorfeature\ndim " + std::to_string(values.size()) + " \ndata ";
    char buffer[512];
    for (size_t i = 0; i < values.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i + 1 < values.size() ? "%f " : "%f", values[i]);
        text += buffer;
    }
    return WriteFileAtomically(path, [&](std::FILE* file) { return WriteAll(file, text); });
}

bool CFIREFeatureWriter::WriteMammoFeature(const std::string& path,
                                           const std::vector<double>& values, bool compressed) {
    if (values.size() < 2) return false;
    const std::string text = "FIRE_mammofeature\nclusters " + CountText(values.back()) +
                             "\nregions " + CountText(values[0]) + "\narea " +
                             CountText(values[1]) + "\n";
    if (!compressed)
        return WriteFileAtomically(path, [&](std::FILE* file) { return WriteAll(file, text); });
    return WriteFileAtomically(path, [&](std::FILE* file) {
        // The gzip stream goes through its own descriptor onto the temporary
        // file, so that the file is still checked and renamed only when whole.
        const int fd = dup(fileno(file));
        if (fd < 0) return false;
        gzFile gz = gzdopen(fd, "wb");
        if (!gz) {
            close(fd);
            return false;
        }
        const bool ok = gzwrite(gz, text.data(), static_cast<unsigned>(text.size())) ==
                        static_cast<int>(text.size());
        return gzclose(gz) == Z_OK && ok;
    });
}

// The whole image name is kept, so that images differing only in their
// extension get files of their own.
std::string FireVectorPath(const std::string& imagePath) {
    return imagePath + ".vector";
}
std::string FireMammoPath(const std::string& imagePath) {
    return imagePath + ".mammo.gz";
}

}  // namespace vistrel
