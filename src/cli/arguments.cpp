#include "cli/arguments.hpp"

#include <charconv>
#include <cstdio>

#include "base/message_format.hpp"

namespace velk::cli {
namespace {

bool listed(const std::vector<std::string_view>& list, std::string_view option) {
  for (const std::string_view o : list) {
    if (o == option) return true;
  }
  return false;
}

// The long spelling of an option.
std::string_view long_name(std::string_view option) { return option == "-o" ? "--output" : option; }

}  // namespace

std::optional<std::string> parse_arguments(std::string_view command,
                                           const std::vector<std::string_view>& args,
                                           const AcceptedOptions& accepted, Arguments& out) {
  bool only_files = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!only_files && arg == "--") {
      only_files = true;
      continue;
    }
    if (!only_files && arg.size() > 1 && arg[0] == '-') {
      if (arg == "-h" || arg == "--help") {
        out.help = true;
        continue;
      }
      std::string_view name = arg;
      std::optional<std::string_view> inline_value;
      if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        inline_value = arg.substr(eq + 1);
      }
      const std::string_view canonical = long_name(name);
      const bool is_flag = listed(accepted.flags, canonical) && !inline_value;
      const bool is_valued = listed(accepted.valued, canonical);
      if (!is_flag && !is_valued) {
        return format_message("unknown option '{}' for 'velk {}' (see 'velk {} --help')", arg, command,
                              command);
      }
      if (out.flags.contains(canonical) || out.values.contains(canonical)) {
        return format_message("option '{}' of 'velk {}' is given twice", name, command);
      }
      if (is_flag) {
        out.flags.emplace(canonical);
        continue;
      }
      std::string value;
      if (inline_value) {
        value = std::string(*inline_value);
      } else if (i + 1 < args.size()) {
        value = std::string(args[++i]);
      } else {
        return format_message("option '{}' of 'velk {}' needs a value", name, command);
      }
      out.values.emplace(std::string(canonical), std::move(value));
      continue;
    }
    if (out.file) return format_message("'velk {}' takes one file, not also '{}'", command, arg);
    if (arg.empty()) return format_message("'velk {}' needs a file name, not an empty one", command);
    out.file = std::string(arg);
  }
  if (!out.help && !out.file)
    return format_message("'velk {}' needs a file (see 'velk {} --help')", command, command);
  return std::nullopt;
}

Result<long> whole_number_option(std::string_view option, const std::string& text, long low, long high) {
  // Digits with an optional minus and nothing else: no blanks, no sign '+',
  // no exponent; a number beyond long is out of range like any other.
  long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
    return std::unexpected(format_message("{} must be a whole number from {} to {}, not '{}'", option, low,
                                          high, one_line(text)));
  }
  return value;
}

Result<MemberLimit> member_limit(const Arguments& args) {
  MemberLimit limit{.max = max_member_count, .option = "--max-members"};
  if (const auto text = args.value("--max-members")) {
    const auto value = whole_number_option("--max-members", *text, 1, static_cast<long>(max_member_limit));
    if (!value) return std::unexpected(value.error());
    limit.max = static_cast<std::size_t>(*value);
  }
  return limit;
}

std::string one_line(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

int fail(std::string_view message) {
  std::fprintf(stderr, "velk: %s\n", one_line(message).c_str());
  return exit_failure;
}

bool write_all(std::FILE* file, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

int print(std::string_view text) {
  if (!write_all(stdout, text) || std::fflush(stdout) != 0) return fail("cannot write to standard output");
  return exit_clean;
}

}  // namespace velk::cli
