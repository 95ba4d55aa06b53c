#include "solvers/factorization.hpp"

namespace velk {

bool ReducedFactorization::factor(const Eigen::SparseMatrix<double>& k_reduced) {
  dense_ = k_reduced.rows() <= dense_limit_;
  if (dense_) {
    dense_matrix_ = k_reduced;
    dense_lu_.compute(dense_matrix_);
    return !(dense_lu_.matrixLU().diagonal().array() == 0.0).any();
  }
  // The pattern is fixed for a solve: its ordering is computed once.
  if (analysed_size_ != k_reduced.rows() || analysed_nonzeros_ != k_reduced.nonZeros()) {
    sparse_lu_.analyzePattern(k_reduced);
    analysed_size_ = k_reduced.rows();
    analysed_nonzeros_ = k_reduced.nonZeros();
  }
  sparse_lu_.factorize(k_reduced);
  return sparse_lu_.info() == Eigen::Success;
}

Eigen::VectorXd ReducedFactorization::solve(const Eigen::VectorXd& f_reduced) const {
  if (dense_) return dense_lu_.solve(f_reduced);
  return sparse_lu_.solve(f_reduced);
}

}  // namespace velk
