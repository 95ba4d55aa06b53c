#pragma once
// Left-looking sparse LU with partial pivoting (Gilbert-Peierls) for the
// reduced stiffness:
//
//   P A Q = L U,   L unit lower triangular, U upper triangular,
//
// Q a fill-reducing column order (minimum degree on the pattern of A + A^T,
// applied to rows and columns alike so that the diagonal stays a candidate)
// and P chosen column by column: the candidate of largest magnitude, the
// diagonal when it is one of the largest. A column whose candidates are all
// exactly zero is a zero pivot: the matrix is singular. With a pivot ratio
// r > 0, so is a pivot of at most r times the magnitude of its column's own
// diagonal entry in A: elimination has cancelled almost all of its digits,
// what is left is rounding noise, and the column's unknown has no stiffness
// of its own (a mechanism the axes do not line up with).
//
// A matrix with the same pattern as the last one is refactored along the
// last pivot sequence by supernodes, without searching the graph again, as
// long as partial pivoting would choose the same pivots: every entry then
// sees the operations a fresh factorisation applies, in the same order, so
// the factors are bit for bit the same. At the first column where the choice
// would differ it is factored afresh.

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <cstdint>
#include <utility>
#include <vector>

#include "numerics/sparse_pattern.hpp"

namespace velk {

class SparseLu {
 public:
  explicit SparseLu(double zero_pivot_ratio = 0.0) : zero_pivot_ratio_(zero_pivot_ratio) {}

  // Factors A (square, compressed column storage); false at a zero pivot.
  // The ordering is computed when the pattern is new.
  bool factor(const Eigen::SparseMatrix<double>& a);

  // x = A^-1 b with the last factors; x must not be b.
  void solve(const Eigen::VectorXd& b, Eigen::VectorXd& x) const;

  // Entries of L and U together (the diagonal of U included).
  std::size_t factor_nonzeros() const { return l_rows_.size() + u_columns_.size() + u_diagonal_.size(); }

  // Whether the last factor() reused the pivot sequence before it.
  bool refactored() const { return refactored_; }

  // The smallest |pivot| / |own diagonal entry| of the last factor() (0
  // when it stopped at a zero pivot, 1 for an empty matrix), and the column
  // of A where it stopped (-1 when it did not).
  double smallest_pivot_ratio() const { return smallest_pivot_ratio_; }
  int zero_pivot_column() const { return zero_pivot_column_; }

 private:
  enum class Outcome { Factored, Singular, PivotChanged };

  void analyse(const Eigen::SparseMatrix<double>& a);
  Outcome factor_fresh(const Eigen::SparseMatrix<double>& a);
  void build_supernodes();
  Outcome numeric(const Eigen::SparseMatrix<double>& a);
  int reach(const Eigen::SparseMatrix<double>& a, int column, int k);
  void prune(int k, int pivot);
  void eliminate(int step, double xj);
  void take_diagonal(const Eigen::SparseMatrix<double>& a);
  bool is_zero_pivot(int column, double pivot_value);

  double zero_pivot_ratio_ = 0.0;
  double smallest_pivot_ratio_ = 1.0;
  int zero_pivot_column_ = -1;
  std::vector<double> diagonal_;  // |A(j, j)| of the matrix being factored

  int n_ = 0;
  // The pattern the ordering and the pivot sequence belong to.
  SparsePattern pattern_;
  std::vector<int> q_;  // column k of P A Q is column q_[k] of A

  // Factors. L(:, k) holds original row indices (rows pivoted after k) in the
  // order of the graph search; U(:, k) holds pivot steps j < k in
  // ascending order.
  std::vector<int> pivot_row_;       // P: row of A pivoted at step k
  std::vector<int> pivot_step_;      // inverse of pivot_row_, -1 while not pivoted
  std::vector<int> pivot_position_;  // where the pivot row stood among the candidates of step k
  std::vector<std::int64_t> l_begin_, u_begin_;
  std::vector<int> l_rows_, u_columns_;
  // The graph search's own copy of L's rows: column j is cut down to
  // [l_begin_[j], search_end_[j]) once a later column makes the rest
  // reachable another way (symmetric pruning).
  std::vector<int> search_rows_;
  std::vector<std::int64_t> search_end_;
  std::vector<char> pruned_;
  std::vector<double> l_values_, u_values_, u_diagonal_;
  // Supernodes: consecutive steps whose columns of L share the pattern
  // below them. Each keeps its diagonal block (width x width, by columns)
  // and the rows below it (by rows) in supernode_values_.
  struct Supernode {
    int first;
    int width;
    std::int64_t below_begin, below_end;  // its rows below, as steps, in sorted_steps_
    std::size_t diagonal_values;
    std::size_t below_values;
  };
  struct ColumnSupernode {
    int node;
    int first_column;  // the first column of the supernode that the column's U part reaches
  };
  std::vector<int> sorted_steps_;  // the steps of each column of L, ascending (same layout as l_rows_)
  std::vector<int> sorted_place_;  // for each entry of L in search order, its place in sorted_steps_
  std::vector<std::pair<int, int>> keyed_;
  std::vector<int> node_mark_;
  std::vector<int> u_steps_;
  std::vector<int> nonzero_columns_;
  std::vector<double> nonzero_values_;
  bool supernodes_built_ = false;
  std::vector<Supernode> supernodes_;
  std::vector<int> supernode_of_;
  std::vector<double> supernode_values_;
  std::vector<std::size_t> l_destination_;  // where each entry of L goes in supernode_values_
  std::vector<ColumnSupernode> column_supernodes_;
  std::vector<std::int64_t> column_supernodes_begin_;
  bool factored_ = false;
  bool refactored_ = false;

  // Workspace, sized once per pattern: x is all zero between columns.
  std::vector<double> x_;
  std::vector<int> visited_;  // step at which a row was last reached
  std::vector<int> reach_;    // rows reached at this step, topological order from reach_top_
  std::vector<int> stack_;
  std::vector<std::int64_t> child_;
  mutable std::vector<double> work_;
};

}  // namespace velk
