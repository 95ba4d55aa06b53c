#pragma once
// LU factorisation with partial pivoting of the reduced stiffness: dense for
// small systems, sparse (with a fill-reducing column ordering, analysed once
// per pattern) for the rest. A pivot that is exactly zero means the system is
// singular, whichever path is taken.

#include <Eigen/Dense>
#include <Eigen/Sparse>

#include "solvers/sparse_lu.hpp"

namespace velk {

class ReducedFactorization {
 public:
  // Systems up to this size are factored densely, where that is faster.
  static constexpr Eigen::Index default_dense_limit = 48;

  explicit ReducedFactorization(Eigen::Index dense_limit = default_dense_limit) : dense_limit_(dense_limit) {}

  // Factors K_r; false when a pivot is exactly zero.
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

 private:
  Eigen::Index dense_limit_;
  bool dense_ = true;
  Eigen::MatrixXd dense_matrix_;
  Eigen::PartialPivLU<Eigen::MatrixXd> dense_lu_;
  SparseLu sparse_lu_;
};

}  // namespace velk
