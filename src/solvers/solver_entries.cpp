#include "solvers/solver_entries.hpp"

#include <algorithm>

#include "diagnostics/message_format.hpp"
#include "solvers/combinations.hpp"
#include "solvers/linear_solver.hpp"
#include "system/load_assembler.hpp"

namespace velk {

std::expected<Results, std::string> solve_load_case_linear(VELK& model, std::uint32_t load_case_id) {
  const Eigen::VectorXd f = assemble_load_vector(model, load_case_id);
  const auto load_case = std::find_if(model.load_cases.begin(), model.load_cases.end(),
                                      [&](const LoadCase& c) { return c.id == load_case_id; });
  if (load_case == model.load_cases.end()) {
    return std::unexpected(format_message("LoadCase {} not found.", load_case_id));
  }
  const std::string name = load_case->name;
  return active_set_solve(model, f, name, false, load_case_id);
}

std::expected<Results, std::string> solve_combination_linear(VELK& model, std::uint32_t combination_id) {
  auto f = combined_load_vector(model, combination_id);
  if (!f) return std::unexpected(std::move(f.error()));
  std::optional<ActiveMap> seed;
  if (const std::optional<Eigen::VectorXd> start = warm_start(model, combination_id)) {
    seed = initial_activity(model, *start);
  }
  const std::string name = find_combination(model, combination_id)->name;
  return active_set_solve(model, *f, name, true, combination_id, std::move(seed));
}

// Second-order analysis is not part of this build yet: its entries answer
// with a message instead of a result, so no analysis is ever faked.
namespace {
constexpr const char* kSecondOrderUnavailable = "second-order analysis is not available in this build";
}  // namespace

std::expected<Results, std::string> solve_load_case_second_order(VELK&, std::uint32_t, std::uint32_t) {
  return std::unexpected(kSecondOrderUnavailable);
}

std::expected<Results, std::string> solve_combination_second_order(VELK&, std::uint32_t, std::uint32_t) {
  return std::unexpected(kSecondOrderUnavailable);
}

}  // namespace velk
