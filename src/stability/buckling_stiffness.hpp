#pragma once
// The geometric stiffness of a member as the linear buckling problem needs
// it: linear in the axial force, also at released ends.

#include <Eigen/Dense>
#include <optional>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_stiffness.hpp"
#include "system/active_set.hpp"

namespace velk {

// The member's geometric stiffness in global axes at its axial force in u,
// for the same members and forces as member_geometric_stiffness (nothing for
// Rigid and switched-off members and forces below the threshold). At
// released ends the geometric matrix is condensed with the static shapes of
// the elastic one, so that alpha times the force gives alpha times the
// matrix; the tangent of the second-order solver condenses K + K_G as a
// whole instead, which only agrees with this at alpha = 1.
Result<std::optional<Matrix12>> buckling_geometric_stiffness(const VELK& model, const Member& member,
                                                             const LookupTables& tables,
                                                             const ActiveMap& active,
                                                             const Eigen::VectorXd& u,
                                                             std::optional<AxialForceBasis>& basis);

}  // namespace velk
