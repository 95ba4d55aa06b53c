#pragma once
// The stiffness of each member in global axes, by member type: elastic, and
// geometric at the axial force of a displacement state.

#include <Eigen/Dense>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>

#include "base/result.hpp"
#include "document/velk.hpp"
#include "member/lookup_tables.hpp"
#include "member/member_dofs.hpp"
#include "member/member_stiffness.hpp"
#include "system/active_set.hpp"

namespace velk {

// The member's elastic stiffness in global axes, or nothing when the member
// contributes nothing (a Rigid member under LinearMpc, a Tension or
// Compression member without section data).
Result<std::optional<Matrix12>> member_global_stiffness(const VELK& model, const Member& member,
                                                        const LookupTables& tables, const ActiveMap& active);

// The axial force below which a member carries no geometric stiffness:
// max(axial_slack / 2, 1e-6).
double geometric_threshold(const AnalysisOptions& options);

// The member's geometric stiffness in global axes at its axial force in the
// displacement state u, or nothing for Rigid members, inactive
// Tension/Compression members and forces below max(axial_slack / 2, 1e-6).
// At released ends the whole tangent K + K_G is condensed and the elastic
// part taken back out, so adding it to the elastic matrix gives the
// condensed tangent.
Result<std::optional<Matrix12>> member_geometric_stiffness(const VELK& model, const Member& member,
                                                           const LookupTables& tables,
                                                           const ActiveMap& active, const Eigen::VectorXd& u);

// The same with the member's axial-force basis, which the caller keeps for
// its solve: `basis` is computed here the first time it is needed.
Result<std::optional<Matrix12>> member_geometric_stiffness(const VELK& model, const Member& member,
                                                           const LookupTables& tables,
                                                           const ActiveMap& active, const Eigen::VectorXd& u,
                                                           std::optional<AxialForceBasis>& basis);

}  // namespace velk
