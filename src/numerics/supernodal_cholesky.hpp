#pragma once
// Supernodal Cholesky factorisation of a large symmetric positive definite
// system (the reduced stiffness of a building):
//
//   P A P^T = L L^T,
//
// P the approximate minimum degree order of A (or METIS nested dissection
// where that needs less work), by CHOLMOD on the machine's BLAS. CHOLMOD is
// a replaceable shared library: it is loaded when the first large system is factored, from the folder
// velk.libs beside the engine's own program or module (where the wheel puts
// it), else from the system's libraries; without it the engine factors every
// system with its own LU. Only the lower triangle of A is read, so A is taken
// only when it is symmetric to rounding: a stiffness assembled from
// congruences lambda^T k lambda of skewed members differs from its transpose
// in the last bits of some pairs. The factors are then those of A to
// rounding, and the large systems' solves refine their solutions against A
// itself (ReducedFactorization), so that the system solved is the one
// assembled, never its symmetrised copy.
//
// The square of L's diagonal is the pivot of the elimination without
// pivoting (LDL^T), and a pivot of at most r times its unknown's own
// diagonal entry (r > 0), or a matrix that is not positive definite, makes
// the factorisation decline: the caller decides with its own LU what such a
// system is.

#include <Eigen/Sparse>
#include <memory>

namespace velk {

class SupernodalCholesky {
 public:
  explicit SupernodalCholesky(double zero_pivot_ratio = 0.0);
  ~SupernodalCholesky();
  SupernodalCholesky(const SupernodalCholesky& other);
  SupernodalCholesky& operator=(const SupernodalCholesky& other);
  SupernodalCholesky(SupernodalCholesky&&) noexcept;
  SupernodalCholesky& operator=(SupernodalCholesky&&) noexcept;

  // Whether CHOLMOD could be loaded on this machine (tried once).
  static bool available();

  // Whether A is square, has a symmetric pattern and every pair of entries
  // a_ij, a_ji differs by at most rounding_asymmetry sqrt(|a_ii a_jj|) (by
  // rounding_asymmetry max(|a_ij|, |a_ji|) where a diagonal is zero).
  static constexpr double rounding_asymmetry = 64.0 * 2.220446049250313e-16;
  static bool symmetric_to_rounding(const Eigen::SparseMatrix<double>& a);

  // Factors A (compressed, symmetric to rounding); false when A is not positive
  // definite or a pivot is at most the ratio times its own diagonal entry.
  // The order is computed when the pattern is new.
  bool factor(const Eigen::SparseMatrix<double>& a);

  // x = A^-1 b with the last factors; x must not be b.
  void solve(const Eigen::VectorXd& b, Eigen::VectorXd& x) const;

  // The halves of the solve, y = L^-1 P b and y = P^T L^-T b (n values
  // each, y not b): A = (L^-1 P)^-1 (P^T L^-T)^-1 turns a pencil
  // K phi = lambda A phi into a standard eigenproblem.
  void lower_solve(const double* b, double* y) const;
  void upper_solve(const double* b, double* y) const;

  // Entries of L (its diagonal included).
  std::size_t factor_nonzeros() const;

  // The smallest pivot / own diagonal entry of the last factor() that
  // succeeded, and whether it refactored the pattern of the one before.
  double smallest_pivot_ratio() const { return smallest_pivot_ratio_; }
  bool refactored() const { return refactored_; }

 private:
  struct State;
  double zero_pivot_ratio_;
  double smallest_pivot_ratio_ = 1.0;
  bool refactored_ = false;
  std::unique_ptr<State> state_;
};

}  // namespace velk
