#include "numerics/sparse_lu.hpp"

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

// x(rows of L(:, step)) -= L(:, step) x_j, the update of the fresh
// factorisation. Stiffness matrices keep many exact zeros in their pattern
// (members along the axes), and a zero x_j changes nothing, so it is skipped
// (as the supernodal pass skips it).
inline void SparseLu::eliminate(int step, double xj) {
  if (xj == 0.0) return;
  double* __restrict x = x_.data();
  const int* __restrict rows = l_rows_.data();
  const double* __restrict l = l_values_.data();
  const std::int64_t end = l_begin_[step + 1];
  for (std::int64_t c = l_begin_[step]; c < end; ++c) x[rows[c]] -= l[c] * xj;
}

void SparseLu::take_diagonal(const Eigen::SparseMatrix<double>& a) { absolute_diagonal(a, diagonal_); }

// The one place a pivot is judged: exactly zero, or at most the ratio times
// its column's own diagonal entry. Keeps the smallest ratio met.
bool SparseLu::is_zero_pivot(int column, double pivot_value) {
  const double magnitude = std::fabs(pivot_value);
  const double own = diagonal_[column];
  if (own > 0.0) smallest_pivot_ratio_ = std::min(smallest_pivot_ratio_, magnitude / own);
  const bool zero = magnitude == 0.0 || magnitude <= zero_pivot_ratio_ * own;
  if (zero) {
    zero_pivot_column_ = column;
    smallest_pivot_ratio_ = 0.0;
  }
  return zero;
}

void SparseLu::analyse(const Eigen::SparseMatrix<double>& a) {
  n_ = static_cast<int>(a.cols());
  pattern_.assign(a);

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
  smallest_pivot_ratio_ = 1.0;
  zero_pivot_column_ = -1;
  if (a.cols() == 0) {
    n_ = 0;
    return true;
  }
  if (!pattern_.matches(a)) {
    analyse(a);
    take_diagonal(a);
  } else if (take_diagonal(a); factored_) {
    if (!supernodes_built_) {
      build_supernodes();
      supernodes_built_ = true;
    }
    const Outcome outcome = numeric(a);
    if (outcome != Outcome::PivotChanged) {
      refactored_ = true;
      if (outcome == Outcome::Singular) factored_ = false;
      return outcome == Outcome::Factored;
    }
  }
  supernodes_built_ = false;
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

    // x = L \ A(:, column) over the reach, the earlier steps in ascending
    // order (every update of a step comes from smaller steps, so this is a
    // topological order). Each entry of x then sees its updates in the
    // order the supernodal refactorisation applies them, so both give the
    // same factors bit for bit.
    u_steps_.clear();
    for (int r = top; r < n_; ++r) {
      const int step = pivot_step_[reach_[r]];
      if (step >= 0) u_steps_.push_back(step);
    }
    std::sort(u_steps_.begin(), u_steps_.end());
    for (const int step : u_steps_) eliminate(step, x_[pivot_row_[step]]);

    // Pivoted rows give U(:, k); the others are the pivot candidates.
    for (const int step : u_steps_) {
      u_columns_.push_back(step);
      u_values_.push_back(x_[pivot_row_[step]]);
    }
    PivotChoice choice;
    for (int r = top; r < n_; ++r) {
      const int row = reach_[r];
      if (pivot_step_[row] < 0) choice.consider(row, x_[row]);
    }
    const int pivot = choice.decide(column, pivot_step_[column] < 0, x_[column]);
    if (pivot < 0 || is_zero_pivot(column, x_[pivot])) {
      if (pivot < 0) {
        zero_pivot_column_ = column;
        smallest_pivot_ratio_ = 0.0;
      }
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

// The supernodes of the factors the graph search found. Steps j and j + 1
// share one when L(:, j) holds exactly step j + 1 and the steps of
// L(:, j + 1): the columns of a supernode then have one pattern below it, so
// their updates of a later column run as one small dense block. The six
// unknowns of a node usually end up in one supernode.
void SparseLu::build_supernodes() {
  const auto size = static_cast<std::size_t>(n_);
  // The steps of each column of L, ascending, and for each entry (in search
  // order) its place in that sorted column.
  sorted_steps_.resize(l_rows_.size());
  sorted_place_.resize(l_rows_.size());
  for (int j = 0; j < n_; ++j) {
    const std::int64_t begin = l_begin_[j];
    const std::int64_t count = l_begin_[j + 1] - begin;
    keyed_.clear();
    for (std::int64_t c = 0; c < count; ++c)
      keyed_.push_back({pivot_step_[l_rows_[begin + c]], static_cast<int>(c)});
    std::sort(keyed_.begin(), keyed_.end());
    for (std::int64_t p = 0; p < count; ++p) {
      sorted_steps_[begin + p] = keyed_[p].first;
      sorted_place_[begin + keyed_[p].second] = static_cast<int>(p);
    }
  }
  const int* steps = sorted_steps_.data();
  const auto joins_next = [&](int j) {
    const std::int64_t count = l_begin_[j + 1] - l_begin_[j];
    if (count == 0 || steps[l_begin_[j]] != j + 1 || l_begin_[j + 2] - l_begin_[j + 1] != count - 1)
      return false;
    return std::equal(steps + l_begin_[j] + 1, steps + l_begin_[j + 1], steps + l_begin_[j + 1]);
  };
  supernodes_.clear();
  supernode_of_.resize(size);
  std::size_t values = 0;
  for (int first = 0; first < n_;) {
    int width = 1;
    while (first + width < n_ && joins_next(first + width - 1)) ++width;
    const int last = first + width - 1;
    const auto below = static_cast<std::size_t>(l_begin_[last + 1] - l_begin_[last]);
    const auto w = static_cast<std::size_t>(width);
    supernodes_.push_back({first, width, l_begin_[last], l_begin_[last + 1], values, values + w * w});
    values += w * w + w * below;
    for (int j = first; j <= last; ++j) supernode_of_[j] = static_cast<int>(supernodes_.size() - 1);
    first += width;
  }
  supernode_values_.resize(values);
  nonzero_columns_.resize(size);
  nonzero_values_.resize(size);

  // Where each entry of L goes in its supernode: column j = first + t holds,
  // sorted, the steps first + t + 1 ... first + width - 1 of the diagonal
  // block and then the rows below, in their order.
  l_destination_.resize(l_rows_.size());
  for (const Supernode& node : supernodes_) {
    const auto w = static_cast<std::size_t>(node.width);
    for (int t = 0; t < node.width; ++t) {
      const int j = node.first + t;
      const int in_block = node.width - 1 - t;
      for (std::int64_t c = l_begin_[j]; c < l_begin_[j + 1]; ++c) {
        const int place = sorted_place_[c];
        l_destination_[c] = place < in_block
                                ? node.diagonal_values + static_cast<std::size_t>(t) * w +
                                      static_cast<std::size_t>(t + 1 + place)
                                : node.below_values + static_cast<std::size_t>(place - in_block) * w +
                                      static_cast<std::size_t>(t);
      }
    }
  }

  // For each column, the supernodes its U part reaches and the first of
  // their columns it reaches, in ascending order of steps (a valid order for
  // the column's triangular solve).
  column_supernodes_.clear();
  column_supernodes_begin_.resize(size + 1);
  column_supernodes_begin_[0] = 0;
  node_mark_.assign(supernodes_.size(), -1);
  for (int k = 0; k < n_; ++k) {
    const std::size_t begin = column_supernodes_.size();
    for (std::int64_t e = u_begin_[k]; e < u_begin_[k + 1]; ++e) {
      const int j = u_columns_[e];
      const int node = supernode_of_[j];
      const int t = j - supernodes_[node].first;
      if (node_mark_[node] < 0) {
        node_mark_[node] = static_cast<int>(column_supernodes_.size());
        column_supernodes_.push_back({node, t});
      } else {
        int& first_column = column_supernodes_[node_mark_[node]].first_column;
        first_column = std::min(first_column, t);
      }
    }
    for (std::size_t c = begin; c < column_supernodes_.size(); ++c)
      node_mark_[column_supernodes_[c].node] = -1;
    std::sort(column_supernodes_.begin() + static_cast<std::ptrdiff_t>(begin), column_supernodes_.end(),
              [](const ColumnSupernode& a, const ColumnSupernode& b) { return a.node < b.node; });
    column_supernodes_begin_[k + 1] = static_cast<std::int64_t>(column_supernodes_.size());
  }
}

// The numeric factorisation along the stored pivots and patterns, by
// supernodes, working in pivot steps (x_ holds row pivot_row_[s] at s).
// It stops at the first column where partial pivoting would choose another
// pivot among the same candidates in the same order. Every entry sees its
// updates in ascending order of steps and a zero x_j updates nothing, as in
// the fresh factorisation, so the factors are the same bit for bit.
SparseLu::Outcome SparseLu::numeric(const Eigen::SparseMatrix<double>& a) {
  const int* rows = a.innerIndexPtr();
  const double* a_values = a.valuePtr();
  double* x = x_.data();
  double* block = supernode_values_.data();
  const int* below_steps = sorted_steps_.data();
  for (int k = 0; k < n_; ++k) {
    const int column = q_[k];
    for (int p = a.outerIndexPtr()[column]; p < a.outerIndexPtr()[column + 1]; ++p)
      x[pivot_step_[rows[p]]] = a_values[p];

    for (std::int64_t s = column_supernodes_begin_[k]; s < column_supernodes_begin_[k + 1]; ++s) {
      const Supernode& node = supernodes_[column_supernodes_[s].node];
      const int f = node.first;
      const int w = node.width;
      const int t_begin = column_supernodes_[s].first_column;
      const int t_end = std::min(w, k - f);
      // Within the supernode: x_J = L_JJ \ x_J (unit lower, by columns).
      const double* diagonal = block + node.diagonal_values;
      int* nonzero = nonzero_columns_.data();
      int nonzeros = 0;
      for (int t = t_begin; t < t_end; ++t) {
        const double xt = x[f + t];
        if (xt == 0.0) continue;
        nonzero[nonzeros++] = t;
        for (int r = t + 1; r < w; ++r) x[f + r] -= diagonal[t * w + r] * xt;
      }
      if (nonzeros == 0) continue;
      // Below it: x_S -= L_SJ x_J, one pass over the rows.
      const double* lower = block + node.below_values;
      const int* below = below_steps + node.below_begin;
      const auto below_count = node.below_end - node.below_begin;
      double* x_j = nonzero_values_.data();
      for (int i = 0; i < nonzeros; ++i) x_j[i] = x[f + nonzero[i]];
      // Four rows at a time: four independent chains of subtractions, each
      // row's own in ascending steps.
      std::int64_t r = 0;
      for (; r + 4 <= below_count; r += 4) {
        const double* l0 = lower + r * w;
        const double* l1 = l0 + w;
        const double* l2 = l1 + w;
        const double* l3 = l2 + w;
        double acc0 = x[below[r]];
        double acc1 = x[below[r + 1]];
        double acc2 = x[below[r + 2]];
        double acc3 = x[below[r + 3]];
        for (int i = 0; i < nonzeros; ++i) {
          const int t = nonzero[i];
          acc0 -= l0[t] * x_j[i];
          acc1 -= l1[t] * x_j[i];
          acc2 -= l2[t] * x_j[i];
          acc3 -= l3[t] * x_j[i];
        }
        x[below[r]] = acc0;
        x[below[r + 1]] = acc1;
        x[below[r + 2]] = acc2;
        x[below[r + 3]] = acc3;
      }
      for (; r < below_count; ++r) {
        const double* l = lower + r * w;
        double acc = x[below[r]];
        for (int i = 0; i < nonzeros; ++i) acc -= l[nonzero[i]] * x_j[i];
        x[below[r]] = acc;
      }
    }
    for (std::int64_t e = u_begin_[k]; e < u_begin_[k + 1]; ++e) {
      u_values_[e] = x[u_columns_[e]];
      x[u_columns_[e]] = 0.0;
    }

    const int pivot_row = pivot_row_[k];
    const std::int64_t l_begin = l_begin_[k];
    const std::int64_t l_end = l_begin_[k + 1];
    const double pivot_value = x[k];
    bool keeps_pivot = pivot_value != 0.0;
    if (keeps_pivot) {
      const std::int64_t pivot_at = l_begin + pivot_position_[k];
      PivotChoice choice;
      for (std::int64_t c = l_begin; c < pivot_at; ++c)
        choice.consider(l_rows_[c], x[pivot_step_[l_rows_[c]]]);
      choice.consider(pivot_row, pivot_value);
      for (std::int64_t c = pivot_at; c < l_end; ++c) choice.consider(l_rows_[c], x[pivot_step_[l_rows_[c]]]);
      // The diagonal row is a candidate at step k if it is pivoted at k or later.
      const int diagonal_step = pivot_step_[column];
      const bool diagonal_candidate = diagonal_step >= k;
      keeps_pivot =
          choice.decide(column, diagonal_candidate, diagonal_candidate ? x[diagonal_step] : 0.0) == pivot_row;
    }
    x[k] = 0.0;
    // A pivot that partial pivoting would not choose again is left to a
    // fresh factorisation, which also judges it if it is zero.
    const bool zero_pivot = keeps_pivot && is_zero_pivot(column, pivot_value);
    if (!keeps_pivot || zero_pivot) {
      for (std::int64_t c = l_begin; c < l_end; ++c) x[pivot_step_[l_rows_[c]]] = 0.0;
      return zero_pivot ? Outcome::Singular : Outcome::PivotChanged;
    }
    u_diagonal_[k] = pivot_value;
    for (std::int64_t c = l_begin; c < l_end; ++c) {
      double& entry = x[pivot_step_[l_rows_[c]]];
      const double l = entry / pivot_value;
      l_values_[c] = l;
      block[l_destination_[c]] = l;
      entry = 0.0;
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
