#pragma once
// The arguments of one `velk` command: its options with their values, its
// flags and its one file; and the one-line messages of options that are
// unknown, given twice, without a value or out of range.

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "system/model_validation.hpp"

namespace velk::cli {

inline constexpr int exit_clean = 0;
inline constexpr int exit_findings = 1;
inline constexpr int exit_failure = 2;

struct Arguments {
  std::optional<std::string> file;
  std::map<std::string, std::string, std::less<>> values;  // by the option's long spelling
  std::set<std::string, std::less<>> flags;
  bool help = false;

  bool flag(std::string_view name) const { return flags.contains(name); }
  std::optional<std::string> value(std::string_view name) const {
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  }
};

// Options a command accepts, by their long spelling; "-o" is "--output".
struct AcceptedOptions {
  std::vector<std::string_view> flags;   // no value
  std::vector<std::string_view> valued;  // take a value, as the next argument or after '='
};

// Fills `out` from the arguments after the command name, or returns the
// message of the first one that is wrong.
std::optional<std::string> parse_arguments(std::string_view command,
                                           const std::vector<std::string_view>& args,
                                           const AcceptedOptions& accepted, Arguments& out);

// The whole number `text` of `option` when it lies in [low, high], else
// "<option> must be a whole number from <low> to <high>, not '<text>'".
Result<long> whole_number_option(std::string_view option, const std::string& text, long low, long high);

// The member limit of every command: --max-members N, from 1 to
// max_member_limit (default max_member_count), named in the message of a
// model beyond it.
Result<MemberLimit> member_limit(const Arguments& args);

// One line, whatever the message holds.
std::string one_line(std::string_view text);

// "velk: <message>" on standard error; returns exit_failure.
int fail(std::string_view message);

// Writes to standard output; a failure to write is a failure of the command.
bool write_all(std::FILE* file, std::string_view text);
int print(std::string_view text);

// A command of `velk`: its name, options, help text and what it runs.
struct Command {
  std::string_view name;
  AcceptedOptions options;
  const char* help;
  int (*run)(const Arguments&);
};

}  // namespace velk::cli
