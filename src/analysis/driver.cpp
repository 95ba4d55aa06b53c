#include "analysis/driver.hpp"

#include <vector>

#include "base/log.hpp"
#include "document/document_io.hpp"
#include "document/units.hpp"
#include "system/model_validation.hpp"

namespace velk {
namespace {

constexpr std::string_view log_target = log::analysis_target;

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

// The solver's message of a case, wrapped with the case and the order.
Result<void> case_error(ResultType identity, bool nonlinear, const std::string& message) {
  if (identity.is_combination()) {
    if (nonlinear)
      return std::unexpected(format_message("Combo {} second-order error: {}", identity.id, message));
    return std::unexpected(format_message("Combo {} linear error: {}", identity.id, message));
  }
  if (nonlinear) return std::unexpected(format_message("LC {} second-order error: {}", identity.id, message));
  return std::unexpected(format_message("LC {} linear error: {}", identity.id, message));
}

}  // namespace

Result<void> analyse_model(VELK& model, const SolverEntries& entries) {
  return analyse_model(model, entries, MemberLimit{});
}

Result<void> analyse_model(VELK& model, const SolverEntries& entries, const MemberLimit& limit) {
  if (auto counted = check_member_count(model, limit); !counted) return counted;

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
  log::info(
      log_target, "Model summary → member_sets={}, members_total={}, load_cases={}, load_combinations={}",
      model.member_sets.size(), member_count(model), model.load_cases.size(), model.load_combinations.size());

  // The load cases (when they are to be solved) and then the combinations,
  // in document order.
  std::vector<ResultType> to_solve;
  to_solve.reserve(model.load_cases.size() + model.load_combinations.size());
  if (solve_loadcases) {
    for (const LoadCase& load_case : model.load_cases)
      to_solve.push_back(ResultType::load_case(load_case.id));
  }
  for (const LoadCombination& combination : model.load_combinations)
    to_solve.push_back(ResultType::combination(combination.id));

  // Shared by the solves: nothing but their results changes in the model now.
  SolveContext context(model);
  for (const ResultType identity : to_solve) {
    const bool combination = identity.is_combination();
    const std::string_view kind = combination ? "load combination" : "load case";
    Result<Results> solved;
    if (nonlinear) {
      log::info(log_target,
                "Solving {} {} with second-order (Newton–Raphson), tolerance={}, max_iterations={}", kind,
                identity.id, tolerance, iteration_limit);
      const auto& entry = combination ? entries.combination_second_order : entries.load_case_second_order;
      solved = entry(model, identity.id, iteration_limit, context);
    } else {
      log::info(log_target, "Solving {} {} with first-order (linear).", kind, identity.id);
      const auto& entry = combination ? entries.combination_linear : entries.load_case_linear;
      solved = entry(model, identity.id, context);
    }
    if (!solved) return case_error(identity, nonlinear, solved.error());
  }

  if (model.results) {
    convert_new_results(model.results->loadcases, factors);
    convert_new_results(model.results->loadcombinations, factors);
  }
  return {};
}

Result<void> analyse_model(VELK& model) { return analyse_model(model, SolverEntries{}); }

Result<std::string> analyse_document(std::string_view json_data, const SolverEntries& entries) {
  return analyse_document(json_data, entries, MemberLimit{});
}

Result<std::string> analyse_document(std::string_view json_data, const SolverEntries& entries,
                                     const MemberLimit& limit) {
  auto parsed = read_velk(json_data);
  if (!parsed) return std::unexpected(format_message("Bad JSON input: {}", parsed.error()));
  if (auto analysed = analyse_model(*parsed, entries, limit); !analysed)
    return std::unexpected(std::move(analysed.error()));
  return write_velk(*parsed);
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
