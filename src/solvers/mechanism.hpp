#pragma once
// Mechanisms: motions of the structure that its first-order stiffness does
// not resist. The factorisation of the reduced stiffness meets them as pivots
// that have lost (almost) all the digits of their unknown's own diagonal
// entry; each such pivot gives one independent motion, named by the node
// that moves most in it and the direction of that motion in global axes.

#include <Eigen/Sparse>
#include <array>
#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "base/result.hpp"
#include "system/constraints.hpp"

namespace velk {

// The pivot ratio of first-order solves: below it a pivot is rounding noise
// left of a stiffness that cancelled itself out.
inline constexpr double first_order_zero_pivot_ratio = 1e-12;

struct Mechanism {
  std::uint32_t node = 0;
  bool rotation = false;              // the node turns about `direction` instead of moving along it
  std::array<double, 3> direction{};  // unit vector, global axes
};

// "Mechanism: node 3 moves along (0.955, 0.000, 0.296) without resistance",
// or "... turns about (...) ..." for a rotation.
std::string mechanism_message(const Mechanism& mechanism);

// Systems up to this many unknowns (every model of 200 nodes) are searched
// by dense elimination in their own order; larger ones on the sparse
// factorisation, in its fill-reducing order. A single mechanism is found
// the same either way; of several, each search names its own independent
// motions.
inline constexpr Eigen::Index dense_mechanism_search_limit = 1200;

// The mechanisms of a restrained reduced stiffness K_r, whose unknowns map
// to node motions through u = T q.
std::vector<Mechanism> mechanisms_of(const Eigen::SparseMatrix<double>& k_reduced,
                                     const ConstraintTransform& t);

}  // namespace velk
