#include "solvers/mechanism.hpp"

#include <Eigen/Dense>
#include <cmath>
#include <cstdio>

#include "base/message_format.hpp"
#include "member/member_dofs.hpp"
#include "numerics/factorization.hpp"
#include "numerics/sparse_lu.hpp"
#include "numerics/supernodal_cholesky.hpp"

namespace velk {
namespace {

// A node counts as turning rather than moving when its largest translation
// is below this share of the largest rotation (metres per radian).
constexpr double translation_share_of_rotation = 1e-6;
// Motions within this share of each other count as equal.
constexpr double equal_motion = 1e-6;

// Three decimals, the way an engineer reads a direction; a component that
// rounds to zero is written without a sign.
std::string direction_component(double value) {
  double rounded = std::round(value * 1000.0) / 1000.0;
  if (rounded == 0.0) rounded = 0.0;  // no "-0"
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", rounded);
  return text;
}

// The node that moves (or, failing any translation, turns) most in the
// motion u, and the unit direction of that motion, its largest component
// positive.
Mechanism dominant_motion(const Eigen::VectorXd& u) {
  const Eigen::Index nodes = u.size() / dof::PER_NODE;
  Eigen::Index moving = 0, turning = 0;
  double largest_translation = 0.0, largest_rotation = 0.0;
  for (Eigen::Index n = 0; n < nodes; ++n) {
    const double translation = u.segment<3>(dof::PER_NODE * n + dof::UX).norm();
    const double rotation = u.segment<3>(dof::PER_NODE * n + dof::RX).norm();
    // Nodes that move alike (a bay swaying as one) are named by the first.
    if (translation > (1.0 + equal_motion) * largest_translation)
      largest_translation = translation, moving = n;
    if (rotation > (1.0 + equal_motion) * largest_rotation) largest_rotation = rotation, turning = n;
  }
  const bool rotation = !(largest_translation > translation_share_of_rotation * largest_rotation);
  const Eigen::Index node = rotation ? turning : moving;
  Eigen::Vector3d d = u.segment<3>(dof::PER_NODE * node + (rotation ? dof::RX : dof::UX));
  if (d.norm() > 0.0) d.normalize();
  Eigen::Index largest = 0;
  d.cwiseAbs().maxCoeff(&largest);
  if (d(largest) < 0.0) d = -d;
  return Mechanism{static_cast<std::uint32_t>(node + 1), rotation, {d(0), d(1), d(2)}};
}

// Gaussian elimination with partial pivoting and the first-order zero-pivot
// rule. At a zero pivot of column k, the motion with q_k = 1 that the
// eliminated rows above balance (U_11 q_1 = -U_12, the rest zero) is one the
// matrix does not resist; the pivot is then held at its unknown's own
// diagonal, as by a support, and elimination goes on to the next one.
std::vector<Mechanism> dense_mechanisms(const Eigen::SparseMatrix<double>& k_reduced,
                                        const ConstraintTransform& t) {
  Eigen::MatrixXd a = k_reduced;
  const Eigen::Index n = a.rows();
  const Eigen::VectorXd own = a.diagonal().cwiseAbs();
  std::vector<Mechanism> found;
  Eigen::VectorXd q(n), u;
  for (Eigen::Index k = 0; k < n; ++k) {
    Eigen::Index p = k;
    const double largest = a.col(k).tail(n - k).cwiseAbs().maxCoeff(&p);
    p += k;
    if (largest == 0.0 || largest <= first_order_zero_pivot_ratio * own(k)) {
      q.setZero();
      q(k) = 1.0;
      for (Eigen::Index j = k - 1; j >= 0; --j) {
        const double coupled = a.row(j).segment(j + 1, k - j).dot(q.segment(j + 1, k - j));
        q(j) = -coupled / a(j, j);
      }
      expand_solution(t, q, u);
      found.push_back(dominant_motion(u));
      a(k, k) = own(k) > 0.0 ? own(k) : 1.0;
      p = k;
    }
    if (p != k) a.row(k).swap(a.row(p));
    const double pivot = a(k, k);
    const Eigen::Index rest = n - k - 1;
    if (rest == 0) break;
    a.col(k).tail(rest) /= pivot;
    a.bottomRightCorner(rest, rest).noalias() -= a.col(k).tail(rest) * a.row(k).tail(rest);
  }
  return found;
}

// The same search on the sparse factorisation, for systems whose dense copy
// would not fit: factor; at a zero pivot hold its unknown at its own
// diagonal, as by a support, and factor again, until the factorisation goes
// through. Each held unknown c then gives the motion with q_c = 1, the other
// held unknowns at rest, that every equation of the unknowns not held
// balances.
std::vector<Mechanism> sparse_mechanisms(const Eigen::SparseMatrix<double>& k_reduced,
                                         const ConstraintTransform& t) {
  Eigen::SparseMatrix<double> a = k_reduced;
  a.makeCompressed();
  const Eigen::Index n = a.rows();
  // A large system that the analysis factors by Cholesky without a zero
  // pivot has no mechanism: the check answers as the analysis does, in the
  // time of one supernodal factorisation.
  if (n >= ReducedFactorization::default_large_limit && SupernodalCholesky::symmetric_to_rounding(a) &&
      SupernodalCholesky(first_order_zero_pivot_ratio).factor(a))
    return {};
  const Eigen::VectorXd own = a.diagonal().cwiseAbs();
  std::vector<Eigen::Index> held;
  std::vector<char> is_held(static_cast<std::size_t>(n), 0);
  SparseLu lu(first_order_zero_pivot_ratio);
  while (!lu.factor(a)) {
    const Eigen::Index c = lu.zero_pivot_column();
    if (c < 0 || is_held[static_cast<std::size_t>(c)]) break;
    held.push_back(c);
    is_held[static_cast<std::size_t>(c)] = 1;
    a.coeffRef(c, c) += own(c) > 0.0 ? own(c) : 1.0;
  }
  if (held.empty()) return {};

  // The equations of the unknowns not held, the held ones given.
  Eigen::SparseMatrix<double> m = k_reduced;
  m.makeCompressed();
  for (Eigen::Index col = 0; col < n; ++col) {
    for (Eigen::SparseMatrix<double>::InnerIterator it(m, col); it; ++it) {
      if (is_held[static_cast<std::size_t>(it.row())] || is_held[static_cast<std::size_t>(col)])
        it.valueRef() = it.row() == col ? 1.0 : 0.0;
    }
  }
  SparseLu free_lu(0.0);
  if (!free_lu.factor(m)) return {};
  std::vector<Mechanism> found;
  Eigen::VectorXd b(n), q(n), u;
  for (const Eigen::Index c : held) {
    b = -Eigen::VectorXd(k_reduced.col(c));
    for (const Eigen::Index h : held) b(h) = 0.0;
    b(c) = 1.0;
    free_lu.solve(b, q);
    expand_solution(t, q, u);
    found.push_back(dominant_motion(u));
  }
  return found;
}

}  // namespace

std::string mechanism_message(const Mechanism& mechanism) {
  return format_message(
      "Mechanism: node {} {} ({}, {}, {}) without resistance", mechanism.node,
      mechanism.rotation ? "turns about" : "moves along", direction_component(mechanism.direction[0]),
      direction_component(mechanism.direction[1]), direction_component(mechanism.direction[2]));
}

std::vector<Mechanism> mechanisms_of(const Eigen::SparseMatrix<double>& k_reduced,
                                     const ConstraintTransform& t) {
  if (k_reduced.rows() <= dense_mechanism_search_limit) return dense_mechanisms(k_reduced, t);
  return sparse_mechanisms(k_reduced, t);
}

}  // namespace velk
