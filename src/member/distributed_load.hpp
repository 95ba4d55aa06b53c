#pragma once
// Equivalent nodal loads of a distributed member load: the forces and
// moments at the two member ends of the fully fixed member, in local axes.
// The load vector of a load case and the member end forces use the same
// vector.

#include "document/load_records.hpp"
#include "document/structure_records.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// Ends of the loaded stretch closer than this (as fractions) carry nothing.
inline constexpr double min_loaded_fraction = 1e-14;

// Resultants of a linearly varying load q(xi) over the fractions [a, b] of a
// member of length L, against the end shape functions.
struct LoadIntegrals {
  double f1 = 0.0;  // L   * int q N1   (start force, cubic shapes)
  double m1 = 0.0;  // L^2 * int q N2   (start moment)
  double f2 = 0.0;  // L   * int q N3   (end force)
  double m2 = 0.0;  // L^2 * int q N4   (end moment, -q L^2 / 12 for a uniform load)
  double a1 = 0.0;  // L   * int q (1 - xi)   (start share, linear shapes)
  double a2 = 0.0;  // L   * int q xi         (end share)
};

LoadIntegrals load_integrals(const DistributedLoad& load, double length);

// The local 12-vector p of the load: the direction is turned into local axes
// (d_local = lambda * direction); Normal and Rigid members take the beam
// shares (F, M) transversely and the linear shares axially, Truss, Tension
// and Compression members the linear shares in every direction and no
// moments. Zero when the loaded stretch is shorter than min_loaded_fraction.
Vector12 equivalent_load_vector(const Member& member, const DistributedLoad& load);

}  // namespace velk
