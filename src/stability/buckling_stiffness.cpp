#include "stability/buckling_stiffness.hpp"

#include "member/geometric_stiffness.hpp"
#include "member/hinge_and_release_operations.hpp"
#include "member/member_geometry.hpp"
#include "system/global_stiffness.hpp"

namespace velk {

Result<std::optional<Matrix12>> buckling_geometric_stiffness(const VELK& model, const Member& member,
                                                             const LookupTables& tables,
                                                             const ActiveMap& active,
                                                             const Eigen::VectorXd& u,
                                                             std::optional<AxialForceBasis>& basis) {
  Result<std::optional<Matrix12>> kg = member_geometric_stiffness(model, member, tables, active, u, basis);
  if (!kg || !*kg || is_axial_only(member.member_type)) return kg;
  const ReleasePattern pattern = member_release_pattern(member, tables.hinges);
  if (!has_releases(pattern)) return kg;
  const std::optional<Matrix12> k_local = local_stiffness_matrix(member, tables);
  if (!k_local) return std::nullopt;
  const double n = member_axial_force(member, u, *basis);
  const Result<Matrix12> condensed =
      condense_companion_matrix(*k_local, pattern, geometric_stiffness_matrix(member, n));
  if (!condensed) return std::unexpected(condensed.error());
  return local_to_global(*condensed, basis->lambda);
}

}  // namespace velk
