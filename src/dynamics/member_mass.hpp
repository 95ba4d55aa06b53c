#pragma once
// Mass matrices of one member, in kilograms and metres (the model in base
// units): the member's own mass rho A per length, and line masses (a
// distributed load divided by g) along part of it.
//
// Consistent mass takes the displacement shapes of the stiffness: the cubic
// beam shapes transversely, linear shapes axially and in twist (with the
// polar inertia rho (I_y + I_z)) for Normal members, linear shapes in every
// direction for Truss, Tension and Compression members. Lumped mass puts
// each end's share on the three translations of its node and nothing on
// the rotations. Rigid members carry no mass of their own.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"

namespace velk {

enum class MassKind { Consistent, Lumped };

// "consistent" or "lumped".
std::string mass_kind_name(MassKind kind);
std::optional<MassKind> parse_mass_kind(std::string_view text);

// Standard gravity: a load case's forces divided by it are its masses.
inline constexpr double standard_gravity = 9.80665;  // m / s^2

// A line mass of linearly varying intensity, mu_a at the fraction a of the
// member to mu_b at the fraction b (kg/m, a < b).
struct LineMass {
  double a = 0.0;
  double b = 1.0;
  double mu_a = 0.0;
  double mu_b = 0.0;
};

// The line masses of a distributed load: |q| |direction| / g along the
// part of its stretch that lies on the member (fractions 0 to 1), split
// where the intensity changes sign; none when that part is shorter than
// min_loaded_fraction.
std::vector<LineMass> line_masses_of(const DistributedLoad& load);

// The local 12x12 mass of line masses on a member of `length`, with the
// polar mass per length `polar` (kg m) along the whole member: beam shapes
// when `beam`, linear bar shapes otherwise.
Matrix12 consistent_line_mass(double length, const std::vector<LineMass>& masses, double polar, bool beam);

// The lumped form: each line mass shared between the ends by the linear
// shapes (half of a uniform one each), on the three translations.
Matrix12 lumped_line_mass(double length, const std::vector<LineMass>& masses);

// rho A and rho (I_y + I_z) of a member from its section and material; none
// when the member has no section or its section or material is not found.
struct MassPerLength {
  double translational = 0.0;  // kg/m
  double polar = 0.0;          // kg m
};
std::optional<MassPerLength> member_mass_per_length(const Member& member, const LookupTables& tables);

// The member's mass matrix in global axes, its own mass together with the
// given line masses on it, condensed at released ends of Normal members as
// the stiffness is. Nothing for a member without mass. Fails with the end
// releases' message.
Result<std::optional<Matrix12>> member_mass_matrix(const Member& member, const LookupTables& tables,
                                                   MassKind kind, const std::vector<LineMass>& line_masses);

}  // namespace velk
