#include "workspace/command_line.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "workspace/batch.h"

namespace vistrel {

namespace {

// A positive, finite number written in full; 0 otherwise.
double PositiveNumber(const std::string& text) {
    if (text.empty()) return 0.0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value) || value <= 0.0) return 0.0;
    return value;
}

bool IsExistingFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string UsageText() {
    struct Line {
        char letter;
        const char* arguments;
        const char* text;
    };
    static const Line lines[] = {
        {'c', "FILE", "save FILE again under its own name"},
        {'e', "FILE", "rescale FILE to 8 bits and save it as FILE.pgm"},
        {'f', "FILE", "write a 12-bit copy of FILE with its annotations as NAME.test.pgx"},
        {'s', "N FILE", "breast segmentation and detection with parameter N"},
        {'v', "X N FILE", "evaluation of the detection results with X and N"},
        {'i', "FILE", "FIRE mammogram feature file"},
        {'b', "FILE", "breast segmentation, outline written as NAME.sgt"},
        {'g', "FILE", "tumour detection, regions written to the OVERLAY file"},
        {'w', "-t FILE PARAMS", "wavelet test with the parameter file PARAMS"},
        {'r', "-t FILE PARAMS [R]", "noise removal with PARAMS (results in folder R)"},
        {'z', "-t FILE NAMES...", "parameter-file batch over the extra names"},
        {'t', "", "with -w, -r or -z: the names after the file are extra names"},
        {'k', "", "with -r: the results line goes to wyniki_odszumianie.txt in R"},
    };
    std::string text =
        "Usage: vistrel [FILE...]\n"
        "       vistrel -SWITCH [NUMBERS] FILE [NAMES...]\n"
        "\n"
        "Opens every FILE in its own window; with none, the most recent file.\n"
        "A batch switch runs one routine on one FILE without any window and exits\n"
        "(status 0 done, 1 failed, 2 routine not available).\n"
        "\n"
        "Switches (also written /x or x):\n";
    for (const Line& line : lines) {
        std::string head = std::string("  -") + line.letter + " " + line.arguments;
        head.resize(std::max<std::size_t>(head.size() + 1, 26), ' ');
        text += head + line.text;
        if (line.letter != 't' && line.letter != 'k' && !BatchRoutineAvailable(line.letter))
            text += " (not in this build)";
        text += "\n";
    }
    std::string help = "  -h, --help";
    help.resize(26, ' ');
    text += help + "print this text and exit\n";
    return text;
}

void CVTCommandLineInfo::Parse(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") {
            help_ = true;
            continue;
        }
        const bool dash = arg.size() > 1 && arg[0] == '-';
        const bool slash = arg.size() == 2 && arg[0] == '/';
        if (dash || slash)
            ParseParam(arg.substr(1), true);
        else
            ParseParam(arg, false);
    }
    Resolve();
}

void CVTCommandLineInfo::ParseParam(const std::string& param, bool flag) {
    if (param.size() == 1 && std::strchr(kSwitchLetters, param[0]) != nullptr) {
        if (!Has(param[0])) switches_ += param[0];
        if (param[0] == 's' || param[0] == 'v') numberTarget_ = param[0];
        return;
    }
    if (flag) {
        unknownFlags_.push_back(param);
        return;
    }
    if (const double number = PositiveNumber(param); number > 0.0) {
        if (numberTarget_ == 's' && !sValueSet_) {
            sValue = number;
            sValueSet_ = true;
            return;
        }
        if (numberTarget_ == 'v' && vNumbers_ < 2) {
            if (vNumbers_++ == 0)
                vValue1 = number;
            else
                vValue2 = static_cast<int>(number);
            return;
        }
    }
    names_.push_back(param);
}

bool CVTCommandLineInfo::Has(char letter) const {
    return letter != 0 && switches_.find(letter) != std::string::npos;
}

char CVTCommandLineInfo::BatchSwitch() const {
    for (const char letter : std::string("svibcefgwrz"))
        if (Has(letter)) return letter;
    return 0;
}

void CVTCommandLineInfo::Resolve() {
    fileName_.clear();
    extraNames_.clear();
    if (names_.empty()) return;
    std::size_t document = 0;
    while (document < names_.size() && !IsExistingFile(names_[document])) ++document;
    if (document == names_.size()) document = 0;
    fileName_ = names_[document];
    std::size_t firstExtra = names_.size();
    if (Has('t') && (Has('r') || Has('w')))
        firstExtra = document + 1;
    else if (Has('t') && Has('z'))
        firstExtra = 2;
    for (std::size_t i = firstExtra; i < names_.size(); ++i) extraNames_.push_back(names_[i]);
}

}  // namespace vistrel
