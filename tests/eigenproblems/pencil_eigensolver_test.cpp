// The Lanczos pencil eigensolver against a dense generalised eigensolve, its
// Sturm count, repeated eigenvalues and unknowns the second matrix does not reach.
#include "eigenproblems/pencil_eigensolver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace velk {
namespace {

using Sparse = Eigen::SparseMatrix<double>;

// A stiffness-like matrix: a chain of springs of random stiffness tied to
// the ground at the ends, with some long-range springs.
Sparse spring_chain(int n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> stiffness(1.0, 5.0);
  std::uniform_int_distribution<int> node(0, n - 1);
  std::vector<Eigen::Triplet<double>> entries;
  auto spring = [&](int i, int j, double s) {
    entries.emplace_back(i, i, s);
    entries.emplace_back(j, j, s);
    entries.emplace_back(i, j, -s);
    entries.emplace_back(j, i, -s);
  };
  for (int i = 0; i + 1 < n; ++i) spring(i, i + 1, stiffness(random));
  for (int i = 0; i < n / 10; ++i) {
    const int a = node(random), b = node(random);
    if (a != b) spring(a, b, 0.1 * stiffness(random));
  }
  entries.emplace_back(0, 0, stiffness(random));
  entries.emplace_back(n - 1, n - 1, stiffness(random));
  Sparse k(n, n);
  k.setFromTriplets(entries.begin(), entries.end());
  k.makeCompressed();
  return k;
}

// A diagonal mass matrix, every `massless`-th unknown without mass.
Sparse lumped_mass(int n, unsigned seed, int massless) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> mass(0.5, 2.0);
  std::vector<Eigen::Triplet<double>> entries;
  for (int i = 0; i < n; ++i) {
    if (massless > 0 && i % massless == 0) continue;
    entries.emplace_back(i, i, mass(random));
  }
  Sparse m(n, n);
  m.setFromTriplets(entries.begin(), entries.end());
  return m;
}

// An indefinite symmetric matrix with the pattern of the chain: a geometric
// stiffness with members in tension and in compression.
Sparse mixed_geometric(const Sparse& k, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> factor(-1.0, 0.6);
  Sparse a = k;
  for (int col = 0; col < a.outerSize(); ++col) {
    for (Sparse::InnerIterator it(a, col); it; ++it) {
      if (it.row() <= col) continue;
      const double f = factor(random);
      it.valueRef() *= f;
      a.coeffRef(col, it.row()) = it.value();
    }
  }
  for (int i = 0; i < a.rows(); ++i) a.coeffRef(i, i) = -(a.col(i).sum() - a.coeff(i, i)) * 1.01;
  return a;
}

ReducedFactorization factors_of(const Sparse& k) {
  ReducedFactorization factors;
  EXPECT_TRUE(factors.factor(k));
  return factors;
}

void expect_same_values(const std::vector<double>& lanczos, const std::vector<double>& dense) {
  ASSERT_EQ(lanczos.size(), dense.size());
  for (std::size_t i = 0; i < dense.size(); ++i)
    EXPECT_NEAR(lanczos[i], dense[i], 1e-8 * std::fabs(dense[i])) << "eigenvalue " << i;
}

// K phi = lambda A phi and phi^T K phi = 1 for every pair.
void expect_eigenpairs(const Sparse& k, const Sparse& a, const PencilEigenpairs& pairs) {
  for (std::size_t j = 0; j < pairs.values.size(); ++j) {
    const Eigen::VectorXd phi = pairs.vectors.col(static_cast<Eigen::Index>(j));
    const Eigen::VectorXd residual = k * phi - pairs.values[j] * (a * phi);
    EXPECT_LT(residual.norm(), 1e-7 * (k * phi).norm()) << "pair " << j;
    EXPECT_NEAR(phi.dot(k * phi), 1.0, 1e-9);
  }
}

struct PencilCase {
  const char* name;
  int size;
  PencilSide side;
  int massless;  // 0: the indefinite matrix, else a mass matrix with every massless-th unknown massless
  int count;
};

class PencilAgainstDense : public ::testing::TestWithParam<PencilCase> {};

TEST_P(PencilAgainstDense, LanczosAgreesWithTheDenseSolve) {
  const PencilCase& c = GetParam();
  const Sparse k = spring_chain(c.size, 7);
  const Sparse a = c.massless > 0 ? lumped_mass(c.size, 11, c.massless) : mixed_geometric(k, 13);
  const ReducedFactorization factors = factors_of(k);
  PencilRequest request;
  request.count = c.count;
  request.side = c.side;
  const auto lanczos = lowest_pencil_eigenpairs(k, factors, a, request);
  ASSERT_TRUE(lanczos) << lanczos.error();
  EXPECT_GE(lanczos->attempts, 1);
  const auto dense = dense_pencil_eigenpairs(k, a, request);
  ASSERT_TRUE(dense) << dense.error();
  expect_same_values(lanczos->values, dense->values);
  expect_eigenpairs(k, a, *lanczos);
  for (std::size_t i = 1; i < lanczos->values.size(); ++i)
    EXPECT_LE(std::fabs(lanczos->values[i - 1]), std::fabs(lanczos->values[i]));
}

INSTANTIATE_TEST_SUITE_P(Pencils, PencilAgainstDense,
                         ::testing::Values(PencilCase{"mass", 300, PencilSide::Positive, 1000, 6},
                                           PencilCase{"massless_every_third", 300, PencilSide::Positive, 3,
                                                      6},
                                           PencilCase{"many_modes", 240, PencilSide::Positive, 5, 40},
                                           PencilCase{"compression", 300, PencilSide::Positive, 0, 4},
                                           PencilCase{"reversed", 300, PencilSide::Negative, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PencilEigensolver, SmallSystemsAreSolvedDenselyAndFewerThanAskedIsTheWholeSide) {
  // Two unknowns with mass out of forty: only two finite eigenvalues.
  const Sparse k = spring_chain(40, 3);
  std::vector<Eigen::Triplet<double>> entries{{5, 5, 2.0}, {30, 30, 1.0}};
  Sparse m(40, 40);
  m.setFromTriplets(entries.begin(), entries.end());
  PencilRequest request;
  request.count = 6;
  const auto pairs = lowest_pencil_eigenpairs(k, factors_of(k), m, request);
  ASSERT_TRUE(pairs) << pairs.error();
  EXPECT_EQ(pairs->attempts, 0);
  EXPECT_EQ(pairs->values.size(), 2u);
  expect_eigenpairs(k, m, *pairs);

  // The same on a large system, by Lanczos.
  const Sparse k_large = spring_chain(400, 3);
  Sparse m_large(400, 400);
  m_large.setFromTriplets(entries.begin(), entries.end());
  const auto large = lowest_pencil_eigenpairs(k_large, factors_of(k_large), m_large, request);
  ASSERT_TRUE(large) << large.error();
  EXPECT_EQ(large->values.size(), 2u);
  expect_eigenpairs(k_large, m_large, *large);
}

TEST(PencilEigensolver, RepeatedEigenvaluesAreFoundEveryCopy) {
  // Three identical chains side by side: every eigenvalue three times, as the
  // sway modes of a symmetric tower come in pairs.
  const int chain = 120;
  const Sparse one = spring_chain(chain, 5);
  std::vector<Eigen::Triplet<double>> entries;
  for (int copy = 0; copy < 3; ++copy) {
    for (int col = 0; col < chain; ++col) {
      for (Sparse::InnerIterator it(one, col); it; ++it)
        entries.emplace_back(copy * chain + it.row(), copy * chain + col, it.value());
    }
  }
  Sparse k(3 * chain, 3 * chain);
  k.setFromTriplets(entries.begin(), entries.end());
  k.makeCompressed();
  Sparse m(3 * chain, 3 * chain);
  m.setIdentity();
  PencilRequest request;
  request.count = 5;
  const auto pairs = lowest_pencil_eigenpairs(k, factors_of(k), m, request);
  ASSERT_TRUE(pairs) << pairs.error();
  const auto dense = dense_pencil_eigenpairs(k, m, request);
  ASSERT_TRUE(dense);
  expect_same_values(pairs->values, dense->values);
  EXPECT_NEAR(pairs->values[0], pairs->values[2], 1e-8 * pairs->values[0]);
  expect_eigenpairs(k, m, *pairs);
  // The three copies are K-orthogonal: three modes, not one found thrice.
  const Eigen::MatrixXd gram = pairs->vectors.leftCols(3).transpose() * (k * pairs->vectors.leftCols(3));
  EXPECT_LT((gram - Eigen::MatrixXd::Identity(3, 3)).norm(), 1e-8);
}

TEST(PencilEigensolver, TheSturmCountCatchesAMissedModeAndTheNextStartFindsIt) {
  // Decoupled unknowns: K = diag(1 ... n), A = I, eigenvalues 1 ... n. A
  // start with nothing along unknown 2 (eigenvalue 3) never sees it, in
  // rounding as in exact arithmetic.
  const int n = 200;
  Sparse k(n, n);
  Sparse a(n, n);
  for (int i = 0; i < n; ++i) {
    k.insert(i, i) = i + 1.0;
    a.insert(i, i) = 1.0;
  }
  Eigen::VectorXd blind = Eigen::VectorXd::Ones(n);
  blind[2] = 0.0;
  PencilRequest request;
  request.count = 4;
  request.first_start = &blind;
  const auto found = lowest_pencil_eigenpairs(k, factors_of(k), a, request);
  ASSERT_TRUE(found) << found.error();
  EXPECT_EQ(found->attempts, 2);
  expect_same_values(found->values, {1.0, 2.0, 3.0, 4.0});
  expect_eigenpairs(k, a, *found);

  request.attempts = 1;
  const auto dense_after_all = lowest_pencil_eigenpairs(k, factors_of(k), a, request);
  ASSERT_TRUE(dense_after_all);
  expect_same_values(dense_after_all->values, {1.0, 2.0, 3.0, 4.0});
  request.dense_fallback_limit = 0;
  const auto missed = lowest_pencil_eigenpairs(k, factors_of(k), a, request);
  ASSERT_FALSE(missed);
  EXPECT_EQ(
      missed.error(),
      "The eigensolver did not converge: 4 eigenvalues were asked for and no attempt found them all with "
      "none missed below.");
}

// A large pencil runs on the supernodal Cholesky factors of K, and a
// single eigenvalue is checked by the positive definiteness of K - sigma A
// just short of it: a start blind to the lowest mode finds the next one
// first, the check refuses it, and the next start finds the lowest, on
// either side.
TEST(PencilEigensolver, ALargePencilIsCheckedByCholeskyShortOfItsEigenvalue) {
  const int n = 2000;
  for (const PencilSide side : {PencilSide::Positive, PencilSide::Negative}) {
    const double sign = side == PencilSide::Positive ? 1.0 : -1.0;
    Sparse k(n, n);
    Sparse a(n, n);
    for (int i = 0; i < n; ++i) {
      k.insert(i, i) = i + 1.0;
      a.insert(i, i) = sign;
    }
    k.makeCompressed();
    a.makeCompressed();
    const ReducedFactorization factors = factors_of(k);
    ASSERT_EQ(factors.path(), ReducedFactorization::Path::Cholesky);
    Eigen::VectorXd blind = Eigen::VectorXd::Ones(n);
    blind[0] = 0.0;
    PencilRequest request;
    request.count = 1;
    request.side = side;
    request.first_start = &blind;
    const auto found = lowest_pencil_eigenpairs(k, factors, a, request);
    ASSERT_TRUE(found) << found.error();
    EXPECT_EQ(found->attempts, 2);
    expect_same_values(found->values, {sign * 1.0});
    expect_eigenpairs(k, a, *found);
    EXPECT_TRUE(no_pencil_eigenvalue_below(k, a, sign * 0.999));
    EXPECT_FALSE(no_pencil_eigenvalue_below(k, a, sign * 1.001));

    request.attempts = 1;
    request.dense_fallback_limit = 0;
    const auto missed = lowest_pencil_eigenpairs(k, factors, a, request);
    ASSERT_FALSE(missed);
    EXPECT_EQ(missed.error(),
              "The eigensolver did not converge: 1 eigenvalues were asked for and no attempt found them all "
              "with none missed below.");
  }
}

TEST(PencilEigensolver, SturmCountIsTheNumberOfEigenvaluesBetweenZeroAndTheShift) {
  // K = diag(1, 4, 9, 16), A = I: eigenvalues 1, 4, 9, 16; with A = -I,
  // -1, -4, -9, -16.
  Sparse k(4, 4);
  Sparse a(4, 4);
  for (int i = 0; i < 4; ++i) {
    k.insert(i, i) = (i + 1.0) * (i + 1.0);
    a.insert(i, i) = 1.0;
  }
  EXPECT_EQ(pencil_eigenvalues_below(k, a, 0.5), 0);
  EXPECT_EQ(pencil_eigenvalues_below(k, a, 4.5), 2);
  EXPECT_EQ(pencil_eigenvalues_below(k, a, 100.0), 4);
  EXPECT_EQ(pencil_eigenvalues_below(k, a, -3.0), 0);            // none negative
  EXPECT_EQ(pencil_eigenvalues_below(k, a, 4.0), std::nullopt);  // on an eigenvalue
  const Sparse negated = -a;
  EXPECT_EQ(pencil_eigenvalues_below(k, negated, -10.0), 3);
  EXPECT_EQ(pencil_eigenvalues_below(k, negated, 10.0), 0);
}

}  // namespace
}  // namespace velk
