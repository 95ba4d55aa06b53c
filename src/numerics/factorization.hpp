#pragma once
// LU factorisation with partial pivoting of a square sparse system (the
// solvers' reduced stiffness): dense for small systems, sparse (with a
// fill-reducing column ordering, analysed once per pattern) for the rest. A
// zero pivot means the system is singular, whichever path is taken: exactly
// zero, or, with a pivot ratio r > 0, at most r times the magnitude of its
// unknown's own diagonal entry.

#include <Eigen/Dense>
#include <Eigen/Sparse>

#include "numerics/sparse_lu.hpp"

namespace velk {

class ReducedFactorization {
 public:
  // Systems up to this size are factored densely, where that is faster.
  static constexpr Eigen::Index default_dense_limit = 48;

  explicit ReducedFactorization(Eigen::Index dense_limit = default_dense_limit, double zero_pivot_ratio = 0.0)
      : dense_limit_(dense_limit), zero_pivot_ratio_(zero_pivot_ratio), sparse_lu_(zero_pivot_ratio) {}

  // Factors K_r; false at a zero pivot.
  bool factor(const Eigen::SparseMatrix<double>& k_reduced);

  // Solves K_r q = f_r with the last factors; q must not be f_r.
  void solve(const Eigen::VectorXd& f_reduced, Eigen::VectorXd& q) const;
  Eigen::VectorXd solve(const Eigen::VectorXd& f_reduced) const {
    Eigen::VectorXd q;
    solve(f_reduced, q);
    return q;
  }

  // Whether the last factor() was sparse and reused the pivot sequence of
  // the one before.
  bool refactored() const { return !dense_ && sparse_lu_.refactored(); }
  std::size_t sparse_factor_nonzeros() const { return sparse_lu_.factor_nonzeros(); }

  // The smallest |pivot| / |own diagonal entry| of the last factor() (0 at
  // a zero pivot), and the unknown whose pivot was zero (-1 when none was).
  double smallest_pivot_ratio() const {
    return dense_ ? dense_smallest_ratio_ : sparse_lu_.smallest_pivot_ratio();
  }
  Eigen::Index zero_pivot_unknown() const {
    return dense_ ? dense_zero_pivot_ : sparse_lu_.zero_pivot_column();
  }

 private:
  Eigen::Index dense_limit_;
  double zero_pivot_ratio_;
  double dense_smallest_ratio_ = 1.0;
  Eigen::Index dense_zero_pivot_ = -1;
  bool dense_ = true;
  Eigen::MatrixXd dense_matrix_;
  Eigen::PartialPivLU<Eigen::MatrixXd> dense_lu_;
  SparseLu sparse_lu_;
};

}  // namespace velk
