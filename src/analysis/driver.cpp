#include "analysis/driver.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/log.hpp"
#include "document/document_io.hpp"
#include "document/units.hpp"

namespace velk {
namespace {

constexpr std::string_view log_target = log::analysis_target;

std::string os_error_text(int error) {
  char buffer[256];
  // The GNU variant returns the text, which may or may not live in `buffer`.
  return std::string(strerror_r(error, buffer, sizeof buffer));
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  while (p != end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) < length) return false;
    if (p[1] < low || p[1] > high) return false;
    for (std::size_t i = 2; i < length; ++i) {
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    }
    p += length;
  }
  return true;
}

std::string_view order_name(AnalysisOrder order) {
  return order == AnalysisOrder::Nonlinear ? "Nonlinear" : "Linear";
}

std::string_view rigid_strategy_name(RigidStrategy strategy) {
  return strategy == RigidStrategy::RigidMember ? "RigidMember" : "LinearMpc";
}

// Back-converts the records computed by this analysis; records carried in
// from the document are in its units already and stay exactly as read.
void convert_new_results(std::map<std::string, Results>& results, const UnitFactors& factors) {
  for (auto& [name, record] : results) {
    if (!record.computed_in_base_units) continue;
    results_to_document_units(record, factors);
    record.computed_in_base_units = false;
  }
}

}  // namespace

Result<std::string> read_text_file(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    return std::unexpected("file name contained an unexpected NUL byte");
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::unexpected(os_error_text(errno));

  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return std::unexpected(os_error_text(error));
    }
    text.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(fd);

  if (!is_valid_utf8(text)) return std::unexpected("stream did not contain valid UTF-8");
  return text;
}

Result<std::string> analyse_document(std::string_view json_data, const SolverEntries& entries) {
  auto parsed = read_velk(json_data);
  if (!parsed) return std::unexpected(format_message("Bad JSON input: {}", parsed.error()));
  VELK& model = *parsed;

  std::size_t member_count = 0;
  for (const MemberSet& set : model.member_sets) member_count += set.members.size();
  if (member_count > max_member_count) {
    return std::unexpected(format_message("Number of members ({}) exceeds allowed maximum of {}",
                                          member_count, max_member_count));
  }

  const UnitFactors factors = unit_factors(model.settings.unit_settings);
  normalize_units(model, factors);

  const AnalysisOptions& options = model.settings.analysis_options;
  const bool nonlinear = options.order == AnalysisOrder::Nonlinear;
  const std::uint32_t iteration_limit = options.iteration_limit();
  const double tolerance = options.tolerance;
  const bool solve_loadcases = options.solve_loadcases;

  log::info(log_target,
            "Analysis configuration → order={}, rigid_strategy={}, solve_loadcases={}, max_iterations={}, "
            "tolerance={}",
            order_name(options.order), rigid_strategy_name(options.rigid_strategy), solve_loadcases,
            iteration_limit, tolerance);
  log::info(log_target,
            "Model summary → member_sets={}, members_total={}, load_cases={}, load_combinations={}",
            model.member_sets.size(), member_count, model.load_cases.size(), model.load_combinations.size());

  std::vector<std::uint32_t> load_case_ids;
  load_case_ids.reserve(model.load_cases.size());
  for (const LoadCase& load_case : model.load_cases) load_case_ids.push_back(load_case.id);
  std::vector<std::uint32_t> combination_ids;
  combination_ids.reserve(model.load_combinations.size());
  for (const LoadCombination& combination : model.load_combinations)
    combination_ids.push_back(combination.id);

  // Shared by the solves: nothing but their results changes in the model now.
  SolveContext context(model);
  if (solve_loadcases) {
    for (const std::uint32_t id : load_case_ids) {
      if (nonlinear) {
        log::info(log_target,
                  "Solving load case {} with second-order (Newton–Raphson), tolerance={}, max_iterations={}",
                  id, tolerance, iteration_limit);
        const auto solved = entries.load_case_second_order(model, id, iteration_limit, context);
        if (!solved)
          return std::unexpected(format_message("LC {} second-order error: {}", id, solved.error()));
      } else {
        log::info(log_target, "Solving load case {} with first-order (linear).", id);
        const auto solved = entries.load_case_linear(model, id, context);
        if (!solved) return std::unexpected(format_message("LC {} linear error: {}", id, solved.error()));
      }
    }
  }

  for (const std::uint32_t id : combination_ids) {
    if (nonlinear) {
      log::info(
          log_target,
          "Solving load combination {} with second-order (Newton–Raphson), tolerance={}, max_iterations={}",
          id, tolerance, iteration_limit);
      const auto solved = entries.combination_second_order(model, id, iteration_limit, context);
      if (!solved)
        return std::unexpected(format_message("Combo {} second-order error: {}", id, solved.error()));
    } else {
      log::info(log_target, "Solving load combination {} with first-order (linear).", id);
      const auto solved = entries.combination_linear(model, id, context);
      if (!solved) return std::unexpected(format_message("Combo {} linear error: {}", id, solved.error()));
    }
  }

  if (model.results) {
    convert_new_results(model.results->loadcases, factors);
    convert_new_results(model.results->loadcombinations, factors);
  }

  return write_velk(model);
}

Result<std::string> calculate_from_json(std::string_view json_data) {
  return analyse_document(json_data, SolverEntries{});
}

Result<std::string> calculate_from_file(const std::string& path) {
  auto text = read_text_file(path);
  if (!text) return std::unexpected(format_message("Failed to read JSON file '{}': {}", path, text.error()));
  return calculate_from_json(*text);
}

Result<std::string> load_velk_from_file(const std::string& path) {
  auto text = read_text_file(path);
  if (!text) return std::unexpected(std::move(text.error()));
  auto model = read_velk(*text);
  if (!model) return std::unexpected(std::move(model.error()));
  return write_velk(*model);
}

}  // namespace velk
