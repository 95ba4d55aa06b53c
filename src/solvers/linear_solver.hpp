#pragma once
// First-order solution of a load case or combination: the active-set
// iteration that switches tension-only and compression-only members off and
// on by their axial force, followed by the reactivation and finalization
// passes; the decision rules are shared with the second-order solver.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "solvers/solve_context.hpp"
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

// True when the LU factors hold an exactly zero pivot.
bool has_zero_pivot(const Eigen::PartialPivLU<Eigen::MatrixXd>& lu);

// The active-set iteration for the load vector f, ending in the results of
// the case stored in the model's bundle. `context` holds what the solves of
// one analysis share.
std::expected<Results, std::string> active_set_solve(VELK& model, SolveContext& context,
                                                     const Eigen::VectorXd& f, const std::string& name,
                                                     bool is_combination, std::uint32_t case_id,
                                                     std::optional<ActiveMap> seed = std::nullopt);

}  // namespace velk
