#include "solvers/linear_solver.hpp"

#include <cmath>
#include <limits>

#include "diagnostics/diagnostics.hpp"
#include "member/member_stiffness.hpp"
#include "results/results.hpp"

namespace velk {
namespace {

// Relative bound on the displacement change, and the smallest displacement
// norm it is taken relative to.
constexpr double relative_convergence = 1e-6;
constexpr double min_reference_norm = 1.0;

}  // namespace

ActiveMap initial_active_map(const VELK& model) {
  ActiveMap active;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      if (is_one_way(member.member_type)) active[member.id] = true;
    }
  }
  return active;
}

bool decide_active_set(const VELK& model, const LookupTables& tables, const Eigen::VectorXd& u,
                       ActiveMap& active, double tol, bool allow_reactivation) {
  const double reactivation_buffer = 10.0 * tol;
  const double reported_buffer =
      allow_reactivation ? reactivation_buffer : std::numeric_limits<double>::infinity();
  bool changed = false;
  ActiveMapSummaryEvent summary;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      if (!is_one_way(member.member_type)) continue;
      const double n = member_axial_force(member, u, tables);
      const bool was_active = is_active(active, member.id);
      const bool tension = member.member_type == MemberType::Tension;
      bool now_active = was_active;
      std::string_view reason;
      if (tension) {
        if (was_active && n < -tol) {
          now_active = false;
          reason = "n < -tol → OFF";
        } else if (!was_active && allow_reactivation && n >= reactivation_buffer) {
          now_active = true;
          reason = "n ≥ reactivate_buffer → ON";
        }
      } else {
        if (was_active && n > tol) {
          now_active = false;
          reason = "n > +tol → OFF";
        } else if (!was_active && allow_reactivation && n <= -reactivation_buffer) {
          now_active = true;
          reason = "n ≤ -reactivate_buffer → ON";
        }
      }
      if (now_active != was_active) {
        active[member.id] = now_active;
        changed = true;
        emit_event(ActiveDecisionEvent{member.id, tension ? "Tension" : "Compression", n, was_active,
                                       now_active, reason, tol, reported_buffer});
      }
      if (tension) {
        ++(now_active ? summary.ties_on : summary.ties_off);
      } else {
        ++(now_active ? summary.struts_on : summary.struts_off);
      }
    }
  }
  emit_event(summary);
  return changed;
}

bool finalize_active_set(const VELK& model, const LookupTables& tables, const Eigen::VectorXd& u,
                         ActiveMap& active) {
  const double slack = model.settings.analysis_options.axial_slack;
  bool changed = false;
  for (const MemberSet& set : model.member_sets) {
    for (const Member& member : set.members) {
      if (!is_one_way(member.member_type) || !is_active(active, member.id)) continue;
      const double n = member_axial_force(member, u, tables);
      const bool slack_tie = member.member_type == MemberType::Tension && n < -slack;
      const bool slack_strut = member.member_type == MemberType::Compression && n > slack;
      if (slack_tie || slack_strut) {
        active[member.id] = false;
        changed = true;
      }
    }
  }
  return changed;
}

SolveResult<void> iterate_active_set(const VELK& model, const LookupTables& tables, SolveContext& context,
                                     const Eigen::VectorXd& f, const ActiveSetRules& rules, ActiveMap& active,
                                     Eigen::VectorXd& u) {
  auto t = context.transform();
  if (!t) return std::unexpected(SolveFailure::model(std::move(t.error())));
  const AnalysisOptions& options = model.settings.analysis_options;
  const double tol = options.switching_tolerance();
  const std::uint32_t limit = options.iteration_limit();
  Eigen::VectorXd u_prev = Eigen::VectorXd::Zero((*t)->full_size);
  bool converged = false;
  for (std::uint32_t i = 0; i < limit && !converged; ++i) {
    if (auto solved = context.first_order_displacements(f, active, u); !solved) return solved;
    const double du = (u - u_prev).norm();
    u_prev = u;
    if (decide_active_set(model, tables, u, active, tol, rules.reactivate)) continue;
    if (du / std::max(u.norm(), min_reference_norm) < relative_convergence || du < options.tolerance) {
      converged = true;
    } else if (!rules.repeat_unchanged_solve && i + 1 < limit) {
      // Nothing changed, so the next pass would assemble the same matrix,
      // find the same u and converge with du = 0: only its decision step
      // (which changes nothing again) is still run, not the solve.
      decide_active_set(model, tables, u, active, tol, rules.reactivate);
      converged = true;
    }
  }
  if (!converged) return std::unexpected(SolveFailure::of(SolveFailureKind::IterationLimit));

  if (rules.reactivation_pass && decide_active_set(model, tables, u, active, tol, true)) {
    if (auto solved = context.first_order_displacements(f, active, u); !solved) {
      solved.error().stage = ActiveSetStage::Reactivation;
      return solved;
    }
  }
  auto finalized = finalization_pass(model, tables, context, f, active, u);
  if (!finalized) return std::unexpected(std::move(finalized.error()));
  return {};
}

SolveResult<bool> finalization_pass(const VELK& model, const LookupTables& tables, SolveContext& context,
                                    const Eigen::VectorXd& f, ActiveMap& active, Eigen::VectorXd& u) {
  if (!finalize_active_set(model, tables, u, active)) return false;
  if (auto solved = context.first_order_displacements(f, active, u); !solved) {
    solved.error().stage = ActiveSetStage::Finalization;
    return std::unexpected(std::move(solved.error()));
  }
  return true;
}

Result<Results> active_set_solve(VELK& model, SolveContext& context, const Eigen::VectorXd& f,
                                 const std::string& name, ResultType identity,
                                 std::optional<ActiveMap> seed) {
  ActiveMap active = seed ? std::move(*seed) : initial_active_map(model);
  const LookupTables tables = build_lookup_tables(model);
  const ActiveSetRules rules{
      .reactivate = !identity.is_combination(),
      .repeat_unchanged_solve = false,
      .reactivation_pass = true,
  };
  Eigen::VectorXd u;
  if (auto iterated = iterate_active_set(model, tables, context, f, rules, active, u); !iterated) {
    return std::unexpected(failure_message(iterated.error(), FirstOrderSolve::Analysis,
                                           model.settings.analysis_options.iteration_limit()));
  }
  return store_results(model, name, identity, u, active);
}

}  // namespace velk
