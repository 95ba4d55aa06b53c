#pragma once
// Support restraints on the reduced system: which reduced degree of freedom
// each Fixed (or unspecified) support axis holds and how, decided once from
// T, then imposed on the reduced matrix after every assembly, dense or
// sparse alike.

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "diagnostics/diagnostics.hpp"
#include "document/velk.hpp"
#include "system/constraints.hpp"

namespace velk {

struct Restraint {
  enum class Method { ExactRetained, ExactOneHot, Penalty };
  std::uint32_t node_id = 0;
  int local_dof = 0;
  Method method = Method::Penalty;
  Eigen::Index column = 0;    // the reduced DOF an exact method fixes
  Eigen::Index full_dof = 0;  // the global DOF whose row of T a penalty acts along
};

// Support axes in member walk order, each global DOF once: exactly on its own
// column when it is retained, on the pivot column when its row of T is
// one-hot (the other entries' squares at most 0.05^2 of the pivot's), by a
// penalty otherwise.
std::vector<Restraint> plan_restraints(const VELK& model, const ConstraintTransform& t);

namespace detail {
inline constexpr double penalty_factor = 1000.0;
}

// Adds alpha v^ v^T (v^ = v / |v|) to the reduced matrix with alpha = 1000
// times its largest diagonal magnitude, or 1000 when it has no positive
// diagonal (or no entries at all), and returns alpha. `Matrix` offers size(), largest_diagonal() and add(row,
// col, value).
template <class Matrix>
double add_penalty(Matrix& k_reduced, std::span<const TransformEntry> v) {
  if (k_reduced.size() == 0) return detail::penalty_factor;
  double norm_squared = 0.0;
  for (const TransformEntry& entry : v) norm_squared += entry.weight * entry.weight;
  const double largest = k_reduced.largest_diagonal();
  const double alpha = detail::penalty_factor * (largest > 0.0 ? largest : 1.0);
  if (!(norm_squared > 0.0)) return alpha;  // v^ = 0 adds nothing
  const double norm = std::sqrt(norm_squared);
  for (const TransformEntry& l : v) {
    if (l.weight == 0.0) continue;
    for (const TransformEntry& c : v) {
      if (c.weight != 0.0) k_reduced.add(l.column, c.column, alpha * (l.weight / norm) * (c.weight / norm));
    }
  }
  return alpha;
}

// The Constraint event of one restraint: for every penalty (with its factor
// alpha) and for every exactly fixed rotation.
inline void emit_restraint_event(const Restraint& r, double alpha) {
  switch (r.method) {
    case Restraint::Method::ExactRetained:
    case Restraint::Method::ExactOneHot: {
      if (r.local_dof < 3) return;
      const bool retained = r.method == Restraint::Method::ExactRetained;
      emit_event(ConstraintEvent{r.node_id, dof_name(r.local_dof), retained,
                                 retained ? "ExactRetained" : "ExactOneHot", std::nullopt,
                                 static_cast<std::size_t>(r.column)});
      return;
    }
    case Restraint::Method::Penalty:
      emit_event(ConstraintEvent{r.node_id, dof_name(r.local_dof), false, "Penalty", alpha, std::nullopt});
      return;
  }
}

// Imposes the planned restraints in order, with their events, and gives
// the factor alpha of each (0 for the exact ones) in `alphas`. `Matrix`
// offers in addition fix(p): row and column p cleared and a unit diagonal.
template <class Matrix>
void apply_restraint_plan(const std::vector<Restraint>& plan, const ConstraintTransform& t, Matrix& k_reduced,
                          Eigen::VectorXd& f_reduced, std::vector<double>& alphas) {
  alphas.clear();
  alphas.reserve(plan.size());
  for (const Restraint& r : plan) {
    double alpha = 0.0;
    if (r.method == Restraint::Method::Penalty) {
      alpha = add_penalty(k_reduced, t.row(r.full_dof));
    } else {
      k_reduced.fix(r.column);
      f_reduced(r.column) = 0.0;
    }
    emit_restraint_event(r, alpha);
    alphas.push_back(alpha);
  }
}

}  // namespace velk
