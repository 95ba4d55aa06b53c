#pragma once
// The lowest eigenpairs of a symmetric pencil
//
//   K phi = lambda A phi,
//
// K symmetric positive definite (a stable reduced stiffness, factored once)
// and A symmetric (a mass matrix, or the negated geometric stiffness of a
// load). They are found as the largest eigenvalues mu = 1 / lambda of
// K^-1 A, by Lanczos in the K inner product: every step is one solve with
// the factors of K. Unknowns that A does not reach (massless rotations,
// unknowns a support fixes) have mu = 0, an infinite lambda, and are never
// found. A Sturm count of K - sigma A then checks that no eigenvalue below
// the last one found was missed. Small systems are solved densely.

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <optional>
#include <vector>

#include "base/result.hpp"
#include "numerics/factorization.hpp"

namespace velk {

// Which end of the spectrum: the smallest positive lambda (critical load
// factors, squared circular frequencies), or the negative lambda nearest
// zero (buckling under the reversed load).
enum class PencilSide { Positive, Negative };

struct PencilRequest {
  Eigen::Index count = 1;
  PencilSide side = PencilSide::Positive;
  // Lanczos basis size of the first attempt; 0 chooses one from the count.
  // Each attempt that misses an eigenvalue doubles it.
  Eigen::Index lanczos_vectors = 0;
  // Attempts, each from a new start with the pairs found before deflated.
  // When none finds them all, a system up to dense_fallback_limit unknowns
  // is solved densely (a few seconds at most); a larger one fails.
  int attempts = 4;
  Eigen::Index dense_fallback_limit = 1200;
  // Systems up to this size are solved by a dense generalised eigensolve.
  Eigen::Index dense_limit = 60;
  // The Lanczos start of the first attempt (null: a pseudo-random vector of
  // fixed seed, as every later attempt takes). A start without a component
  // along a mode never finds that mode, which is how the Sturm check is
  // shown to catch one missed.
  const Eigen::VectorXd* first_start = nullptr;
};

struct PencilEigenpairs {
  // lambda, nearest zero first; fewer than asked when the pencil has no more
  // on that side.
  std::vector<double> values;
  // phi, one column per value, with phi^T K phi = 1.
  Eigen::MatrixXd vectors;
  // Lanczos attempts made (0 for a dense solve).
  int attempts = 0;
};

// The eigenpairs nearest zero on the requested side of K phi = lambda A phi,
// k_factors holding the factors of k. Fails with a message, never with a
// wrong eigenvalue: when the Lanczos iteration does not converge, or when the
// Sturm count still finds an eigenvalue below the last one after every
// attempt.
Result<PencilEigenpairs> lowest_pencil_eigenpairs(const Eigen::SparseMatrix<double>& k,
                                                  const ReducedFactorization& k_factors,
                                                  const Eigen::SparseMatrix<double>& a,
                                                  const PencilRequest& request);

// The same problem solved densely (all eigenvalues of A phi = mu K phi by a
// Cholesky reduction), for small systems and as the reference of tests.
Result<PencilEigenpairs> dense_pencil_eigenpairs(const Eigen::SparseMatrix<double>& k,
                                                 const Eigen::SparseMatrix<double>& a,
                                                 const PencilRequest& request);

// How many eigenvalues lambda of the pencil lie strictly between 0 and sigma
// (sigma of either sign): the negative pivots of an LDL^T factorisation of
// K - sigma A, by Sylvester's law of inertia, K being positive definite.
// nullopt when that factorisation fails (sigma on an eigenvalue).
std::optional<Eigen::Index> pencil_eigenvalues_below(const Eigen::SparseMatrix<double>& k,
                                                     const Eigen::SparseMatrix<double>& a, double sigma);

// Whether no eigenvalue lambda lies strictly between 0 and sigma: K - sigma A
// is then positive definite, which a supernodal Cholesky shows at once (the
// inertia count decides where it cannot).
bool no_pencil_eigenvalue_below(const Eigen::SparseMatrix<double>& k, const Eigen::SparseMatrix<double>& a,
                                double sigma);

}  // namespace velk
