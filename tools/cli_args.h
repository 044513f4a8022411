#pragma once
// Strict command-line parsing for vistrel-cli: every number must be consumed
// completely ("12x", "", " 12" are refused), and every mistake becomes a
// CUsageError that main turns into exit status 2.

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistrel::cli {

// Bad usage: unknown option, missing or malformed argument. Exit status 2.
class CUsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The input cannot be read or the operation gave no result. Exit status 1.
class CFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses a whole decimal integer in [minValue, maxValue]; `what` names the
// argument in the error message.
int64_t ParseInteger(const std::string& text, int64_t minValue, int64_t maxValue,
                     const std::string& what);
// Parses a whole finite decimal number in [minValue, maxValue].
double ParseReal(const std::string& text, double minValue, double maxValue,
                 const std::string& what);
// Index of text among the words of a choice (in the enum's order); a
// CUsageError naming --option and every word otherwise.
template <std::size_t N>
int ChoiceIndex(const char* const (&words)[N], const std::string& text, const char* option) {
    for (std::size_t i = 0; i < N; ++i)
        if (text == words[i]) return static_cast<int>(i);
    std::string list;
    for (std::size_t i = 0; i < N; ++i) list += (i ? ", " : "") + std::string(words[i]);
    throw CUsageError(std::string("--") + option + " must be one of " + list + " (not \"" + text +
                      "\")");
}
// Splits "a,b,c" at commas (empty fields are kept so that they can be refused).
std::vector<std::string> SplitCommas(const std::string& text);

// Options of one subcommand: which names exist and which of them take a value.
struct COptionSpec {
    std::string name;  // without the leading "--"
    bool takesValue = true;
};

// The parsed command line of a subcommand. Options may stand before, between
// or after the positional arguments, as "--name value" or "--name=value"; "--"
// ends the options. A repeated option is refused rather than silently
// overriding the first one.
class CParsedArgs {
  public:
    CParsedArgs(const std::vector<std::string>& args, const std::vector<COptionSpec>& specs);

    bool HelpRequested() const { return help_; }
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
    const std::vector<std::string>& Positionals() const { return positionals_; }
    // Refuses any count of positional arguments other than `count`; `usage`
    // is the synopsis quoted in the message.
    void RequirePositionals(std::size_t count, const std::string& usage) const;

  private:
    bool help_ = false;
    std::map<std::string, std::string> values_;
    std::vector<std::string> positionals_;
};

}  // namespace vistrel::cli
