#include "numerics/factorization.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace velk {

bool ReducedFactorization::factor(const Eigen::SparseMatrix<double>& k_reduced) {
  if (k_reduced.rows() <= dense_limit_) {
    path_ = Path::Dense;
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
  refined_ = k_reduced.rows() >= large_limit_;
  if (refined_) {
    refined_matrix_ = k_reduced;
    refined_matrix_.makeCompressed();
  }
  if (refined_ && k_reduced.isCompressed() && SupernodalCholesky::symmetric_to_rounding(k_reduced) &&
      cholesky_.factor(k_reduced)) {
    path_ = Path::Cholesky;
    return true;
  }
  path_ = Path::SparseLu;
  return sparse_lu_.factor(k_reduced);
}

void ReducedFactorization::solve_factored(const Eigen::VectorXd& b, Eigen::VectorXd& x) const {
  switch (path_) {
    case Path::Dense:
      x = dense_lu_.solve(b);
      return;
    case Path::Cholesky:
      cholesky_.solve(b, x);
      return;
    case Path::SparseLu:
      break;
  }
  sparse_lu_.solve(b, x);
}

// On a large system, q = K^-1 f is followed by q += K^-1 (f - K q) with the
// residual accumulated in long double: the correction restores the digits
// the factorisation lost to the condition of K.
void ReducedFactorization::solve(const Eigen::VectorXd& f_reduced, Eigen::VectorXd& q) const {
  solve_factored(f_reduced, q);
  if (!refined_) return;
  const Eigen::SparseMatrix<double>& k = refined_matrix_;
  const Eigen::Index n = k.cols();
  std::vector<long double>& r = extended_residual_;
  r.assign(f_reduced.data(), f_reduced.data() + n);
  const int* outer = k.outerIndexPtr();
  const int* inner = k.innerIndexPtr();
  const double* values = k.valuePtr();
  for (Eigen::Index j = 0; j < n; ++j) {
    const long double qj = q[j];
    if (qj == 0.0L) continue;
    for (int p = outer[j]; p < outer[j + 1]; ++p) r[static_cast<std::size_t>(inner[p])] -= values[p] * qj;
  }
  residual_.resize(n);
  for (Eigen::Index i = 0; i < n; ++i) residual_[i] = static_cast<double>(r[static_cast<std::size_t>(i)]);
  solve_factored(residual_, correction_);
  q += correction_;
}

}  // namespace velk
