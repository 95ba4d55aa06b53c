#pragma once
// What the sparse factorisations keep of the matrices they factor: the
// pattern their analysis belongs to, and each unknown's own diagonal entry
// that their pivots are measured against.

#include <Eigen/Sparse>
#include <algorithm>
#include <cmath>
#include <vector>

namespace velk {

// The pattern (compressed columns) of the matrix an analysis was made for.
struct SparsePattern {
  std::vector<int> outer;
  std::vector<int> inner;

  void assign(const Eigen::SparseMatrix<double>& a) {
    outer.assign(a.outerIndexPtr(), a.outerIndexPtr() + a.cols() + 1);
    inner.assign(a.innerIndexPtr(), a.innerIndexPtr() + a.nonZeros());
  }
  // Whether compressed `a` has this pattern, entry for entry.
  bool matches(const Eigen::SparseMatrix<double>& a) const {
    return static_cast<std::size_t>(a.cols()) + 1 == outer.size() &&
           static_cast<std::size_t>(a.nonZeros()) == inner.size() &&
           std::equal(outer.begin(), outer.end(), a.outerIndexPtr()) &&
           std::equal(inner.begin(), inner.end(), a.innerIndexPtr());
  }
};

// |a_jj| for every column j of compressed `a` (0 where the diagonal is not
// in the pattern), into `out`.
inline void absolute_diagonal(const Eigen::SparseMatrix<double>& a, std::vector<double>& out) {
  out.assign(static_cast<std::size_t>(a.cols()), 0.0);
  for (Eigen::Index j = 0; j < a.cols(); ++j) {
    for (int p = a.outerIndexPtr()[j]; p < a.outerIndexPtr()[j + 1]; ++p) {
      if (a.innerIndexPtr()[p] == j) out[static_cast<std::size_t>(j)] = std::fabs(a.valuePtr()[p]);
    }
  }
}

}  // namespace velk
