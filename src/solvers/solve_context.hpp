#pragma once
// What the solves of one analysis call share. The constraint transformation
// and the pattern of the reduced stiffness depend only on the model, so they
// are built once; and a first-order factorisation serves every load case and
// combination whose assembled matrix is the same, that is every solve with
// the same tension-only and compression-only members switched off.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "numerics/factorization.hpp"
#include "solvers/mechanism.hpp"
#include "solvers/solve_failure.hpp"
#include "system/active_set.hpp"
#include "system/constraints.hpp"
#include "system/reduced_system.hpp"

namespace velk {

class SolveContext {
 public:
  // The model must outlive the context; solves may add results to it, but
  // nothing else of it may change.
  explicit SolveContext(const VELK& model) : model_(model) {}
  SolveContext(const SolveContext&) = delete;
  SolveContext& operator=(const SolveContext&) = delete;

  // The model validation the solves need before anything is sized by the
  // model (system/model_validation.hpp: the numbering of its nodes), run once.
  Result<void> validate();

  // The constraint transformation, or the validation's or the rigid links'
  // message.
  Result<const ConstraintTransform*> transform();

  // The reduced stiffness with its pattern, built once. Second-order solves
  // assemble their tangents into it; a first-order solve that has to factor
  // a new matrix assembles it anew, so the values it holds belong to whoever
  // assembled last.
  Result<ReducedStiffness*> reduced_stiffness();

  // The first-order displacements of K(active) u = f into u (full
  // displacements; storage sized once): assembles K(active), reduces it and
  // f by the constraint transformation, restrains the supports, factors,
  // solves for the reduced coordinates and expands them to every DOF. Fails
  // as Singular when a pivot is exactly zero and as NonFinite when the
  // solution is not finite; the messages of the transformation and the
  // assembly come as Model failures. A matrix met before is not assembled or
  // factored again, and gives bit for bit the solution that refactoring it
  // would give.
  SolveResult<void> first_order_displacements(const Eigen::VectorXd& f, const ActiveMap& active,
                                              Eigen::VectorXd& u);

  // The factorisation second-order solves factor their tangents into: the
  // ordering is computed once per call and every tangent after the first is
  // refactored along the pivots of the one before.
  ReducedFactorization& tangent_factorization() { return tangent_lu_; }

  // Factors a second-order tangent into tangent_factorization(); false when
  // a pivot is exactly zero. Counted over the call.
  bool factor_tangent(const Eigen::SparseMatrix<double>& k) {
    ++tangent_factorizations_;
    return tangent_lu_.factor(k);
  }
  std::size_t tangent_factorizations() const { return tangent_factorizations_; }

  // How many first-order matrices were assembled and factored so far.
  std::size_t factorizations() const { return factorizations_; }

  // The smallest |pivot| / |own diagonal entry| met by the first-order
  // factorisations so far (1 before any): how many digits the stiffest
  // cancellation cost.
  double smallest_pivot_ratio() const { return smallest_pivot_ratio_; }

 private:
  struct Factored {
    std::vector<std::uint32_t> switched_off;  // the members that make this matrix differ
    ReducedFactorization lu{ReducedFactorization::default_dense_limit, first_order_zero_pivot_ratio};
    std::vector<double> penalty_alphas;
  };

  const VELK& model_;
  std::optional<Result<void>> validated_;
  std::optional<Result<ConstraintTransform>> transform_;
  std::optional<ReducedStiffness> stiffness_;
  std::list<Factored> factored_;  // stable addresses; most recently used first
  Eigen::VectorXd f_reduced_;
  Eigen::VectorXd q_;
  std::vector<std::uint32_t> switched_off_;
  ReducedFactorization tangent_lu_;
  std::size_t factorizations_ = 0;
  double smallest_pivot_ratio_ = 1.0;
  std::size_t tangent_factorizations_ = 0;
};

}  // namespace velk
