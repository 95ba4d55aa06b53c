#include "solvers/sparse_lu.hpp"

#include <Eigen/OrderingMethods>
#include <algorithm>
#include <cmath>

namespace velk {

namespace {

// The partial-pivoting choice among the candidates of one step, in the order
// the graph search met them: the first of largest magnitude, or the diagonal
// row when it is as large. -1 when every candidate is exactly zero.
struct PivotChoice {
  double largest = -1.0;
  int row = -1;

  void consider(int candidate, double value) {
    const double magnitude = std::fabs(value);
    if (magnitude > largest) {
      largest = magnitude;
      row = candidate;
    }
  }

  // `diagonal_candidate`: the diagonal row is not pivoted yet. Returns the
  // pivot row, or -1 for a zero pivot.
  int decide(int diagonal_row, bool diagonal_candidate, double diagonal_value) const {
    if (row == -1 || !(largest > 0.0)) return -1;
    if (diagonal_candidate && std::fabs(diagonal_value) >= largest) return diagonal_row;
    return row;
  }
};

}  // namespace

// x(rows of L(:, step)) -= L(:, step) x_j, the one update both the fresh
// factorisation and the refactorisation make. Stiffness matrices keep many
// exact zeros in their pattern (members along the axes), and a zero x_j
// changes nothing, so it is skipped.
inline void SparseLu::eliminate(int step, double xj) {
  if (xj == 0.0) return;
  double* __restrict x = x_.data();
  const int* __restrict rows = l_rows_.data();
  const double* __restrict l = l_values_.data();
  const std::int64_t end = l_begin_[step + 1];
  for (std::int64_t c = l_begin_[step]; c < end; ++c) x[rows[c]] -= l[c] * xj;
}

bool SparseLu::same_pattern(const Eigen::SparseMatrix<double>& a) const {
  return a.cols() == n_ && static_cast<std::size_t>(a.nonZeros()) == pattern_inner_.size() &&
         std::equal(pattern_outer_.begin(), pattern_outer_.end(), a.outerIndexPtr()) &&
         std::equal(pattern_inner_.begin(), pattern_inner_.end(), a.innerIndexPtr());
}

void SparseLu::analyse(const Eigen::SparseMatrix<double>& a) {
  n_ = static_cast<int>(a.cols());
  pattern_outer_.assign(a.outerIndexPtr(), a.outerIndexPtr() + n_ + 1);
  pattern_inner_.assign(a.innerIndexPtr(), a.innerIndexPtr() + a.nonZeros());

  // Minimum degree on A + A^T: its k-th index is the column eliminated k-th.
  Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> order;
  Eigen::AMDOrdering<int>()(a, order);
  q_.assign(order.indices().data(), order.indices().data() + n_);

  const auto size = static_cast<std::size_t>(n_);
  pivot_row_.assign(size, -1);
  pivot_step_.assign(size, -1);
  pivot_position_.assign(size, 0);
  l_begin_.assign(size + 1, 0);
  u_begin_.assign(size + 1, 0);
  u_diagonal_.assign(size, 0.0);
  search_end_.assign(size, 0);
  pruned_.assign(size, 0);
  x_.assign(size, 0.0);
  visited_.assign(size, -1);
  reach_.assign(size, 0);
  stack_.assign(size, 0);
  child_.assign(size, 0);
  work_.assign(size, 0.0);
  factored_ = false;
}

bool SparseLu::factor(const Eigen::SparseMatrix<double>& a) {
  if (!a.isCompressed()) {
    Eigen::SparseMatrix<double> compressed = a;
    compressed.makeCompressed();
    return factor(compressed);
  }
  refactored_ = false;
  if (a.cols() == 0) {
    n_ = 0;
    return true;
  }
  if (!same_pattern(a)) {
    analyse(a);
  } else if (factored_) {
    const Outcome outcome = refactor(a);
    if (outcome != Outcome::PivotChanged) {
      refactored_ = true;
      return outcome == Outcome::Factored;
    }
  }
  factored_ = factor_fresh(a) == Outcome::Factored;
  return factored_;
}

// Rows of L that the solve of step k touches: a depth-first search from the
// rows of A(:, column) through the columns of L pivoted so far. The rows come
// out in topological order in reach_[top, n).
int SparseLu::reach(const Eigen::SparseMatrix<double>& a, int column, int k) {
  int top = n_;
  const int* rows = a.innerIndexPtr();
  for (int p = a.outerIndexPtr()[column]; p < a.outerIndexPtr()[column + 1]; ++p) {
    if (visited_[rows[p]] == k) continue;
    int head = 0;
    stack_[0] = rows[p];
    while (head >= 0) {
      const int row = stack_[head];
      const int step = pivot_step_[row];
      if (visited_[row] != k) {
        visited_[row] = k;
        child_[head] = step < 0 ? 0 : l_begin_[step];
      }
      const std::int64_t end = step < 0 ? 0 : search_end_[step];
      bool finished = true;
      for (std::int64_t c = child_[head]; c < end; ++c) {
        const int next = search_rows_[c];
        if (visited_[next] == k) continue;
        child_[head] = c + 1;
        stack_[++head] = next;
        finished = false;
        break;
      }
      if (finished) {
        --head;
        reach_[--top] = row;
      }
    }
  }
  return top;
}

SparseLu::Outcome SparseLu::factor_fresh(const Eigen::SparseMatrix<double>& a) {
  std::fill(pivot_step_.begin(), pivot_step_.end(), -1);
  std::fill(visited_.begin(), visited_.end(), -1);
  l_rows_.clear();
  l_values_.clear();
  search_rows_.clear();
  std::fill(pruned_.begin(), pruned_.end(), 0);
  u_columns_.clear();
  u_values_.clear();
  const int* rows = a.innerIndexPtr();
  const double* values = a.valuePtr();

  for (int k = 0; k < n_; ++k) {
    const int column = q_[k];
    const int top = reach(a, column, k);
    for (int p = a.outerIndexPtr()[column]; p < a.outerIndexPtr()[column + 1]; ++p) x_[rows[p]] = values[p];

    // x = L \ A(:, column) over the reach, in topological order.
    for (int r = top; r < n_; ++r) {
      const int step = pivot_step_[reach_[r]];
      if (step < 0) continue;
      eliminate(step, x_[reach_[r]]);
    }

    // Pivoted rows give U(:, k); the others are the pivot candidates.
    PivotChoice choice;
    for (int r = top; r < n_; ++r) {
      const int row = reach_[r];
      const int step = pivot_step_[row];
      if (step < 0) {
        choice.consider(row, x_[row]);
      } else {
        u_columns_.push_back(step);
        u_values_.push_back(x_[row]);
      }
    }
    const int pivot = choice.decide(column, pivot_step_[column] < 0, x_[column]);
    if (pivot < 0) {
      for (int r = top; r < n_; ++r) x_[reach_[r]] = 0.0;
      return Outcome::Singular;
    }
    const double pivot_value = x_[pivot];
    u_diagonal_[k] = pivot_value;
    pivot_row_[k] = pivot;
    pivot_step_[pivot] = k;

    // The remaining candidates, divided by the pivot, give L(:, k).
    int position = 0;
    for (int r = top; r < n_; ++r) {
      const int row = reach_[r];
      if (row == pivot) pivot_position_[k] = position;
      if (pivot_step_[row] < 0) {
        l_rows_.push_back(row);
        l_values_.push_back(x_[row] / pivot_value);
        ++position;
      }
      x_[row] = 0.0;
    }
    l_begin_[k + 1] = static_cast<std::int64_t>(l_rows_.size());
    u_begin_[k + 1] = static_cast<std::int64_t>(u_columns_.size());
    search_rows_.insert(search_rows_.end(), l_rows_.begin() + l_begin_[k], l_rows_.end());
    search_end_[k] = l_begin_[k + 1];
    prune(k, pivot);
  }
  return Outcome::Factored;
}

// Symmetric pruning (Eisenstat and Liu): when step j < k updated column k
// (U(j, k) != 0) and the pivot row of k lies in L(:, j), every row of L(:, j)
// not pivoted yet also lies in L(:, k), so later searches reach it through
// the pivot row of k. The search keeps only the rows of L(:, j) pivoted so
// far. The set of rows a search reaches is unchanged.
void SparseLu::prune(int k, int pivot) {
  for (std::int64_t e = u_begin_[k]; e < u_begin_[k + 1]; ++e) {
    const int j = u_columns_[e];
    if (pruned_[j]) continue;
    const std::int64_t begin = l_begin_[j];
    const std::int64_t end = l_begin_[j + 1];
    if (std::find(l_rows_.begin() + begin, l_rows_.begin() + end, pivot) == l_rows_.begin() + end) continue;
    std::int64_t kept = begin;
    for (std::int64_t c = begin; c < search_end_[j]; ++c) {
      if (pivot_step_[search_rows_[c]] >= 0) std::swap(search_rows_[c], search_rows_[kept++]);
    }
    search_end_[j] = kept;
    pruned_[j] = 1;
  }
}

// The same steps along the stored patterns: U(:, k) lists the earlier steps in
// the topological order of the search, L(:, k) the candidates in the order
// they were met, with the pivot row at pivot_position_[k] among them.
SparseLu::Outcome SparseLu::refactor(const Eigen::SparseMatrix<double>& a) {
  const int* rows = a.innerIndexPtr();
  const double* values = a.valuePtr();
  for (int k = 0; k < n_; ++k) {
    const int column = q_[k];
    for (int p = a.outerIndexPtr()[column]; p < a.outerIndexPtr()[column + 1]; ++p) x_[rows[p]] = values[p];

    for (std::int64_t e = u_begin_[k]; e < u_begin_[k + 1]; ++e) {
      const int step = u_columns_[e];
      const int row = pivot_row_[step];
      const double xj = x_[row];
      u_values_[e] = xj;
      x_[row] = 0.0;
      eliminate(step, xj);
    }

    const int pivot_row = pivot_row_[k];
    const std::int64_t l_begin = l_begin_[k];
    const std::int64_t l_end = l_begin_[k + 1];
    const std::int64_t pivot_at = l_begin + pivot_position_[k];
    PivotChoice choice;
    for (std::int64_t c = l_begin; c < pivot_at; ++c) choice.consider(l_rows_[c], x_[l_rows_[c]]);
    choice.consider(pivot_row, x_[pivot_row]);
    for (std::int64_t c = pivot_at; c < l_end; ++c) choice.consider(l_rows_[c], x_[l_rows_[c]]);
    // The diagonal row is a candidate at step k if it is pivoted at k or later.
    const int pivot = choice.decide(column, pivot_step_[column] >= k, x_[column]);

    const double pivot_value = x_[pivot_row];
    x_[pivot_row] = 0.0;
    if (pivot != pivot_row) {
      for (std::int64_t c = l_begin; c < l_end; ++c) x_[l_rows_[c]] = 0.0;
      if (pivot < 0) return Outcome::Singular;
      factored_ = false;
      return Outcome::PivotChanged;
    }
    u_diagonal_[k] = pivot_value;
    for (std::int64_t c = l_begin; c < l_end; ++c) {
      l_values_[c] = x_[l_rows_[c]] / pivot_value;
      x_[l_rows_[c]] = 0.0;
    }
  }
  return Outcome::Factored;
}

void SparseLu::solve(const Eigen::VectorXd& b, Eigen::VectorXd& x) const {
  // L y = P b, in the rows of A: y(pivot_row_[k]) is final at step k.
  std::vector<double>& y = work_;
  std::copy(b.data(), b.data() + n_, y.begin());
  for (int k = 0; k < n_; ++k) {
    const double yk = y[pivot_row_[k]];
    for (std::int64_t c = l_begin_[k]; c < l_begin_[k + 1]; ++c) y[l_rows_[c]] -= l_values_[c] * yk;
  }
  // U z = y by columns from the last, z in place of y's pivot order, then
  // x = Q z.
  x.resize(n_);
  for (int k = 0; k < n_; ++k) x[q_[k]] = y[pivot_row_[k]];
  for (int k = n_ - 1; k >= 0; --k) {
    const double zk = x[q_[k]] / u_diagonal_[k];
    x[q_[k]] = zk;
    for (std::int64_t e = u_begin_[k]; e < u_begin_[k + 1]; ++e) x[q_[u_columns_[e]]] -= u_values_[e] * zk;
  }
}

}  // namespace velk
