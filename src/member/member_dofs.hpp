#pragma once
// The degrees of freedom of nodes and members and the fixed-size matrix
// types that member work is done in.
//
// Node n owns the global DOFs 6 (n - 1) + k, k = 0..5 for UX, UY, UZ, RX,
// RY, RZ. A member's twelve follow the same order, in local and global axes
// alike: ux, uy, uz, rx, ry, rz of the start node, then the same six of the
// end node.

#include <Eigen/Dense>
#include <cstdint>
#include <string_view>

#include "document/structure_records.hpp"

namespace velk {

using Matrix3 = Eigen::Matrix3d;
using Vector3 = Eigen::Vector3d;
using Matrix12 = Eigen::Matrix<double, 12, 12>;
using Vector12 = Eigen::Matrix<double, 12, 1>;
using Vector6 = Eigen::Matrix<double, 6, 1>;

namespace dof {
inline constexpr int UX = 0;
inline constexpr int UY = 1;
inline constexpr int UZ = 2;
inline constexpr int RX = 3;
inline constexpr int RY = 4;
inline constexpr int RZ = 5;
// Offset of the end node's six entries in a member 12-vector.
inline constexpr int END = 6;
inline constexpr int PER_NODE = 6;
inline constexpr int PER_MEMBER = 12;
}  // namespace dof

// Global index 6 (node_id - 1) + local_dof, unchecked.
constexpr std::int64_t global_dof(std::uint32_t node_id, int local_dof) {
  return dof::PER_NODE * (static_cast<std::int64_t>(node_id) - 1) + local_dof;
}

// True when all six DOFs of the node lie in [0, size): false for node id 0
// and for nodes beyond a vector of `size` entries.
constexpr bool node_in_range(std::uint32_t node_id, std::int64_t size) {
  return global_dof(node_id, dof::UX) >= 0 && global_dof(node_id, dof::RZ) < size;
}

// global_dof; throws Fault "Matrix index out of bounds." when the index lies
// outside [0, size).
std::int64_t checked_dof(std::uint32_t node_id, int local_dof, std::int64_t size);

// The node's first global DOF (UX); throws Fault "Matrix index out of
// bounds." unless all six lie in [0, size).
std::int64_t checked_node_dofs(std::uint32_t node_id, std::int64_t size);

// Writes v at (r, c) and at (c, r).
inline void set_symmetric(Matrix12& k, int r, int c, double v) {
  k(r, c) = v;
  k(c, r) = v;
}

// The member type as the document spells it: "Normal", "Truss", ...
std::string_view member_type_name(MemberType type);

// Tension-only and compression-only members: the active set of a solve
// switches them on and off.
inline bool is_one_way(MemberType type) {
  return type == MemberType::Tension || type == MemberType::Compression;
}

// Members that carry axial force only (no moments, no transverse loads).
inline bool is_axial_only(MemberType type) { return type == MemberType::Truss || is_one_way(type); }

}  // namespace velk
