#include "solvers/solve_context.hpp"

#include <algorithm>
#include <iterator>

#include "base/log.hpp"
#include "system/model_validation.hpp"

namespace velk {
namespace {

// Factorisations kept at once; a solve seldom meets more than a few states.
constexpr std::size_t kept_factorizations = 4;

// The members switched off in `active`, ascending, into `off`.
void switched_off_members(const ActiveMap& active, std::vector<std::uint32_t>& off) {
  off.clear();
  for (const auto& [id, on] : active) {
    if (!on) off.push_back(id);
  }
  std::sort(off.begin(), off.end());
}

// Names, as warnings, the motions the singular matrix does not resist; the
// search runs only when warnings are recorded.
void report_mechanisms(const Eigen::SparseMatrix<double>& k_reduced, const ConstraintTransform& t) {
  if (!log::enabled(log::Level::Warning)) return;
  for (const Mechanism& mechanism : mechanisms_of(k_reduced, t))
    log::warning(log::analysis_target, "{}", mechanism_message(mechanism));
}

}  // namespace

Result<void> SolveContext::validate() {
  if (!validated_) validated_ = check_node_ids(model_.member_sets);
  return *validated_;
}

Result<const ConstraintTransform*> SolveContext::transform() {
  if (auto valid = validate(); !valid) return std::unexpected(std::move(valid.error()));
  if (!transform_) transform_ = build_constraint_transform(model_);
  if (!*transform_) return std::unexpected((*transform_).error());
  return &**transform_;
}

Result<ReducedStiffness*> SolveContext::reduced_stiffness() {
  auto t = transform();
  if (!t) return std::unexpected(std::move(t.error()));
  if (!stiffness_) stiffness_.emplace(model_, **t);
  return &*stiffness_;
}

SolveResult<void> SolveContext::first_order_displacements(const Eigen::VectorXd& f, const ActiveMap& active,
                                                          Eigen::VectorXd& u) {
  auto t = transform();
  if (!t) return std::unexpected(SolveFailure::model(std::move(t.error())));
  if (auto stiffness = reduced_stiffness(); !stiffness)
    return std::unexpected(SolveFailure::model(std::move(stiffness.error())));

  switched_off_members(active, switched_off_);
  auto found = std::find_if(factored_.begin(), factored_.end(),
                            [&](const Factored& entry) { return entry.switched_off == switched_off_; });
  stiffness_->reduce_load(f, f_reduced_);
  if (found != factored_.end()) {
    factored_.splice(factored_.begin(), factored_, found);
    stiffness_->restrain_load(f_reduced_);
    stiffness_->replay_restraint_events(found->penalty_alphas);
  } else {
    if (auto assembled = stiffness_->assemble(active); !assembled)
      return std::unexpected(SolveFailure::model(std::move(assembled.error())));
    std::vector<double> alphas = stiffness_->apply_restraints(f_reduced_);
    // A new matrix of the same pattern starts from the ordering and pivots
    // of the last one factored (the evicted entry's storage is reused).
    std::list<Factored> slot;
    if (factored_.size() == kept_factorizations)
      slot.splice(slot.begin(), factored_, std::prev(factored_.end()));
    if (slot.empty()) slot.emplace_back();
    if (!factored_.empty()) slot.front().lu = factored_.front().lu;
    factored_.splice(factored_.begin(), slot);
    Factored& entry = factored_.front();
    entry.switched_off = switched_off_;
    entry.penalty_alphas = std::move(alphas);
    ++factorizations_;
    const bool factored = entry.lu.factor(stiffness_->matrix());
    smallest_pivot_ratio_ = std::min(smallest_pivot_ratio_, entry.lu.smallest_pivot_ratio());
    if (!factored) {
      factored_.pop_front();  // a singular matrix serves nobody
      report_mechanisms(stiffness_->matrix(), **t);
      return std::unexpected(SolveFailure::of(SolveFailureKind::Singular));
    }
  }
  factored_.front().lu.solve(f_reduced_, q_);
  // Overflowing or undefined input (infinite stiffness, NaN loads) leaves no
  // usable solution either: it is reported like a singular system, never
  // written out as a document of nulls.
  if (!q_.allFinite()) return std::unexpected(SolveFailure::of(SolveFailureKind::NonFinite));
  expand_solution(**t, q_, u);
  return {};
}

}  // namespace velk
