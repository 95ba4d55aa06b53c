#pragma once
// Second-order solution of a load case or combination: the reduced system
// assembled with the geometric stiffness of its own displacements, solved in
// equal load steps by a damped Newton iteration with a backtracking line
// search, nested in the active-set passes of tension-only and
// compression-only members. A failing step starts the stepping over with
// twice as many steps, up to sixteen times the initial count.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "results/results.hpp"
#include "system/active_set.hpp"

namespace velk {

// What one solve went through, for callers that want to know.
struct SecondOrderTrace {
  bool predictor_ran = false;                // the first-order start was computed
  std::uint32_t load_steps = 0;              // steps of the stepping that completed
  std::uint32_t refinements = 0;             // times the step count was doubled
  std::uint32_t newton_iterations = 0;       // over all steps, passes and restarts
  std::uint32_t tangent_factorizations = 0;  // damped tangents included
  bool finalized_first_order = false;        // the finalization pass replaced u
};

class SolveContext;

// Solves K_r(u) q = F_r for the load vector f and stores the results of the
// case in the model's bundle. Without a warm start u0 the stepping starts
// from a first-order solution of the whole load; `initial_active` (from the
// warm start) replaces the all-active map. The constraint transformation,
// the reduced pattern and the first-order factorisations are the context's.
Result<Results> second_order_solve(VELK& model, SolveContext& context, const Eigen::VectorXd& f,
                                   const std::string& name, ResultType identity,
                                   std::uint32_t iteration_limit,
                                   const std::optional<Eigen::VectorXd>& u0 = std::nullopt,
                                   std::optional<ActiveMap> initial_active = std::nullopt,
                                   SecondOrderTrace* trace = nullptr);

}  // namespace velk
