#pragma once
// File dialog filter lists, kept in the "Desc|*.a;*.b|...||" form the menus
// were written with and converted for the toolkit's dialogs.

#include <string>
#include <vector>

namespace vistrel {

struct CFileFilter {
    std::string description;
    std::vector<std::string> patterns;  // "*.bmp", "*.*" ...

    // The extension the filter stands for ("bmp" from "*.bmp"); empty for "*.*"
    // or a filter without a plain "*.ext" pattern.
    std::string Extension() const;
};

// Splits "Desc|*.a;*.b|Desc2|*.c||" into its entries; a trailing description
// without patterns is dropped.
std::vector<CFileFilter> ParseFilterList(const std::string& list);
// "Desc (*.a *.b);;Desc2 (*.c)" for QFileDialog.
std::string ToQtFilterString(const std::vector<CFileFilter>& filters);
// The Qt form of one entry, "Desc (*.a *.b)".
std::string ToQtFilter(const CFileFilter& filter);

// The open dialog's list.
extern const char* const kOpenFilterList;
// Save lists for images of at most 8 bits and for deeper ones.
extern const char* const kSaveFilterList8;
extern const char* const kSaveFilterListDeep;

// What a save format cannot hold.
enum class SaveFormatLoss {
    None,         // keeps everything
    Description,  // keeps the size, drops the description
    SizeAndDescription,
};
SaveFormatLoss SaveFormatLossFor(const std::string& extension);

// path with the extension of its file name replaced by ext (no dot); ext
// appended when the name has none. An empty ext leaves path unchanged.
std::string ReplaceExtension(const std::string& path, const std::string& ext);

}  // namespace vistrel
