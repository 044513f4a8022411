#include "workspace/file_filters.h"

#include "core/text.h"

namespace vistrel {

const char* const kOpenFilterList =
    "All supported Graphic "
    "Files|*.jpg;*.dib;*.rle;*.gif;*.jpeg;*.jfif;*.tif;*.tiff;*.bmp;*.png;*.pgm;*.pgx;*.raw;*."
    "dcm|Bitmap Files|*.bmp;*pgm;*.dib;*.rle|JPEG Files|*.jpg;*.jpeg|GIF - Compuserve "
    "GIF|*.gif|PNG - Portable Network Graphics|*.png|PGX Files|*.pgx|RAW - RAW Image "
    "Data|*.raw|TIF - Tagged Image File Format|*.tif;*.tiff|DICOM Images|*.dcm|All Files "
    "(*.*)|*.*||";

const char* const kSaveFilterList8 =
    "BMP - Windows Bitmap|*.bmp|PGM - Portable Bitmap|*.pgm|GIF - Compuserve GIF|*.gif|PNG - "
    "Portable Network Graphics|*.png|TIF - Tagged Image File Format|*.tif|RAW - Raw Image "
    "Data|*.raw||";

const char* const kSaveFilterListDeep =
    "PGX - Portable Gray Maps (2 bytes/pixel)|*.pgx|RAW - Raw Image Data|*.raw||";

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(
            text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::string CFileFilter::Extension() const {
    if (patterns.empty()) return {};
    const std::string& first = patterns.front();
    if (first.size() < 3 || first.compare(0, 2, "*.") != 0) return {};
    const std::string ext = first.substr(2);
    if (ext.find_first_of("*?") != std::string::npos) return {};
    return ext;
}

std::vector<CFileFilter> ParseFilterList(const std::string& list) {
    std::vector<CFileFilter> filters;
    const std::vector<std::string> parts = Split(list, '|');
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty()) break;  // the "||" end mark
        CFileFilter filter;
        filter.description = parts[i];
        for (const std::string& pattern : Split(parts[i + 1], ';'))
            if (!pattern.empty()) filter.patterns.push_back(pattern);
        if (!filter.patterns.empty()) filters.push_back(std::move(filter));
    }
    return filters;
}

std::string ToQtFilter(const CFileFilter& filter) {
    std::string text = filter.description + " (";
    for (std::size_t i = 0; i < filter.patterns.size(); ++i) {
        if (i) text += ' ';
        text += filter.patterns[i];
    }
    return text + ")";
}

std::string ToQtFilterString(const std::vector<CFileFilter>& filters) {
    std::string text;
    for (std::size_t i = 0; i < filters.size(); ++i) {
        if (i) text += ";;";
        text += ToQtFilter(filters[i]);
    }
    return text;
}

SaveFormatLoss SaveFormatLossFor(const std::string& extension) {
    const std::string ext = ToLower(extension);
    if (ext == "raw") return SaveFormatLoss::SizeAndDescription;
    if (ext == "bmp") return SaveFormatLoss::Description;
    return SaveFormatLoss::None;
}

std::string ReplaceExtension(const std::string& path, const std::string& ext) {
    if (ext.empty()) return path;
    const auto slash = path.find_last_of('/');
    const auto nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = path.find_last_of('.');
    std::string stem = (dot == std::string::npos || dot < nameStart) ? path : path.substr(0, dot);
    return stem + "." + ext;
}

}  // namespace vistrel
