#include "solvers/factorization.hpp"

namespace velk {

bool ReducedFactorization::factor(const Eigen::SparseMatrix<double>& k_reduced) {
  dense_ = k_reduced.rows() <= dense_limit_;
  if (dense_) {
    dense_matrix_ = k_reduced;
    dense_lu_.compute(dense_matrix_);
    return !(dense_lu_.matrixLU().diagonal().array() == 0.0).any();
  }
  // The pattern is fixed for a solve: its ordering is computed once, and
  // later matrices are refactored along the pivots of the last one.
  return sparse_lu_.factor(k_reduced);
}

void ReducedFactorization::solve(const Eigen::VectorXd& f_reduced, Eigen::VectorXd& q) const {
  if (dense_) {
    q = dense_lu_.solve(f_reduced);
    return;
  }
  sparse_lu_.solve(f_reduced, q);
}

}  // namespace velk
