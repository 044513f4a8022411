#include "workspace/command_line.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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

void CVTCommandLineInfo::Parse(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
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
