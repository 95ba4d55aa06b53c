#pragma once
// Member length, local axes and the rotation between local and global axes.
//
// Local x runs from the start to the end node; local y and z complete a
// right-handed system, y "up" in the vertical plane through the member (for
// vertical members the reference is global Z instead of global Y), turned by
// the member's rotation_angle about x. The rotation `lambda` has the local
// axes as rows, so v_local = lambda * v_global.

#include "document/structure_records.hpp"
#include "member/member_dofs.hpp"

namespace velk {

// Euclidean distance between the two end nodes.
double member_length(const Member& member);

// A member shorter than this has no direction: its local axes cannot be
// formed, and the model check reports it.
inline constexpr double min_member_length = 1e-12;

// The 3x3 rotation `lambda`. Throws Fault when the ends coincide (length
// below 1e-12) or no local z axis can be formed.
Matrix3 rotation_matrix(const Member& member);

// lambda12 = blockdiag(lambda, lambda, lambda, lambda): u_local = lambda12 * u_global.
Matrix12 transformation_matrix(const Member& member);

// lambda12^T * k_local * lambda12, computed block by block.
Matrix12 local_to_global(const Matrix12& k_local, const Matrix3& lambda);

// lambda12^T * f_local: local end forces in global components.
Vector12 local_to_global(const Vector12& f_local, const Matrix3& lambda);

// lambda12 * u_global: global end displacements in local components.
Vector12 global_to_local(const Vector12& u_global, const Matrix3& lambda);

}  // namespace velk
