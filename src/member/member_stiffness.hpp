#pragma once
// Elastic stiffness of a member by member type, and the axial force of a
// member in a displacement state.

#include <Eigen/Dense>
#include <optional>

#include "document/structure_records.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// Euler-Bernoulli beam matrix in local axes (no shear deformation): bending
// in the local x-y plane with i_z, in the local x-z plane with i_y, torsion
// G J / L. Absent when the section or its material is not in the tables;
// throws Fault when the member names no section.
std::optional<Matrix12> local_stiffness_matrix(const Member& member, const LookupTables& tables);

// Axial stiffness of a Truss, Tension or Compression member: E A / L, for a
// Truss member in series with the axial springs of its end hinges
// (1 / (L / (E A) + sum 1 / k_end)). Absent when the section or material is
// not found or the length is zero; throws Fault when the member names no
// section.
std::optional<double> truss_axial_stiffness(const Member& member, const LookupTables& tables);

// The axial-only matrix of truss_axial_stiffness in global axes; rotations
// get nothing. Absent in the same cases.
std::optional<Matrix12> truss_global_stiffness(const Member& member, const LookupTables& tables);

// Axial force N (tension positive) from the global displacement vector u:
// k_axial * (u_local[end ux] - u_local[start ux]), with k_axial = E A / L,
// or truss_axial_stiffness for a Truss member. Throws Fault for a missing
// section id, section, material, or node entries beyond u.
double member_axial_force(const Member& member, const Eigen::VectorXd& u, const LookupTables& tables);

// What the axial force needs besides the displacements: the same in every
// displacement state, so a solve computes it once per member.
struct AxialForceBasis {
  Matrix3 lambda;
  double k_axial;
};

// Throws the faults of member_axial_force.
AxialForceBasis axial_force_basis(const Member& member, const LookupTables& tables);

// member_axial_force with the basis of the member: the same value bit for bit.
double member_axial_force(const Member& member, const Eigen::VectorXd& u, const AxialForceBasis& basis);

// The member's twelve global displacements: the start node's six entries of
// u, then the end node's six. Throws Fault when they lie beyond u.
Vector12 member_displacements(const Member& member, const Eigen::VectorXd& u);

}  // namespace velk
