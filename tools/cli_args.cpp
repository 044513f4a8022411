#include "cli_args.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace vistrel::cli {

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

int64_t ParseInteger(const std::string& text, int64_t minValue, int64_t maxValue,
                     const std::string& what) {
    int64_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    // from_chars takes no '+' sign and no white space, which is the strictness we want.
    auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last)
        throw CUsageError(what + ": " + Quoted(text) + " is not an integer");
    if (value < minValue || value > maxValue)
        throw CUsageError(what + ": " + text + " is outside " + std::to_string(minValue) + ".." +
                          std::to_string(maxValue));
    return value;
}

double ParseReal(const std::string& text, double minValue, double maxValue,
                 const std::string& what) {
    double value = 0.0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (text.empty() || error != std::errc() || end != last || !std::isfinite(value))
        throw CUsageError(what + ": " + Quoted(text) + " is not a number");
    if (value < minValue || value > maxValue) {
        char range[96];
        std::snprintf(range, sizeof range, "%g..%g", minValue, maxValue);
        throw CUsageError(what + ": " + text + " is outside " + range);
    }
    return value;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

CParsedArgs::CParsedArgs(const std::vector<std::string>& args,
                         const std::vector<COptionSpec>& specs) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positionals_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            help_ = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) throw CUsageError("unknown option " + Quoted(arg));
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const COptionSpec* spec = nullptr;
        for (const COptionSpec& candidate : specs)
            if (candidate.name == name) spec = &candidate;
        if (!spec) throw CUsageError("unknown option " + Quoted("--" + name));
        if (values_.count(name)) throw CUsageError("option --" + name + " is given twice");
        if (!spec->takesValue) {
            if (inlineValue) throw CUsageError("option --" + name + " takes no value");
            values_[name] = "";
            continue;
        }
        if (inlineValue) {
            values_[name] = *inlineValue;
        } else {
            // The value is the next word even when it starts with '-', so that
            // "--brightness -20" works.
            if (i + 1 >= args.size()) throw CUsageError("option --" + name + " needs a value");
            values_[name] = args[++i];
        }
    }
}

std::optional<std::string> CParsedArgs::Value(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void CParsedArgs::RequirePositionals(std::size_t count, const std::string& usage) const {
    if (positionals_.size() < count) throw CUsageError("missing argument; usage: " + usage);
    if (positionals_.size() > count)
        throw CUsageError("unexpected argument " + Quoted(positionals_[count]) +
                          "; usage: " + usage);
}

}  // namespace vistrel::cli
