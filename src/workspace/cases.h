#pragma once
// Four-view cases (LEFT/RIGHT x CC/MLO images of one examination): the key
// that groups the views, the case information file that gives their pixel
// size, and the list behind the "&Cases" menu.

#include <string>
#include <vector>

namespace vistrel {

// The "&Cases" menu entries get ids from here on; only this many are handled.
inline constexpr int kCaseCommandFirst = 50000;
inline constexpr int kCaseCommandLast = 50100;

// The case key of an image: for a file name containing "_CC" or "_MLO", the
// name up to its first '.', then (when there is a second '.') '.' and
// everything after the second '.'; the view name between the first two dots
// is dropped, so the four views share it. Empty for a name of no case.
std::string CaseKey(const std::string& path);

// The case information file of an image: the path with everything from the
// first '.' of the file name replaced by ".ics" and every '_' of the file
// name replaced by '-'. Empty for an empty path.
std::string CaseInfoPath(const std::string& imagePath);

// The view word of the image's file name ("LEFT_MLO", "LEFT_CC",
// "RIGHT_MLO" or "RIGHT_CC"); empty when it holds none.
std::string CaseViewWord(const std::string& imagePath);

// The resolution in dots per inch that the case information file gives the
// image: 25400 / x for the number x of microns after "RESOLUTION" on the line
// naming the image's view; fallback when the file, the line or a positive
// number is missing.
float ReadCaseResolution(const std::string& imagePath, float fallback);

// The entries of the "&Cases" menu. Entries are only added (never removed
// while the program runs); entry i has the command id kCaseCommandFirst + i.
class CCaseList {
  public:
    // Adds the case key of path unless it is empty or already listed; the
    // index of the new entry, or -1 when nothing was added.
    int AddCase(const std::string& path);
    const std::vector<std::string>& Entries() const { return entries_; }
    // The index of key, or -1.
    int Find(const std::string& key) const;
    // The entry of a menu command id; -1 for an id that no entry or no handler has.
    int IndexOfCommand(int commandId) const;
    static int CommandOf(int index) { return kCaseCommandFirst + index; }
    // "&Next Case": the entry after key's, the first after the last or when
    // key is not listed; -1 for an empty list.
    int Next(const std::string& key) const;
    // "&Previous Case": the entry before key's, the last before the first or
    // when key is not listed; -1 for an empty list.
    int Previous(const std::string& key) const;

  private:
    std::vector<std::string> entries_;
};

}  // namespace vistrel
