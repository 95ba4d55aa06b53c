#pragma once
// The six values of a node as records and as vectors, in DOF order:
// fx, fy, fz, mx, my, mz and dx, dy, dz, rx, ry, rz.

#include <cmath>

#include "document/results_records.hpp"
#include "member/member_dofs.hpp"

namespace velk {

inline NodeForces node_forces(const Vector6& f) { return NodeForces{f(0), f(1), f(2), f(3), f(4), f(5)}; }

inline Vector6 force_vector(const NodeForces& f) {
  Vector6 v;
  v << f.fx, f.fy, f.fz, f.mx, f.my, f.mz;
  return v;
}

inline NodeDisplacement node_displacement(const Vector6& u) {
  return NodeDisplacement{u(0), u(1), u(2), u(3), u(4), u(5)};
}

inline Vector6 displacement_vector(const NodeDisplacement& d) {
  Vector6 v;
  v << d.dx, d.dy, d.dz, d.rx, d.ry, d.rz;
  return v;
}

// The length of the node's translation, sqrt(dx^2 + dy^2 + dz^2): the
// displacement the summaries and the report rank nodes by.
inline double translation_norm(const NodeDisplacement& d) {
  return std::sqrt(d.dx * d.dx + d.dy * d.dy + d.dz * d.dz);
}

}  // namespace velk
