// The supernodal Cholesky of large systems and the factorisation that
// chooses it: exact solutions, refined solves that agree with the sparse LU,
// and every system that is not plainly regular left to the LU.
#include "numerics/supernodal_cholesky.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <vector>

#include "numerics/factorization.hpp"
#include "numerics/sparse_lu.hpp"

namespace velk {
namespace {

using Sparse = Eigen::SparseMatrix<double>;

// The stiffness of a cubic grid of nodes with six unknowns each, every node
// tied to its neighbours along the three axes by a dense, symmetric, positive
// semidefinite 6 x 6 coupling (a spring of random stiffnesses) and to the
// ground by `ground` times the identity: positive definite for ground > 0,
// and conditioned like a frame (stiffnesses spread over `spread` decades).
Sparse grid_stiffness(int side, unsigned seed, double ground, double spread = 3.0) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const int nodes = side * side * side;
  std::vector<Eigen::Triplet<double>> entries;
  const auto node = [side](int x, int y, int z) { return (z * side + y) * side + x; };
  const auto tie = [&](int a, int b) {
    Eigen::Matrix<double, 6, 6> g;
    for (int i = 0; i < 6; ++i)
      for (int j = 0; j < 6; ++j) g(i, j) = unit(random);
    Eigen::Matrix<double, 6, 6> s = Eigen::Matrix<double, 6, 6>::Zero();
    for (int i = 0; i < 6; ++i) s(i, i) = std::pow(10.0, spread * 0.5 * (unit(random) + 1.0));
    const Eigen::Matrix<double, 6, 6> k = g.transpose() * s * g;
    for (int i = 0; i < 6; ++i) {
      for (int j = 0; j < 6; ++j) {
        // k is symmetric to rounding; its mirror image is used so that the
        // assembled matrix is exactly symmetric, as a stiffness is.
        const double kij = i <= j ? k(i, j) : k(j, i);
        entries.emplace_back(6 * a + i, 6 * a + j, kij);
        entries.emplace_back(6 * b + i, 6 * b + j, kij);
        entries.emplace_back(6 * a + i, 6 * b + j, -kij);
        entries.emplace_back(6 * b + i, 6 * a + j, -kij);
      }
    }
  };
  for (int z = 0; z < side; ++z) {
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        if (x + 1 < side) tie(node(x, y, z), node(x + 1, y, z));
        if (y + 1 < side) tie(node(x, y, z), node(x, y + 1, z));
        if (z + 1 < side) tie(node(x, y, z), node(x, y, z + 1));
      }
    }
  }
  for (int i = 0; i < 6 * nodes; ++i) entries.emplace_back(i, i, ground);
  Sparse a(6 * nodes, 6 * nodes);
  a.setFromTriplets(entries.begin(), entries.end());
  a.makeCompressed();
  return a;
}

Eigen::VectorXd random_load(Eigen::Index n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Eigen::VectorXd f(n);
  for (Eigen::Index i = 0; i < n; ++i) f[i] = unit(random);
  return f;
}

// The backward error of x as a solution of A x = b: rounding (about 1e-16)
// for a stable solve, whatever the condition of A.
double relative_residual(const Sparse& a, const Eigen::VectorXd& x, const Eigen::VectorXd& b) {
  const double norm_a = Eigen::VectorXd(a.cwiseAbs() * Eigen::VectorXd::Ones(a.cols())).maxCoeff();
  return (b - a * x).cwiseAbs().maxCoeff() / (norm_a * x.cwiseAbs().maxCoeff() + b.cwiseAbs().maxCoeff());
}

// b - A x, summed in long double and rounded once.
Eigen::VectorXd extended_residual(const Sparse& a, const Eigen::VectorXd& x, const Eigen::VectorXd& b) {
  std::vector<long double> sum(b.data(), b.data() + b.size());
  for (Eigen::Index j = 0; j < a.cols(); ++j)
    for (Sparse::InnerIterator it(a, j); it; ++it)
      sum[static_cast<std::size_t>(it.row())] -= static_cast<long double>(it.value()) * x[j];
  Eigen::VectorXd r(a.rows());
  for (Eigen::Index i = 0; i < a.rows(); ++i) r[i] = static_cast<double>(sum[static_cast<std::size_t>(i)]);
  return r;
}

double relative_difference(const Eigen::VectorXd& x, const Eigen::VectorXd& y) {
  return (x - y).cwiseAbs().maxCoeff() / y.cwiseAbs().maxCoeff();
}

// A large system solved on the factorisation that takes it (Cholesky, which
// must be the one) and on the sparse LU, plainly and refined once in
// extended precision as the large path refines.
struct BothWays {
  Eigen::VectorXd q, plain, refined;
};

BothWays solve_both_ways(const Sparse& a, const Eigen::VectorXd& f) {
  BothWays both;
  ReducedFactorization large(ReducedFactorization::default_dense_limit, 1e-12);
  EXPECT_TRUE(large.factor(a));
  EXPECT_EQ(large.path(), ReducedFactorization::Path::Cholesky);
  both.q = large.solve(f);
  EXPECT_LT(relative_residual(a, both.q, f), 1e-15);
  SparseLu lu(1e-12);
  EXPECT_TRUE(lu.factor(a));
  Eigen::VectorXd correction;
  lu.solve(f, both.plain);
  lu.solve(extended_residual(a, both.plain, f), correction);
  both.refined = both.plain + correction;
  return both;
}

// 8^3 nodes: 3,072 unknowns, above the size from which systems are large.
constexpr int large_side = 8;

TEST(SupernodalCholesky, IsOnThisMachineAndSolvesAPositiveDefiniteSystem) {
  ASSERT_TRUE(SupernodalCholesky::available());
  const Sparse a = grid_stiffness(large_side, 1, 1e-2);
  const Eigen::VectorXd f = random_load(a.rows(), 2);
  SupernodalCholesky llt(1e-12);
  ASSERT_TRUE(llt.factor(a));
  EXPECT_FALSE(llt.refactored());
  Eigen::VectorXd x;
  llt.solve(f, x);
  EXPECT_LT(relative_residual(a, x, f), 1e-15);
  EXPECT_GT(llt.factor_nonzeros(), static_cast<std::size_t>(a.nonZeros() / 2));
  EXPECT_GT(llt.smallest_pivot_ratio(), 1e-12);
  EXPECT_LE(llt.smallest_pivot_ratio(), 1.0);

  // The same pattern with other values keeps the analysis; a copy solves
  // as its original does, to the last bit.
  Sparse b = a;
  b *= 2.0;
  ASSERT_TRUE(llt.factor(b));
  EXPECT_TRUE(llt.refactored());
  const SupernodalCholesky copy = llt;
  Eigen::VectorXd y, z;
  llt.solve(f, y);
  copy.solve(f, z);
  EXPECT_EQ(y, z);
  EXPECT_LT(relative_difference(2.0 * y, x), 1e-12);
}

// A process that forks after a factorisation (a pool of worker processes)
// factors again in its children: no runtime thread pool of the parent is
// waited for there.
TEST(SupernodalCholesky, FactorsInAChildForkedAfterAFactorisation) {
  const Sparse a = grid_stiffness(large_side, 13, 1e-2);
  const Eigen::VectorXd f = random_load(a.rows(), 14);
  SupernodalCholesky parent(1e-12);
  ASSERT_TRUE(parent.factor(a));
  Eigen::VectorXd expected;
  parent.solve(f, expected);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(120);  // a child that hangs is ended, and fails the test
    SupernodalCholesky again(1e-12);
    Eigen::VectorXd x;
    const bool factored = again.factor(a);
    if (factored) again.solve(f, x);
    _exit(factored && x == expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The refined solution of a large system is the same to rounding
// whichever factorisation gave it, where the plain solves keep only the
// digits the condition of the system leaves them.
TEST(ReducedFactorization, ALargeSymmetricSystemIsFactoredByCholeskyAndSolvedToRounding) {
  const Sparse a = grid_stiffness(large_side, 3, 1e-3, 4.0);
  ASSERT_GE(a.rows(), ReducedFactorization::default_large_limit);
  const BothWays both = solve_both_ways(a, random_load(a.rows(), 4));
  EXPECT_LT(relative_difference(both.q, both.refined), 1e-12);
  EXPECT_GT(relative_difference(both.plain, both.refined), 10 * relative_difference(both.q, both.refined));
}

// Below the large size, and for a large system that is not exactly
// symmetric or not positive definite, the LU factors: a small system's
// solution is the plain LU's to the last bit.
TEST(ReducedFactorization, EverySystemThatIsNotLargeSymmetricAndDefiniteIsLeftToTheLu) {
  const Sparse small = grid_stiffness(5, 5, 1e-2);
  ASSERT_LT(small.rows(), ReducedFactorization::default_large_limit);
  ReducedFactorization factors(ReducedFactorization::default_dense_limit, 1e-12);
  ASSERT_TRUE(factors.factor(small));
  EXPECT_EQ(factors.path(), ReducedFactorization::Path::SparseLu);
  SparseLu lu(1e-12);
  ASSERT_TRUE(lu.factor(small));
  const Eigen::VectorXd f = random_load(small.rows(), 6);
  Eigen::VectorXd expected;
  lu.solve(f, expected);
  EXPECT_EQ(factors.solve(f), expected);

  // Unsymmetric beyond rounding in one pair: the LU.
  Sparse unsymmetric = grid_stiffness(large_side, 7, 1e-2);
  unsymmetric.coeffRef(10, 11) *= 1.0 + 1e-9;
  EXPECT_FALSE(SupernodalCholesky::symmetric_to_rounding(unsymmetric));
  ASSERT_TRUE(factors.factor(unsymmetric));
  EXPECT_EQ(factors.path(), ReducedFactorization::Path::SparseLu);
  const Eigen::VectorXd g = random_load(unsymmetric.rows(), 8);
  EXPECT_LT(relative_residual(unsymmetric, factors.solve(g), g), 1e-15);

  // Symmetric and regular but indefinite: one negative spring to ground.
  Sparse indefinite = grid_stiffness(large_side, 9, 1e-2);
  indefinite.coeffRef(100, 100) = -50.0;
  ASSERT_TRUE(SupernodalCholesky::symmetric_to_rounding(indefinite));
  EXPECT_FALSE(SupernodalCholesky(1e-12).factor(indefinite));
  ASSERT_TRUE(factors.factor(indefinite));
  EXPECT_EQ(factors.path(), ReducedFactorization::Path::SparseLu);
  EXPECT_LT(relative_residual(indefinite, factors.solve(g), g), 1e-15);
}

// A stiffness assembled from skewed members differs from its transpose in
// the last bits of some pairs: it is factored by Cholesky to rounding, and
// the refined solution is that of the matrix as assembled, the same to
// rounding as the LU's refined one.
TEST(ReducedFactorization, ASystemSymmetricToRoundingTakesCholeskyAndSolvesItself) {
  Sparse a = grid_stiffness(large_side, 15, 1e-3, 4.0);
  std::mt19937 random(16);
  std::uniform_int_distribution<int> ulps(-4, 4);
  int nudged = 0;
  for (Eigen::Index j = 0; j < a.cols(); ++j) {
    for (Sparse::InnerIterator it(a, j); it; ++it) {
      if (it.row() <= j) continue;  // the entries below the diagonal only
      double value = it.value();
      for (int k = ulps(random); k != 0; k += k > 0 ? -1 : 1)
        value = std::nextafter(value, k > 0 ? 1e300 : -1e300);
      nudged += value != it.value();
      it.valueRef() = value;
    }
  }
  ASSERT_GT(nudged, 1000);
  EXPECT_TRUE(SupernodalCholesky::symmetric_to_rounding(a));
  const BothWays both = solve_both_ways(a, random_load(a.rows(), 17));
  EXPECT_LT(relative_difference(both.q, both.refined), 1e-12);
}

// A singular system is decided by the LU as it always was: the zero pivot
// and its unknown are the LU's, whether the grid floats freely (exactly
// singular) or holds by a ground spring that is rounding beside the rest.
TEST(ReducedFactorization, ASingularLargeSystemIsJudgedByTheLuAlone) {
  for (const double ground : {0.0, 1e-16}) {
    const Sparse a = grid_stiffness(large_side, 11, ground);
    EXPECT_FALSE(SupernodalCholesky(1e-12).factor(a)) << ground;
    ReducedFactorization factors(ReducedFactorization::default_dense_limit, 1e-12);
    SparseLu lu(1e-12);
    const bool lu_regular = lu.factor(a);
    EXPECT_FALSE(lu_regular) << ground;
    EXPECT_EQ(factors.factor(a), lu_regular) << ground;
    EXPECT_EQ(factors.path(), ReducedFactorization::Path::SparseLu);
    EXPECT_EQ(factors.zero_pivot_unknown(), lu.zero_pivot_column()) << ground;
    EXPECT_EQ(factors.smallest_pivot_ratio(), 0.0);
  }
}

}  // namespace
}  // namespace velk
