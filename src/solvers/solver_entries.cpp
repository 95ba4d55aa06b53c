#include "solvers/solver_entries.hpp"

#include <algorithm>

#include "base/message_format.hpp"
#include "solvers/combinations.hpp"
#include "solvers/linear_solver.hpp"
#include "solvers/second_order_solver.hpp"
#include "solvers/solve_context.hpp"
#include "system/load_assembler.hpp"

namespace velk {
Result<Results> solve_load_case_linear(VELK& model, std::uint32_t load_case_id) {
  SolveContext context(model);
  return solve_load_case_linear(model, load_case_id, context);
}

Result<Results> solve_combination_linear(VELK& model, std::uint32_t combination_id) {
  SolveContext context(model);
  return solve_combination_linear(model, combination_id, context);
}

Result<Results> solve_load_case_linear(VELK& model, std::uint32_t load_case_id, SolveContext& context) {
  if (auto valid = context.validate(); !valid) return std::unexpected(std::move(valid.error()));
  const Eigen::VectorXd f = assemble_load_vector(model, load_case_id);
  const LoadCase* load_case = find_load_case(model, load_case_id);
  if (load_case == nullptr) return std::unexpected(format_message("LoadCase {} not found.", load_case_id));
  const std::string name = load_case->name;
  return active_set_solve(model, context, f, name, ResultType::load_case(load_case_id));
}

Result<Results> solve_combination_linear(VELK& model, std::uint32_t combination_id, SolveContext& context) {
  if (auto valid = context.validate(); !valid) return std::unexpected(std::move(valid.error()));
  auto f = combined_load_vector(model, combination_id);
  if (!f) return std::unexpected(std::move(f.error()));
  std::optional<ActiveMap> seed;
  if (const std::optional<Eigen::VectorXd> start = warm_start(model, combination_id)) {
    seed = initial_activity(model, *start);
  }
  const std::string name = find_combination(model, combination_id)->name;
  return active_set_solve(model, context, *f, name, ResultType::combination(combination_id), std::move(seed));
}

Result<Results> solve_load_case_second_order(VELK& model, std::uint32_t load_case_id,
                                             std::uint32_t max_iterations) {
  SolveContext context(model);
  return solve_load_case_second_order(model, load_case_id, max_iterations, context);
}

Result<Results> solve_combination_second_order(VELK& model, std::uint32_t combination_id,
                                               std::uint32_t max_iterations) {
  SolveContext context(model);
  return solve_combination_second_order(model, combination_id, max_iterations, context);
}

Result<Results> solve_load_case_second_order(VELK& model, std::uint32_t load_case_id,
                                             std::uint32_t max_iterations, SolveContext& context) {
  if (auto valid = context.validate(); !valid) return std::unexpected(std::move(valid.error()));
  const Eigen::VectorXd f = assemble_load_vector(model, load_case_id);
  const LoadCase* load_case = find_load_case(model, load_case_id);
  if (load_case == nullptr) return std::unexpected(format_message("LoadCase {} not found.", load_case_id));
  const std::string name = load_case->name;
  return second_order_solve(model, context, f, name, ResultType::load_case(load_case_id), max_iterations);
}

Result<Results> solve_combination_second_order(VELK& model, std::uint32_t combination_id,
                                               std::uint32_t max_iterations, SolveContext& context) {
  if (auto valid = context.validate(); !valid) return std::unexpected(std::move(valid.error()));
  auto f = combined_load_vector(model, combination_id);
  if (!f) return std::unexpected(std::move(f.error()));
  const std::optional<Eigen::VectorXd> start = warm_start(model, combination_id);
  std::optional<ActiveMap> active;
  if (start) active = initial_activity(model, *start);
  const std::string name = find_combination(model, combination_id)->name;
  return second_order_solve(model, context, *f, name, ResultType::combination(combination_id), max_iterations,
                            start, std::move(active));
}

}  // namespace velk
