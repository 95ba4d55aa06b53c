#pragma once
// The twelve end degrees of freedom of a member and the fixed-size matrix
// types that member work is done in.
//
// Order, in local and global axes alike: ux, uy, uz, rx, ry, rz of the start
// node, then the same six of the end node.

#include <Eigen/Dense>
#include <string_view>

#include "document/structure_records.hpp"

namespace velk {

using Matrix3 = Eigen::Matrix3d;
using Vector3 = Eigen::Vector3d;
using Matrix12 = Eigen::Matrix<double, 12, 12>;
using Vector12 = Eigen::Matrix<double, 12, 1>;

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

// Writes v at (r, c) and at (c, r).
inline void set_symmetric(Matrix12& k, int r, int c, double v) {
  k(r, c) = v;
  k(c, r) = v;
}

// The member type as the document spells it: "Normal", "Truss", ...
std::string_view member_type_name(MemberType type);

// Members that carry axial force only (no moments, no transverse loads).
inline bool is_axial_only(MemberType type) {
  return type == MemberType::Truss || type == MemberType::Tension || type == MemberType::Compression;
}

}  // namespace velk
