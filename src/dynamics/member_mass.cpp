#include "dynamics/member_mass.hpp"

#include <algorithm>
#include <cmath>

#include "member/distributed_load.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"
#include "member/member_stiffness.hpp"

namespace velk {
namespace {

using namespace dof;

// Four-point Gauss-Legendre rule on [-1, 1]: exact for the degree-7 products
// of a linear intensity and two cubic shapes.
constexpr std::array<double, 4> gauss_points = {-0.8611363115940526, -0.3399810435848563, 0.3399810435848563,
                                                0.8611363115940526};
constexpr std::array<double, 4> gauss_weights = {0.3478548451374538, 0.6521451548625461, 0.6521451548625461,
                                                 0.3478548451374538};

// m += c * n n^T over the entries of n that are given.
template <std::size_t Count>
void add_outer(Matrix12& m, const std::array<int, Count>& index, const std::array<double, Count>& n,
               double c) {
  for (std::size_t i = 0; i < Count; ++i) {
    for (std::size_t j = 0; j < Count; ++j) m(index[i], index[j]) += c * n[i] * n[j];
  }
}

// The Gauss points of the line masses: f(xi, c) with c = L * mu(xi) * dxi,
// the mass the point stands for.
template <class F>
void for_each_mass_point(double length, const std::vector<LineMass>& masses, F&& f) {
  for (const LineMass& piece : masses) {
    const double half = 0.5 * (piece.b - piece.a);
    for (std::size_t g = 0; g < gauss_points.size(); ++g) {
      const double t = 0.5 * (1.0 + gauss_points[g]);
      const double xi = piece.a + (piece.b - piece.a) * t;
      const double mu = piece.mu_a + (piece.mu_b - piece.mu_a) * t;
      f(xi, length * mu * half * gauss_weights[g]);
    }
  }
}

}  // namespace

std::string mass_kind_name(MassKind kind) { return kind == MassKind::Lumped ? "lumped" : "consistent"; }

std::optional<MassKind> parse_mass_kind(std::string_view text) {
  if (text == "consistent") return MassKind::Consistent;
  if (text == "lumped") return MassKind::Lumped;
  return std::nullopt;
}

std::vector<LineMass> line_masses_of(const DistributedLoad& load) {
  std::vector<LineMass> masses;
  if (!(std::abs(load.end_frac - load.start_frac) >= min_loaded_fraction)) return masses;
  const double scale =
      std::hypot(load.direction[0], load.direction[1], load.direction[2]) / standard_gravity;  // |d| / g
  double a = load.start_frac, b = load.end_frac;
  double qa = load.magnitude, qb = load.end_magnitude;
  if (a > b) std::swap(a, b), std::swap(qa, qb);
  // Where a load changes sign its mass, |q| / g, has a kink: one straight
  // piece on each side of the zero. Only the stretch on the member carries
  // mass (fractions beyond its ends are the load's, not the member's).
  const auto intensity = [&](double xi) { return qa + (qb - qa) * (xi - a) / (b - a); };
  std::vector<double> breaks{a};
  if (qa * qb < 0.0) breaks.push_back(a + (b - a) * qa / (qa - qb));
  breaks.push_back(b);
  for (std::size_t i = 0; i + 1 < breaks.size(); ++i) {
    const double from = std::max(breaks[i], 0.0), to = std::min(breaks[i + 1], 1.0);
    if (!(to - from >= min_loaded_fraction)) continue;
    masses.push_back({from, to, std::abs(intensity(from)) * scale, std::abs(intensity(to)) * scale});
  }
  return masses;
}

Matrix12 consistent_line_mass(double length, const std::vector<LineMass>& masses, double polar, bool beam) {
  const double l = length;
  Matrix12 m = Matrix12::Zero();
  for_each_mass_point(l, masses, [&](double xi, double c) {
    const double s1 = 1.0 - xi, s2 = xi;
    add_outer<2>(m, {UX, END + UX}, {s1, s2}, c);
    if (beam) {
      // Hermite shapes: v = N1 v1 + N2 rz1 + N3 v2 + N4 rz2, and
      // w = N1 w1 - N2 ry1 + N3 w2 - N4 ry2 (a positive ry lowers w).
      const double xi2 = xi * xi, xi3 = xi2 * xi;
      const double n1 = 1.0 - 3.0 * xi2 + 2.0 * xi3;
      const double n2 = l * (xi - 2.0 * xi2 + xi3);
      const double n3 = 3.0 * xi2 - 2.0 * xi3;
      const double n4 = l * (xi3 - xi2);
      add_outer<4>(m, {UY, RZ, END + UY, END + RZ}, {n1, n2, n3, n4}, c);
      add_outer<4>(m, {UZ, RY, END + UZ, END + RY}, {n1, -n2, n3, -n4}, c);
    } else {
      add_outer<2>(m, {UY, END + UY}, {s1, s2}, c);
      add_outer<2>(m, {UZ, END + UZ}, {s1, s2}, c);
    }
  });
  if (polar != 0.0) {
    // rho (I_y + I_z) L / 6 [2 1; 1 2] in twist
    const double c = polar * l / 6.0;
    m(RX, RX) += 2.0 * c;
    m(END + RX, END + RX) += 2.0 * c;
    m(RX, END + RX) += c;
    m(END + RX, RX) += c;
  }
  return m;
}

Matrix12 lumped_line_mass(double length, const std::vector<LineMass>& masses) {
  double start = 0.0, end = 0.0;
  // L * int mu (1 - xi) and L * int mu xi over the pieces
  for_each_mass_point(length, masses, [&](double xi, double c) {
    start += c * (1.0 - xi);
    end += c * xi;
  });
  Matrix12 m = Matrix12::Zero();
  for (const int k : {UX, UY, UZ}) {
    m(k, k) = start;
    m(END + k, END + k) = end;
  }
  return m;
}

std::optional<MassPerLength> member_mass_per_length(const Member& member, const LookupTables& tables) {
  if (!member.section) return std::nullopt;
  const Section* section = find_in(tables.sections, *member.section);
  if (section == nullptr) return std::nullopt;
  const Material* material = find_in(tables.materials, section->material);
  if (material == nullptr) return std::nullopt;
  return MassPerLength{material->density * section->area, material->density * (section->i_y + section->i_z)};
}

Result<std::optional<Matrix12>> member_mass_matrix(const Member& member, const LookupTables& tables,
                                                   MassKind kind, const std::vector<LineMass>& line_masses) {
  if (member.member_type == MemberType::Rigid) return std::nullopt;
  std::vector<LineMass> masses = line_masses;
  const std::optional<MassPerLength> own = member_mass_per_length(member, tables);
  const bool beam = member.member_type == MemberType::Normal;
  double polar = 0.0;
  if (own && own->translational != 0.0) masses.push_back({0.0, 1.0, own->translational, own->translational});
  if (own && beam) polar = own->polar;
  if (masses.empty() && polar == 0.0) return std::nullopt;
  const double length = member_length(member);
  // The translational blocks of a bar and of the lumped form are multiples
  // of the identity, the same in every axes.
  if (kind == MassKind::Lumped) return lumped_line_mass(length, masses);
  Matrix12 m_local = consistent_line_mass(length, masses, polar, beam);
  if (!beam) return m_local;
  const ReleasePattern pattern = member_release_pattern(member, tables.hinges);
  if (has_releases(pattern)) {
    const std::optional<Matrix12> k_local = local_stiffness_matrix(member, tables);
    if (k_local) {
      Result<Matrix12> condensed = condense_companion_matrix(*k_local, pattern, m_local);
      if (!condensed) return std::unexpected(std::move(condensed.error()));
      m_local = *condensed;
    }
  }
  return local_to_global(m_local, rotation_matrix(member));
}

}  // namespace velk
