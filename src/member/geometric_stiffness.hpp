#pragma once
// Geometric (initial-stress) stiffness of a member carrying the axial force
// P, tension positive, in local axes.

#include "document/structure_records.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// The consistent geometric stiffness of a beam (cubic deflection shapes),
// with the sign pattern of the elastic matrix; no torsional terms.
Matrix12 beam_geometric_stiffness(double length, double axial_force);

// beam_geometric_stiffness turned into global axes by the member rotation
// lambda: its blocks are diagonal or one skew matrix, so four 3x3 products
// give all sixteen.
Matrix12 beam_geometric_stiffness_global(double length, double axial_force, const Matrix3& lambda);

// The string matrix of a member without bending stiffness: P / L on the
// translations, nothing on the rotations.
Matrix12 string_geometric_stiffness(double length, double axial_force);

// The beam matrix for Normal and Rigid members, the string matrix for Truss,
// Tension and Compression members.
Matrix12 geometric_stiffness_matrix(const Member& member, double axial_force);

}  // namespace velk
