#include "solvers/solve_context.hpp"

#include <algorithm>

namespace velk {
namespace {

// Factorisations kept at once; a solve seldom meets more than a few states.
constexpr std::size_t kept_factorizations = 4;

std::vector<std::uint32_t> switched_off_members(const ActiveMap& active) {
  std::vector<std::uint32_t> off;
  for (const auto& [id, on] : active) {
    if (!on) off.push_back(id);
  }
  std::sort(off.begin(), off.end());
  return off;
}

}  // namespace

std::expected<const ConstraintTransform*, std::string> SolveContext::transform() {
  if (!transform_) transform_ = build_constraint_transform(model_);
  if (!*transform_) return std::unexpected((*transform_).error());
  return &**transform_;
}

std::expected<ReducedStiffness*, std::string> SolveContext::reduced_stiffness() {
  auto t = transform();
  if (!t) return std::unexpected(std::move(t.error()));
  if (!stiffness_) stiffness_.emplace(model_, **t);
  return &*stiffness_;
}

std::expected<Eigen::VectorXd, std::string> SolveContext::solve_linear(const Eigen::VectorXd& f,
                                                                       const ActiveMap& active,
                                                                       std::string_view singular_message) {
  auto t = transform();
  if (!t) return std::unexpected(std::move(t.error()));
  if (auto stiffness = reduced_stiffness(); !stiffness) return std::unexpected(std::move(stiffness.error()));

  std::vector<std::uint32_t> off = switched_off_members(active);
  auto found = std::find_if(factored_.begin(), factored_.end(),
                            [&](const Factored& entry) { return entry.switched_off == off; });
  stiffness_->reduce_load(f, f_reduced_);
  if (found != factored_.end()) {
    factored_.splice(factored_.begin(), factored_, found);
    stiffness_->restrain_load(f_reduced_);
    stiffness_->replay_restraint_events(found->penalty_alphas);
  } else {
    if (auto assembled = stiffness_->assemble(active); !assembled)
      return std::unexpected(std::move(assembled.error()));
    std::vector<double> alphas = stiffness_->apply_restraints(f_reduced_);
    if (factored_.size() == kept_factorizations) factored_.pop_back();
    Factored& entry = factored_.emplace_front();
    entry.switched_off = std::move(off);
    entry.penalty_alphas = std::move(alphas);
    ++factorizations_;
    if (!factored_.front().lu.factor(stiffness_->matrix())) {
      factored_.pop_front();  // a singular matrix serves nobody
      return std::unexpected(std::string(singular_message));
    }
  }
  const Eigen::VectorXd q = factored_.front().lu.solve(f_reduced_);
  // Overflowing or undefined input (infinite stiffness, NaN loads) leaves no
  // usable solution either: it is reported like a singular system, never
  // written out as a document of nulls.
  if (!q.allFinite()) return std::unexpected(std::string(singular_message));
  return expand_solution(**t, q);
}

}  // namespace velk
