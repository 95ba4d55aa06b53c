#include "member/distributed_load.hpp"

#include <cmath>

#include "member/member_geometry.hpp"

namespace velk {

namespace {

using namespace dof;

}  // namespace

LoadIntegrals load_integrals(const DistributedLoad& load, double length) {
  const double a = load.start_frac;
  const double b = load.end_frac;
  const double w1 = load.magnitude;
  const double s = (load.end_magnitude - w1) / (b - a);  // slope per unit fraction

  // Dn = b^n - a^n
  const double a2 = a * a, a3 = a2 * a, a4 = a3 * a, a5 = a4 * a;
  const double b2 = b * b, b3 = b2 * b, b4 = b3 * b, b5 = b4 * b;
  const double d1 = b - a;
  const double d2 = b2 - a2;
  const double d3 = b3 - a3;
  const double d4 = b4 - a4;
  const double d5 = b5 - a5;

  constexpr double one_third = 1.0 / 3.0;
  constexpr double two_thirds = 2.0 / 3.0;
  // Integrals of the Hermite shapes N1 = 1 - 3xi^2 + 2xi^3, N2 = xi - 2xi^2 + xi^3,
  // N3 = 3xi^2 - 2xi^3, N4 = -xi^2 + xi^3 and of xi times each.
  const double n1 = d1 - d3 + 0.5 * d4;
  const double xn1 = 0.5 * d2 - 0.75 * d4 + 0.4 * d5;
  const double n2 = 0.5 * d2 - two_thirds * d3 + 0.25 * d4;
  const double xn2 = one_third * d3 - 0.5 * d4 + 0.2 * d5;
  const double n3 = d3 - 0.5 * d4;
  const double xn3 = 0.75 * d4 - 0.4 * d5;
  const double n4 = -one_third * d3 + 0.25 * d4;
  const double xn4 = -0.25 * d4 + 0.2 * d5;
  // Linear shapes 1 - xi and xi.
  const double lin1 = d1 - 0.5 * d2;
  const double xlin1 = 0.5 * d2 - 0.3333333333333333 * d3;
  const double lin2 = 0.5 * d2;
  const double xlin2 = 0.3333333333333333 * d3;

  // int q N = w1 int N + s (int xi N - a int N), with q = w1 + s (xi - a).
  const auto against = [&](double n, double xn) { return w1 * n + s * (xn - a * n); };
  const double l = length;
  LoadIntegrals r;
  r.f1 = l * against(n1, xn1);
  r.m1 = l * l * against(n2, xn2);
  r.f2 = l * against(n3, xn3);
  r.m2 = l * l * against(n4, xn4);
  r.a1 = l * against(lin1, xlin1);
  r.a2 = l * against(lin2, xlin2);
  return r;
}

Vector12 equivalent_load_vector(const Member& member, const DistributedLoad& load) {
  Vector12 p = Vector12::Zero();
  if (std::abs(load.end_frac - load.start_frac) < min_loaded_fraction) return p;

  const Vector3 direction(load.direction[0], load.direction[1], load.direction[2]);
  const Vector3 d = rotation_matrix(member) * direction;  // local components
  const LoadIntegrals q = load_integrals(load, member_length(member));

  p(UX) = q.a1 * d.x();
  p(END + UX) = q.a2 * d.x();
  if (is_axial_only(member.member_type)) {
    // Simply supported share in every direction; no moments.
    p(UY) = q.a1 * d.y();
    p(UZ) = q.a1 * d.z();
    p(END + UY) = q.a2 * d.y();
    p(END + UZ) = q.a2 * d.z();
    return p;
  }
  p(UY) = q.f1 * d.y();
  p(UZ) = q.f1 * d.z();
  p(RY) = -q.m1 * d.z();
  p(RZ) = q.m1 * d.y();
  p(END + UY) = q.f2 * d.y();
  p(END + UZ) = q.f2 * d.z();
  p(END + RY) = -q.m2 * d.z();
  p(END + RZ) = q.m2 * d.y();
  return p;
}

}  // namespace velk
