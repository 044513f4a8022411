#pragma once
// The workstation's command line: one file to open, single-letter switches
// that select a one-shot batch routine, the numbers some of them take and
// extra file names for the parameter-file batches.

#include <string>
#include <vector>

namespace vistrel {

// Every switch letter the command line knows.
inline constexpr const char* kSwitchLetters = "sfwcrztkiebgv";

// What "vistrel --help" prints: the file arguments and one line per switch.
std::string UsageText();

class CVTCommandLineInfo {
  public:
    // Parses the arguments after the program name. A leading '-' marks a
    // switch, as does a leading '/' on a two-character argument (longer ones
    // are paths).
    void Parse(const std::vector<std::string>& args);
    // One parameter with its prefix removed; flag tells whether it had one.
    // A one-character parameter that is a switch letter sets that switch; a
    // positive number after "s" is the s-value, after "v" the first is
    // v-value 1 and the second v-value 2; other non-flag parameters are names.
    void ParseParam(const std::string& param, bool flag);

    bool Has(char letter) const;
    // The batch routine the switches ask for ('s', 'v', 'i', 'b', 'c', 'e',
    // 'f', 'g', 'w', 'r' or 'z', the first of these that is set), or 0.
    char BatchSwitch() const;

    // The document to open: the first name that is an existing file, else
    // the first name (so that opening it fails and says so); empty for none.
    const std::string& FileName() const { return fileName_; }
    // Every name, in order: the documents to open when no batch switch is given
    // (a batch routine works on FileName() alone).
    const std::vector<std::string>& FileNames() const { return names_; }
    // "-h" or "--help" was given: print UsageText() and start nothing.
    bool HelpRequested() const { return help_; }
    // Names after the document that "t" with "r" or "w" keeps, or after the
    // second name that "t" with "z" keeps.
    const std::vector<std::string>& ExtraNames() const { return extraNames_; }
    // Flags that are not switch letters (reported, otherwise ignored).
    const std::vector<std::string>& UnknownFlags() const { return unknownFlags_; }

    double sValue = 0.0;
    double vValue1 = 0.0;
    int vValue2 = 0;

  private:
    // Settles the document and the extra names once every parameter is known.
    void Resolve();

    std::string switches_;
    char numberTarget_ = 0;  // the last switch that takes numbers
    bool sValueSet_ = false;
    bool help_ = false;
    int vNumbers_ = 0;
    std::vector<std::string> names_;
    std::string fileName_;
    std::vector<std::string> extraNames_;
    std::vector<std::string> unknownFlags_;
};

}  // namespace vistrel
