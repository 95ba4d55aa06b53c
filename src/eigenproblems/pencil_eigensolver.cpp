#include "eigenproblems/pencil_eigensolver.hpp"

#include <Spectra/MatOp/SparseCholesky.h>
#include <Spectra/SymGEigsSolver.h>

#include <Eigen/SparseCholesky>
#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <utility>

namespace velk {
namespace {

using Sparse = Eigen::SparseMatrix<double>;

// mu = 1 / lambda of at most this fraction of the largest |mu| found counts
// as zero: what a support penalty or rounding leaves of an unknown A does
// not reach.
constexpr double zero_mu_fraction = 1e-10;
// Lanczos: relative residual of a converged Ritz pair, and restarts.
constexpr double lanczos_tolerance = 1e-10;
// A pair of the standard problem counts as a pair of the pencil when its
// residual there is this small.
constexpr double residual_tolerance = 1e-9;
constexpr Eigen::Index lanczos_restarts = 500;
// The Sturm count is taken just beyond the last eigenvalue kept.
constexpr double sturm_margin = 1e-7;

// y = A x minus the pairs found so far, for Spectra:
//
//   A' x = A x - sum_i mu_i (K phi_i) (K phi_i)^T x,
//
// so that K^-1 A' has the eigenvalues of K^-1 A with those found moved to
// zero. A second copy of a repeated eigenvalue (the two sway modes of a
// square tower), which one Lanczos start cannot see, is then found from the
// next start.
class DeflatedProduct {
 public:
  using Scalar = double;
  DeflatedProduct(const Sparse& a, const Eigen::VectorXd& mu, const Eigen::MatrixXd& k_phi)
      : a_(a), mu_(mu), k_phi_(k_phi), projection_(mu.size()) {}
  Eigen::Index rows() const { return a_.rows(); }
  Eigen::Index cols() const { return a_.cols(); }
  void perform_op(const double* x_in, double* y_out) const {
    const Eigen::Map<const Eigen::VectorXd> x(x_in, a_.cols());
    Eigen::Map<Eigen::VectorXd> y(y_out, a_.rows());
    y.noalias() = a_ * x;
    if (mu_.size() == 0) return;
    projection_.noalias() = k_phi_.transpose() * x;
    projection_.array() *= mu_.array();
    y.noalias() -= k_phi_ * projection_;
  }

 private:
  const Sparse& a_;
  const Eigen::VectorXd& mu_;
  const Eigen::MatrixXd& k_phi_;
  mutable Eigen::VectorXd projection_;
};

// y = K x and y = K^-1 x with the caller's factors of K, for Spectra: the
// inner product of the Lanczos basis and the inverse of every step.
class StiffnessOperator {
 public:
  using Scalar = double;
  StiffnessOperator(const Sparse& k, const ReducedFactorization& factors)
      : k_(k), factors_(factors), rhs_(k.rows()), solution_(k.rows()) {}
  Eigen::Index rows() const { return k_.rows(); }
  Eigen::Index cols() const { return k_.cols(); }
  void perform_op(const double* x, double* y) const {
    Eigen::Map<Eigen::VectorXd>(y, k_.rows()).noalias() =
        k_ * Eigen::Map<const Eigen::VectorXd>(x, k_.cols());
  }
  void solve(const double* x, double* y) const {
    rhs_ = Eigen::Map<const Eigen::VectorXd>(x, k_.rows());
    factors_.solve(rhs_, solution_);
    Eigen::Map<Eigen::VectorXd>(y, k_.rows()) = solution_;
  }

 private:
  const Sparse& k_;
  const ReducedFactorization& factors_;
  mutable Eigen::VectorXd rhs_;
  mutable Eigen::VectorXd solution_;
};

// L^-1 P x and P^T L^-T x with the supernodal Cholesky factors of a large
// K, for Spectra's Cholesky mode.
class SupernodalFactorsOperator {
 public:
  using Scalar = double;
  SupernodalFactorsOperator(const SupernodalCholesky& factors, Eigen::Index n) : factors_(factors), n_(n) {}
  Eigen::Index rows() const { return n_; }
  Eigen::Index cols() const { return n_; }
  void lower_triangular_solve(const double* x, double* y) const { factors_.lower_solve(x, y); }
  void upper_triangular_solve(const double* x, double* y) const { factors_.upper_solve(x, y); }

 private:
  const SupernodalCholesky& factors_;
  Eigen::Index n_;
};

// mu on the requested side, and far enough from zero to be an eigenvalue.
bool on_side(double mu, PencilSide side, double largest_mu) {
  const double floor = zero_mu_fraction * largest_mu;
  return side == PencilSide::Positive ? mu > floor : mu < -floor;
}

// The pairs of mu (any order) on the side, nearest zero in lambda first,
// that is largest |mu| first.
PencilEigenpairs select(const Eigen::VectorXd& mu, const Eigen::MatrixXd& phi, PencilSide side,
                        Eigen::Index count, double largest_mu) {
  std::vector<Eigen::Index> kept;
  for (Eigen::Index i = 0; i < mu.size(); ++i) {
    if (on_side(mu[i], side, largest_mu)) kept.push_back(i);
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [&](Eigen::Index a, Eigen::Index b) { return std::fabs(mu[a]) > std::fabs(mu[b]); });
  if (static_cast<Eigen::Index>(kept.size()) > count) kept.resize(static_cast<std::size_t>(count));
  PencilEigenpairs pairs;
  pairs.vectors.resize(phi.rows(), static_cast<Eigen::Index>(kept.size()));
  for (std::size_t j = 0; j < kept.size(); ++j) {
    pairs.values.push_back(1.0 / mu[kept[j]]);
    pairs.vectors.col(static_cast<Eigen::Index>(j)) = phi.col(kept[j]);
  }
  return pairs;
}

// Pencil eigenvalues found on the side with |lambda| < |sigma|.
Eigen::Index found_below(const Eigen::VectorXd& mu, PencilSide side, double largest_mu, double sigma) {
  Eigen::Index found = 0;
  for (const double m : mu) {
    if (on_side(m, side, largest_mu) && std::fabs(1.0 / m) < std::fabs(sigma)) ++found;
  }
  return found;
}

// Whether every pair on the side satisfies the pencil itself,
// |A phi - mu K phi| <= residual_tolerance |mu| |K phi|.
bool pencil_residuals_small(const Sparse& k, const Sparse& a, const Eigen::VectorXd& mu,
                            const Eigen::MatrixXd& phi, PencilSide side) {
  const double largest_mu = mu.size() == 0 ? 0.0 : mu.cwiseAbs().maxCoeff();
  for (Eigen::Index i = 0; i < mu.size(); ++i) {
    if (!on_side(mu[i], side, largest_mu)) continue;
    const Eigen::VectorXd k_phi = k * phi.col(i);
    const Eigen::VectorXd residual = a * phi.col(i) - mu[i] * k_phi;
    if (!(residual.norm() <= residual_tolerance * std::fabs(mu[i]) * k_phi.norm())) return false;
  }
  return true;
}

}  // namespace

Result<PencilEigenpairs> dense_pencil_eigenpairs(const Sparse& k, const Sparse& a,
                                                 const PencilRequest& request) {
  const Eigen::MatrixXd k_dense(k);
  const Eigen::MatrixXd a_dense(a);
  Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXd> solver(
      a_dense, k_dense, Eigen::ComputeEigenvectors | Eigen::Ax_lBx);
  if (solver.info() != Eigen::Success) {
    return std::unexpected(
        std::string("The eigensolver failed: the stiffness matrix is not positive definite."));
  }
  const Eigen::VectorXd& mu = solver.eigenvalues();
  const double largest_mu = mu.size() == 0 ? 0.0 : mu.cwiseAbs().maxCoeff();
  PencilEigenpairs pairs = select(mu, solver.eigenvectors(), request.side, request.count, largest_mu);
  pairs.attempts = 0;
  return pairs;
}

std::optional<Eigen::Index> pencil_eigenvalues_below(const Sparse& k, const Sparse& a, double sigma) {
  const Sparse shifted = k - sigma * a;
  Eigen::SimplicialLDLT<Sparse, Eigen::Lower, Eigen::AMDOrdering<int>> ldlt(shifted);
  if (ldlt.info() != Eigen::Success) return std::nullopt;
  Eigen::Index negative = 0;
  for (const double d : ldlt.vectorD()) {
    if (!std::isfinite(d) || d == 0.0) return std::nullopt;
    if (d < 0.0) ++negative;
  }
  return negative;
}

bool no_pencil_eigenvalue_below(const Sparse& k, const Sparse& a, double sigma) {
  Sparse shifted = k - sigma * a;
  shifted.makeCompressed();
  if (SupernodalCholesky::symmetric_to_rounding(shifted) && SupernodalCholesky(0.0).factor(shifted))
    return true;
  const auto counted = pencil_eigenvalues_below(k, a, sigma);
  return counted && *counted == 0;
}

Result<PencilEigenpairs> lowest_pencil_eigenpairs(const Sparse& k, const ReducedFactorization& k_factors,
                                                  const Sparse& a, const PencilRequest& request) {
  const Eigen::Index n = k.rows();
  if (request.count <= 0 || n == 0) return PencilEigenpairs{};
  // A few more than asked, so that a cluster at the last one is seen whole.
  const Eigen::Index nev = std::min(request.count + 2, n - 1);
  if (n <= request.dense_limit || nev < 1 || nev + 1 >= n) return dense_pencil_eigenpairs(k, a, request);

  StiffnessOperator k_op(k, k_factors);
  // K = P^T L L^T P turns the pencil into the standard problem of
  // L^-1 P A P^T L^-T, whose Lanczos basis is orthogonal in the plain inner
  // product: each step is two triangular solves and a product with A, where
  // the K inner product takes several products with K. A K whose Cholesky
  // factorisation fails (rounding under penalty stiffnesses) keeps the
  // K inner product.
  // A large K's factors are the supernodal ones the caller has already.
  std::optional<SupernodalFactorsOperator> large_cholesky;
  std::optional<Spectra::SparseCholesky<double>> k_cholesky;
  if (const SupernodalCholesky* factors = k_factors.cholesky(); factors != nullptr)
    large_cholesky.emplace(*factors, n);
  else
    k_cholesky.emplace(k);
  bool cholesky = large_cholesky || k_cholesky->info() == Spectra::CompInfo::Successful;
  Eigen::Index ncv =
      request.lanczos_vectors > 0 ? request.lanczos_vectors : std::max<Eigen::Index>(2 * nev + 1, 20);
  const Spectra::SortRule rule =
      request.side == PencilSide::Positive ? Spectra::SortRule::LargestAlge : Spectra::SortRule::SmallestAlge;
  // Every pair found so far, kept for deflation: mu, phi and K phi.
  Eigen::VectorXd found_mu(0);
  Eigen::MatrixXd found_phi(n, 0);
  Eigen::MatrixXd found_k_phi(n, 0);
  std::mt19937 random(20261209);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  Eigen::VectorXd start(n);
  const int attempts = std::max(request.attempts, 1);
  for (int attempt = 1; attempt <= attempts; ++attempt, ncv *= 2) {
    ncv = std::clamp<Eigen::Index>(ncv, nev + 1, n);
    Eigen::VectorXd mu;
    Eigen::MatrixXd phi;
    bool converged = false;
    try {
      DeflatedProduct a_op(a, found_mu, found_k_phi);
      for (Eigen::Index i = 0; i < n; ++i) start[i] = uniform(random);
      const bool given_start =
          attempt == 1 && request.first_start != nullptr && request.first_start->size() == n;
      if (given_start) start = *request.first_start;
      const auto iterate = [&](auto& solver) {
        solver.init(start.data());
        solver.compute(rule, lanczos_restarts, lanczos_tolerance, rule);
        converged = solver.info() == Spectra::CompInfo::Successful;
        mu = solver.eigenvalues();
        phi = solver.eigenvectors();  // phi^T K phi = 1 in both forms
      };
      const auto cholesky_iterate = [&](auto& factors) {
        // The start phi_0 as the standard problem sees it, L^T P phi_0 =
        // L^-1 P K phi_0: orthogonal to a mode there exactly when phi_0 is
        // K-orthogonal to it.
        const Eigen::VectorXd k_start = k * start;
        Eigen::VectorXd transformed_start(n);
        factors.lower_triangular_solve(k_start.data(), transformed_start.data());
        std::swap(start, transformed_start);
        using Factors = std::remove_reference_t<decltype(factors)>;
        Spectra::SymGEigsSolver<DeflatedProduct, Factors, Spectra::GEigsMode::Cholesky> solver(a_op, factors,
                                                                                               nev, ncv);
        iterate(solver);
        std::swap(start, transformed_start);
      };
      if (cholesky) {
        if (large_cholesky)
          cholesky_iterate(*large_cholesky);
        else
          cholesky_iterate(*k_cholesky);
        // Rounding in the factors of an ill-conditioned K (a slack brace
        // beside stiff members) can leave the pairs of the standard problem
        // short of the pencil's: then this and every later attempt take the
        // K inner product.
        cholesky = pencil_residuals_small(k, a, mu, phi, request.side);
      }
      if (!cholesky) {
        Spectra::SymGEigsSolver<DeflatedProduct, StiffnessOperator, Spectra::GEigsMode::RegularInverse>
            solver(a_op, k_op, nev, ncv);
        iterate(solver);
      }
    } catch (const std::exception& e) {
      // A breakdown of the iteration (a spectrum spread over more digits
      // than it resolves) leaves a system small enough to the dense solve.
      if (n <= request.dense_fallback_limit) return dense_pencil_eigenpairs(k, a, request);
      return std::unexpected(std::string("The eigensolver failed: ") + e.what());
    }
    // The new pairs join those found before; a pair at zero is a deflated
    // one or an unknown A does not reach.
    const double previous_largest = found_mu.size() == 0 ? 0.0 : found_mu.cwiseAbs().maxCoeff();
    const double largest_new = mu.size() == 0 ? 0.0 : mu.cwiseAbs().maxCoeff();
    const double largest_mu = std::max(previous_largest, largest_new);
    std::vector<Eigen::Index> fresh;
    for (Eigen::Index i = 0; i < mu.size(); ++i) {
      if (on_side(mu[i], request.side, largest_mu)) fresh.push_back(i);
    }
    const Eigen::Index before = found_mu.size();
    const Eigen::Index added = static_cast<Eigen::Index>(fresh.size());
    found_mu.conservativeResize(before + added);
    found_phi.conservativeResize(n, before + added);
    found_k_phi.conservativeResize(n, before + added);
    for (Eigen::Index j = 0; j < added; ++j) {
      found_mu[before + j] = mu[fresh[static_cast<std::size_t>(j)]];
      found_phi.col(before + j) = phi.col(fresh[static_cast<std::size_t>(j)]);
      found_k_phi.col(before + j) = k * found_phi.col(before + j);
    }
    PencilEigenpairs pairs = select(found_mu, found_phi, request.side, request.count, largest_mu);
    pairs.attempts = attempt;
    // Fewer than asked is the whole side only when every Ritz pair asked for
    // converged: the rest are then on the other side or at zero.
    const bool complete = static_cast<Eigen::Index>(pairs.values.size()) == request.count || converged;
    // Just beyond the last eigenvalue kept, the Sturm count must find no more
    // than the iterations did.
    bool none_missed = true;
    if (pairs.values.size() == 1 && n >= ReducedFactorization::default_large_limit) {
      // One eigenvalue of a large pencil: none lies nearer zero when
      // K - sigma A is positive definite just short of it, which the
      // supernodal Cholesky tells in the time of one factorisation.
      none_missed = no_pencil_eigenvalue_below(k, a, pairs.values.front() * (1.0 - sturm_margin));
    } else if (!pairs.values.empty()) {
      const double sigma = pairs.values.back() * (1.0 + sturm_margin);
      const auto counted = pencil_eigenvalues_below(k, a, sigma);
      none_missed = counted && *counted <= found_below(found_mu, request.side, largest_mu, sigma);
    }
    if (complete && none_missed) return pairs;
  }
  if (n <= request.dense_fallback_limit) return dense_pencil_eigenpairs(k, a, request);
  return std::unexpected(std::string("The eigensolver did not converge: ") + std::to_string(request.count) +
                         " eigenvalues were asked for and no attempt found them all with none missed below.");
}

}  // namespace velk
