#include "numerics/factorization.hpp"

#include <algorithm>
#include <cmath>

namespace velk {

bool ReducedFactorization::factor(const Eigen::SparseMatrix<double>& k_reduced) {
  dense_ = k_reduced.rows() <= dense_limit_;
  if (dense_) {
    dense_matrix_ = k_reduced;
    dense_lu_.compute(dense_matrix_);
    // Dense partial pivoting keeps the columns in place: pivot k belongs to
    // unknown k.
    dense_smallest_ratio_ = 1.0;
    dense_zero_pivot_ = -1;
    const auto pivots = dense_lu_.matrixLU().diagonal();
    for (Eigen::Index k = 0; k < pivots.size(); ++k) {
      const double magnitude = std::fabs(pivots[k]);
      const double own = std::fabs(dense_matrix_(k, k));
      if (own > 0.0) dense_smallest_ratio_ = std::min(dense_smallest_ratio_, magnitude / own);
      if (dense_zero_pivot_ < 0 && (magnitude == 0.0 || magnitude <= zero_pivot_ratio_ * own))
        dense_zero_pivot_ = k;
    }
    if (dense_zero_pivot_ >= 0) dense_smallest_ratio_ = 0.0;
    return dense_zero_pivot_ < 0;
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
