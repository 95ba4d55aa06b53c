#pragma once
// Factorisation of a square sparse system (the solvers' reduced stiffness):
// LU with partial pivoting, dense for small systems and sparse (with a
// fill-reducing column ordering, analysed once per pattern) for the rest;
// a large system that is symmetric to rounding and positive definite is
// factored by supernodal Cholesky instead, where the machine has it, and the
// solutions on those factors are refined against the system itself. A zero
// pivot means
// the system is singular, whichever path is taken: exactly zero, or, with a
// pivot ratio r > 0, at most r times the magnitude of its unknown's own
// diagonal entry. Cholesky only ever answers for a system that is regular:
// every other one is decided by the LU, so singular systems meet the same
// test and the same pivots on every machine.

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <vector>

#include "numerics/sparse_lu.hpp"
#include "numerics/supernodal_cholesky.hpp"

namespace velk {

class ReducedFactorization {
 public:
  // Systems up to this size are factored densely, where that is faster.
  static constexpr Eigen::Index default_dense_limit = 48;
  // Systems from this size on are large: factored by supernodal Cholesky
  // when they can be, and their solutions refined. Below it the sparse LU is
  // as fast, and its results stay what they have always been to the last
  // digit.
  static constexpr Eigen::Index default_large_limit = 1500;

  explicit ReducedFactorization(Eigen::Index dense_limit = default_dense_limit, double zero_pivot_ratio = 0.0,
                                Eigen::Index large_limit = default_large_limit)
      : dense_limit_(dense_limit),
        large_limit_(large_limit),
        zero_pivot_ratio_(zero_pivot_ratio),
        sparse_lu_(zero_pivot_ratio),
        cholesky_(zero_pivot_ratio) {}

  // Factors K_r; false at a zero pivot.
  bool factor(const Eigen::SparseMatrix<double>& k_reduced);

  // Solves K_r q = f_r with the last factors; q must not be f_r. The
  // solution of a large system is refined once against the residual of K_r
  // summed in extended precision: it is then the same to rounding whichever
  // factorisation gave it.
  void solve(const Eigen::VectorXd& f_reduced, Eigen::VectorXd& q) const;
  Eigen::VectorXd solve(const Eigen::VectorXd& f_reduced) const {
    Eigen::VectorXd q;
    solve(f_reduced, q);
    return q;
  }

  // How the last factor() factored the system, and its Cholesky factors
  // when it took them (null otherwise).
  enum class Path { Dense, SparseLu, Cholesky };
  Path path() const { return path_; }
  const SupernodalCholesky* cholesky() const { return path_ == Path::Cholesky ? &cholesky_ : nullptr; }

  // Whether the last factor() was sparse and reused the pivot sequence (or
  // the supernodes) of the one before.
  bool refactored() const {
    return path_ == Path::SparseLu ? sparse_lu_.refactored()
                                   : path_ == Path::Cholesky && cholesky_.refactored();
  }
  std::size_t sparse_factor_nonzeros() const {
    return path_ == Path::Cholesky ? cholesky_.factor_nonzeros() : sparse_lu_.factor_nonzeros();
  }

  // The smallest |pivot| / |own diagonal entry| of the last factor() (0 at
  // a zero pivot), and the unknown whose pivot was zero (-1 when none was).
  double smallest_pivot_ratio() const {
    switch (path_) {
      case Path::Dense:
        return dense_smallest_ratio_;
      case Path::Cholesky:
        return cholesky_.smallest_pivot_ratio();
      case Path::SparseLu:
        break;
    }
    return sparse_lu_.smallest_pivot_ratio();
  }
  Eigen::Index zero_pivot_unknown() const {
    switch (path_) {
      case Path::Dense:
        return dense_zero_pivot_;
      case Path::Cholesky:
        return -1;
      case Path::SparseLu:
        break;
    }
    return sparse_lu_.zero_pivot_column();
  }

 private:
  void solve_factored(const Eigen::VectorXd& b, Eigen::VectorXd& x) const;

  Eigen::Index dense_limit_;
  Eigen::Index large_limit_;
  double zero_pivot_ratio_;
  double dense_smallest_ratio_ = 1.0;
  Eigen::Index dense_zero_pivot_ = -1;
  Path path_ = Path::Dense;
  Eigen::MatrixXd dense_matrix_;
  Eigen::PartialPivLU<Eigen::MatrixXd> dense_lu_;
  // A large system's matrix, kept for the refinement of each solve, and the
  // refinement's residual and correction.
  bool refined_ = false;
  Eigen::SparseMatrix<double> refined_matrix_;
  mutable std::vector<long double> extended_residual_;
  mutable Eigen::VectorXd residual_, correction_;
  SparseLu sparse_lu_;
  SupernodalCholesky cholesky_;
};

}  // namespace velk
