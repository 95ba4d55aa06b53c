// The sparse LU against dense partial pivoting: pivot choice, bit-for-bit refactoring, zero pivots.
#include "numerics/sparse_lu.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace velk {
namespace {

using Sparse = Eigen::SparseMatrix<double>;

// A random matrix with a symmetric pattern like a stiffness matrix's: a band
// of node couplings plus scattered long-range ones. `diagonal` scales the
// diagonal, so small values force pivots off the diagonal.
Sparse random_matrix(int n, unsigned seed, double diagonal) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::uniform_int_distribution<int> index(0, n - 1);
  std::vector<Eigen::Triplet<double>> entries;
  for (int i = 0; i < n; ++i) {
    entries.emplace_back(i, i, diagonal * (2.0 + value(random)));
    for (int d = 1; d <= 3 && i + d < n; ++d) {
      entries.emplace_back(i, i + d, value(random));
      entries.emplace_back(i + d, i, value(random));
    }
    const int far = index(random);
    if (far != i) {
      entries.emplace_back(i, far, value(random));
      entries.emplace_back(far, i, value(random));
    }
  }
  Sparse a(n, n);
  a.setFromTriplets(entries.begin(), entries.end());
  a.makeCompressed();
  return a;
}

// Like a frame's stiffness: six unknowns per node in dense 6 x 6 blocks,
// each node coupled to the next and to one further node, so that the
// factors have supernodes several columns wide.
Sparse node_block_matrix(int nodes, unsigned seed, double diagonal) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::uniform_int_distribution<int> index(0, nodes - 1);
  std::vector<Eigen::Triplet<double>> entries;
  const auto couple = [&](int a, int b) {
    for (int i = 0; i < 6; ++i) {
      for (int j = 0; j < 6; ++j) {
        entries.emplace_back(6 * a + i, 6 * b + j, value(random));
        if (a != b) entries.emplace_back(6 * b + j, 6 * a + i, value(random));
      }
    }
  };
  for (int a = 0; a < nodes; ++a) {
    couple(a, a);
    for (int i = 0; i < 6; ++i) entries.emplace_back(6 * a + i, 6 * a + i, diagonal * 8.0);
    if (a + 1 < nodes) couple(a, a + 1);
    const int far = index(random);
    if (far != a && far != a + 1 && far + 1 != a) couple(a, far);
  }
  Sparse m(6 * nodes, 6 * nodes);
  m.setFromTriplets(entries.begin(), entries.end());
  m.makeCompressed();
  return m;
}

// x = A^-1 b through a fresh factorisation in `lu`, and the same by dense
// partial pivoting.
struct Solutions {
  Eigen::VectorXd sparse;
  Eigen::VectorXd dense;
};
Solutions solve_both(SparseLu& lu, const Sparse& a, const Eigen::VectorXd& b) {
  Solutions out;
  EXPECT_TRUE(lu.factor(a));
  lu.solve(b, out.sparse);
  out.dense = Eigen::PartialPivLU<Eigen::MatrixXd>(Eigen::MatrixXd(a)).solve(b);
  return out;
}

bool bitwise_equal(const Eigen::VectorXd& a, const Eigen::VectorXd& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0;
}

TEST(SparseLu, SolvesLikeDensePartialPivoting) {
  for (const int n : {1, 2, 7, 60, 300}) {
    for (const double diagonal : {10.0, 1.0, 1e-3, 0.0}) {
      const Sparse a = random_matrix(n, 17u * n, diagonal);
      const Eigen::MatrixXd dense(a);
      Eigen::PartialPivLU<Eigen::MatrixXd> reference(dense);
      if ((reference.matrixLU().diagonal().array() == 0.0).any()) continue;
      const Eigen::VectorXd b = Eigen::VectorXd::LinSpaced(n, -1.0, 2.0);
      SparseLu lu;
      const auto [x, expected] = solve_both(lu, a, b);
      EXPECT_LE((x - expected).norm(), 1e-10 * expected.norm()) << n << " " << diagonal;
      EXPECT_LE((dense * x - b).norm(), 1e-12 * dense.norm() * x.norm()) << n << " " << diagonal;
    }
  }
}

TEST(SparseLu, NodeBlocksSolveLikeDensePartialPivoting) {
  for (const int nodes : {2, 10, 45}) {
    for (const double diagonal : {4.0, 0.5, 0.0}) {
      const Sparse a = node_block_matrix(nodes, 3u * nodes, diagonal);
      const Eigen::VectorXd b = Eigen::VectorXd::LinSpaced(a.rows(), 2.0, -1.0);
      SparseLu lu;
      const auto [x, expected] = solve_both(lu, a, b);
      EXPECT_LE((x - expected).norm(), 1e-9 * expected.norm()) << nodes << " " << diagonal;
      // Refactoring a scaled copy along the same pivots, bit for bit a fresh one.
      const Sparse scaled = a * 0.75;
      ASSERT_TRUE(lu.factor(scaled));
      EXPECT_TRUE(lu.refactored());
      SparseLu fresh;
      ASSERT_TRUE(fresh.factor(scaled));
      Eigen::VectorXd x_refactored, x_fresh;
      lu.solve(b, x_refactored);
      fresh.solve(b, x_fresh);
      EXPECT_TRUE(bitwise_equal(x_refactored, x_fresh)) << nodes << " " << diagonal;
    }
  }
}

TEST(SparseLu, PivotsOnTheLargestCandidate) {
  // Without row exchange the tiny diagonal would wipe out the answer.
  Sparse a(2, 2);
  a.insert(0, 0) = 1e-20;
  a.insert(0, 1) = 1.0;
  a.insert(1, 0) = 1.0;
  a.insert(1, 1) = 1.0;
  a.makeCompressed();
  SparseLu lu;
  ASSERT_TRUE(lu.factor(a));
  Eigen::VectorXd x;
  lu.solve(Eigen::Vector2d(1.0, 2.0), x);
  EXPECT_NEAR(x[0], 1.0, 1e-15);
  EXPECT_NEAR(x[1], 1.0, 1e-15);
}

// Refactoring along the last pivots must give the factors a fresh
// factorisation gives, bit for bit: values that keep the pivots, and values
// that move them (where it has to start again).
TEST(SparseLu, RefactoringIsBitForBitAFreshFactorisation) {
  const int n = 200;
  const Sparse first = random_matrix(n, 5u, 4.0);
  const Eigen::VectorXd b = Eigen::VectorXd::LinSpaced(n, 1.0, -3.0);
  struct Case {
    const char* name;
    Sparse a;
    bool keeps_pivots;
  };
  Sparse scaled = first * 1.5;
  Sparse perturbed = first;
  for (int k = 0; k < perturbed.nonZeros(); ++k) perturbed.valuePtr()[k] *= 1.0 + 1e-3 * (k % 7);
  Sparse weak_diagonal = random_matrix(n, 5u, 1e-3);  // same pattern, other pivots
  const Case cases[] = {
      {"scaled", scaled, true}, {"perturbed", perturbed, true}, {"weak diagonal", weak_diagonal, false}};
  for (const Case& c : cases) {
    SparseLu reused;
    ASSERT_TRUE(reused.factor(first));
    EXPECT_FALSE(reused.refactored());
    ASSERT_TRUE(reused.factor(c.a)) << c.name;
    EXPECT_EQ(reused.refactored(), c.keeps_pivots) << c.name;
    SparseLu fresh;
    ASSERT_TRUE(fresh.factor(c.a)) << c.name;
    Eigen::VectorXd x_reused, x_fresh;
    reused.solve(b, x_reused);
    fresh.solve(b, x_fresh);
    EXPECT_TRUE(bitwise_equal(x_reused, x_fresh)) << c.name;
    EXPECT_EQ(reused.factor_nonzeros(), fresh.factor_nonzeros()) << c.name;
  }
}

TEST(SparseLu, AnExactlyZeroPivotIsSingularFreshAndRefactored) {
  // Two equal rows: elimination leaves an exact zero in the last column.
  const auto dependent = [](double scale) {
    Sparse a(3, 3);
    a.insert(0, 0) = 2.0 * scale;
    a.insert(0, 1) = 1.0 * scale;
    a.insert(1, 0) = 2.0 * scale;
    a.insert(1, 1) = 1.0 * scale;
    a.insert(2, 2) = 1.0;
    a.insert(1, 2) = 0.0;
    a.insert(2, 1) = 0.0;
    a.makeCompressed();
    return a;
  };
  SparseLu lu;
  EXPECT_FALSE(lu.factor(dependent(1.0)));
  // A regular matrix of that pattern, then the singular one refactored.
  Sparse regular = dependent(1.0);
  regular.coeffRef(1, 1) = 3.0;
  EXPECT_TRUE(lu.factor(regular));
  EXPECT_FALSE(lu.factor(dependent(2.0)));
  EXPECT_TRUE(lu.factor(regular));

  // A column of nothing.
  Sparse empty_column = random_matrix(50, 9u, 5.0);
  for (int k = 0; k < empty_column.outerSize(); ++k) {
    for (Sparse::InnerIterator entry(empty_column, k); entry; ++entry) {
      if (entry.row() == 20 || entry.col() == 20) entry.valueRef() = 0.0;
    }
  }
  SparseLu other;
  EXPECT_FALSE(other.factor(empty_column));
}

TEST(SparseLu, APivotThatVanishedBesideAnotherCandidateIsChosenAfresh) {
  // Factored on its diagonal first; then both diagonal entries vanish, but
  // the off-diagonal ones make the matrix regular: not singular.
  const auto matrix = [](double a00, double a01, double a10, double a11) {
    Sparse a(2, 2);
    a.insert(0, 0) = a00;
    a.insert(0, 1) = a01;
    a.insert(1, 0) = a10;
    a.insert(1, 1) = a11;
    a.makeCompressed();
    return a;
  };
  SparseLu lu;
  ASSERT_TRUE(lu.factor(matrix(2.0, 1.0, 1.0, 3.0)));
  ASSERT_TRUE(lu.factor(matrix(0.0, 1.0, 1.0, 0.0)));
  Eigen::VectorXd x;
  lu.solve(Eigen::Vector2d(3.0, 5.0), x);
  EXPECT_EQ(x, Eigen::Vector2d(5.0, 3.0));
}

}  // namespace
}  // namespace velk
