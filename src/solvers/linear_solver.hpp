#pragma once
// First-order solution of a load case or combination: the active-set
// iteration that switches tension-only and compression-only members off and
// on by their axial force, followed by the reactivation and finalization
// passes. The second-order solver starts from the same iteration under its
// own rules and ends with the same finalization pass.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "solvers/solve_context.hpp"
#include "solvers/solve_failure.hpp"
#include "system/active_set.hpp"
#include "system/constraints.hpp"

namespace velk {

// Every Tension and Compression member of the model, active.
ActiveMap initial_active_map(const VELK& model);

// The decision step: switches Tension members off below -tol and
// Compression members off above +tol; with reactivation allowed, switches
// them back on beyond the buffer 10 tol on the other side. Emits an
// ActiveDecision event per change and an ActiveMapSummary event. True when
// anything changed.
bool decide_active_set(const VELK& model, const LookupTables& tables, const Eigen::VectorXd& u,
                       ActiveMap& active, double tol, bool allow_reactivation);

// The finalization pass: switches off every active Tension member below
// -axial_slack and Compression member above +axial_slack. True when anything
// changed.
bool finalize_active_set(const VELK& model, const LookupTables& tables, const Eigen::VectorXd& u,
                         ActiveMap& active);

// Where the active-set iterations of first-order solves differ: the
// first-order analysis of a load case or combination, and the first-order
// start of a second-order solve.
struct ActiveSetRules {
  // Whether the iteration's decision steps may switch members back on.
  bool reactivate = true;
  // When a pass switched nothing but the displacements still moved by more
  // than the tolerances: false runs only the decision step of the next pass
  // (its solve would meet the same matrix again and find the same u, so the
  // iteration converges), true runs the whole next pass, solve included.
  bool repeat_unchanged_solve = false;
  // Whether the converged iteration is followed by a decision step that may
  // switch members back on, and a solve when it does.
  bool reactivation_pass = true;
};

// The active-set iteration of first-order solves of the load vector f from
// the map `active`, by `rules`: the iteration, the reactivation pass when the
// rules ask for it, and the finalization pass. Leaves the final map in
// `active` and the full displacements in u. The solves are the context's; a
// failure says in which stage it met, and IterationLimit when the iteration
// did not settle within the options' iteration limit.
SolveResult<void> iterate_active_set(const VELK& model, const LookupTables& tables, SolveContext& context,
                                     const Eigen::VectorXd& f, const ActiveSetRules& rules, ActiveMap& active,
                                     Eigen::VectorXd& u);

// The finalization pass: finalize_active_set, then, when it switched any
// member off, the first-order displacements of f with the new map into u; a
// failure is of the Finalization stage. True when it solved.
SolveResult<bool> finalization_pass(const VELK& model, const LookupTables& tables, SolveContext& context,
                                    const Eigen::VectorXd& f, ActiveMap& active, Eigen::VectorXd& u);

// The active-set iteration for the load vector f of the load case or
// combination `identity`, ending in the results of the case stored in the
// model's bundle; a combination's iteration only switches members off, the
// pass after it may switch them back on. Failures are worded here
// (failure_message of a FirstOrderSolve::Analysis). `context` holds what the
// solves of one analysis share.
Result<Results> active_set_solve(VELK& model, SolveContext& context, const Eigen::VectorXd& f,
                                 const std::string& name, ResultType identity,
                                 std::optional<ActiveMap> seed = std::nullopt);

}  // namespace velk
