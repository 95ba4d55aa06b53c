#pragma once
// LU factorisation with partial pivoting of the reduced stiffness: dense for
// small systems, sparse (with a fill-reducing column ordering, analysed once
// per pattern) for the rest. A pivot that is exactly zero means the system is
// singular, whichever path is taken.

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <Eigen/SparseLU>

namespace velk {

class ReducedFactorization {
 public:
  // Systems up to this size are factored densely, where that is faster.
  static constexpr Eigen::Index default_dense_limit = 48;

  explicit ReducedFactorization(Eigen::Index dense_limit = default_dense_limit) : dense_limit_(dense_limit) {}

  // Factors K_r; false when a pivot is exactly zero.
  bool factor(const Eigen::SparseMatrix<double>& k_reduced);

  // Solves K_r q = f_r with the last factors.
  Eigen::VectorXd solve(const Eigen::VectorXd& f_reduced) const;

 private:
  Eigen::Index dense_limit_;
  bool dense_ = true;
  Eigen::MatrixXd dense_matrix_;
  Eigen::PartialPivLU<Eigen::MatrixXd> dense_lu_;
  Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> sparse_lu_;
  Eigen::Index analysed_size_ = -1;
  Eigen::Index analysed_nonzeros_ = -1;
};

}  // namespace velk
